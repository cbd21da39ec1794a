#include "geoimport/GeoImport.h"

#include "bitmap/FileNameConvention.h"
#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "bitmap/OutputLayout.h"
#include "common/FileCommon.h"
#include "common/PathParts.h"
#include "common/ReplacementFile.h"

#include <gdal.h>
#include <gdal_alg.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <mutex>
#include <sstream>
#include <vector>


namespace kartivo::geoimport {

namespace {

// Half the side of Web Mercator's square in metres: the ordinate of 85.0511 degrees.
constexpr double MercatorLimitY = 20037508.342789244;
// GDAL's block cache and the warper's working memory: enough for large strips, and the same
// whatever the picture's size, so peak memory stays flat.
constexpr std::int64_t CacheBytes = std::int64_t{64} << 20;
constexpr double WarpMemoryBytes = 64.0 * 1024 * 1024;
// The bytes of output rows read and written at once.
constexpr std::size_t StripBytes = std::size_t{16} << 20;
// What gdalwarp allows by default between the exact and the interpolated transformation, in
// output pixels; the same value keeps an import equal to gdalwarp's own result.
constexpr double ApproxErrorPixels = 0.125;

void InitialiseGdal() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        GDALSetCacheMax64(CacheBytes);
        // Both front ends report failures in their own words; GDAL's own lines on standard
        // error would only repeat them out of place.
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

std::string LastGdalError(const char* fallback) {
    const char* text = CPLGetLastErrorMsg();
    return text != nullptr && *text != '\0' ? std::string(text) : std::string(fallback);
}

struct DatasetCloser {
    void operator()(void* dataset) const {
        if (dataset != nullptr) GDALClose(dataset);
    }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

Dataset OpenRaster(const std::string& path) {
    InitialiseGdal();
    CPLErrorReset();
    return Dataset(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
}

// A name GDAL opens that is no file of its own: a subdataset (NETCDF:"a.nc":Band1,
// GTIFF_DIR:2:a.tif) or a virtual file system (/vsizip/...).
bool IsGdalName(const std::string& name) {
    if (name.starts_with("/vsi")) return true;
    const std::size_t colon = name.find(':');
    return colon != std::string::npos && colon >= 2 &&
           std::all_of(name.begin(), name.begin() + colon,
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// The file a subdataset lives in, which names the output and holds its folder: the quoted
// path (DRIVER:"path":rest), else the colon-separated pieces that name an existing file
// (DRIVER:path:rest, GTIFF_DIR:n:path). Anything else is its own file.
std::string FileOfName(const std::string& name) {
    if (!IsGdalName(name) || name.starts_with("/vsi")) return name;
    const std::size_t quote = name.find('"');
    if (quote != std::string::npos) {
        const std::size_t end = name.find('"', quote + 1);
        if (end != std::string::npos) return name.substr(quote + 1, end - quote - 1);
    }
    std::vector<std::size_t> colons;
    for (std::size_t at = name.find(':'); at != std::string::npos; at = name.find(':', at + 1)) colons.push_back(at);
    colons.push_back(name.size());
    for (std::size_t from = 0; from + 1 < colons.size(); ++from) {
        // The longest run first: a path may hold colons of its own.
        for (std::size_t to = colons.size() - 1; to > from; --to) {
            const std::string piece = name.substr(colons[from] + 1, colons[to] - colons[from] - 1);
            struct stat info {};
            if (::stat(piece.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return piece;
        }
    }
    return name.substr(colons[0] + 1, colons[1] - colons[0] - 1);
}

struct Georeference {
    bool hasGeoTransform = false;
    std::array<double, 6> geoTransform{};
    bool hasGcps = false;
};

Georeference FindGeoreference(GDALDatasetH dataset) {
    Georeference found;
    found.hasGeoTransform = GDALGetGeoTransform(dataset, found.geoTransform.data()) == CE_None;
    found.hasGcps = GDALGetGCPCount(dataset) > 0;
    return found;
}

// Where a picture's .prj may lie: BASE.prj or PICTURE.prj beside it.
std::array<std::string, 2> PrjNames(const std::string& path) {
    const std::string folder = GetParentFolderName(path);
    return {folder.empty() ? GetBaseName(path) + ".prj" : folder + "/" + GetBaseName(path) + ".prj", path + ".prj"};
}

// A .prj in any form GDAL reads: ESRI's WKT (which names datums its own way) first, then
// whatever else GDAL takes from a person, short of opening files or the network it names.
std::optional<OGRSpatialReference> ReadPrj(const std::string& text, std::string& why) {
    OGRSpatialReference crs;
    char** lines = CSLTokenizeString2(text.c_str(), "\r\n", 0);
    const OGRErr esri = crs.importFromESRI(lines);
    CSLDestroy(lines);
    if (esri == OGRERR_NONE) return crs;
    constexpr const char* Space = " \t\r\n";
    const std::size_t start = text.find_first_not_of(Space);
    if (start == std::string::npos) {
        why = "it is empty";
        return std::nullopt;
    }
    const std::string trimmed = text.substr(start, text.find_last_not_of(Space) - start + 1);
    CPLErrorReset();
    crs.Clear();
    if (crs.SetFromUserInput(trimmed.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) ==
        OGRERR_NONE) {
        return crs;
    }
    why = LastGdalError(trimmed.substr(0, trimmed.find_first_of("\r\n")).c_str());
    return std::nullopt;
}

// The source's coordinate system: the file's own, or for a picture with a world file the
// .prj beside it, which GDAL's picture formats do not read themselves. A .prj that is there
// but unreadable is a refusal of its own (in why): it was meant to say the system, and
// saying "put a .prj beside it" would send the user looking for the wrong fault.
std::optional<OGRSpatialReference> FindCrs(GDALDatasetH dataset, const std::string& path, std::string& why) {
    const OGRSpatialReferenceH own =
        GDALGetSpatialRef(dataset) != nullptr ? GDALGetSpatialRef(dataset) : GDALGetGCPSpatialRef(dataset);
    if (own != nullptr) return *OGRSpatialReference::FromHandle(own);
    for (const std::string& prj : PrjNames(path)) {
        std::ifstream file(prj);
        if (!file) continue;
        std::stringstream text;
        text << file.rdbuf();
        std::string reason;
        if (auto crs = ReadPrj(text.str(), reason)) return crs;
        if (why.empty()) why = "the .prj " + prj + " is not a coordinate system GDAL reads: " + reason;
    }
    return std::nullopt;
}

OGRSpatialReference WebMercator() {
    OGRSpatialReference crs;
    crs.importFromEPSG(3857);
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return crs;
}

OGRSpatialReference Wgs84() {
    OGRSpatialReference crs;
    crs.importFromEPSG(4326);
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return crs;
}

std::string CrsText(const OGRSpatialReference& crs) {
    const char* authority = crs.GetAuthorityName(nullptr);
    const char* code = crs.GetAuthorityCode(nullptr);
    if (authority != nullptr && code != nullptr) return std::string(authority) + ":" + code;
    const char* name = crs.GetName();
    return name != nullptr ? name : "an unnamed coordinate system";
}

struct TransformDeleter {
    void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};
using Transform = std::unique_ptr<OGRCoordinateTransformation, TransformDeleter>;

// Ten decimals, as the window's Degree boxes hold them, whatever the user's locale.
std::string TenDecimals(double value) {
    std::array<char, 64> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                         std::chars_format::fixed, 10);
    std::string text(buffer.data(), ec == std::errc() ? end : buffer.data());
    if (text.starts_with("-") && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

double ReadBack(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// How the source's bands become the bitmap's colours.
enum class ColourKind { Rgb, Grey, Palette };

struct BandLayout {
    ColourKind kind = ColourKind::Rgb;
    std::vector<int> colourBands;  // in the order the bitmap stores them: blue, green, red; or one band
    int alphaBand = 0;             // 0: none
    std::vector<std::array<std::uint8_t, 4>> palette;  // red, green, blue, alpha
    bool paletteToRgb = false;  // a warped palette without room for white: written as 24-bit colours
};

ImportStatus Refusal(ImportError error, std::string message) {
    return {error, std::move(message)};
}

std::optional<BandLayout> ReadBandLayout(GDALDatasetH dataset, ImportStatus& status) {
    const int count = GDALGetRasterCount(dataset);
    for (int band = 1; band <= count; ++band) {
        const GDALDataType type = GDALGetRasterDataType(GDALGetRasterBand(dataset, band));
        if (type != GDT_Byte) {
            status = Refusal(ImportError::NotColours,
                             "band " + std::to_string(band) + " holds " + GDALGetDataTypeName(type) +
                                 " values (elevation or measurements, not a picture's colours); only 8-bit "
                                 "colour, grey or paletted pictures can be imported");
            return std::nullopt;
        }
    }
    const auto interpretation = [&](int band) {
        return GDALGetRasterColorInterpretation(GDALGetRasterBand(dataset, band));
    };
    BandLayout layout;
    if (count >= 1 && count <= 2) {
        layout.colourBands = {1};
        GDALColorTableH table = GDALGetRasterColorTable(GDALGetRasterBand(dataset, 1));
        if (table != nullptr && GDALGetPaletteInterpretation(table) == GPI_RGB) {
            layout.kind = ColourKind::Palette;
            for (int i = 0; i < std::min(GDALGetColorEntryCount(table), 256); ++i) {
                const GDALColorEntry* entry = GDALGetColorEntry(table, i);
                layout.palette.push_back({static_cast<std::uint8_t>(entry->c1), static_cast<std::uint8_t>(entry->c2),
                                          static_cast<std::uint8_t>(entry->c3),
                                          static_cast<std::uint8_t>(entry->c4)});
            }
        } else {
            layout.kind = ColourKind::Grey;
        }
        if (count == 2) {
            if (interpretation(2) != GCI_AlphaBand || layout.kind == ColourKind::Palette) {
                status = Refusal(ImportError::NotColours, "its two bands are not grey and alpha");
                return std::nullopt;
            }
            layout.alphaBand = 2;
        }
        return layout;
    }
    if (count == 3 || (count == 4 && interpretation(4) == GCI_AlphaBand)) {
        layout.colourBands = {3, 2, 1};
        layout.alphaBand = count == 4 ? 4 : 0;
        return layout;
    }
    status = Refusal(ImportError::NotColours, "its " + std::to_string(count) +
                                                  " bands are not red, green and blue (and alpha), grey or "
                                                  "palette indexes");
    return std::nullopt;
}

std::optional<WgsCorners> EdgesInWgs84(const Georeference& georeference, const OGRSpatialReference& crs,
                                      std::int32_t width, std::int32_t height) {
    if (!georeference.hasGeoTransform) return std::nullopt;
    OGRSpatialReference source = crs;
    source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const OGRSpatialReference wgs84 = Wgs84();
    const Transform toWgs84(OGRCreateCoordinateTransformation(&source, &wgs84));
    if (!toWgs84) return std::nullopt;
    const auto& g = georeference.geoTransform;
    std::array<double, 4> x{};
    std::array<double, 4> y{};
    for (int i = 0; i < 4; ++i) {
        const double px = i % 2 == 0 ? 0.0 : width;
        const double py = i < 2 ? 0.0 : height;
        x[i] = g[0] + px * g[1] + py * g[2];
        y[i] = g[3] + px * g[4] + py * g[5];
    }
    if (!toWgs84->Transform(4, x.data(), y.data())) return std::nullopt;
    return WgsCorners{*std::min_element(y.begin(), y.end()), *std::min_element(x.begin(), x.end()),
                      *std::max_element(y.begin(), y.end()), *std::max_element(x.begin(), x.end())};
}

// A georeference larger than the Earth is a broken header (a pixel 1e16 m wide, a world file
// holding 1e308): transformed, its longitudes wrap round into a picture that looks plausible,
// and PROJ takes time in proportion to the turns. So it is measured in the source's own units,
// before anything is transformed, with a pixel's slack for an outline that reaches half a
// pixel beyond each edge. Empty when it fits; else why not.
std::string BeyondTheEarth(GDALDatasetH dataset, const Georeference& georeference, const OGRSpatialReference& crs) {
    std::vector<std::array<double, 2>> points;
    double pixelX = 0;
    double pixelY = 0;
    if (georeference.hasGeoTransform) {
        const auto& g = georeference.geoTransform;
        for (const double px : {0.0, double(GDALGetRasterXSize(dataset))}) {
            for (const double py : {0.0, double(GDALGetRasterYSize(dataset))}) {
                points.push_back({g[0] + px * g[1] + py * g[2], g[3] + px * g[4] + py * g[5]});
            }
        }
        pixelX = std::fabs(g[1]) + std::fabs(g[2]);
        pixelY = std::fabs(g[4]) + std::fabs(g[5]);
    } else {
        const GDAL_GCP* gcps = GDALGetGCPs(dataset);
        for (int i = 0; i < GDALGetGCPCount(dataset); ++i) points.push_back({gcps[i].dfGCPX, gcps[i].dfGCPY});
    }
    double unit = 0;  // degrees or metres per unit of the coordinate system
    double limitX = 0;
    double limitY = 0;
    const char* unitName = "";
    if (crs.IsGeographic()) {
        unit = crs.GetAngularUnits() * 180 / M_PI;
        limitX = 360;
        limitY = 180;
        unitName = " degrees";
    } else if (crs.IsProjected()) {
        unit = crs.GetLinearUnits();
        limitX = limitY = 2 * MercatorLimitY;  // the equator's length: the side of Web Mercator's square
        unitName = " m";
    } else {
        return {};  // no size of the Earth to measure against
    }
    double minX = std::numeric_limits<double>::infinity();
    double minY = minX;
    double maxX = -minX;
    double maxY = -minX;
    for (const auto& [x, y] : points) {
        minX = std::min(minX, x * unit);
        maxX = std::max(maxX, x * unit);
        minY = std::min(minY, y * unit);
        maxY = std::max(maxY, y * unit);
    }
    const auto number = [](double value) {
        std::ostringstream text;
        text << value;
        return text.str();
    };
    const auto beyond = [&](double span, double pixel, double limit, const char* direction) -> std::string {
        if (span - pixel * unit <= limit) return {};
        return "its georeference spans " + number(span) + unitName + " " + direction + ", more than the Earth's " +
               number(limit) + unitName + " (a broken header?)";
    };
    std::string why = beyond(maxX - minX, pixelX, limitX, "east to west");
    if (why.empty()) why = beyond(maxY - minY, pixelY, limitY, "north to south");
    if (why.empty() && crs.IsGeographic() && std::max(-minY, maxY) - pixelY * unit > 90) {
        why = "its georeference reaches latitude " + number(maxY > 90 ? maxY : minY) + ", beyond the pole";
    }
    return why;
}

// Every file the source is read from: the picture, what GDAL found beside it (world file,
// .aux.xml, mask, overviews, a VRT's pictures) and the .prj names this program reads itself.
// A .prj counts even when --srs overrides it: it belongs to the picture all the same. Asked
// once the georeference and the coordinate system were looked for, so GDAL has looked at
// its side files by then.
std::vector<FileIdentity> SourceFiles(GDALDatasetH dataset, const std::string& path) {
    std::vector<FileIdentity> files;
    const auto add = [&files](const char* name) {
        if (const auto identity = IdentityOfPath(name)) files.push_back(*identity);
    };
    add(path.c_str());
    char** list = GDALGetFileList(dataset);
    for (char** name = list; name != nullptr && *name != nullptr; ++name) add(*name);
    CSLDestroy(list);
    for (const std::string& prj : PrjNames(path)) add(prj.c_str());
    return files;
}

std::string SizeText(std::uint64_t bytes) {
    return std::to_string(bytes) + " bytes";
}

}  // namespace

std::optional<Resampling> ResamplingFromName(std::string_view name) {
    if (name == "near") return Resampling::Nearest;
    if (name == "bilinear") return Resampling::Bilinear;
    if (name == "cubic") return Resampling::Cubic;
    return std::nullopt;
}

std::optional<ForeignPicture> DescribeForeignPicture(const std::string& path) {
    const Dataset dataset = OpenRaster(path);
    if (!dataset) return std::nullopt;
    ForeignPicture picture;
    GDALDriverH driver = GDALGetDatasetDriver(dataset.get());
    picture.format = driver != nullptr ? GDALGetDriverShortName(driver) : "";
    picture.width = GDALGetRasterXSize(dataset.get());
    picture.height = GDALGetRasterYSize(dataset.get());
    picture.bands = GDALGetRasterCount(dataset.get());
    std::string unreadPrj;
    const std::optional<OGRSpatialReference> crs = FindCrs(dataset.get(), FileOfName(path), unreadPrj);
    if (crs) {
        picture.crs = CrsText(*crs);
        const Georeference georeference = FindGeoreference(dataset.get());
        if (BeyondTheEarth(dataset.get(), georeference, *crs).empty()) {
            picture.corners = EdgesInWgs84(georeference, *crs, picture.width, picture.height);
        }
    }
    return picture;
}

bool IsGeoreferencedPicture(const std::string& path) {
    const Dataset dataset = OpenRaster(path);
    if (!dataset) return false;
    const Georeference georeference = FindGeoreference(dataset.get());
    return georeference.hasGeoTransform || georeference.hasGcps;
}

// GDAL's warp, run strip by strip into an in-memory picture of one strip.
struct Warper {
    void* transformer = nullptr;  // source pixels to output georeference; its output grid moves per strip
    void* approx = nullptr;       // the interpolating transformer over it, as gdalwarp uses
    GDALWarpOptions* options = nullptr;
    Dataset strip;                // the colour bands, then alpha
    std::array<double, 6> geoTransform{};

    Warper() = default;
    Warper(const Warper&) = delete;
    Warper& operator=(const Warper&) = delete;
    ~Warper() {
        if (options != nullptr) GDALDestroyWarpOptions(options);
        if (approx != nullptr) GDALDestroyApproxTransformer(approx);
        if (transformer != nullptr) GDALDestroyGenImgProjTransformer(transformer);
    }

    // Warps the output rows top .. top + rows - 1 into the strip picture. A warp operation
    // keeps what it learnt of the source's place in the output, so each strip, whose grid
    // differs, gets an operation of its own: one kept over all strips reads ever larger
    // windows of the source.
    bool Warp(std::int32_t top, std::int32_t width, std::int32_t rows) {
        std::array<double, 6> g = geoTransform;
        g[3] += top * g[5];
        GDALSetGenImgProjTransformerDstGeoTransform(transformer, g.data());
        GDALWarpOperationH operation = GDALCreateWarpOperation(options);
        if (operation == nullptr) return false;
        const CPLErr warped = GDALChunkAndWarpImage(operation, 0, 0, width, rows);
        GDALDestroyWarpOperation(operation);
        return warped == CE_None;
    }
};

struct ImportJob::Source {
    std::string path;
    Dataset source;
    std::vector<FileIdentity> files;  // what the source is read from; never an output
    std::unique_ptr<Warper> warper;  // empty when the pixels are copied
    BandLayout layout;
    std::int32_t xOffset = 0;  // the source pixels copied start here
    std::int32_t yOffset = 0;
    std::uint8_t fillIndex = 0;  // for a warped paletted picture: the entry shown where the source is not
    std::vector<std::uint8_t> colourTable;  // blue, green, red, 0 per entry, as the bitmap stores them
    std::vector<std::uint8_t> paletteColours;  // the same for a palette written as 24-bit colours
};

ImportJob::ImportJob(std::unique_ptr<Source> source, ImportPlan plan)
    : source_(std::move(source)), plan_(std::move(plan)) {}

ImportJob::~ImportJob() = default;

void ImportJob::SourceCloser::operator()(Source* source) const { delete source; }

namespace {

// Colours with an alpha value, laid over white.
std::uint8_t OverWhite(std::uint8_t colour, std::uint8_t alpha) {
    return static_cast<std::uint8_t>((colour * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Where a warped paletted picture shows white: an entry that is white already, else one added
// in a free place of the table. Nothing when a full table holds no white: then the picture is
// written as 24-bit colours, each pixel its entry's, rather than give up an entry some pixels
// may use (which only reading every pixel would tell) or show the unreached area in a colour
// of the picture's own.
std::optional<std::size_t> WhiteEntry(const BandLayout& layout) {
    for (std::size_t i = 0; i < layout.palette.size(); ++i) {
        const auto& e = layout.palette[i];
        if (OverWhite(e[0], e[3]) == 255 && OverWhite(e[1], e[3]) == 255 && OverWhite(e[2], e[3]) == 255) return i;
    }
    if (layout.palette.size() < 256) return layout.palette.size();
    return std::nullopt;
}

// The bitmap's colour table, blue, green, red, 0 per entry; for a palette written as 24-bit,
// the colours each index becomes.
std::vector<std::uint8_t> ColourTable(BandLayout& layout, bool warped, std::uint8_t& fillIndex) {
    std::vector<std::uint8_t> table;
    if (layout.kind == ColourKind::Grey) {
        for (int i = 0; i < 256; ++i) table.insert(table.end(), {std::uint8_t(i), std::uint8_t(i), std::uint8_t(i), 0});
        return table;
    }
    if (layout.kind != ColourKind::Palette) return table;
    if (warped && !layout.paletteToRgb) {
        const std::size_t white = *WhiteEntry(layout);
        fillIndex = static_cast<std::uint8_t>(white);
        if (white == layout.palette.size()) layout.palette.push_back({255, 255, 255, 255});
    }
    for (const auto& e : layout.palette) {
        table.insert(table.end(), {OverWhite(e[2], e[3]), OverWhite(e[1], e[3]), OverWhite(e[0], e[3]), 0});
    }
    return table;
}

struct OutputGrid {
    std::array<double, 6> geoTransform{};
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool cut = false;
};

// The rows read, warped and written at once: about StripBytes of output.
std::int32_t StripRows(std::int32_t width, std::int32_t bitCount, std::int32_t height) {
    const std::size_t rowBytes = ((std::size_t(width) * bitCount + 31) / 32) * 4;
    return static_cast<std::int32_t>(std::clamp<std::size_t>(StripBytes / rowBytes, 1, std::size_t(std::max(height, 1))));
}

bool IsNorthUp(const std::array<double, 6>& g) {
    return g[2] == 0 && g[4] == 0 && g[1] > 0 && g[5] < 0;
}

// The rows of a Web Mercator source whose centres lie inside the square.
OutputGrid CopiedGrid(const std::array<double, 6>& g, std::int32_t width, std::int32_t height,
                      std::int32_t& firstRow) {
    const double rowHeight = -g[5];
    const double first = std::ceil((g[3] - MercatorLimitY) / rowHeight - 0.5);
    const double last = std::floor((g[3] + MercatorLimitY) / rowHeight - 0.5);
    const double from = std::max(0.0, first);
    const double to = std::min<double>(height - 1, last);
    OutputGrid grid;
    grid.width = width;
    grid.cut = from > 0 || to < height - 1;
    firstRow = static_cast<std::int32_t>(std::clamp(from, 0.0, double(height)));
    grid.height = to >= from ? static_cast<std::int32_t>(to - from + 1) : 0;
    grid.geoTransform = g;
    grid.geoTransform[3] = g[3] + firstRow * g[5];
    return grid;
}

// The warped grid: the extent of the source's outline, cut at the end of Web Mercator, with
// pixels no larger than the smallest step one source pixel makes in the output anywhere over
// the picture, so no source row or column is lost. (GDAL's suggested output keeps square
// pixels of the diagonal's size, which drops rows of a tall picture in degrees.)
std::optional<OutputGrid> WarpedGrid(GDALDatasetH dataset, void* transformer, std::string& why) {
    const int width = GDALGetRasterXSize(dataset);
    const int height = GDALGetRasterYSize(dataset);
    constexpr int EdgeSteps = 256;
    std::vector<double> edgeX;
    std::vector<double> edgeY;
    for (int i = 0; i <= EdgeSteps; ++i) {
        const double t = double(i) / EdgeSteps;
        for (const auto& [x, y] : {std::pair{t * width, 0.0}, std::pair{t * width, double(height)},
                                   std::pair{0.0, t * height}, std::pair{double(width), t * height}}) {
            edgeX.push_back(x);
            edgeY.push_back(y);
        }
    }
    std::vector<double> edgeZ(edgeX.size());
    std::vector<int> edgeOk(edgeX.size());
    GDALGenImgProjTransform(transformer, FALSE, static_cast<int>(edgeX.size()), edgeX.data(), edgeY.data(),
                            edgeZ.data(), edgeOk.data());
    std::array<double, 4> extent{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < edgeX.size(); ++i) {
        if (!edgeOk[i] || !std::isfinite(edgeX[i]) || !std::isfinite(edgeY[i])) continue;
        extent = {std::min(extent[0], edgeX[i]), std::min(extent[1], edgeY[i]), std::max(extent[2], edgeX[i]),
                  std::max(extent[3], edgeY[i])};
    }
    if (!(extent[2] > extent[0]) || !(extent[3] > extent[1])) {
        why = LastGdalError("its outline does not transform to Web Mercator");
        return std::nullopt;
    }
    if (extent[1] >= MercatorLimitY || extent[3] <= -MercatorLimitY) return OutputGrid{};
    constexpr int Samples = 21;
    double stepX = std::numeric_limits<double>::infinity();
    double stepY = std::numeric_limits<double>::infinity();
    for (int i = 0; i < Samples; ++i) {
        for (int j = 0; j < Samples; ++j) {
            const double px = 0.5 + (width - 1) * double(i) / (Samples - 1);
            const double py = 0.5 + (height - 1) * double(j) / (Samples - 1);
            std::array<double, 3> x{px, px + 1, px};
            std::array<double, 3> y{py, py, py + 1};
            std::array<double, 3> z{};
            std::array<int, 3> ok{};
            GDALGenImgProjTransform(transformer, FALSE, 3, x.data(), y.data(), z.data(), ok.data());
            if (!ok[0] || !ok[1] || !ok[2] || std::fabs(y[0]) > MercatorLimitY) continue;
            stepX = std::min(stepX, std::max(std::fabs(x[1] - x[0]), std::fabs(x[2] - x[0])));
            stepY = std::min(stepY, std::max(std::fabs(y[1] - y[0]), std::fabs(y[2] - y[0])));
        }
    }
    if (!std::isfinite(stepX) || !std::isfinite(stepY) || stepX <= 0 || stepY <= 0) {
        why = "no part of it transforms to Web Mercator";
        return std::nullopt;
    }
    OutputGrid grid;
    double minY = extent[1];
    double maxY = extent[3];
    if (maxY > MercatorLimitY) {
        maxY = MercatorLimitY;
        grid.cut = true;
    }
    if (minY < -MercatorLimitY) {
        minY = -MercatorLimitY;
        grid.cut = true;
    }
    const double columns = std::ceil((extent[2] - extent[0]) / stepX - 1e-6);
    const double rows = std::ceil((maxY - minY) / stepY - 1e-6);
    constexpr double Largest = std::numeric_limits<std::int32_t>::max();
    grid.width = static_cast<std::int32_t>(std::clamp(columns, 0.0, Largest));
    grid.height = static_cast<std::int32_t>(std::clamp(rows, 0.0, Largest));
    // The pixels shrink a little to fill the extent exactly: no partial row or column of
    // white beyond the source's edge.
    grid.geoTransform = {extent[0], (extent[2] - extent[0]) / std::max(columns, 1.0), 0, maxY, 0,
                         -(maxY - minY) / std::max(rows, 1.0)};
    return grid;
}

GDALResampleAlg WarpAlgorithm(Resampling resampling) {
    switch (resampling) {
    case Resampling::Bilinear: return GRA_Bilinear;
    case Resampling::Cubic: return GRA_Cubic;
    case Resampling::Nearest: break;
    }
    return GRA_NearestNeighbour;
}

// Takes over the transformer, also when it fails.
std::unique_ptr<Warper> CreateWarper(GDALDatasetH dataset, void* transformer, const OutputGrid& grid,
                                     const BandLayout& layout, Resampling resampling, std::int32_t stripRows) {
    auto warper = std::make_unique<Warper>();
    warper->transformer = transformer;
    warper->geoTransform = grid.geoTransform;
    warper->approx = GDALCreateApproxTransformer(GDALGenImgProjTransform, transformer, ApproxErrorPixels);
    const int colourBands = GDALGetRasterCount(dataset) - (layout.alphaBand != 0 ? 1 : 0);
    // Every warped picture gets an alpha band: where it is clear the source does not reach,
    // and the bitmap shows white there.
    warper->strip.reset(
        GDALCreate(GDALGetDriverByName("MEM"), "", grid.width, stripRows, colourBands + 1, GDT_Byte, nullptr));
    if (warper->approx == nullptr || !warper->strip) return nullptr;

    GDALWarpOptions* options = GDALCreateWarpOptions();
    warper->options = options;
    options->hSrcDS = dataset;
    options->hDstDS = warper->strip.get();
    options->eResampleAlg = WarpAlgorithm(resampling);
    options->dfWarpMemoryLimit = WarpMemoryBytes;
    options->nBandCount = colourBands;
    options->panSrcBands = static_cast<int*>(CPLMalloc(sizeof(int) * colourBands));
    options->panDstBands = static_cast<int*>(CPLMalloc(sizeof(int) * colourBands));
    for (int i = 0; i < colourBands; ++i) options->panSrcBands[i] = options->panDstBands[i] = i + 1;
    options->nSrcAlphaBand = layout.alphaBand;
    options->nDstAlphaBand = colourBands + 1;
    options->pfnTransformer = GDALApproxTransform;
    options->pTransformerArg = warper->approx;
    // Each strip starts clear, so a strip never shows what the one before left.
    options->papszWarpOptions = CSLSetNameValue(options->papszWarpOptions, "INIT_DEST", "0");
    // The transformer stays the warper's own: the options only lend it.
    return warper;
}

std::int16_t BitCount(const BandLayout& layout) {
    return layout.kind == ColourKind::Rgb || layout.paletteToRgb ? 24 : 8;
}

// Header, colour table (a warped palette may gain white) and rows, in 64 bits.
std::uint64_t BitmapFileSize(const OutputGrid& grid, const BandLayout& layout, bool warped) {
    const bool gainsWhite = warped && WhiteEntry(layout) == layout.palette.size();
    const std::uint64_t entries = layout.kind == ColourKind::Grey ? 256
                                  : layout.kind == ColourKind::Palette && !layout.paletteToRgb
                                      ? layout.palette.size() + (gainsWhite ? 1 : 0)
                                      : 0;
    const std::uint64_t rowBytes = ((std::uint64_t(grid.width) * BitCount(layout) + 31) / 32) * 4;
    return OutputHeaderLength(HeaderForm::Windows) + entries * 4 + rowBytes * std::uint64_t(grid.height);
}

// Checked before any memory for the pixels is taken.
ImportStatus CheckSize(const OutputGrid& grid, const BandLayout& layout, bool warped) {
    const std::uint64_t size = BitmapFileSize(grid, layout, warped);
    const std::uint64_t largest = std::uint64_t(std::numeric_limits<std::int32_t>::max());
    if (size <= largest) return {};
    return Refusal(ImportError::TooLarge, "the bitmap would be " + std::to_string(grid.width) + " x " +
                                              std::to_string(grid.height) + " pixels, " + SizeText(size) +
                                              ", beyond the " + SizeText(largest) + " a bitmap file can hold");
}

std::string MapNameOf(const std::string& sourcePath) {
    std::string name = GetBaseName(sourcePath);
    // The name ends at the first "(" when the file name is read back.
    std::replace(name.begin(), name.end(), '(', '[');
    std::replace(name.begin(), name.end(), ')', ']');
    return name.empty() ? "Map" : name;
}

// Fills the plan's corners, file name and proposed path from the output grid.
ImportStatus NameThePicture(ImportPlan& plan, const std::string& sourcePath) {
    const OGRSpatialReference mercator = WebMercator();
    const OGRSpatialReference wgs84 = Wgs84();
    const Transform toWgs84(OGRCreateCoordinateTransformation(&mercator, &wgs84));
    std::array<double, 2> x{plan.originX + plan.pixelWidth / 2, plan.originX + (plan.width - 0.5) * plan.pixelWidth};
    std::array<double, 2> y{plan.originY - (plan.height - 0.5) * plan.pixelHeight,
                            plan.originY - plan.pixelHeight / 2};
    if (!toWgs84 || !toWgs84->Transform(2, x.data(), y.data())) {
        return Refusal(ImportError::CannotTransform, "its corners do not transform to WGS 84 latitudes and longitudes");
    }
    const std::array<std::string, 4> texts{TenDecimals(y[0]), TenDecimals(x[0]), TenDecimals(y[1]),
                                           TenDecimals(x[1])};
    plan.corners = {ReadBack(texts[0]), ReadBack(texts[1]), ReadBack(texts[2]), ReadBack(texts[3])};
    plan.fileName = plan.mapName + "(" + texts[0] + "," + texts[1] + "," + texts[2] + "," + texts[3] + ").bmp";
    const std::string folder = GetParentFolderName(sourcePath);
    plan.proposedPath = folder.empty() ? plan.fileName : folder + PreferredSeparator() + plan.fileName;

    const FileNameCorners back = ReadFileNameConvention(plan.fileName);
    const std::array<double, 4> expected{plan.corners.bottom, plan.corners.left, plan.corners.top, plan.corners.right};
    if (back.name != plan.mapName || !back.corners || *back.corners != expected) {
        return Refusal(ImportError::NameUnreadable,
                       "the corners would not read back from the file name " + plan.fileName +
                           " (a longitude at or beyond 180 degrees?)");
    }
    return {};
}

}  // namespace

std::string ImportNotes(const ImportPlan& plan) {
    if (!plan.cutAtMercatorLimit) return {};
    return "the picture reaches beyond 85.0511 degrees of latitude, where Web Mercator ends; it is cut off there";
}

ImportPreparation PrepareImport(const std::string& sourcePath, const ImportOptions& options) {
    ImportPreparation result;
    const auto refuse = [&result](ImportError error, std::string message) {
        result.status = Refusal(error, std::move(message));
        return std::move(result);
    };
    auto source = std::make_unique<ImportJob::Source>();
    source->path = sourcePath;
    source->source = OpenRaster(sourcePath);
    GDALDatasetH dataset = source->source.get();
    // A subdataset is named, placed and accompanied (.prj) as the file it lives in.
    const std::string filePath = FileOfName(sourcePath);
    if (!dataset) {
        // GDAL calls a missing or unreadable file an unknown format; the system knows better.
        if (struct stat info {}; !IsGdalName(sourcePath) && ::stat(sourcePath.c_str(), &info) != 0) {
            return refuse(ImportError::OpenFailed, ErrorDescription(errno));
        }
        return refuse(ImportError::OpenFailed, "GDAL cannot read it: " + LastGdalError("unknown format"));
    }

    std::optional<OGRSpatialReference> crs;
    if (!options.sourceCrs.empty()) {
        OGRSpatialReference given;
        if (given.SetFromUserInput(options.sourceCrs.c_str()) != OGRERR_NONE) {
            return refuse(ImportError::BadCrsOption,
                          "\"" + options.sourceCrs + "\" is not a coordinate system GDAL knows");
        }
        crs = given;
    }
    const Georeference georeference = FindGeoreference(dataset);
    if (!georeference.hasGeoTransform && !georeference.hasGcps) {
        return refuse(ImportError::NoGeoreference,
                      "it carries no georeference: no GeoTIFF tags, no world file (.tfw, .pgw, .jgw, .bpw, .wld) "
                      "and no .aux.xml beside it");
    }
    std::string unreadPrj;
    if (!crs) crs = FindCrs(dataset, filePath, unreadPrj);
    if (!crs && !unreadPrj.empty()) return refuse(ImportError::NoCrs, unreadPrj);
    if (!crs) {
        return refuse(ImportError::NoCrs,
                      "its georeference names no coordinate system: put a .prj beside it or name one (--srs)");
    }
    crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (const std::string why = BeyondTheEarth(dataset, georeference, *crs); !why.empty()) {
        return refuse(ImportError::BeyondTheEarth, why);
    }

    ImportStatus layoutStatus;
    std::optional<BandLayout> layout = ReadBandLayout(dataset, layoutStatus);
    if (!layout) return refuse(layoutStatus.error, layoutStatus.message);

    ImportPlan plan;
    plan.mapName = MapNameOf(filePath);
    const std::int32_t width = GDALGetRasterXSize(dataset);
    const std::int32_t height = GDALGetRasterYSize(dataset);
    const OGRSpatialReference mercator = WebMercator();
    const char* const sameOptions[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    OutputGrid grid;
    if (georeference.hasGeoTransform && IsNorthUp(georeference.geoTransform) && crs->IsSame(&mercator, sameOptions)) {
        grid = CopiedGrid(georeference.geoTransform, width, height, source->yOffset);
    } else {
        if (layout->kind == ColourKind::Palette && options.resampling != Resampling::Nearest) {
            return refuse(ImportError::NotColours,
                          "its pixels are colour table indexes, which only nearest neighbour resampling keeps");
        }
        layout->paletteToRgb = layout->kind == ColourKind::Palette && !WhiteEntry(*layout);
        char* wkt = nullptr;
        crs->exportToWkt(&wkt);
        const std::string sourceWkt = wkt != nullptr ? wkt : "";
        CPLFree(wkt);
        const std::string srcOption = "SRC_SRS=" + sourceWkt;
        const char* const transformerOptions[] = {srcOption.c_str(), "DST_SRS=EPSG:3857", nullptr};
        CPLErrorReset();
        void* transformer =
            GDALCreateGenImgProjTransformer2(dataset, nullptr, const_cast<char**>(transformerOptions));
        const std::string cannot = "its coordinate system (" + CrsText(*crs) + ") cannot be transformed to Web Mercator: ";
        if (transformer == nullptr) return refuse(ImportError::CannotTransform, cannot + LastGdalError("no transformation"));
        std::string why;
        const std::optional<OutputGrid> warpedGrid = WarpedGrid(dataset, transformer, why);
        if (!warpedGrid) {
            GDALDestroyGenImgProjTransformer(transformer);
            return refuse(ImportError::CannotTransform, cannot + why);
        }
        grid = *warpedGrid;
        plan.warped = true;
        if (const ImportStatus size = CheckSize(grid, *layout, true); size.error != ImportError::None) {
            GDALDestroyGenImgProjTransformer(transformer);
            return refuse(size.error, size.message);
        }
        if (grid.width > 0 && grid.height > 0) {
            source->warper = CreateWarper(dataset, transformer, grid, *layout, options.resampling,
                                          StripRows(grid.width, BitCount(*layout), grid.height));
            if (!source->warper) return refuse(ImportError::CannotTransform, cannot + LastGdalError("GDAL's warper refused"));
        } else {
            GDALDestroyGenImgProjTransformer(transformer);
        }
    }
    if (grid.width <= 0 || grid.height <= 0) {
        return refuse(ImportError::OutsideMercator,
                      "it lies wholly beyond 85.0511 degrees of latitude, where Web Mercator ends");
    }
    if (const ImportStatus size = CheckSize(grid, *layout, plan.warped); size.error != ImportError::None) {
        return refuse(size.error, size.message);
    }
    plan.cutAtMercatorLimit = grid.cut;
    plan.width = grid.width;
    plan.height = grid.height;
    plan.originX = grid.geoTransform[0];
    plan.originY = grid.geoTransform[3];
    plan.pixelWidth = grid.geoTransform[1];
    plan.pixelHeight = -grid.geoTransform[5];

    source->layout = *layout;
    source->colourTable = ColourTable(source->layout, plan.warped, source->fillIndex);
    if (source->layout.paletteToRgb) source->paletteColours = std::move(source->colourTable);
    plan.bitCount = BitCount(*layout);
    plan.fileSize = BitmapFileSize(grid, *layout, plan.warped);
    if (const ImportStatus named = NameThePicture(plan, filePath); named.error != ImportError::None) {
        return refuse(named.error, named.message);
    }
    source->files = SourceFiles(dataset, filePath);
    result.job = std::make_unique<ImportJob>(std::move(source), std::move(plan));
    return result;
}

ImportStatus ImportJob::Write(const std::string& outputPath, const ImportProgress& progress,
                              const std::vector<FileIdentity>& alsoRead) {
    const Source& s = *source_;
    const ImportPlan& plan = plan_;
    const std::int32_t rowSize = *RowSize(plan.width, plan.bitCount);
    const OutputHeaderFields fields{.width = plan.width,
                                    .height = plan.height,
                                    .bitCount = plan.bitCount,
                                    .xPelsPerMeter = 3780,  // 96 dots per inch, as the window shows a missing one
                                    .yPelsPerMeter = 3780,
                                    .clrUsed = static_cast<std::int32_t>(s.colourTable.size() / 4)};
    const auto header = BuildOutputHeader(fields, static_cast<std::uint32_t>(s.colourTable.size()));
    if (!header) return Refusal(ImportError::TooLarge, "the bitmap's size does not fit a bitmap header");

    std::vector<FileIdentity> inputs = s.files;
    inputs.insert(inputs.end(), alsoRead.begin(), alsoRead.end());
    ReplacementFile replacement(outputPath, std::move(inputs));
    const std::string isInput = "Cannot write " + outputPath + ": it is one of the files being imported";
    if (replacement.TargetIsInput()) return Refusal(ImportError::WriteFailed, isInput);
    if (!replacement.IsOpen()) return Refusal(ImportError::WriteFailed, replacement.Error());
    OpenFile& file = replacement.File();
    const auto fail = [&](ImportStatus status) {
        replacement.Discard();
        return status;
    };
    const auto writeFailed = [&] { return fail(Refusal(ImportError::WriteFailed, replacement.WriteError())); };
    if (!file.Write(*header)) return writeFailed();
    if (!s.colourTable.empty() && !file.Write(s.colourTable)) return writeFailed();

    const std::int32_t stripRows = StripRows(plan.width, plan.bitCount, plan.height);
    // Zeroed once: the padding at the end of each row is never written over.
    std::vector<std::uint8_t> strip(std::size_t(stripRows) * rowSize, 0);
    const int colourCount = static_cast<int>(s.layout.colourBands.size());
    const int pixelBytes = plan.bitCount / 8;
    const bool alpha = s.warper || s.layout.alphaBand != 0;
    std::vector<int> bands = s.layout.colourBands;
    GDALDatasetH from = s.source.get();
    if (s.warper) {
        // The strip picture holds the source's colour bands in their order, then alpha.
        from = s.warper->strip.get();
        bands = colourCount == 3 ? std::vector<int>{3, 2, 1} : std::vector<int>{1};
        bands.push_back(colourCount + 1);
    } else if (alpha) {
        bands.push_back(s.layout.alphaBand);
    }
    const int bandCount = static_cast<int>(bands.size());
    std::vector<std::uint8_t> withAlpha(alpha ? std::size_t(stripRows) * plan.width * bandCount : 0);

    for (std::int32_t done = 0; done < plan.height;) {
        const std::int32_t rows = std::min(stripRows, plan.height - done);
        // Output rows done .. done + rows - 1 counted from the bottom are these rows counted
        // from the top.
        const std::int32_t top = plan.height - done - rows;
        CPLErrorReset();
        if (s.warper && !s.warper->Warp(top, plan.width, rows)) {
            return fail(Refusal(ImportError::ReadFailed, "Cannot warp the picture: " + LastGdalError("GDAL's warper failed")));
        }
        const std::int32_t fromX = s.warper ? 0 : s.xOffset;
        const std::int32_t fromY = s.warper ? 0 : s.yOffset + top;
        CPLErr read = CE_None;
        if (!alpha) {
            // A negative line step puts the lowest row first, as the bitmap stores them.
            read = GDALDatasetRasterIOEx(from, GF_Read, fromX, fromY, plan.width, rows,
                                         strip.data() + std::size_t(rows - 1) * rowSize, plan.width, rows, GDT_Byte,
                                         bandCount, bands.data(), colourCount, -GSpacing(rowSize), 1, nullptr);
        } else {
            read = GDALDatasetRasterIOEx(from, GF_Read, fromX, fromY, plan.width, rows, withAlpha.data(),
                                         plan.width, rows, GDT_Byte, bandCount, bands.data(), bandCount,
                                         GSpacing(plan.width) * bandCount, 1, nullptr);
            for (std::int32_t r = 0; r < rows; ++r) {
                const std::uint8_t* in = withAlpha.data() + std::size_t(r) * plan.width * bandCount;
                std::uint8_t* out = strip.data() + std::size_t(rows - 1 - r) * rowSize;
                for (std::int32_t x = 0; x < plan.width; ++x, in += bandCount, out += pixelBytes) {
                    const std::uint8_t a = in[colourCount];
                    if (s.layout.paletteToRgb) {
                        static constexpr std::array<std::uint8_t, 3> White{255, 255, 255};
                        const std::uint8_t* colour = a == 0 ? White.data() : &s.paletteColours[std::size_t(in[0]) * 4];
                        std::copy(colour, colour + 3, out);
                    } else if (s.layout.kind == ColourKind::Palette) {
                        out[0] = a == 0 ? s.fillIndex : in[0];
                    } else if (a == 255) {
                        std::copy(in, in + colourCount, out);
                    } else {
                        for (int c = 0; c < colourCount; ++c) out[c] = OverWhite(in[c], a);
                    }
                }
            }
        }
        if (read != CE_None) {
            return fail(Refusal(ImportError::ReadFailed, "Cannot read the picture: " + LastGdalError("GDAL read failed")));
        }
        if (!file.Write(std::span(strip.data(), std::size_t(rows) * rowSize))) return writeFailed();
        done += rows;
        if (progress && !progress(double(done) / plan.height)) {
            return fail(Refusal(ImportError::Canceled, "The import was canceled; nothing was written"));
        }
    }
    if (!replacement.Commit()) {
        return Refusal(ImportError::WriteFailed, replacement.TargetIsInput() ? isInput : replacement.Error());
    }
    return {};
}

}  // namespace kartivo::geoimport
