#!/bin/sh
# Times "kartivo-batch import --box" cutting a window of about 1000 x 1000 pixels out of a
# 40000 x 40000 RGB GeoTIFF (4.8 GB, uncompressed in one-row strips, as gdal_translate writes
# it), with the picture's pages dropped from the page cache before every run, and prints the
# elapsed seconds, the peak resident memory and the bytes read from the disk (the process's
# file system inputs) of the run of median time:
#   (k) a picture in Web Mercator, copied:  against gdal_translate -srcwin of the same window
#   (w) the same area in EPSG:4326, warped: against gdalwarp of the same box to as many pixels
# The whole picture would be a bitmap beyond 2 GiB, which the import refuses; the box is what
# makes it importable at all. The sources are made once in the work folder and kept.
#
#   bench/import_box_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-box-bench}
runs=${3:-3}
batch="$build/bin/kartivo-batch"
seed="$(dirname "$0")/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work/out"

# 120 km square east of Tokyo in Web Mercator (3 m pixels), and the same corners in degrees.
if [ ! -f "$work/mercator.tif" ]; then
    gdal_translate -q -of GTiff -outsize 40000 40000 -r bilinear -a_srs EPSG:3857 \
        -a_ullr 15540000 4300000 15660000 4180000 "$seed" "$work/mercator.tif"
fi
if [ ! -f "$work/lonlat.tif" ]; then
    set -- $(echo "15540000 4300000
15660000 4180000" | gdaltransform -s_srs EPSG:3857 -t_srs EPSG:4326 -output_xy | tr '\n' ' ')
    gdal_translate -q -of GTiff -outsize 40000 40000 -r bilinear -a_srs EPSG:4326 \
        -a_ullr "$1" "$2" "$3" "$4" "$seed" "$work/lonlat.tif"
fi

# The box through the centres of the copied picture's columns and rows 19500 and 20499: widened
# outward, exactly those 1000 x 1000 pixels.
set -- $(echo "15598501.5 4241498.5
15601498.5 4238501.5" | gdaltransform -s_srs EPSG:3857 -t_srs EPSG:4326 -output_xy | tr '\n' ' ')
left=$1 top=$2 right=$3 bottom=$4
box="$bottom,$left,$top,$right"

# timed LABEL SOURCE COMMAND...: the picture's pages dropped before each run.
timed() {
    label=$1
    source=$2
    shift 2
    : > "$work/times"
    i=0
    while [ "$i" -lt "$runs" ]; do
        rm -f "$work"/out/*
        dd if="$source" iflag=nocache count=0 2>/dev/null
        /usr/bin/time -f "%e %M %I" -a -o "$work/times" "$@" > /dev/null
        i=$((i + 1))
    done
    sort -n "$work/times" | awk -v label="$label" '{ t[NR] = $1; m[NR] = $2; r[NR] = $3 }
        END { mid = int((NR + 1) / 2); printf "%-44s %7.2f s %8.1f MB peak %8.1f MB read\n", label, t[mid],
              m[mid] / 1024, r[mid] * 512 / 1048576 }'
}

# The bitmap's width and height, from its header.
size() { od -An -tu4 -j18 -N8 "$1" | awk '{ print $1, $2 }'; }

timed "(k) kartivo-batch import --box (copy)" "$work/mercator.tif" \
    "$batch" import --box "$box" -o "$work/out/k.bmp" "$work/mercator.tif"
"$batch" import --box "$box" -o "$work/out/k.bmp" "$work/mercator.tif" > "$work/written"
echo "    $(size "$(cat "$work/written")") pixels"
timed "(k) gdal_translate -srcwin -of BMP" "$work/mercator.tif" \
    gdal_translate -q -srcwin 19500 19500 1000 1000 -of BMP "$work/mercator.tif" "$work/out/k.bmp"

timed "(w) kartivo-batch import --box (warp)" "$work/lonlat.tif" \
    "$batch" import --box "$box" -o "$work/out/w.bmp" "$work/lonlat.tif"
"$batch" import --box "$box" -o "$work/out/w.bmp" "$work/lonlat.tif" > "$work/written"
set -- $(size "$(cat "$work/written")")
echo "    $1 $2 pixels"
timed "(w) gdalwarp -te of the box -ts as many -of BMP" "$work/lonlat.tif" \
    gdalwarp -q -t_srs EPSG:3857 -te_srs EPSG:4326 -te "$left" "$bottom" "$right" "$top" -ts "$1" "$2" -of BMP \
    "$work/lonlat.tif" "$work/out/w.bmp"
rm -rf "$work/out"
