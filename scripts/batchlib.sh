# shellcheck shell=bash
# Shared by scripts/batch.sh, scripts/batch.sbatch and scripts/batchseed.sh
# (sourced, not run): a batch's settings, its seed list, the state of a seed
# folder and the summary.
#
# A batch folder OUTDIR holds
#   batch.conf    the settings every seed is made with (seeds, rocks, ground,
#                 exports, texture scripts), written by the first run; later
#                 runs into the folder must agree with it
#   seeds         the seeds, one a line, in the order given
#   joblog        GNU parallel's job log (every run appends to it)
#   SEED/         one folder per seed (see scripts/batchseed.sh)
#   summary.csv   one line per seed
#   contact.png   the thumbnails in a grid (contact-2.png, ... when more
#                 seeds than one sheet holds)
# A seed is done when its folder holds result.csv with the status "ok": the
# step writes that file last, after everything else of the seed is complete.

batchmaxseeds=1000000      # seeds in one batch
batchmaxseed=2147483647    # seeds run from 0 to the largest 32-bit integer
batchmaxtextures=256       # texture scripts vrastik takes
batchthumb=128             # thumbnail side in pixels
batchsheet=400             # thumbnails on one contact sheet (20 x 20)
batchexports=(glb vox)     # --export formats, each written by mapexport
batchheader="seed,kind,rocks,ground,seconds,status,map_bytes,map_sha256,coloured_voxels,air_fraction"

# Cave kinds by the seed's low four bits (as vrastik's usage text lists them).
batchkinds=("blocky terrain" "blocky cave" "round terrain" "round cave" "cellular terrain"
    "cellular cave" "miscellaneous terrain" "miscellaneous cave" "blocky terrain" "blocky cave"
    "voronoi terrain" "voronoi cave" "concave terrain" "concave cave" "very concave terrain"
    "very concave cave")

batcherror() {
    echo "batch: $*" >&2
}

seedkind() {
    echo "${batchkinds[$(($1 & 15))]}"
}

