#include "geoimport/TileLevel.h"

#include "bitmap/TileGrid.h"
#include "common/File.h"
#include "geoimport/BandLayout.h"

#include <cpl_minixml.h>

#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <thread>
#include <utility>

// GDAL names the files of its WMS cache by this MD5 of their URL; libgdal exports it, but its
// header (cpl_md5.h) is not installed.
extern "C" const char* CPLMD5String(const char* text);

namespace kartivo::geoimport {

namespace {

using XmlTree = std::unique_ptr<CPLXMLNode, Destroyer<CPLDestroyXMLNode>>;
using GdalText = std::unique_ptr<char, Destroyer<VSIFree>>;

// A GDAL_WMS or GDAL_WMTS document is small; anything larger is no such description.
constexpr std::size_t LargestDescription = std::size_t{1} << 20;

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", seconds);
    return text;
}

// GDAL's settings for the opens and reads of one tile source, on this thread alone and put back
// as they were afterwards, so the program's other reads keep GDAL's own. A WMTS's capabilities
// come through GDAL's plain HTTP fetch, which reads these (and retries a server error itself);
// the tiles' requests take theirs from the source's description (DescribeForKartivo).
class TileSettings {
public:
    explicit TileSettings(const TileFetchOptions& options) {
        Set("GDAL_HTTP_USERAGENT", options.userAgent);
        Set("GDAL_HTTP_TIMEOUT", Seconds(std::ceil(options.timeoutSeconds)));
        Set("GDAL_HTTP_MAX_RETRY", std::to_string(options.retries));
        Set("GDAL_HTTP_RETRY_DELAY", Seconds(options.firstRetryWait));
        Set("GDAL_MAX_CONNECTIONS", std::to_string(options.connections));
        // A <Cache/> naming no folder goes here, never to ./gdalwmscache in the working folder.
        Set("GDAL_ENABLE_WMS_CACHE", options.cacheFolder.empty() ? "NO" : "YES");
        if (!options.cacheFolder.empty()) Set("GDAL_DEFAULT_WMS_CACHE_PATH", options.cacheFolder);
    }
    ~TileSettings() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            CPLSetThreadLocalConfigOption(it->first, it->second ? it->second->c_str() : nullptr);
        }
    }
    TileSettings(const TileSettings&) = delete;
    TileSettings& operator=(const TileSettings&) = delete;

private:
    void Set(const char* key, const std::string& value) {
        const char* before = CPLGetThreadLocalConfigOption(key, nullptr);
        saved_.emplace_back(key, before != nullptr ? std::optional<std::string>(before) : std::nullopt);
        CPLSetThreadLocalConfigOption(key, value.c_str());
    }

    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

void Replace(CPLXMLNode* parent, const char* name, const char* value) {
    while (CPLXMLNode* old = CPLGetXMLNode(parent, name)) {
        CPLRemoveXMLChild(parent, old);
        CPLDestroyXMLNode(old);
    }
    if (value != nullptr) CPLCreateXMLElementAndValue(parent, name, value);
}

// A GDAL_WMS or GDAL_WMTS description made to fetch as Kartivo does: its elements win over
// GDAL's settings, and GDAL 3.6 takes the tiles' timeout from nowhere else. Offline mode goes,
// and so does any cache folder of the description's own: tiles are kept where TileFetch keeps
// them. A tile the server has not (404, 204) becomes a clear block, told from a failure; and
// the fourth band, alpha, tells clear pixels whatever the tiles hold.
void DescribeForKartivo(CPLXMLNode* description, const TileFetchOptions& options, bool cached) {
    Replace(description, "UserAgent", options.userAgent.c_str());
    Replace(description, "MaxConnections", std::to_string(options.connections).c_str());
    Replace(description, "Timeout", Seconds(std::ceil(options.timeoutSeconds)).c_str());
    Replace(description, "OfflineMode", nullptr);
    Replace(description, "ZeroBlockHttpCodes", "204,404");
    Replace(description, "ZeroBlockOnServerException", "false");
    Replace(description, "BandsCount", "4");
    Replace(description, "Cache", nullptr);
    if (cached) {
        CPLXMLNode* cache = CPLCreateXMLNode(description, CXT_Element, "Cache");
        CPLCreateXMLElementAndValue(cache, "Expires", Seconds(options.cacheDays * 86400).c_str());
    }
}

