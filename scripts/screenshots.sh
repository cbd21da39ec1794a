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

# The picture window over a map: fitted, zoomed in around a point, and the output's preview, at
# scale factors 1 and 2.
python3 - "$scratch/Coast(35.2,139.2,35.8,139.9).bmp" <<'PY'
import math, struct, sys
w, h = 1500, 1100
row = (w * 3 + 3) // 4 * 4
with open(sys.argv[1], 'wb') as f:
    f.write(b'BM' + struct.pack('<IHHI', 54 + row * h, 0, 0, 54))
    f.write(struct.pack('<iiiHHIIiiII', 40, w, h, 1, 24, 0, row * h, 3780, 3780, 0, 0))
    for y in range(h):  # a coast: sea to the south-east, land with contour bands and roads
        line = bytearray()
        for x in range(w):
            land = math.sin(x / 170.0) * 120 + y * 0.8 - x * 0.35 + 120
            if land < 0:
                pixel = (200, 150, 90)
            elif (x + 3 * y) % 211 < 3 or (2 * x - y) % 307 < 3:
                pixel = (40, 40, 220)
            else:
                pixel = (110, 190 - int(land / 12) % 2 * 30, 150)
            line += bytes(pixel)
        f.write(bytes(line) + bytes(row - w * 3))
PY
shot() { # NAME SCALE [NOTCHES [OUT_BOTTOM OUT_TOP [PREVIEW_HEIGHT]]]
    name=$1 scale=$2
    shift 2
    xvfb-run -a -s "-screen 0 1920x1080x24" env QT_SCALE_FACTOR="$scale" \
        "$build/bin/picture_shot" "$scratch/Coast(35.2,139.2,35.8,139.9).bmp" "$out/$name.png" "$@"
    echo "$out/$name.png"
}
cmake --build "$build" --target picture_shot >/dev/null
for scale in 1 2; do
    shot "picture-scale-$scale" "$scale" 0 35.35 35.7
    shot "picture-zoomed-scale-$scale" "$scale" 6 35.35 35.7
done
shot "picture-preview" 1 0 35.35 35.7 700

# Georeferencing a scan: the points kept beside it, the table, residuals and the worst point;
# their map coordinates in UTM zone 54N, named in the file as GIS georeferencers name it.
scan="$scratch/Coast(35.2,139.2,35.8,139.9).bmp"
{
    printf '#CRS: %s\n' "$(gdalsrsinfo -o wkt2 EPSG:32654 | tr -d '\n')"
    echo "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual"
    while read -r lon lat column row enable; do
        xy=$(echo "$lon $lat" | gdaltransform -s_srs EPSG:4326 -t_srs EPSG:32654 | cut -d' ' -f1,2 | tr ' ' ',')
        echo "$xy,$column,$row,$enable,0,0,0"
    done <<'POINTS'
139.25 35.75 100 -120 1
139.85 35.74 1400 -150 1
139.3 35.3 200 -950 1
139.8 35.27 1300 -1000 1
139.55 35.5 760 -560 0
POINTS
} >"$scan.points"
for screen in 1280x1024:1 1366x768:1.5 1920x1080:2; do
    xvfb-run -a -s "-screen 0 ${screen%:*}x24" env QT_SCALE_FACTOR="${screen#*:}" \
        "$build/bin/picture_shot" "$scan" "$out/picture-points-$screen.png" points
    echo "$out/picture-points-$screen.png"
done

# File > Map from Tile Server... over a tile folder the script makes (a world drawn in Python,
# warped to Web Mercator by gdalwarp and cut into zoom 0 to 4), Show pressed: the dialog and the
# typed box on the source, at scale factors 1 and 2 and on a 1366x768 screen at 1.5. The recent
# sources are kept in the scratch folder, not the person's settings.
"${KARTIVO_PYTHON:-/usr/bin/python3}" - "$scratch/world.png" <<'PY'
import math, sys
from PIL import Image
w, h = 2048, 1024
picture = Image.new('RGB', (w, h))
pixels = picture.load()
for y in range(h):
    lat = math.radians(90 - (y + 0.5) * 180 / h)
    for x in range(w):
        lon = math.radians(-180 + (x + 0.5) * 360 / w)
        land = math.sin(2 * lon + 1) * math.cos(3 * lat) + 0.6 * math.sin(5 * lon + 4 * lat) + 0.35 * math.cos(11 * lon - 7 * lat)
        pixels[x, y] = (150, 170, 100) if land > 0.45 else (80, 140, 210)
        if (x % 85 == 0) or (y % 85 == 0):
            pixels[x, y] = (90, 90, 90)  # a graticule of 15 degrees
picture.save(sys.argv[1])
open(sys.argv[1][:-4] + '.pgw', 'w').write(f"{360 / w}\n0\n0\n{-180 / h}\n{-180 + 180 / w}\n{90 - 90 / h}\n")
PY
m=20037508.342789244
gdalwarp -q -s_srs EPSG:4326 -t_srs EPSG:3857 -te -$m -$m $m $m -ts 4096 4096 "$scratch/world.png" "$scratch/world.tif"
"${KARTIVO_PYTHON:-/usr/bin/python3}" - "$scratch/world.tif" "$scratch/tiles" <<'PY'
import os, sys
from PIL import Image
world = Image.open(sys.argv[1]).convert('RGB')
for z in range(5):
    level = world.resize((256 << z, 256 << z), Image.LANCZOS)
    for x in range(1 << z):
        os.makedirs(f'{sys.argv[2]}/{z}/{x}', exist_ok=True)
        for y in range(1 << z):
            level.crop((x * 256, y * 256, x * 256 + 256, y * 256 + 256)).save(f'{sys.argv[2]}/{z}/{x}/{y}.png')
PY
for screen in 1920x1080:1 1920x1080:2 1366x768:1.5; do
    xvfb-run -a -s "-screen 0 ${screen%:*}x24" env QT_SCALE_FACTOR="${screen#*:}" XDG_CONFIG_HOME="$scratch/config" \
        "$build/bin/picture_shot" "file://$scratch/tiles/{z}/{x}/{y}.png" "$out/tiles-$screen.png" tiles 4 30 125 46 150
    echo "$out/tiles-$screen.png"
done

# The README's two pictures, kept in docs/: the windows over a loaded map with the band Make
# keeps, and a scan being georeferenced; each on a 1366x768 screen, cut to the windows, halved.
mkdir -p docs
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bin/picture_shot" "$scan" "$scratch/window.png" 0 35.35 35.7
xvfb-run -a -s "-screen 0 1366x768x24" "$build/bin/picture_shot" "$scan" "$scratch/points.png" points
"${KARTIVO_PYTHON:-/usr/bin/python3}" - "$scratch/window.png" docs/window.png "$scratch/points.png" \
    docs/georeferencing.png <<'PY'
import sys
from PIL import Image
for source, target in zip(sys.argv[1::2], sys.argv[2::2]):
    picture = Image.open(source).convert('RGB')
    picture = picture.crop(picture.getbbox())  # the windows, without the empty screen around them
    if 'georeferencing' in target:  # the picture window alone: right of the gap between the windows
        gray = picture.convert('L')
        gap = next(x for x in range(picture.width) if gray.crop((x, 0, x + 1, picture.height)).getbbox() is None)
        picture = picture.crop((gap, 0, picture.width, picture.height))
        picture = picture.crop(picture.getbbox())
    picture.resize((picture.width // 2, picture.height // 2), Image.LANCZOS).save(target, optimize=True)
    print(target)
PY
