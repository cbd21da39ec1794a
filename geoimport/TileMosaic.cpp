#include "geoimport/TileMosaic.h"

#include <algorithm>
#include <cstring>

namespace kartivo::geoimport {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

}  // namespace

TileMosaic::TileMosaic(TileWindow window, TileUrl url, TileFetcher& fetcher)
    : window_(window), url_(std::move(url)), fetcher_(fetcher) {
    firstColumn_ = FloorDiv(window_.left, TilePixelSide);
    firstRow_ = FloorDiv(window_.top, TilePixelSide);
    tileColumns_ = FloorDiv(window_.left + window_.width - 1, TilePixelSide) - firstColumn_ + 1;
    tileRows_ = FloorDiv(window_.top + window_.height - 1, TilePixelSide) - firstRow_ + 1;
}

std::int64_t TileMosaic::UncachedCount() const {
    std::int64_t count = 0;
    for (std::int64_t y = firstRow_; y < firstRow_ + tileRows_; ++y) {
        for (std::int64_t x = firstColumn_; x < firstColumn_ + tileColumns_; ++x) {
            count += fetcher_.IsCached({window_.zoom, x, y}) ? 0 : 1;
        }
    }
    return count;
}

ImportStatus TileMosaic::Load(std::int64_t tileRow) {
    std::vector<TileAddress> tiles;
    std::vector<std::string> urls;
    for (std::int64_t x = firstColumn_; x < firstColumn_ + tileColumns_; ++x) {
        tiles.push_back({window_.zoom, x, tileRow});
        urls.push_back(url_(tiles.back()));
    }
    // The row held so far goes first: two rows of a wide area would double the memory.
    row_.clear();
    loaded_ = -1;
    TileRowResult fetched = fetcher_.FetchRow(tiles, urls);
    if (fetched.status.error != ImportError::None) return fetched.status;
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const TilePixels& tile = fetched.tiles[i];
        if (!tile.missing && (tile.width != TilePixelSide || tile.height != TilePixelSide)) {
            return Refusal(ImportError::ReadFailed, "Cannot use tile " + TileName(tiles[i]) + " from " + urls[i] +
                                                        ": it is " + std::to_string(tile.width) + " x " +
                                                        std::to_string(tile.height) + " pixels, not 256 x 256");
        }
    }
    row_ = std::move(fetched.tiles);
    loaded_ = tileRow;
    done_ += tileColumns_;
    if (progress_ && !progress_(done_, TileCount())) return Refusal(ImportError::Canceled, "Canceled");
    return {};
}

ImportStatus TileMosaic::ReadRows(std::int64_t top, std::int32_t rows, std::uint8_t* out, std::size_t rowBytes) {
    // Lowest row first, so the rows of tiles are met bottom up.
    for (std::int32_t r = rows - 1; r >= 0; --r) {
        const std::int64_t gridRow = window_.top + top + r;
        const std::int64_t tileRow = FloorDiv(gridRow, TilePixelSide);
        if (tileRow != loaded_) {
            if (ImportStatus loaded = Load(tileRow); loaded.error != ImportError::None) return loaded;
        }
        const std::int64_t inTile = gridRow - tileRow * TilePixelSide;
        std::uint8_t* target = out + std::size_t(rows - 1 - r) * rowBytes;
        for (std::int64_t column = 0; column < window_.width;) {
            const std::int64_t gridColumn = window_.left + column;
            const std::int64_t tileColumn = FloorDiv(gridColumn, TilePixelSide);
            const std::int64_t from = gridColumn - tileColumn * TilePixelSide;
            const std::int64_t count = std::min<std::int64_t>(TilePixelSide - from, window_.width - column);
            const TilePixels& tile = row_[std::size_t(tileColumn - firstColumn_)];
            std::uint8_t* pixel = target + column * 3;
            if (tile.missing) {
                std::memset(pixel, 0xFF, std::size_t(count) * 3);
            } else {
                const std::uint8_t* source = tile.rgb.data() + (std::size_t(inTile) * TilePixelSide + from) * 3;
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
