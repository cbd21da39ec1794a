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

// Whether the file is there and younger than days.
bool IsFreshFile(const std::string& path, double days);

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

// Where an area's tiles come from, a row of tiles at a time: a URL template's tiles fetched one
// by one (TileFetcher), or a zoom level of a source GDAL reads as a raster (GdalTileLevel).
class TileRowSource {
public:
    virtual ~TileRowSource() = default;

    // The tiles at urls (one per tile, urls[i] for tiles[i]; empty where a source cannot name
    // it): from the cache where it holds a fresh copy, else from the source. All or nothing: the
    // first tile that fails for good (a server error or timeout after the retries, an answer
    // that is no image) fails the row, naming the tile, its URL and the HTTP status; tiles
    // fetched before it stay cached.
    virtual TileRowResult FetchRow(const std::vector<TileAddress>& tiles, const std::vector<std::string>& urls) = 0;

    // Whether a fresh copy of the tile is in the cache (a tile folder or file on disk counts as
    // cached).
    virtual bool IsCached(const TileAddress& tile) const = 0;

    // The tiles the source did not have, in the order met.
    const std::vector<TileAddress>& Missing() const { return missing_; }
    // What the person is told of them; empty when there were none.
    std::string MissingWarning() const;

protected:
    // local: a folder or file on disk, read as fast as it gives; else at most rate new tiles a
    // second are asked (0: no limit).
    TileRowSource(bool local, double rate) : local_(local), rate_(rate) {}
    // Waits until the next count tiles may be asked without passing the rate.
    void WaitForTurn(std::size_t count);

    bool local_;
    std::vector<TileAddress> missing_;
    std::string missingAt_ = "at the source (HTTP 404 or 204)";

private:
    double rate_;
    std::vector<double> starts_;  // of the latest tiles asked, seconds on the steady clock
};

class TileFetcher final : public TileRowSource {
public:
    explicit TileFetcher(TileFetchOptions options);

    TileRowResult FetchRow(const std::vector<TileAddress>& tiles, const std::vector<std::string>& urls) override;
    bool IsCached(const TileAddress& tile) const override;

    // Tiles asked of the source so far, retries counted once; the cache's answers are not.
    std::int64_t Fetched() const { return fetched_; }

private:
    std::string CachePath(const TileAddress& tile) const;
    void Keep(const TileAddress& tile, const std::string& bytes) const;

    TileFetchOptions options_;
    std::string cacheSourceFolder_;
    std::int64_t fetched_ = 0;
};

// "3 tiles are missing at the source (HTTP 404 or 204) and left white: 5/1/2, 5/1/3, 5/1/4"; the
// first few are named.
std::string MissingTilesWarning(const std::vector<TileAddress>& missing,
                                const std::string& at = "at the source (HTTP 404 or 204)");

// The tile's bytes as pixels through GDAL (PNG, JPEG, WebP, TIFF); palette and grey become red,
// green and blue, and alpha is laid over white. False when the bytes are no picture of bytes.
bool DecodeTile(const std::string& bytes, TilePixels& pixels);

}  // namespace kartivo::geoimport