// A WMTS spanning its whole tile matrix set, as the grid does: the extent of a layer's bounding
// box would start between the grid's pixels.
const char* const WholeMatrixSet[] = {"EXTENT_METHOD=MOST_PRECISE_TILE_MATRIX",
                                      "CLIP_EXTENT_WITH_MOST_PRECISE_TILE_MATRIX_LIMITS=NO", nullptr};

// The source's own description: the XML given or in the file named, or what GDAL makes of a
// WMTS:URL (its GetCapabilities fetched with the settings above); empty for anything else.
std::string DescriptionOf(const std::string& source) {
    if (source.starts_with("WMTS:")) {
        const char* const drivers[] = {"WMTS", nullptr};
        const Dataset wmts(GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, WholeMatrixSet, nullptr));
        const char* xml = wmts ? GDALGetMetadataItem(wmts.get(), "XML", "WMTS") : nullptr;
        return xml != nullptr ? xml : "";
    }
    std::string text;
    std::error_code error;
    if (source.starts_with("<")) {
        text = source;
    } else if (const std::unique_ptr<DescriptorFile> file = OpenRegularFile(source, O_RDONLY, error)) {
        if (!ReadToEnd(*file, text, LargestDescription)) text.clear();
    }
    const std::size_t start = text.find_first_not_of(" \t\r\n");
    return start != std::string::npos && text.compare(start, 8, "<GDAL_WM") == 0 ? text : "";
}

// Where the last failures of a read are kept, for ReadFault to read GDAL's words.
void CPL_STDCALL KeepFailures(CPLErr level, CPLErrorNum, const char* message) {
    if (level >= CE_Failure) static_cast<std::vector<std::string>*>(CPLGetErrorHandlerUserData())->push_back(message);
}

// "3, 5, 7 to 9": the zoom levels a source has.
std::string LevelsText(std::vector<std::int32_t> levels) {
    std::sort(levels.begin(), levels.end());
    std::string text;
    for (std::size_t i = 0; i < levels.size();) {
        std::size_t last = i;
        while (last + 1 < levels.size() && levels[last + 1] == levels[last] + 1) ++last;
        text += (text.empty() ? "" : ", ") + std::to_string(levels[i]) +
                (last > i ? " to " + std::to_string(levels[last]) : "");
        i = last + 1;
    }
    return text;
}

std::string OffGrid(const std::string& why) {
    return "it is not on Web Mercator's tile grid (EPSG:3857, 256-pixel tiles from -20037508.342789244, "
           "20037508.342789244), whose tiles are copied pixel for pixel: " + why;
}

void ReplaceAll(std::string& text, const std::string& name, const std::string& value) {
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + value.size())) {
        text.replace(at, name.size(), value);
    }
}

}  // namespace

GdalTileLevel::GdalTileLevel(TileFetchOptions options, bool local)
    : TileRowSource(local, options.rate), options_(std::move(options)) {
    if (local) missingAt_ = "in the source";
}

