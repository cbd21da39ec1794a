#!/bin/sh
# Times "kartivo-batch import --tiles" of an area at zoom 12 over Tokyo, and prints each run's
# peak memory:
#   (f) from a tile folder on disk (file://), 1,200 tiles (40 x 30)
#   (s) the same tiles from tests/tile_server.py on 127.0.0.1, --rate raised, the cache emptied
#       before each run, so every tile is asked of the server
#   (c) the same again with the cache full: nothing is fetched
#   (l) a large area from the folder: 63 x 63 tiles, a 16128 x 16128 bitmap of 780 MB
# and the same windows through a GDAL_WMS description of a TMS service, each timed against
# gdal_translate -srcwin of the same window from the same description to a BMP, as the import
# writes (the description keeps three bands for it; the import asks GDAL for a fourth, alpha):
#   (xf) over the folder, file://, 1,200 tiles
#   (xs) over the server, --rate 100000, both caches emptied before each run
#   (xl) over the folder, the 780 MB area
# The tiles are copies of one 256 x 256 PNG, made once in the work folder and kept.
#
#   bench/tile_bench.sh [BUILD_DIR] [WORK_DIR] [RUNS]
set -eu
build=${1:-build}
work=${2:-/tmp/kartivo-tile-bench}
runs=${3:-3}
batch="$build/bin/kartivo-batch"
here="$(dirname "$0")"
seed="$here/../tests/data/bmpsuite/g/rgb24.bmp"
mkdir -p "$work/out"

if [ ! -f "$work/tiles/done" ]; then
    gdal_translate -q -of PNG -outsize 256 256 "$seed" "$work/tile.png"
    for x in $(seq 3620 3682); do
        mkdir -p "$work/tiles/12/$x"
        for y in $(seq 1590 1652); do cp "$work/tile.png" "$work/tiles/12/$x/$y.png"; done
    done
    touch "$work/tiles/done"
fi

# The box whose corner pixels' centres are those of tiles x0..x1, y0..y1 at zoom 12.
box() {
    python3 -c 'import math, sys
x0, y0, x1, y1 = map(int, sys.argv[1:])
n = 256 * 2 ** 12
lon = lambda px: px / n * 360 - 180
lat = lambda py: math.degrees(math.atan(math.sinh(math.pi * (1 - 2 * py / n))))
print("%.10f,%.10f,%.10f,%.10f" % (lat(256 * (y1 + 1) - 0.5), lon(256 * x0 + 0.5), lat(256 * y0 + 0.5), lon(256 * (x1 + 1) - 0.5)))' "$@"
}
small=$(box 3620 1590 3659 1619)
large=$(box 3620 1590 3682 1652)

KARTIVO_TILE_SERVER_DELAY=0 python3 "$here/../tests/tile_server.py" "$work/tiles" /dev/null > "$work/port" &
server=$!
trap 'kill $server' EXIT
sleep 1
port=$(head -n 1 "$work/port")

. "$here/measure.sh"

export XDG_CACHE_HOME="$work/cache"
measure "(f) file:// 1200 tiles" "$batch" import --tiles "file://$work/tiles/{z}/{x}/{y}.png" --zoom 12 \
    --box "$small" -o "$work/out/f.bmp"
measure "(s) 127.0.0.1, --rate 100000, 1200 tiles" sh -c 'rm -rf "$XDG_CACHE_HOME"; exec "$@"' sh "$batch" import \
    --tiles "http://127.0.0.1:$port/{z}/{x}/{y}.png" --zoom 12 --box "$small" --rate 100000 -o "$work/out/s.bmp"
measure "(c) 127.0.0.1, all 1200 cached" "$batch" import \
    --tiles "http://127.0.0.1:$port/{z}/{x}/{y}.png" --zoom 12 --box "$small" --rate 100000 -o "$work/out/c.bmp"
measure "(l) file:// 3969 tiles, 780 MB" "$batch" import --tiles "file://$work/tiles/{z}/{x}/{y}.png" --zoom 12 \
    --box "$large" --max-tiles 5000 -o "$work/out/l.bmp"

# A GDAL_WMS description of the tiles at $1, zoom 12 its full resolution, written to $2.
describe() {
    cat > "$2" <<EOF
<GDAL_WMS><Service name="TMS"><ServerUrl>$1/\${z}/\${x}/\${y}.png</ServerUrl></Service>
<DataWindow><UpperLeftX>-20037508.342789244</UpperLeftX><UpperLeftY>20037508.342789244</UpperLeftY>
<LowerRightX>20037508.342789244</LowerRightX><LowerRightY>-20037508.342789244</LowerRightY>
<TileLevel>12</TileLevel><TileCountX>1</TileCountX><TileCountY>1</TileCountY><YOrigin>top</YOrigin></DataWindow>
<Projection>EPSG:3857</Projection><BlockSizeX>256</BlockSizeX><BlockSizeY>256</BlockSizeY><BandsCount>3</BandsCount>
<MaxConnections>2</MaxConnections>$3</GDAL_WMS>
EOF
}
describe "file://$work/tiles" "$work/folder.xml" ""
describe "http://127.0.0.1:$port" "$work/server.xml" "<Cache><Path>$work/gdalcache</Path></Cache>"

# The -srcwin of tiles x0..x1 by y0..y1 at zoom 12.
srcwin() { echo $(($1 * 256)) $(($2 * 256)) $((($3 - $1 + 1) * 256)) $((($4 - $2 + 1) * 256)); }

# gdal_translate, then the import, of the same window of one description; each empties its cache.
pair() {
    name=$1 xml=$2 window=$3 area=$4
    shift 4
    measure "($name) gdal_translate -srcwin" sh -c 'rm -rf "$0/gdalcache"; exec gdal_translate -q -of BMP -srcwin $1 "$2" "$0/out/t.bmp"' \
        "$work" "$window" "$xml"
    measure "($name) kartivo-batch import --tiles" sh -c 'rm -rf "$XDG_CACHE_HOME"; exec "$@"' sh "$batch" import \
        --tiles "$xml" --zoom 12 --box "$area" --max-tiles 5000 "$@" -o "$work/out/k.bmp"
}
pair xf "$work/folder.xml" "$(srcwin 3620 1590 3659 1619)" "$small"
pair xs "$work/server.xml" "$(srcwin 3620 1590 3659 1619)" "$small" --rate 100000
pair xl "$work/folder.xml" "$(srcwin 3620 1590 3682 1652)" "$large"
rm -rf "$work/out" "$work/cache" "$work/gdalcache"
