#!/bin/sh
# Times "kartivo-batch import" of a 20000 x 20000 RGB GeoTIFF of 16-bit colours (a scanner's
# 48 bits, 2.4 GB, in Web Mercator, so copied) against gdal_translate making the same bytes
# (-ot Byte -scale 0 65535 0 255) into a bitmap, and prints each run's peak memory:
#   (f) the whole range, scaled:  against gdal_translate -ot Byte -scale 0 65535 0 255 -of BMP,
#       alone and followed by a sync of its output, since the import flushes its bitmap to disk
#       before renaming it into place
#   (g) each band stretched between its 2nd and 98th percentile (--scale stretch, which first
#       samples the picture for GDAL's histogram): against the same gdal_translate
# The source is made once in the work folder and kept for later runs.
#
#   bench/import16_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-import16-bench}
runs=${3:-3}
batch="$build/bin/kartivo-batch"
seed="$(dirname "$0")/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work"

if [ ! -f "$work/scan48.tif" ]; then
    gdal_translate -q -of GTiff -ot UInt16 -scale 0 255 0 65535 -outsize 20000 20000 -r bilinear \
        -a_srs EPSG:3857 -a_ullr 15540000 4300000 15600000 4240000 -co PHOTOMETRIC=RGB \
        "$seed" "$work/scan48.tif"
fi

. "$(dirname "$0")/measure.sh"

mkdir -p "$work/out"
measure "(f) kartivo-batch import (full)" "$batch" import -o "$work/out/f.bmp" "$work/scan48.tif"
measure "(f) gdal_translate -scale -of BMP" gdal_translate -q -ot Byte -scale 0 65535 0 255 -of BMP \
    "$work/scan48.tif" "$work/out/f.bmp"
measure "(f) gdal_translate -scale -of BMP + sync" sh -c 'gdal_translate -q -ot Byte -scale 0 65535 0 255 \
    -of BMP "$1" "$2" && sync "$2"' sh "$work/scan48.tif" "$work/out/f.bmp"
measure "(g) kartivo-batch import --scale stretch" "$batch" import --scale stretch -o "$work/out/g.bmp" \
    "$work/scan48.tif"
rm -rf "$work/out"
