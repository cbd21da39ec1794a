#include "bitmap/TileGrid.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kartivo {

namespace {

constexpr double Radian = std::numbers::pi / 180;

// A box is read from text to some decimals; an edge meant to lie on a grid line must not
// gain a pixel from the last bits of the arithmetic.
constexpr double OnGridLine = 1e-6;

std::int64_t EdgeBelow(double position) {
    const double nearest = std::round(position);
    return static_cast<std::int64_t>(std::fabs(position - nearest) <= OnGridLine ? nearest : std::floor(position));
}

std::int64_t EdgeAbove(double position) {
    const double nearest = std::round(position);
    return static_cast<std::int64_t>(std::fabs(position - nearest) <= OnGridLine ? nearest : std::ceil(position));
}

// Columns from..to and rows top..bottom (pixel edges), already inside the square.
TileArea MakeArea(std::int32_t zoom, std::int64_t from, std::int64_t to, std::int64_t top, std::int64_t bottom) {
    TileArea area;
    area.left = from;
    area.top = top;
    area.width = to - from;
    area.height = bottom - top;
    area.firstTileX = from / TileSide;
    area.lastTileX = (to - 1) / TileSide;
    area.firstTileY = top / TileSide;
    area.lastTileY = (bottom - 1) / TileSide;
    area.corners = {LatitudeAtPixelY(zoom, double(bottom) - 0.5), LongitudeAtPixelX(zoom, double(from) + 0.5),
                    LatitudeAtPixelY(zoom, double(top) + 0.5), LongitudeAtPixelX(zoom, double(to) - 0.5)};
    return area;
}

}  // namespace

std::int64_t WorldPixels(std::int32_t zoom) {
    return TileSide << zoom;
}

double TilePixelMetres(std::int32_t zoom) {
    return 2 * WebMercatorHalfSide / double(WorldPixels(zoom));
}

double PixelXAtLongitude(std::int32_t zoom, double longitude) {
    const double metres = longitude / 180 * WebMercatorHalfSide;
    return (metres + WebMercatorHalfSide) / TilePixelMetres(zoom);
}

double WebMercatorY(double latitude) {
    return std::asinh(std::tan(latitude * Radian)) / std::numbers::pi * WebMercatorHalfSide;
}

double LatitudeAtWebMercatorY(double metres) {
    return std::atan(std::sinh(metres / WebMercatorHalfSide * std::numbers::pi)) / Radian;
}

double PixelYAtLatitude(std::int32_t zoom, double latitude) {
    return (WebMercatorHalfSide - WebMercatorY(latitude)) / TilePixelMetres(zoom);
}

double LongitudeAtPixelX(std::int32_t zoom, double x) {
    return (x * TilePixelMetres(zoom) - WebMercatorHalfSide) / WebMercatorHalfSide * 180;
}

double LatitudeAtPixelY(std::int32_t zoom, double y) {
    return LatitudeAtWebMercatorY(WebMercatorHalfSide - y * TilePixelMetres(zoom));
}

std::int64_t TileCut::TileCount() const {
    std::int64_t count = 0;
    for (const TileArea& area : parts) count += area.TileCount();
    return count;
}

TileCut CutTileArea(std::int32_t zoom, const MapCorners& box) {
    TileCut cut;
    if (zoom < 0 || zoom > MaxTileZoom) {
        cut.error = TileCutError::ZoomOutOfRange;
        return cut;
    }
    const auto within = [](double value, double limit) { return std::fabs(value) <= limit; };  // false for NaN
    if (!within(box.bottom, 90) || !within(box.top, 90) || !within(box.left, 180) || !within(box.right, 180)) {
        cut.error = TileCutError::BadCorner;
        return cut;
    }
    if (!(box.top > box.bottom) || box.left == box.right) {
        cut.error = TileCutError::Empty;
        return cut;
    }
    const std::int64_t world = WorldPixels(zoom);
    // Near a pole the ordinate runs far beyond the square; only whether it does matters.
    const auto row = [zoom, world](double latitude) {
        return std::clamp(PixelYAtLatitude(zoom, latitude), -1.0, double(world) + 1);
    };
    const std::int64_t top = EdgeBelow(row(box.top));
    const std::int64_t bottom = EdgeAbove(row(box.bottom));
    cut.cutAtGridEdge = top < 0 || bottom > world;
    const std::int64_t topInside = std::max<std::int64_t>(top, 0);
    const std::int64_t bottomInside = std::min(bottom, world);
    if (bottomInside <= topInside) {
        cut.error = TileCutError::BeyondGrid;
        return cut;
    }
    const std::int64_t from = std::clamp<std::int64_t>(EdgeBelow(PixelXAtLongitude(zoom, box.left)), 0, world);
    const std::int64_t to = std::clamp<std::int64_t>(EdgeAbove(PixelXAtLongitude(zoom, box.right)), 0, world);
    if (box.left < box.right) {
        cut.parts.push_back(MakeArea(zoom, from, to, topInside, bottomInside));
        return cut;
    }
    // Across the 180th meridian: the part up to the square's right edge, then the part from its
    // left edge. A part that holds no column (a box starting at 180 or ending at -180) is none.
    if (from < world) cut.parts.push_back(MakeArea(zoom, from, world, topInside, bottomInside));
    if (to > 0) cut.parts.push_back(MakeArea(zoom, 0, to, topInside, bottomInside));
    if (cut.parts.size() == 2) {
        cut.parts[0].part = "_west";
        cut.parts[1].part = "_east";
    }
    if (cut.parts.empty()) cut.error = TileCutError::Empty;
    return cut;
}

std::string Quadkey(const TileAddress& tile) {
    std::string key;
    for (std::int32_t level = tile.zoom; level > 0; --level) {
        const std::int64_t bit = std::int64_t{1} << (level - 1);
        key.push_back(static_cast<char>('0' + ((tile.x & bit) != 0 ? 1 : 0) + ((tile.y & bit) != 0 ? 2 : 0)));
    }
    return key;
}

std::string FillTileTemplate(std::string_view urlTemplate, const TileAddress& tile) {
    const std::int64_t rowFromBottom = (std::int64_t{1} << tile.zoom) - 1 - tile.y;
    const std::pair<std::string_view, std::string> fields[] = {
        {"{z}", std::to_string(tile.zoom)}, {"{x}", std::to_string(tile.x)},  {"{y}", std::to_string(tile.y)},
        {"{-y}", std::to_string(rowFromBottom)}, {"{q}", Quadkey(tile)},
    };
    std::string filled;
    std::size_t at = 0;
    while (at < urlTemplate.size()) {
        bool replaced = false;
        for (const auto& [name, value] : fields) {
            if (urlTemplate.substr(at, name.size()) == name) {
                filled += value;
                at += name.size();
                replaced = true;
                break;
            }
        }
        if (!replaced) filled.push_back(urlTemplate[at++]);
    }
    return filled;
}

}  // namespace kartivo
