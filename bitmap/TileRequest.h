#pragma once
// What a person asks of a tile source: which source, which area at which zoom, and how politely
// to fetch it. The window and kartivo-batch fill in the same request and check it alike.

#include "bitmap/MapGeometry.h"
#include "bitmap/TileGrid.h"

#include <chrono>
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
    std::string attribution;  // empty: the source's own, where it reports one; one line
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
    AttributionControl,      // a line break would forge lines of the note kept with the map
};

// The first thing wrong with the request, other than its box (CutTileArea judges that).
TileRequestError CheckTileRequest(const TileRequest& request);

// Why a request, or its box, is refused, in words for a person that name no command-line
// option, so the window and kartivo-batch say the same; empty for None.
std::string TileRequestProblem(TileRequestError error);
std::string TileCutProblem(TileCutError error);

// "2026-12-07T21:38:49Z": a moment in UTC as ISO 8601 writes it, to the second.
std::string UtcTimestamp(std::chrono::system_clock::time_point when);

// The text file kept beside a picture made of tiles, so that where the map came from, and the
// credit the tile service's terms ask for, stay with it: the source, the attribution (or that
// none was given), the zoom, the box as asked and as widened to this part's whole pixels
// (their outer edges), and when the tiles were fetched.
std::string TileAreaNote(const TileRequest& request, const TileArea& part, std::string_view fetchedUtc);

// The note's path beside a picture: PATH.bmp becomes PATH.txt (the import names every picture
// so), any other name gains ".txt".
std::string TileNotePath(std::string_view picturePath);

}  // namespace kartivo
