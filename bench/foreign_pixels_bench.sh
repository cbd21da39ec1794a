#!/bin/sh
# Times opening a 20000 x 20000 RGB GeoTIFF for display and its first full-window read (the
# whole picture at the step that fits 1920 x 1080), and prints the peak memory, for:
#   (a) the plain GeoTIFF gdal_translate writes: uncompressed strips, no overviews
#   (b) the same tiled, DEFLATE-compressed, with overviews from gdaladdo
# The sources are made once in the work folder and kept for later runs. Every run finds them
# in the page cache (just written, or read by the run before), so these are warm figures.
#
#   bench/foreign_pixels_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-foreign-bench}
runs=${3:-3}
bench="$build/bin/foreign_pixels_bench"
seed="$(dirname "$0")/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work"

if [ ! -f "$work/striped.tif" ]; then
    gdal_translate -q -of GTiff -outsize 20000 20000 -r bilinear -a_srs EPSG:3857 \
        -a_ullr 15540000 4300000 15600000 4240000 "$seed" "$work/striped.tif"
fi
if [ ! -f "$work/tiled.tif" ]; then
    gdal_translate -q -co TILED=YES -co COMPRESS=DEFLATE "$work/striped.tif" "$work/tiled.tif"
    gdaladdo -q -r average "$work/tiled.tif" 2 4 8 16 32 64
fi

for picture in striped tiled; do
    echo "($picture)"
    i=0
    while [ "$i" -lt "$runs" ]; do
        "$bench" "$work/$picture.tif"
        i=$((i + 1))
    done
done
