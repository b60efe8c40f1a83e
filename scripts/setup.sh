#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
#   scripts/setup.sh build   compiler, CMake, SDL2 (the designer), zlib (mapexport)
#   scripts/setup.sh batch   also GNU parallel, rsync, ssh and openssl (batches of seeds, scripts/batch.sh),
#                            ImageMagick and a font (its contact sheets)
#   scripts/setup.sh test    all of the above, and also GoogleTest, Google Benchmark, 32-bit tool chain,
#                            qemu-i386, clang and the fuzzer runtime of that clang,
#                            muparser (benchmark only), Python and pngcheck
#                            (independent PNG readers), Xvfb, xdotool and xwd (the
#                            designer's end-to-end tests), xfonts-base (the fonts
#                            its font table is made from), an ssh server, munge and a
#                            Slurm controller and node (the batch tests start their own),
#                            assimp and Node.js (the glTF clients of the mapexport tests)
set -euo pipefail

sudo=""
[ "$(id -u)" -ne 0 ] && sudo=sudo
updated=no

# Installs those of the named packages that are not installed yet.
install() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    if [ $updated = no ]; then
        $sudo apt-get update -qq
        updated=yes
    fi
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}"
}

# Whether clang++ links a libFuzzer target, i.e. its fuzzer runtime is there.
fuzzerlinks() {
    local dir status
    dir=$(mktemp -d)
    printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }\n' \
        > "$dir/check.cpp"
    clang++ -fsanitize=fuzzer "$dir/check.cpp" -o "$dir/check" >/dev/null 2>&1 && status=0 || status=1
    rm -rf "$dir"
    return $status
}

mode=${1:-build}
case $mode in
build | batch | test) ;;
*) echo "usage: scripts/setup.sh [build|batch|test]" >&2; exit 2 ;;
esac

install cmake make g++ binutils libsdl2-dev zlib1g-dev
[ "$mode" = build ] && exit 0
install parallel rsync openssh-client openssl imagemagick fonts-dejavu-core
[ "$mode" = batch ] && exit 0

install libgtest-dev googletest libbenchmark-dev g++-multilib qemu-user clang libmuparser-dev python3 pngcheck \
    xvfb xdotool x11-apps xfonts-base openssh-server munge slurmctld slurmd slurm-client \
    assimp-utils time
# Node.js may come from elsewhere than Debian, with an npm of its own.
command -v node >/dev/null && command -v npm >/dev/null || install nodejs npm
if ! fuzzerlinks; then
    # The runtime comes in a package named for clang's major version.
    major=$(clang++ -dumpversion | cut -d. -f1)
    install "libclang-rt-$major-dev"
    if ! fuzzerlinks; then
        echo "setup: clang++ $major cannot link a libFuzzer target (is libclang-rt-$major-dev installed?)" >&2
        exit 1
    fi
fi
