#!/bin/sh
# Times "kartivo-batch import --relief" on a 20000 x 20000 Float32 elevation model against what a
# person runs for the same picture with GDAL's own tools, and prints each run's peak memory:
#   (f) elevations in EPSG:4326, warped and shaded: against gdalwarp -t_srs EPSG:3857 to a
#       GeoTIFF, then gdaldem hillshade of it to a BMP
#   (g) the same with --relief color: against the same pair and gdaldem color-relief of the warped
#       elevations with the same ramp (gdaldem has no blend of the two; that is left out)
# Each import is timed right after its yardstick: on a shared machine the load moves.
# The 1.6 GB source is made once in the work folder and kept for later runs.
#
#   bench/relief_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-relief-bench}
runs=${3:-3}
batch="$build/bin/kartivo-batch"
seed="$(dirname "$0")/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work"

# Hills over the Alps, about 55 km square, in metres: the seed's red band stretched smoothly,
# with its darkest values as nodata.
if [ ! -f "$work/dem.tif" ]; then
    gdal_translate -q -of GTiff -ot Float32 -b 1 -scale 0 255 -500 3500 -outsize 20000 20000 -r bilinear \
        -a_srs EPSG:4326 -a_ullr 10.5 46.8 11.2 46.3 -a_nodata -500 "$seed" "$work/dem.tif"
fi

. "$(dirname "$0")/measure.sh"

# The relief's ramp as gdaldem color-relief reads it: percent of the range, red, green, blue.
printf '0%% 46 120 60\n20%% 120 170 90\n45%% 215 200 130\n70%% 160 110 70\n88%% 200 180 170\n100%% 255 255 255\nnv 255 255 255\n' \
    > "$work/ramp.txt"

mkdir -p "$work/out"
measure "(f) gdalwarp + gdaldem hillshade" sh -c 'gdalwarp -q -t_srs EPSG:3857 "$1" "$2/w.tif" &&
    gdaldem hillshade -q -of BMP "$2/w.tif" "$2/f.bmp"' sh "$work/dem.tif" "$work/out"
measure "(f) kartivo-batch import --relief" "$batch" import --relief -o "$work/out/f.bmp" "$work/dem.tif"
measure "(g) ... + gdaldem color-relief" sh -c 'gdalwarp -q -t_srs EPSG:3857 "$1" "$2/w.tif" &&
    gdaldem hillshade -q -of BMP "$2/w.tif" "$2/f.bmp" &&
    gdaldem color-relief -q -of BMP "$2/w.tif" "$3" "$2/c.bmp" 2> /dev/null' sh "$work/dem.tif" "$work/out" "$work/ramp.txt"
measure "(g) kartivo-batch import --relief color" "$batch" import --relief color -o "$work/out/g.bmp" "$work/dem.tif"
rm -rf "$work/out"
