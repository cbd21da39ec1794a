#include "geoimport/TileMosaic.h"

#include <algorithm>
#include <cstring>

namespace kartivo::geoimport {

TileMosaic::TileMosaic(std::int32_t zoom, const TileArea& area, TileUrl url, TileRowSource& tiles)
    : zoom_(zoom), area_(area), url_(std::move(url)), source_(tiles) {}

std::int64_t TileMosaic::UncachedCount() const {
    std::int64_t count = 0;
    for (std::int64_t y = area_.firstTileY; y <= area_.lastTileY; ++y) {
        for (std::int64_t x = area_.firstTileX; x <= area_.lastTileX; ++x) {
            count += source_.IsCached({zoom_, x, y}) ? 0 : 1;
        }
    }
    return count;
}

ImportStatus TileMosaic::Load(std::int64_t tileRow) {
    std::vector<TileAddress> tiles;
    std::vector<std::string> urls;
    for (std::int64_t x = area_.firstTileX; x <= area_.lastTileX; ++x) {
        tiles.push_back({zoom_, x, tileRow});
        urls.push_back(url_(tiles.back()));
    }
    // The row held so far goes first: two rows of a wide area would double the memory.
    row_.clear();
    loaded_ = -1;
    TileRowResult fetched = source_.FetchRow(tiles, urls);
    if (fetched.status.error != ImportError::None) return fetched.status;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const TilePixels& tile = fetched.tiles[i];
        if (!tile.missing && (tile.width != TileSide || tile.height != TileSide)) {
            return Refusal(ImportError::ReadFailed, "Cannot use tile " + TileName(tiles[i]) + " from " + urls[i] +
                                                        ": it is " + std::to_string(tile.width) + " x " +
                                                        std::to_string(tile.height) + " pixels, not 256 x 256");
        }
    }
    row_ = std::move(fetched.tiles);
    loaded_ = tileRow;
    done_ += area_.lastTileX - area_.firstTileX + 1;
    if (progress_ && !progress_(done_, TileCount())) return Refusal(ImportError::Canceled, "Canceled");
    return {};
}

ImportStatus TileMosaic::ReadRows(std::int64_t top, std::int32_t rows, std::uint8_t* out, std::size_t rowBytes) {
    // Lowest row first, so the rows of tiles are met bottom up.
    for (std::int32_t r = rows - 1; r >= 0; --r) {
        const std::int64_t gridRow = area_.top + top + r;
        const std::int64_t tileRow = gridRow / TileSide;  // never negative: the area lies in the grid
        if (tileRow != loaded_) {
            if (ImportStatus loaded = Load(tileRow); loaded.error != ImportError::None) return loaded;
        }
        const std::int64_t inTile = gridRow - tileRow * TileSide;
        std::uint8_t* target = out + std::size_t(rows - 1 - r) * rowBytes;
        for (std::int64_t column = 0; column < area_.width;) {
            const std::int64_t gridColumn = area_.left + column;
            const std::int64_t tileColumn = gridColumn / TileSide;
            const std::int64_t from = gridColumn - tileColumn * TileSide;
            const std::int64_t count = std::min<std::int64_t>(TileSide - from, area_.width - column);
            const TilePixels& tile = row_[std::size_t(tileColumn - area_.firstTileX)];
            std::uint8_t* pixel = target + column * 3;
            if (tile.missing) {
                std::memset(pixel, 0xFF, std::size_t(count) * 3);
            } else {
                const std::uint8_t* source = tile.rgb.data() + (std::size_t(inTile) * TileSide + from) * 3;
                for (std::int64_t i = 0; i < count; ++i, pixel += 3, source += 3) {
                    pixel[0] = source[2];
                    pixel[1] = source[1];
                    pixel[2] = source[0];
                }
            }
            column += count;
        }
    }
    return {};
}

}  // namespace kartivo::geoimport
