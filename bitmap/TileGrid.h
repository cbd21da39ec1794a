#pragma once
// The grid of web map tiles: at zoom Z, Web Mercator's square is 2^Z by 2^Z tiles of 256 by 256
// pixels, columns counted from 180 degrees west and rows from the top. An area is cut from it in
// whole pixels of that grid, so every pixel of the picture is one pixel of a tile, never
// resampled. Plain arithmetic: no GDAL here.

#include "bitmap/MapGeometry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kartivo {

// Half the side of Web Mercator's square in metres: pi times WGS 84's equatorial radius. Its
// top edge lies at about 85.0511 degrees, where the grid's top pixel row ends.
inline constexpr double WebMercatorHalfSide = 20037508.342789244;
inline constexpr std::int64_t TileSide = 256;  // pixels
inline constexpr std::int32_t MaxTileZoom = 22;

// The side of the zoom's square in pixels, 256 * 2^zoom; and of one pixel in metres.
std::int64_t WorldPixels(std::int32_t zoom);
double TilePixelMetres(std::int32_t zoom);

// Spherical Web Mercator in metres from the centre of its square (northing up), the formulas
// the pixel positions below and an import's grid share.
double WebMercatorY(double latitude);
double LatitudeAtWebMercatorY(double metres);

// Where a longitude or latitude falls among the zoom's pixels, counted from the square's
// left and top edges (pixel n spans n to n + 1), by the exact spherical Web Mercator that tile
// servers draw with, not Make's rounded pi. A latitude beyond the square's edge gives a value
// beyond 0..WorldPixels.
double PixelXAtLongitude(std::int32_t zoom, double longitude);
double PixelYAtLatitude(std::int32_t zoom, double latitude);
double LongitudeAtPixelX(std::int32_t zoom, double x);
double LatitudeAtPixelY(std::int32_t zoom, double y);

// One rectangle of the zoom's pixels, and the tiles it touches.
struct TileArea {
    std::int64_t left = 0;  // pixels from the square's left edge
    std::int64_t top = 0;   // pixels from its top edge
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t firstTileX = 0;
    std::int64_t lastTileX = 0;
    std::int64_t firstTileY = 0;  // counted from the top, as XYZ counts them
    std::int64_t lastTileY = 0;
    // The centres of the corner pixels, where Make takes the bottom and top rows' latitudes.
    MapCorners corners;
    // "_west" (ending at 180 degrees) or "_east" (starting at -180) for an area split at the
    // 180th meridian, as the import names its parts; empty for an area in one part.
    std::string part;

    std::int64_t TileCount() const { return (lastTileX - firstTileX + 1) * (lastTileY - firstTileY + 1); }
};

enum class TileCutError {
    None,
    ZoomOutOfRange,  // below 0 or above MaxTileZoom
    BadCorner,       // a corner is not a number, or not a latitude or longitude
    Empty,           // top not above bottom, or left the same as right
    BeyondGrid,      // the whole box lies north or south of the grid's rows
};

struct TileCut {
    TileCutError error = TileCutError::None;
    std::vector<TileArea> parts;  // west first; one or two
    bool cutAtGridEdge = false;   // rows beyond 85.0511 degrees north or south were left out

    std::int64_t TileCount() const;
};

// The box (signed degrees; left east of right means across the 180th meridian) widened outward
// to whole pixels of the zoom's grid and cut at its top and bottom rows. An edge within 1e-6
// pixel of a grid line is taken as on it, so a box drawn along tile edges gains no pixel from
// rounding.
TileCut CutTileArea(std::int32_t zoom, const MapCorners& box);

// One tile of the grid.
struct TileAddress {
    std::int32_t zoom = 0;
    std::int64_t x = 0;
    std::int64_t y = 0;  // from the top
};

// The tile's quadkey: one digit per zoom level, coarsest first; empty at zoom 0.
std::string Quadkey(const TileAddress& tile);

// The template with {z}, {x}, {y}, {-y} (the row counted from the bottom, as TMS counts it) and
// {q} (the quadkey) filled in for the tile; any other text stays as it is.
std::string FillTileTemplate(std::string_view urlTemplate, const TileAddress& tile);

}  // namespace kartivo