TileLevelOpening OpenTileLevel(const std::string& source, std::int32_t zoom, const TileFetchOptions& options) {
    InitialiseGdal();
    const TileSettings settings(options);
    const auto refuse = [&](const std::string& why) {
        return TileLevelOpening{nullptr, Refusal(ImportError::OpenFailed, why)};
    };
    const std::string text = DescriptionOf(source);
    const XmlTree tree(text.empty() ? nullptr : CPLParseXMLString(text.c_str()));
    CPLXMLNode* description = nullptr;
    if (tree) description = CPLGetXMLNode(tree.get(), "=GDAL_WMS");
    const bool wms = description != nullptr;
    if (tree && !wms) description = CPLGetXMLNode(tree.get(), "=GDAL_WMTS");
    // A GDAL_WMS over a tile folder on disk is read where it is, like a file:// template.
    const bool local =
        !description || std::string_view(CPLGetXMLValue(description, "Service.ServerUrl", "")).starts_with("file://");
    auto level = std::make_unique<GdalTileLevel>(options, local);
    Dataset dataset;
    if (description) {
        level->askedOffline_ = CPLTestBool(CPLGetXMLValue(description, "OfflineMode", "false"));
        DescribeForKartivo(description, options, !local && !options.cacheFolder.empty());
        if (!wms) Replace(description, "DataWindow", nullptr);
        const GdalText described(CPLSerializeXMLTree(description));
        const char* const drivers[] = {wms ? "WMS" : "WMTS", nullptr};
        dataset.reset(GDALOpenEx(described.get(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers,
                                 wms ? nullptr : WholeMatrixSet, nullptr));
    } else if (!source.starts_with("WMTS:")) {
        const char* const drivers[] = {"MBTiles", nullptr};
        const char* const rgba[] = {"BAND_COUNT=4", nullptr};
        dataset.reset(GDALOpenEx(source.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, rgba, nullptr));
    }
    if (!dataset) {
        return refuse("GDAL opens it as no tile source (a GDAL_WMS or GDAL_WMTS XML, WMTS:URL or an MBTiles file): " +
                      LastGdalError("no driver takes it"));
    }
    GDALDatasetH ds = dataset.get();
    if (GDALGetRasterCount(ds) != 4) {
        return refuse("GDAL reads it as " + std::to_string(GDALGetRasterCount(ds)) +
                      " bands, not red, green, blue and alpha");
    }
    const auto* crs = OGRSpatialReference::FromHandle(GDALGetSpatialRef(ds));
    const OGRSpatialReference mercator = WebMercator();
    const char* const sameOptions[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    if (crs == nullptr || !crs->IsSame(&mercator, sameOptions)) {
        return refuse(OffGrid("its coordinate system is " + (crs != nullptr ? CrsText(*crs) : std::string("unknown"))));
    }
    // A window of the grid whose corners are rounded to centimetres, as descriptions write them,
    // has pixels a few parts in a billion off square; tiles are fetched by their numbers anyway.
    std::array<double, 6> g{};
    if (GDALGetGeoTransform(ds, g.data()) != CE_None || g[2] != 0 || g[4] != 0 || !(g[1] > 0) ||
        std::fabs(g[5] + g[1]) > g[1] * 1e-6) {
        return refuse(OffGrid("its pixels are not square and north up"));
    }
    // The zoom whose pixels the full resolution's are.
    const double pixelZoom = std::log2(2 * WebMercatorHalfSide / (double(TileSide) * g[1]));
    const auto full = static_cast<std::int32_t>(std::lround(pixelZoom));
    if (std::fabs(pixelZoom - full) > 1e-6 || full < 0 || full > 30) {
        return refuse(OffGrid("its pixels are " + Seconds(g[1]) + " m wide, as no zoom level's are"));
    }
    // Descriptions round the grid's corner, -20037508.34 being common: a tenth of a pixel is
    // more than that, and a tile is still fetched by its number whatever the corner says.
    const double x = (g[0] + WebMercatorHalfSide) / g[1];
    const double y = (WebMercatorHalfSide - g[3]) / g[1];
    if (std::fabs(x - std::round(x)) > 0.1 || std::fabs(y - std::round(y)) > 0.1) {
        return refuse(OffGrid("its corner lies between the grid's pixels"));
    }
    // The full resolution, and each overview whose size is it halved a whole number of times.
    const std::int64_t fullWidth = GDALGetRasterXSize(ds);
    const std::int64_t fullHeight = GDALGetRasterYSize(ds);
    std::vector<std::int32_t> levels{full};
    int overview = -1;
    GDALRasterBandH first = GDALGetRasterBand(ds, 1);
    for (int k = 0; k < GDALGetOverviewCount(first); ++k) {
        GDALRasterBandH candidate = GDALGetOverview(first, k);
        for (int s = 1; s <= full; ++s) {
            if ((std::int64_t{GDALGetRasterBandXSize(candidate)} << s) != fullWidth ||
                (std::int64_t{GDALGetRasterBandYSize(candidate)} << s) != fullHeight) {
                continue;
            }
            levels.push_back(full - s);
            if (full - s == zoom) overview = k;
        }
    }
    if (std::find(levels.begin(), levels.end(), zoom) == levels.end()) {
        return refuse("zoom " + std::to_string(zoom) + " is none of its levels (" + LevelsText(levels) +
                      "), and a level is copied pixel for pixel, never resampled from another");
    }
    const std::int32_t shift = full - zoom;
    const std::int64_t fullLeft = std::llround(x);
    const std::int64_t fullTop = std::llround(y);
    if (fullLeft % (std::int64_t{1} << shift) != 0 || fullTop % (std::int64_t{1} << shift) != 0) {
        return refuse(OffGrid("its corner lies between zoom " + std::to_string(zoom) + "'s pixels"));
    }
    level->zoom_ = zoom;
    level->left_ = fullLeft >> shift;
    level->top_ = fullTop >> shift;
    level->width_ = fullWidth >> shift;
    level->height_ = fullHeight >> shift;
    for (int b = 0; b < 4; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds, b + 1);
        level->bands_[std::size_t(b)] = overview < 0 ? band : GDALGetOverview(band, overview);
    }
    // The level's own GDAL_WMS description: the XML given, or the one GDAL's WMTS reads each of
    // its levels but the finest through, which a VRT of the level holds.
    const CPLXMLNode* levelDescription = wms ? description : nullptr;
    XmlTree inner;
    if (!wms && description && overview >= 0) {
        char** vrt = GDALGetMetadata(GDALGetBandDataset(level->bands_[0]), "xml:VRT");
        const XmlTree wrapper(vrt != nullptr && vrt[0] != nullptr ? CPLParseXMLString(vrt[0]) : nullptr);
        const char* wrapped =
            wrapper ? CPLGetXMLValue(wrapper.get(), "=VRTDataset.VRTRasterBand.SimpleSource.SourceFilename", nullptr)
                    : nullptr;
        inner.reset(wrapped != nullptr ? CPLParseXMLString(wrapped) : nullptr);
        levelDescription = inner ? CPLGetXMLNode(inner.get(), "=GDAL_WMS") : nullptr;
    }
    int blockWidth = TileSide;
    int blockHeight = TileSide;
    if (wms) {
        GDALGetBlockSize(level->bands_[0], &blockWidth, &blockHeight);
    } else if (levelDescription) {
        blockWidth = std::atoi(CPLGetXMLValue(levelDescription, "BlockSizeX", "0"));
        blockHeight = std::atoi(CPLGetXMLValue(levelDescription, "BlockSizeY", "0"));
    }
    // A server's blocks are its tiles, which GDAL names and caches; they must be the grid's.
    if (!local && (blockWidth != TileSide || blockHeight != TileSide || level->left_ % TileSide != 0 ||
                   level->top_ % TileSide != 0)) {
        return refuse(OffGrid("its tiles are " + std::to_string(blockWidth) + " x " + std::to_string(blockHeight) +
                              " pixels, or lie between the grid's"));
    }
    if (levelDescription) level->LearnUrls(levelDescription, wms ? shift : 0);
    // The package's own credit (MBTiles keeps it in its metadata), on one line as the note's.
    if (const char* credit = GDALGetMetadataItem(ds, "attribution", nullptr)) {
        level->attribution_ = credit;
        std::replace_if(level->attribution_.begin(), level->attribution_.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, ' ');
    }
    level->dataset_ = std::move(dataset);
    return {std::move(level), {}};
}

void GdalTileLevel::LearnUrls(const CPLXMLNode* wms, int halvings) {
    const CPLXMLNode* service = wms != nullptr ? CPLGetXMLNode(wms, "Service") : nullptr;
    const std::string server = service != nullptr ? CPLGetXMLValue(service, "ServerUrl", "") : "";
    if (server.empty() || !EQUAL(CPLGetXMLValue(service, "name", ""), "TMS") ||
        std::atoi(CPLGetXMLValue(wms, "DataWindow.TileX", "0")) != 0 ||
        std::atoi(CPLGetXMLValue(wms, "DataWindow.TileY", "0")) != 0) {
        return;
    }
    // As GDAL's TMS service makes its URLs.
    std::string url = server;
    if (url.find("${") == std::string::npos) {
        url += (url.ends_with("/") ? "" : "/") + std::string("${version}/${layer}/${z}/${x}/${y}.${format}");
    }
    ReplaceAll(url, "${layer}", CPLGetXMLValue(service, "Layer", ""));
    ReplaceAll(url, "${version}", CPLGetXMLValue(service, "Version", "1.0.0"));
    ReplaceAll(url, "${format}", CPLGetXMLValue(service, "Format", "jpg"));
    urlTemplate_ = url;
    urlZoom_ = std::atoi(CPLGetXMLValue(wms, "DataWindow.TileLevel", "0")) - halvings;
    rowsFromBottom_ = !EQUAL(CPLGetXMLValue(wms, "DataWindow.YOrigin", "default"), "top");
    xMultiplier_ = std::atoi(CPLGetXMLValue(service, "TileXMultiplier", "1"));
    // GDAL keeps each service's tiles in a folder named by the MD5 of its ServerUrl.
    if (!local_ && !options_.cacheFolder.empty()) cacheFolder_ = options_.cacheFolder + "/" + CPLMD5String(server.c_str());
}

std::string GdalTileLevel::Url(const TileAddress& tile) const {
    if (urlTemplate_.empty()) return {};
    const std::int64_t column = tile.x - left_ / TileSide;
    const std::int64_t row = tile.y - top_ / TileSide;
    std::string url = urlTemplate_;
    ReplaceAll(url, "${x}", std::to_string(column * xMultiplier_));
    ReplaceAll(url, "${y}", std::to_string(rowsFromBottom_ ? height_ / TileSide - 1 - row : row));
    ReplaceAll(url, "${z}", std::to_string(urlZoom_));
    return url;
}

bool GdalTileLevel::IsCached(const TileAddress& tile) const {
    if (local_) return true;
    if (cacheFolder_.empty()) return false;
    const std::string hash = CPLMD5String(Url(tile).c_str());
    return IsFreshFile(cacheFolder_ + "/" + hash.substr(0, 1) + "/" + hash.substr(1, 1) + "/" + hash,
                       options_.cacheDays);
}

TileRowResult GdalTileLevel::FetchRow(const std::vector<TileAddress>& tiles, const std::vector<std::string>&) {
    TileRowResult result;
    result.tiles.resize(tiles.size());
    const TileSettings settings(options_);
    // As many tiles at once as the rate allows a second, GDAL fetching them over its connections
    // together; at most 32, which GDAL's block cache holds with room to spare.
    const double most = local_ || options_.rate <= 0 ? 32 : std::clamp(std::floor(options_.rate), 1.0, 32.0);
    const auto chunk = static_cast<std::size_t>(most);
    for (std::size_t first = 0; first < tiles.size(); first += chunk) {
        const std::size_t count = std::min(chunk, tiles.size() - first);
        const auto begin = tiles.begin() + std::ptrdiff_t(first);
        const auto uncached = std::count_if(begin, begin + std::ptrdiff_t(count),
                                            [this](const TileAddress& tile) { return !IsCached(tile); });
        if (uncached > 0) WaitForTurn(std::size_t(uncached));
        if (ImportStatus read = ReadTiles(tiles, first, count, result.tiles); read.error != ImportError::None) {
            result.status = std::move(read);
            return result;
        }
    }
    return result;
}

ImportStatus GdalTileLevel::ReadTiles(const std::vector<TileAddress>& tiles, std::size_t first, std::size_t count,
                                      std::vector<TilePixels>& out) {
    const std::int64_t width = std::int64_t(count) * TileSide;
    rgba_.assign(std::size_t(width) * TileSide * 4, 0);
    // Tiles from .. to - 1 of these, read into their place; false with GDAL's words kept.
    const auto read = [&](std::size_t from, std::size_t to, std::vector<std::string>& messages) {
        // Their pixels in the level's raster; beyond its edges they stay clear.
        const std::int64_t left = tiles[first + from].x * TileSide - left_;
        const std::int64_t top = tiles[first].y * TileSide - top_;
        const std::int64_t x0 = std::max<std::int64_t>(left, 0);
        const std::int64_t x1 = std::min(left + std::int64_t(to - from) * TileSide, width_);
        const std::int64_t y0 = std::max<std::int64_t>(top, 0);
        const std::int64_t y1 = std::min(top + TileSide, height_);
        CPLErr done = CE_None;
        CPLPushErrorHandlerEx(KeepFailures, &messages);
        for (std::size_t b = 0; b < bands_.size() && done == CE_None && x1 > x0 && y1 > y0; ++b) {
            const std::int64_t at = ((y0 - top) * width + std::int64_t(from) * TileSide + x0 - left) * 4;
            done = GDALRasterIOEx(bands_[b], GF_Read, int(x0), int(y0), int(x1 - x0), int(y1 - y0),
                                  rgba_.data() + at + std::int64_t(b), int(x1 - x0), int(y1 - y0), GDT_Byte, 4,
                                  GSpacing(width) * 4, nullptr);
        }
        CPLPopErrorHandler();
        return done == CE_None;
    };
    // All at once, GDAL fetching them together; after a failure, which keeps GDAL from caching
    // the tiles after the failed one, each tile alone, so only the failed ones are asked again.
    std::vector<std::pair<std::size_t, std::size_t>> pending{{0, count}};
    for (int attempt = 0; !pending.empty(); ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(std::chrono::duration<double>(options_.firstRetryWait * std::pow(2.0, attempt - 1)));
        }
        std::vector<std::pair<std::size_t, std::size_t>> failed;
        ImportStatus fault;
        for (const auto& [from, to] : pending) {
            std::vector<std::string> messages;
            if (read(from, to, messages)) continue;
            for (std::size_t k = from; k < to; ++k) failed.emplace_back(k, k + 1);
            bool retry = false;
            ImportStatus why = ReadFault(messages, tiles, retry);
            if (!retry || local_) return why;
            if (fault.error == ImportError::None) fault = std::move(why);
        }
        if (!failed.empty() && attempt == options_.retries) {
            fault.message += ", after " + std::to_string(attempt) + " retries";
            return fault;
        }
        pending = std::move(failed);
    }
    for (std::size_t k = 0; k < count; ++k) {
        TilePixels& tile = out[first + k];
        tile.width = tile.height = TileSide;
        tile.rgb.resize(std::size_t(TileSide) * TileSide * 3);
        bool clear = true;
        for (std::int64_t row = 0; row < TileSide; ++row) {
            const std::uint8_t* in = rgba_.data() + std::size_t((row * width + std::int64_t(k) * TileSide) * 4);
            std::uint8_t* pixel = tile.rgb.data() + std::size_t(row * TileSide * 3);
            for (std::int64_t column = 0; column < TileSide; ++column, in += 4, pixel += 3) {
                clear = clear && in[3] == 0;
                for (int c = 0; c < 3; ++c) pixel[c] = in[3] == 255 ? in[c] : OverWhite(in[c], in[3]);
            }
        }
        // GDAL leaves a tile the source has not clear and caches none of it, so a clear tile
        // in the cache is one the source holds so.
        tile.missing = clear && (local_ || !IsCached(tiles[first + k]));
        if (tile.missing) missing_.push_back(tiles[first + k]);
    }
    return {};
}

