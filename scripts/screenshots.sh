#!/bin/sh
# Pictures of the window as people will see it, for a person to look at (not a test): the built
# kartivo on Xvfb screens of 1366x768 and 1920x1080 at scale factors 1, 1.5 and 2, with the IPA
# font and with only DejaVu Sans, each with a picture loaded from the command line.
#   scripts/screenshots.sh [BUILD_DIR [OUT_DIR]]   (defaults: build, build/screenshots)
set -eu
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-$build/screenshots}
mkdir -p "$out"
cmake --build "$build" --target kartivo screen_grab >/dev/null

# A picture whose name carries corners with three integer digits, so the signs must show.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
picture="$scratch/Tokyo(35.6,139.6,35.7,139.8).bmp"
printf 'BM\106\0\0\0\0\0\0\0\066\0\0\0\050\0\0\0\2\0\0\0\2\0\0\0\1\0\030\0\0\0\0\0\020\0\0\0\023\013\0\0\023\013\0\0\0\0\0\0\0\0\0\0' >"$picture"
head -c 16 /dev/zero >>"$picture"

shoot() { # NAME SCREEN SCALE [FONTCONFIG_FILE]
    name=$1 screen=$2 scale=$3 fonts=${4:-}
    xvfb-run -a -s "-screen 0 ${screen}x24" sh -c '
        if [ -n "$4" ]; then export FONTCONFIG_FILE="$4"; fi
        QT_SCALE_FACTOR=$3 "$1/bin/kartivo" "$5" & app=$!
        sleep 2
        "$1/bin/screen_grab" "$2"
        kill $app' sh "$build" "$out/$name.png" "$scale" "$fonts" "$picture"
    echo "$out/$name.png"
}

for screen in 1366x768 1920x1080; do
    for scale in 1 1.5 2; do
        shoot "window-$screen-scale-$scale" "$screen" "$scale"
    done
done
shoot "window-dejavu-1920x1080" 1920x1080 1 "$PWD/tests/view/fonts/without-ipa.conf"
