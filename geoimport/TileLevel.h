#pragma once
// One zoom level of a tile source GDAL opens itself (a GDAL_WMS or GDAL_WMTS XML, WMTS:URL, an
// MBTiles file), read a row of tiles at a time like a URL template's tiles. Only a level lying on
// Web Mercator's tile grid is taken, so that GDAL hands over each tile's pixels as they are and
// resamples nothing. Only the module's sources include this header.

#include "geoimport/Gdal.h"
#include "geoimport/TileFetch.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace kartivo::geoimport {

class GdalTileLevel;

struct TileLevelOpening {
    std::unique_ptr<GdalTileLevel> level;
    ImportStatus status;  // why not, when there is no level
};

// The source's level that is zoom Z of the grid, GDAL told to fetch as options say: their
// User-Agent on every request (a WMTS's capabilities too), their connections and timeout, the
// cache under their cache folder, offline mode never. Refused, saying why: a source GDAL does
// not open as tiles, one off the grid, and a zoom that is none of its levels (they are named).
TileLevelOpening OpenTileLevel(const std::string& source, std::int32_t zoom, const TileFetchOptions& options);

class GdalTileLevel final : public TileRowSource {
public:
    GdalTileLevel(TileFetchOptions options, bool local);

    // A tile the level has not (GDAL's empty block: 404 or 204 at a server, none in a package)
    // is missing; a server error or timeout is asked again as TileFetcher does.
    TileRowResult FetchRow(const std::vector<TileAddress>& tiles, const std::vector<std::string>& urls) override;
    bool IsCached(const TileAddress& tile) const override;

    // The tile's URL where the source's description tells it (a TMS service), else empty.
    std::string Url(const TileAddress& tile) const;
    // The credit the source carries itself (an MBTiles package's "attribution"); empty if none.
    const std::string& Attribution() const { return attribution_; }
    // The XML asked for GDAL's offline mode, in which a tile missing from the cache comes out
    // black; it is read online all the same, so an area is taken only when all is cached.
    bool AskedOffline() const { return askedOffline_; }
    // Whether IsCached tells a server's tiles GDAL has cached: a TMS service's, whose URLs are
    // known, with a cache folder.
    bool CountsCache() const { return !local_ && !cacheFolder_.empty(); }

private:
    friend TileLevelOpening OpenTileLevel(const std::string&, std::int32_t, const TileFetchOptions&);

    // The source description's TMS service, if it is one, so that tiles can be named by URL
    // and looked for in GDAL's cache. wms is a GDAL_WMS element; halvings, how far the level
    // lies below the description's full resolution.
    void LearnUrls(const CPLXMLNode* wms, int halvings);
    ImportStatus ReadTiles(const std::vector<TileAddress>& tiles, std::size_t first, std::size_t count,
                           std::vector<TilePixels>& out);
    ImportStatus ReadFault(const std::vector<std::string>& messages, const std::vector<TileAddress>& tiles,
                           bool& retry) const;

    TileFetchOptions options_;
    Dataset dataset_;
    std::array<GDALRasterBandH, 4> bands_{};  // red, green, blue and alpha at the level
    std::int32_t zoom_ = 0;
    // The grid's pixel at the level's top-left corner, and the level's size.
    std::int64_t left_ = 0;
    std::int64_t top_ = 0;
    std::int64_t width_ = 0;
    std::int64_t height_ = 0;
    // A TMS service's tile URL: ${x}, ${y} and ${z} to fill; empty when unknown.
    std::string urlTemplate_;
    std::int32_t urlZoom_ = 0;
    bool rowsFromBottom_ = false;
    std::int64_t xMultiplier_ = 1;
    std::string cacheFolder_;  // GDAL's cache of this service; empty when none
    std::string attribution_;
    bool askedOffline_ = false;
    std::vector<std::uint8_t> rgba_;
};

}  // namespace kartivo::geoimport