// GDAL's words for a tile it could not fetch, made Kartivo's: the tile, its URL and the status.
// GDAL 3.6 puts the answer's body on its "URL:" line, so the URL is made here.
ImportStatus GdalTileLevel::ReadFault(const std::vector<std::string>& messages, const std::vector<TileAddress>& tiles,
                                      bool& retry) const {
    retry = false;
    const auto from = [](const std::string& url) { return url.empty() ? std::string() : " from " + url; };
    for (const std::string& message : messages) {
        const std::size_t block = message.find("Unable to download block ");
        int column = 0;
        int row = 0;
        if (block != std::string::npos && std::sscanf(message.c_str() + block + 25, "%d, %d", &column, &row) == 2) {
            const TileAddress tile{zoom_, left_ / TileSide + column, top_ / TileSide + row};
            const std::size_t code = message.find("HTTP status code: ");
            const int status = code == std::string::npos ? 0 : std::atoi(message.c_str() + code + 18);
            retry = status == 0 || status == 429 || status >= 500;
            std::string why = "HTTP status " + std::to_string(status);
            if (status == 0) {
                const std::size_t error = message.find("error: ", code == std::string::npos ? 0 : code);
                std::string said =
                    error == std::string::npos ? "" : message.substr(error + 7, message.find('\n', error) - error - 7);
                if (said.ends_with(".")) said.pop_back();
                why = said.find("timed out") != std::string::npos
                          ? "no answer within " + Seconds(std::ceil(options_.timeoutSeconds)) + " s (no HTTP status)"
                          : "no HTTP status (" + said + ")";
            }
            return Refusal(ImportError::ReadFailed, "Cannot fetch tile " + TileName(tile) + from(Url(tile)) + ": " + why);
        }
        const std::size_t file = message.find("ReadBlockFromFile (");
        if (file != std::string::npos) {
            const std::size_t start = file + 19;
            const std::string url = message.substr(start, message.find(") failed", start) - start);
            std::string name = "a tile";
            for (const TileAddress& tile : tiles) {
                if (Url(tile) == url) name = "tile " + TileName(tile);
            }
            return Refusal(ImportError::ReadFailed,
                           "Cannot fetch " + name + from(url) + ": HTTP status 200, but the answer is no picture");
        }
    }
    return Refusal(ImportError::ReadFailed, "Cannot read the tiles of row " + std::to_string(tiles.front().y) +
                                                " at zoom " + std::to_string(zoom_) + ": " +
                                                (messages.empty() ? "GDAL's read failed" : messages.front()));
}

}  // namespace kartivo::geoimport
