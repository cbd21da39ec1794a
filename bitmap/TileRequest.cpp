#include "bitmap/TileRequest.h"

#include "bitmap/TileGrid.h"
#include "common/NumberText.h"

#include <cmath>
#include <cstdio>

#ifndef KARTIVO_VERSION
#error "the build passes the project's version as KARTIVO_VERSION"
#endif

namespace kartivo {

namespace {

bool HoldsControl(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
    }
    return false;
}

bool Holds(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// Every {...} in the template is one FillTileTemplate fills in.
bool OnlyKnownPlaceholders(std::string_view text) {
    for (std::size_t open = text.find('{'); open != std::string_view::npos; open = text.find('{', open + 1)) {
        const std::size_t close = text.find('}', open);
        if (close == std::string_view::npos) return false;
        const std::string_view name = text.substr(open, close - open + 1);
        if (name != "{z}" && name != "{x}" && name != "{y}" && name != "{-y}" && name != "{q}") return false;
    }
    return true;
}

}  // namespace

std::string DefaultUserAgent() {
    return "Kartivo/" KARTIVO_VERSION;
}

TileSourceKind KindOfTileSource(std::string_view source) {
    for (const std::string_view scheme : {"http://", "https://", "file://"}) {
        if (source.starts_with(scheme)) return TileSourceKind::UrlTemplate;
    }
    return TileSourceKind::GdalSource;
}

TileRequestError CheckTileRequest(const TileRequest& request) {
    const std::string_view source = request.source;
    if (source.empty()) return TileRequestError::NoSource;
    if (KindOfTileSource(source) == TileSourceKind::UrlTemplate) {
        if (!OnlyKnownPlaceholders(source)) return TileRequestError::UnknownPlaceholder;
        const bool byColumnAndRow = Holds(source, "{x}") && (Holds(source, "{y}") || Holds(source, "{-y}"));
        if (!byColumnAndRow && !Holds(source, "{q}")) return TileRequestError::TemplateWithoutTile;
    }
    if (request.zoom < 0 || request.zoom > MaxTileZoom) return TileRequestError::ZoomOutOfRange;
    if (request.maxTiles < 1) return TileRequestError::MaxTilesNotPositive;
    if (!(request.rate > 0) || !std::isfinite(request.rate)) return TileRequestError::RateNotPositive;
    if (request.userAgent.empty() || HoldsControl(request.userAgent)) return TileRequestError::UserAgentEmptyOrControl;
    if (HoldsControl(request.attribution)) return TileRequestError::AttributionControl;
    return TileRequestError::None;
}

std::string TileRequestProblem(TileRequestError error) {
    switch (error) {
    case TileRequestError::None: return {};
    case TileRequestError::NoSource: return "no source is named: a URL template, a GDAL_WMS XML, WMTS:URL or an MBTiles file";
    case TileRequestError::TemplateWithoutTile:
        return "a URL template names each tile by {x} and {y} (or {-y}, rows counted from the bottom), or by {q}";
    case TileRequestError::UnknownPlaceholder: return "a URL template knows only {z}, {x}, {y}, {-y} and {q}";
    case TileRequestError::ZoomOutOfRange: return "the zoom level lies beyond 0 to " + std::to_string(MaxTileZoom);
    case TileRequestError::MaxTilesNotPositive: return "the most tiles one fetch may take is no positive number";
    case TileRequestError::RateNotPositive: return "the rate is no positive number of tiles per second";
    case TileRequestError::UserAgentEmptyOrControl: return "the User-Agent is empty or holds a control character";
    case TileRequestError::AttributionControl: return "the attribution is one line of text, without control characters";
    }
    return {};
}

std::string TileCutProblem(TileCutError error) {
    switch (error) {
    case TileCutError::None: return {};
    case TileCutError::BeyondGrid: return "the box lies wholly beyond 85.0511 degrees north or south, where the tile grid ends";
    case TileCutError::ZoomOutOfRange:
    case TileCutError::BadCorner:
    case TileCutError::Empty: break;
    }
    return "the box names no area of the tile grid";
}

std::string UtcTimestamp(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const sys_days day = floor<days>(when);
    const year_month_day date{day};
    const hh_mm_ss time{floor<seconds>(when - day)};
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(time.hours().count()), int(time.minutes().count()),
                  int(time.seconds().count()));
    return text;
}

std::string TileAreaNote(const TileRequest& request, const TileArea& part, std::string_view fetchedUtc) {
    const auto box = [](const MapCorners& corners, auto text) {
        return text(corners.bottom) + "," + text(corners.left) + "," + text(corners.top) + "," + text(corners.right);
    };
    const std::int32_t z = request.zoom;
    const MapCorners widened{LatitudeAtPixelY(z, double(part.top + part.height)), LongitudeAtPixelX(z, double(part.left)),
                             LatitudeAtPixelY(z, double(part.top)), LongitudeAtPixelX(z, double(part.left + part.width))};
    // As typed, to the digits it was read with; the widened edges to the file name's ten decimals.
    const auto edge = [](double degrees) { return FixedTextWithoutMinusZero(degrees, 10); };
    return "Source: " + request.source + "\n" +
           "Attribution: " + (request.attribution.empty() ? "none given" : request.attribution) + "\n" +
           "Zoom: " + std::to_string(z) + "\n" +
           "Box asked (bottom,left,top,right): " + box(request.box, GeneralNumberText) + "\n" +
           "Box fetched, widened to whole pixels: " + box(widened, edge) + "\n" +
           "Fetched (UTC): " + std::string(fetchedUtc) + "\n";
}

std::string TileNotePath(std::string_view picturePath) {
    if (picturePath.ends_with(".bmp")) picturePath.remove_suffix(4);
    return std::string(picturePath) + ".txt";
}

}  // namespace kartivo
