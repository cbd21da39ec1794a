#pragma once
// What a person asks of a tile source: which source, which area at which zoom, and how politely
// to fetch it. The window and kartivo-batch fill in the same request and check it alike.

#include "bitmap/MapGeometry.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kartivo {

inline constexpr std::int64_t DefaultMaxTiles = 2500;
inline constexpr double DefaultTileRate = 4;  // new tiles per second from one server

// "Kartivo/VERSION": every request says which program asks, so a server's operator can tell.
std::string DefaultUserAgent();

enum class TileSourceKind {
    UrlTemplate,  // http://, https:// or file:// with {z}, {x}, {y}, {-y} or {q}
    GdalSource,   // anything GDAL opens as tiles: a GDAL_WMS XML or its file, "WMTS:...", an MBTiles file
};

// A source starting with http://, https:// or file:// is a template; anything else GDAL opens.
TileSourceKind KindOfTileSource(std::string_view source);

struct TileRequest {
    std::string source;
    std::int32_t zoom = 0;
    MapCorners box;  // left east of right: the area crosses the 180th meridian
    std::int64_t maxTiles = DefaultMaxTiles;  // tiles not yet cached that one fetch may take
    std::string userAgent = DefaultUserAgent();
    double rate = DefaultTileRate;
    std::string attribution;  // empty: the source's own, where it reports one
};

enum class TileRequestError {
    None,
    NoSource,
    TemplateWithoutTile,     // a template names neither {x} with {y} or {-y}, nor {q}
    UnknownPlaceholder,      // a template holds a {...} other than {z} {x} {y} {-y} {q}
    ZoomOutOfRange,          // 0 to MaxTileZoom
    MaxTilesNotPositive,
    RateNotPositive,         // or not finite
    UserAgentEmptyOrControl, // a control character would end the HTTP header line early
};

// The first thing wrong with the request, other than its box (CutTileArea judges that).
TileRequestError CheckTileRequest(const TileRequest& request);

}  // namespace kartivo
