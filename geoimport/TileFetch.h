#pragma once
// Tiles of a tile service fetched politely: GDAL's own HTTP client, a User-Agent on every
// request, a cap on connections and on new tiles a second, a disk cache that a rerun reads
// before asking the server again, and every fault named by its tile. Only the module's sources
// include this header.

#include "bitmap/TileGrid.h"
#include "geoimport/ImportTypes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

using kartivo::TileAddress;

// "z/x/y", as people name a tile.
std::string TileName(const TileAddress& tile);

// $XDG_CACHE_HOME/kartivo/tiles, else ~/.cache/kartivo/tiles; empty when neither is known, and
// then nothing is cached: a cache in the working folder would be litter nobody asked for.
std::string DefaultTileCacheFolder();

struct TileFetchOptions {
    // The URL template the tiles come from: it keys the cache, so two sources never share a tile.
    std::string source;
    std::string userAgent;
    // New tiles a second asked of a server; 0 for no limit. file:// is never limited.
    double rate = 4;
    int connections = 2;
    double timeoutSeconds = 30;
    // A server error or a timeout is asked again this many times, the waits doubling.
    int retries = 3;
    double firstRetryWait = 1;
    std::string cacheFolder = DefaultTileCacheFolder();
    // Tiles older than this are fetched again.
    double cacheDays = 7;
};

// One tile's pixels, red, green and blue, top row first; white where the tile is clear.
struct TilePixels {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint8_t> rgb;
    bool missing = false;  // the server has no such tile (404, 204) or the folder no such file
};

struct TileRowResult {
    ImportStatus status;
    std::vector<TilePixels> tiles;  // in the order asked, when status is fine
};

class TileFetcher {
public:
    explicit TileFetcher(TileFetchOptions options);

    // The tiles at urls (one per tile, urls[i] for tiles[i]): from the cache where it holds a
    // fresh copy, else from the source. All or nothing: the first tile that fails for good (a
    // server error or timeout after the retries, an answer that is no image) fails the row,
    // naming the tile, its URL and the HTTP status; tiles fetched before it stay cached.
    TileRowResult FetchRow(const std::vector<TileAddress>& tiles, const std::vector<std::string>& urls);

    // Whether a fresh copy of the tile is in the cache (a tile folder on disk counts as cached).
    bool IsCached(const TileAddress& tile) const;

    // Tiles asked of the source so far, retries counted once; the cache's answers are not.
    std::int64_t Fetched() const { return fetched_; }
    // The tiles the source did not have, in the order met.
    const std::vector<TileAddress>& Missing() const { return missing_; }

private:
    std::string CachePath(const TileAddress& tile) const;
    void Keep(const TileAddress& tile, const std::string& bytes) const;
    // Waits until the next count tiles may be asked without passing the rate.
    void WaitForTurn(std::size_t count);

    TileFetchOptions options_;
    std::string cacheSourceFolder_;
    bool local_ = false;
    double nextStart_ = 0;  // seconds on the steady clock
    std::int64_t fetched_ = 0;
    std::vector<TileAddress> missing_;
};

// "3 tiles are missing at the source and left white: 5/1/2, 5/1/3, 5/1/4"; the first few are named.
std::string MissingTilesWarning(const std::vector<TileAddress>& missing);

// The tile's bytes as pixels through GDAL (PNG, JPEG, WebP, TIFF); palette and grey become red,
// green and blue, and alpha is laid over white. False when the bytes are no picture of bytes.
bool DecodeTile(const std::string& bytes, TilePixels& pixels);

}  // namespace kartivo::geoimport
