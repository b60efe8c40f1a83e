#!/bin/bash
# Wall time, processor time and peak memory of txtool render for the sides
# of the F4 question, tiled and not; each image is checked by pngcheck when
# it is installed. The machine should be quiet: the figures are of one run.
#   bash bench/txtool-sizes.sh [TXTOOL [SCRIPT]]
#   (default build/native/tools/txtool and examples/rock.tx)
set -u
txtool=${1:-build/native/tools/txtool}; script=${2:-examples/rock.tx}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
printf '%-22s %8s %8s %8s %9s %11s\n' options wall_s user_s sys_s peak_MB file_bytes
for options in "" "--size 1024" "--size 1024 --tile" "--size 2048" "--size 4096" "--size 4096 --tile"; do
    /usr/bin/time -f '%e %U %S %M' -o "$tmp/time" "$txtool" render "$script" "$tmp/out.png" $options || exit 1
    read -r wall user sys kb < "$tmp/time"
    if command -v pngcheck >/dev/null && ! pngcheck -q "$tmp/out.png"; then
        echo "pngcheck refused the image of '$options'" >&2
        exit 1
    fi
    printf '%-22s %8s %8s %8s %9.1f %11s\n' "${options:-(256)}" "$wall" "$user" "$sys" "$(awk -v k="$kb" 'BEGIN { print k / 1024 }')" \
        "$(stat -c %s "$tmp/out.png")"
done
