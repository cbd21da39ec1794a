#!/bin/sh
# Times "kartivo-batch import --gcp" on a 9000 x 9000 RGB scan without georeference against
# gdalwarp -order 1 given the same six control points (through a VRT carrying them), then the
# same scan georeferenced in EPSG:4326 against gdalwarp, and prints each run's peak memory; last
# "kartivo-batch info" of the scan with the most points a set holds, 10,000, beside it, read,
# fitted and listed with their residuals (build/bin/points_bench times the fits alone). The
# 243 MB pictures are made once in the work folder and kept.
#
#   bench/import_points_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-points-bench}
runs=${3:-3}
batch="$build/bin/kartivo-batch"
seed="$(dirname "$0")/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work"

if [ ! -f "$work/scan.tif" ]; then
    gdal_translate -q -of GTiff -outsize 9000 9000 -r bilinear "$seed" "$work/scan.tif"
fi
# A 0.3 degree square over Tokyo: column, row, latitude, longitude of each point.
points="0 0 35.8 139.6
9000 0 35.8 139.9
0 9000 35.5 139.6
9000 9000 35.5 139.9
3000 4500 35.65 139.7
6500 2000 35.73333333333333 139.81666666666666"
gcpArgs=$(echo "$points" | awk '{ printf " --gcp %s,%s,%s,%s", $1, $2, $3, $4 }')
translateArgs=$(echo "$points" | awk '{ printf " -gcp %s %s %s %s", $1, $2, $4, $3 }')
# shellcheck disable=SC2086 # the arguments are made to be split
gdal_translate -q -of VRT -a_srs EPSG:4326 $translateArgs "$work/scan.tif" "$work/scan_gcp.vrt"
if [ ! -f "$work/ll.tif" ]; then
    gdal_translate -q -a_srs EPSG:4326 -a_ullr 139.6 35.8 139.9 35.5 "$work/scan.tif" "$work/ll.tif"
fi

. "$(dirname "$0")/measure.sh"

mkdir -p "$work/out"
# shellcheck disable=SC2086
measure "kartivo-batch import --gcp (poly1)" "$batch" import -o "$work/out/k.bmp" $gcpArgs "$work/scan.tif"
measure "gdalwarp -order 1 -t_srs EPSG:3857" gdalwarp -q -order 1 -t_srs EPSG:3857 -of BMP "$work/scan_gcp.vrt" \
    "$work/out/g.bmp"
measure "kartivo-batch import (EPSG:4326)" "$batch" import -o "$work/out/d.bmp" "$work/ll.tif"
measure "gdalwarp -t_srs EPSG:3857" gdalwarp -q -t_srs EPSG:3857 -of BMP "$work/ll.tif" "$work/out/g.bmp"
awk 'BEGIN { srand(1); print "mapX,mapY,sourceX,sourceY,enable"
    for (i = 0; i < 10000; i++) {
        c = rand() * 9000; r = rand() * 9000
        printf "%.9f,%.9f,%.3f,%.3f,1\n", 139.6 + (c + rand() - 0.5) * 0.3 / 9000, 35.8 - (r + rand() - 0.5) * 0.3 / 9000, c, -r
    } }' > "$work/scan.tif.points"
measure "kartivo-batch info, 10000 points beside" "$batch" info "$work/scan.tif"
rm -rf "$work/out" "$work/scan.tif.points"
