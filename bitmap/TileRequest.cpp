#include "bitmap/TileRequest.h"

#include "bitmap/TileGrid.h"

#include <cmath>

#ifndef KARTIVO_VERSION
#error "the build passes the project's version as KARTIVO_VERSION"
#endif

namespace kartivo {

namespace {

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
    if (request.userAgent.empty()) return TileRequestError::UserAgentEmptyOrControl;
    for (const char c : request.userAgent) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return TileRequestError::UserAgentEmptyOrControl;
    }
    return TileRequestError::None;
}

}  // namespace kartivo
