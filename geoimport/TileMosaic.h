#pragma once
// A rectangle of a zoom's tile grid read as a bitmap's rows: the tiles it touches fetched a row
// of tiles at a time, each pixel copied from its tile, the edge tiles cut to the rectangle.
// Only the module's sources include this header.

#include "geoimport/TileFetch.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

// The URL of one tile, the source's template filled in; empty where the source cannot name it.
using TileUrl = std::function<std::string(const TileAddress&)>;
// Told after each row of tiles: tiles done of all; false stops the reading there.
using TileProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

class TileMosaic {
public:
    TileMosaic(std::int32_t zoom, const TileArea& area, TileUrl url, TileRowSource& tiles);
    void SetProgress(TileProgress progress) { progress_ = std::move(progress); }

    const TileArea& Area() const { return area_; }
    std::int64_t TileCount() const { return area_.TileCount(); }
    // Tiles whose pixels were not yet in the cache (a tile folder on disk: none).
    std::int64_t UncachedCount() const;

    // The window's rows top .. top + rows - 1 (from its top), as a bitmap stores them: lowest row
    // first, each rowBytes apart, blue, green and red; white where a tile is missing. Rows are
    // asked bottom up, as the import writes them, so each row of tiles is fetched once.
    ImportStatus ReadRows(std::int64_t top, std::int32_t rows, std::uint8_t* out, std::size_t rowBytes);

private:
    ImportStatus Load(std::int64_t tileRow);

    std::int32_t zoom_;
    TileArea area_;
    TileUrl url_;
    TileRowSource& source_;
    TileProgress progress_;
    std::int64_t loaded_ = -1;  // the row of tiles held, from the grid's top
    std::int64_t done_ = 0;
    std::vector<TilePixels> row_;
};

}  // namespace kartivo::geoimport
