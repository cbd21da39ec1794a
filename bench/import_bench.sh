#!/bin/sh
# Times "kartivo-batch import" on a 20000 x 20000 RGB GeoTIFF against GDAL's own tools doing
# the same job, and prints each run's peak memory:
#   (a) a picture in Web Mercator, copied:   against gdal_translate -of BMP
#   (b) the same area in EPSG:4326, warped:  against gdalwarp -t_srs EPSG:3857 -of BMP
#   (e) a 9000 x 9000 picture in Web Mercator, copied: against cat and sync of the same bytes, the
#       least a durable copy of it can cost
# The two 1.2 GB sources are made once in the work folder and kept for later runs.
#
#   bench/import_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-import-bench}
runs=${3:-3}
batch="$build/bin/kartivo-batch"
seed="$(dirname "$0")/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work"

# Tokyo, 60 km square in Web Mercator, and the same corners in longitude and latitude.
if [ ! -f "$work/mercator.tif" ]; then
    gdal_translate -q -of GTiff -outsize 20000 20000 -r bilinear -a_srs EPSG:3857 \
        -a_ullr 15540000 4300000 15600000 4240000 "$seed" "$work/mercator.tif"
fi
if [ ! -f "$work/lonlat.tif" ]; then
    set -- $(echo "15540000 4300000
15600000 4240000" | gdaltransform -s_srs EPSG:3857 -t_srs EPSG:4326 -output_xy | tr '\n' ' ')
    gdal_translate -q -of GTiff -outsize 20000 20000 -r bilinear -a_srs EPSG:4326 \
        -a_ullr "$1" "$2" "$3" "$4" "$seed" "$work/lonlat.tif"
fi

if [ ! -f "$work/mercator9000.tif" ]; then
    gdal_translate -q -of GTiff -outsize 9000 9000 -r bilinear -a_srs EPSG:3857 \
        -a_ullr 15540000 4300000 15600000 4240000 "$seed" "$work/mercator9000.tif"
fi

. "$(dirname "$0")/measure.sh"

mkdir -p "$work/out"
measure "(a) kartivo-batch import (copy)" "$batch" import -o "$work/out/a.bmp" "$work/mercator.tif"
measure "(a) gdal_translate -of BMP" gdal_translate -q -of BMP "$work/mercator.tif" "$work/out/a.bmp"
measure "(b) kartivo-batch import (warp)" "$batch" import -o "$work/out/b.bmp" "$work/lonlat.tif"
measure "(b) gdalwarp -t_srs EPSG:3857 -of BMP" gdalwarp -q -t_srs EPSG:3857 -of BMP "$work/lonlat.tif" "$work/out/b.bmp"
measure "(e) kartivo-batch import (copy)" "$batch" import -o "$work/out/e.bmp" "$work/mercator9000.tif"
measure "(e) cat + sync" sh -c 'cat "$1" > "$2" && sync "$2"' sh "$work/mercator9000.tif" "$work/out/e.bin"
rm -rf "$work/out"