# A whole number as vrastik's atoi reads it: optional sign, at most ten
# digits. Prints it without leading zeros.
wholenumber() {
    [[ $1 =~ ^([-+]?)([0-9]{1,10})$ ]] || return 1
    local sign=${BASH_REMATCH[1]} value=$((10#${BASH_REMATCH[2]}))
    [ "$sign" = - ] && [ "$value" -ne 0 ] && echo "-$value" || echo "$value"
}

# "1-500", "7", "1,4,9-12": the seeds one a line, in the order given. Each
# seed 0..batchmaxseed, at most batchmaxseeds of them.
expandseeds() {
    local list=$1 part a b count=0
    local -a parts
    if ! [[ $list =~ ^[0-9,-]+$ ]]; then
        batcherror "--seeds wants seeds and ranges such as 1-500 or 1,4,9-12, not '$list'"
        return 1
    fi
    IFS=, read -ra parts <<< "$list"
    for part in "${parts[@]}"; do
        if [[ $part =~ ^([0-9]{1,10})(-([0-9]{1,10}))?$ ]]; then
            a=$((10#${BASH_REMATCH[1]}))
            b=$((10#${BASH_REMATCH[3]:-${BASH_REMATCH[1]}}))
        else
            batcherror "--seeds: '$part' is neither a seed nor a range A-B"
            return 1
        fi
        if [ "$b" -gt $batchmaxseed ] || [ "$a" -gt "$b" ]; then
            batcherror "--seeds: '$part' is not a range of seeds from 0 to $batchmaxseed"
            return 1
        fi
        count=$((count + b - a + 1))
        if [ $count -gt $batchmaxseeds ]; then
            batcherror "--seeds: more than $batchmaxseeds seeds in one batch"
            return 1
        fi
    done
    for part in "${parts[@]}"; do
        seq "$((10#${part%-*}))" "$((10#${part#*-}))"
    done
}

# The settings of a batch from the command line, in batchset (an associative
# array: seeds rocks ground export textures) and batchtextures (absolute
# paths). Options it does not know are left in batchrest. Returns 2 with a
# message on a bad value.
parsesettings() {
    batchrest=()
    batchtextures=()
    batchgiven=0
    local value word
    while [ $# -gt 0 ]; do
        case $1 in
        --seeds | --rocks | --ground | --textures | --export)
            [ $# -ge 2 ] || { batcherror "$1 needs a value"; return 2; }
            batchset[${1#--}]=$2
            batchgiven=1
            shift 2
            ;;
        *)
            batchrest+=("$1")
            shift
            ;;
        esac
    done
    for word in rocks ground; do
        value=$(wholenumber "${batchset[$word]}") ||
            { batcherror "--$word wants a whole number, not '${batchset[$word]}'"; return 2; }
        batchset[$word]=$value
    done
    exportlist "${batchset[export]}" || return 2
    texturelist "${batchset[textures]}" || return 2
}

# "glb,vox" checked against batchexports, each once.
exportlist() {
    local -a names
    local name known seen=","
    IFS=, read -ra names <<< "$1"
    for name in "${names[@]}"; do
        known=no
        for k in "${batchexports[@]}"; do [ "$name" = "$k" ] && known=yes; done
        if [ $known = no ]; then
            batcherror "--export takes ${batchexports[*]} separated by commas, not '$name'"
            return 1
        fi
        case $seen in *",$name,"*)
            batcherror "--export names $name twice"
            return 1
            ;;
        esac
        seen+="$name,"
    done
}

# Each word of --textures is a file or a pattern ('examples/*.tx'); the
# matches of a pattern in byte order of their names. The scripts keep the
# order of the words: the first script colours the ground.
texturelist() {
    local word path
    local -a words matches
    read -ra words <<< "$1"
    for word in "${words[@]}"; do
        matches=()
        while IFS= read -r -d '' path; do
            matches+=("$path")
        done < <(LC_ALL=C compgen -G "$word" | LC_ALL=C sort | tr '\n' '\0')
        if [ ${#matches[@]} -eq 0 ]; then
            batcherror "--textures: no texture script matches '$word'"
            return 1
        fi
        for path in "${matches[@]}"; do
            if [ ! -f "$path" ] || [ ! -r "$path" ]; then
                batcherror "--textures: '$path' is not a readable file"
                return 1
            fi
            batchtextures+=("$(realpath -s -- "$path")")
        done
    done
    if [ ${#batchtextures[@]} -gt $batchmaxtextures ]; then
        batcherror "--textures: ${#batchtextures[@]} scripts, vrastik takes at most $batchmaxtextures"
        return 1
    fi
}

# The settings as batch.conf holds them.
conftext() {
    local path
    echo "# voxel batch settings: every seed of this folder is made with them"
    echo "seeds ${batchset[seeds]}"
    echo "rocks ${batchset[rocks]}"
    echo "ground ${batchset[ground]}"
    echo "export ${batchset[export]}"
    for path in "${batchtextures[@]}"; do
        echo "texture $path"
    done
}

# Reads OUTDIR/batch.conf into batchset and batchtextures.
readconf() {
    local key value
    batchtextures=()
    [ -f "$1/batch.conf" ] || { batcherror "$1 holds no batch (no $1/batch.conf)"; return 1; }
    while IFS=' ' read -r key value; do
        case $key in
        seeds | rocks | ground | export) batchset[$key]=$value ;;
        texture) batchtextures+=("$value") ;;
        esac
    done < "$1/batch.conf"
}

# The seeds of batchset[seeds] into the file, none twice; 1 with a message.
seedlist() {
    local twice
    [ -n "${batchset[seeds]}" ] || { batcherror "which seeds? (--seeds 1-500)"; return 1; }
    expandseeds "${batchset[seeds]}" > "$1" || return 1
    twice=$(sort -n "$1" | uniq -d | head -1)
    [ -z "$twice" ] || { batcherror "--seeds: seed $twice is listed twice"; return 1; }
}

# Makes OUTDIR/batch.conf and OUTDIR/seeds (from the list made by seedlist),
# or, when they are there, checks that they hold these settings. Concurrent
# callers with the same settings (the tasks of a Slurm array) all succeed:
# each file appears whole by rename.
claimfolder() {
    local outdir=$1 list=$2 text
    text=$(conftext)
    if [ -f "$outdir/batch.conf" ]; then
        if [ "$(cat "$outdir/batch.conf")" != "$text" ]; then
            batcherror "$outdir holds a batch made with other settings (< given, > $outdir/batch.conf):"
            diff <(echo "$text") "$outdir/batch.conf" | grep '^[<>]' >&2
            return 1
        fi
        [ -f "$outdir/seeds" ] && return 0
    fi
    replacefile "$outdir/seeds" < "$list" && echo "$text" | replacefile "$outdir/batch.conf"
}

# Gives a file from mktemp (mode 600) the mode the umask gives a new file.
newfilemode() {
    chmod "$(printf '%o' $((0666 & ~0$(umask))))" "$1"
}

# Standard input into path through a temporary file beside it and a rename,
# so a reader never sees half a file.
replacefile() {
    local temp
    temp=$(mktemp "$1.XXXXXXXX.tmp") || return 1
    if cat > "$temp" && newfilemode "$temp" && mv -f "$temp" "$1"; then
        return 0
    fi
    rm -f "$temp"
    batcherror "cannot write $1"
    return 1
}

# ---- seed folders ------------------------------------------------------------------

# Sets seedrow to the seed's result line and seedstatus to its status
# ("ok", "failed: ...", or "unfinished" when the folder has no result).
seedstate() {
    local dir=$1/$2 fields
    seedrow=""
    seedstatus=unfinished
    [ -f "$dir/result.csv" ] && IFS= read -r seedrow < "$dir/result.csv" || true
    if [ -z "$seedrow" ]; then
        seedrow="$2,${batchkinds[$(($2 & 15))]},${batchset[rocks]},${batchset[ground]},,unfinished,,,,"
        return
    fi
    IFS=, read -ra fields <<< "$seedrow"
    seedstatus=${fields[5]}
    # A result that says ok but whose map is gone is not done.
    if [ "$seedstatus" = ok ] && [ ! -f "$dir/mundra.gmv" ]; then
        seedstatus="unfinished"
        seedrow="${seedrow/,ok,/,unfinished,}"
    fi
}

# ---- summary -----------------------------------------------------------------------

# Writes OUTDIR/summary.csv and the contact sheets from the seed folders; sets
# summarydone, summaryfailed, summaryunfinished and the first failures in
# summaryfailures.
summarise() {
    local outdir=$1 seed rows
    summarydone=0 summaryfailed=0 summaryunfinished=0
    summaryfailures=()
    rows=$(mktemp "$outdir/summary.csv.XXXXXXXX.tmp")
    {
        echo "$batchheader"
        while IFS= read -r seed; do
            seedstate "$outdir" "$seed"
            echo "$seedrow"
            case $seedstatus in
            ok) summarydone=$((summarydone + 1)) ;;
            unfinished) summaryunfinished=$((summaryunfinished + 1)) ;;
            *)
                summaryfailed=$((summaryfailed + 1))
                [ ${#summaryfailures[@]} -lt 20 ] && summaryfailures+=("$seed|$seedstatus")
                ;;
            esac
        done < "$outdir/seeds"
    } > "$rows"
    replacefile "$outdir/summary.csv" < "$rows"
    rm -f "$rows"
    contactsheets "$outdir"
}

# The thumbnails in grids of at most batchsheet, each labelled with its seed
# (a seed that is not done shows as a dark tile saying why), made by
# ImageMagick's montage: it lays out, labels and compresses, which our own
# PNG writer (stored blocks, no fonts) does not.
contactsheets() {
    local outdir=$1 seed page=1 name temp columns first
    local -a seeds tiles
    if ! command -v montage > /dev/null; then
        batcherror "no contact sheet: ImageMagick's montage is not installed (bash scripts/setup.sh batch)"
        return 1
    fi
    rm -f "$outdir"/contact-*.png
    mapfile -t seeds < "$outdir/seeds"
    for ((first = 0; first < ${#seeds[@]}; first += batchsheet)); do
        tiles=()
        for seed in "${seeds[@]:first:batchsheet}"; do
            seedstate "$outdir" "$seed"
            if [ "$seedstatus" = ok ] && [ -f "$outdir/$seed/thumb.png" ]; then
                tiles+=(-label "$seed" "$outdir/$seed/thumb.png")
            else
                tiles+=(-label "$seed ${seedstatus%%:*}" "xc:#303030")
            fi
        done
        columns=1
        while [ $((columns * columns)) -lt $((${#tiles[@]} / 3)) ]; do columns=$((columns + 1)); done
        name=$outdir/contact.png
        [ $page -gt 1 ] && name=$outdir/contact-$page.png
        temp=$(mktemp "$name.XXXXXXXX.tmp")
        newfilemode "$temp"
        if ! montage -size ${batchthumb}x$batchthumb "${tiles[@]}" -tile "${columns}x" \
            -geometry ${batchthumb}x$batchthumb+4+4 -background '#202020' -fill '#e0e0e0' -pointsize 12 \
            -depth 8 -define png:exclude-chunks=date,time "png:$temp" || ! mv -f "$temp" "$name"; then
            rm -f "$temp"
            batcherror "cannot write the contact sheet $name"
            return 1
        fi
        page=$((page + 1))
    done
}
