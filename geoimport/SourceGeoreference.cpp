// Reading where a picture lies from GDAL and the files beside it, and judging it before any
// transformation runs: a header spanning more than the Earth is refused from its numbers alone.

#include "geoimport/SourceGeoreference.h"

#include "common/NumberText.h"
#include "common/PathParts.h"
#include "geoimport/Gdal.h"
#include "geoimport/Importer.h"
#include "geoimport/OutputGrid.h"

#include <cpl_string.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

namespace kartivo::geoimport {

namespace {

// Where a picture's .prj may lie: BASE.prj or PICTURE.prj beside it.
std::array<std::string, 2> PrjNames(const std::string& path) {
    const std::string folder = GetParentFolderName(path);
    return {folder.empty() ? GetBaseName(path) + ".prj" : folder + "/" + GetBaseName(path) + ".prj", path + ".prj"};
}

// A .prj in any form GDAL reads: ESRI's WKT (which names datums its own way) first, then
// whatever else GDAL takes from a person, short of opening files or the network it names.
std::optional<OGRSpatialReference> ReadPrj(const std::string& text, std::string& why) {
    OGRSpatialReference crs;
    CPLStringList lines(CSLTokenizeString2(text.c_str(), "\r\n", 0), TRUE);
    if (crs.importFromESRI(lines.List()) == OGRERR_NONE) return crs;
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

}  // namespace

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

Georeference FindGeoreference(GDALDatasetH dataset) {
    Georeference found;
    found.hasGeoTransform = GDALGetGeoTransform(dataset, found.geoTransform.data()) == CE_None;
    found.hasGcps = GDALGetGCPCount(dataset) > 0;
    found.hasRpcs = GDALGetMetadata(dataset, "RPC") != nullptr;
    found.hasGeolocation = GDALGetMetadata(dataset, "GEOLOCATION") != nullptr;
    return found;
}

const char* Georeference::Description() const {
    if (hasGeoTransform) return "a geotransform";
    if (hasGcps) return "ground control points";
    if (hasRpcs) return "RPCs";
    return hasGeolocation ? "geolocation arrays" : "no georeference";
}

// The source's coordinate system: the file's own, or for a picture with a world file the
// .prj beside it, which GDAL's picture formats do not read themselves. A .prj that is there
// but unreadable is a refusal of its own (in why): it was meant to say the system, and
// saying "put a .prj beside it" would send the user looking for the wrong fault.
std::optional<OGRSpatialReference> FindCrs(GDALDatasetH dataset, const std::string& path, std::string& why) {
    const OGRSpatialReferenceH own =
        GDALGetSpatialRef(dataset) != nullptr ? GDALGetSpatialRef(dataset) : GDALGetGCPSpatialRef(dataset);
    if (own != nullptr) return *OGRSpatialReference::FromHandle(own);
    // Geolocation arrays name the system of their latitudes and longitudes themselves.
    if (const char* srs = GDALGetMetadataItem(dataset, "SRS", "GEOLOCATION"); srs != nullptr && *srs != '\0') {
        OGRSpatialReference crs;
        if (crs.SetFromUserInput(srs, OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) == OGRERR_NONE) {
            return crs;
        }
    }
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

// Longitudes are followed round the outline, each taken within half a turn of the one before, so
// a picture crossing the 180th meridian keeps its west edge west of its east edge (which then lies
// past 180) instead of spanning the world the other way round.
std::optional<MapCorners> EdgesInWgs84(const Georeference& georeference, const OGRSpatialReference& crs,
                                      std::int32_t width, std::int32_t height) {
    if (!georeference.hasGeoTransform) return std::nullopt;
    OGRSpatialReference source = crs;
    source.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const OGRSpatialReference wgs84 = Wgs84();
    const Transform toWgs84(OGRCreateCoordinateTransformation(&source, &wgs84));
    if (!toWgs84) return std::nullopt;
    const auto& g = georeference.geoTransform;
    // Corners alone could hide a turn: sixteen points along each edge, round the outline.
    constexpr int PerEdge = 16;
    std::vector<double> x;
    std::vector<double> y;
    for (int edge = 0; edge < 4; ++edge) {
        for (int i = 0; i < PerEdge; ++i) {
            const double t = double(i) / PerEdge;
            const double along[4][2] = {{t, 0}, {1, t}, {1 - t, 1}, {0, 1 - t}};
            const double px = along[edge][0] * width;
            const double py = along[edge][1] * height;
            x.push_back(g[0] + px * g[1] + py * g[2]);
            y.push_back(g[3] + px * g[4] + py * g[5]);
        }
    }
    if (!toWgs84->Transform(int(x.size()), x.data(), y.data())) return std::nullopt;
    for (std::size_t i = 1; i < x.size(); ++i) x[i] = x[i - 1] + std::remainder(x[i] - x[i - 1], 360.0);
    double west = *std::min_element(x.begin(), x.end());
    double east = *std::max_element(x.begin(), x.end());
    if (east - west >= 360) {
        west = -180;
        east = 180;
    }
    const double turns = std::floor((west + 180) / 360);  // west into [-180, 180)
    return MapCorners{*std::min_element(y.begin(), y.end()), west - turns * 360,
                      *std::max_element(y.begin(), y.end()), east - turns * 360};
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
    if (points.empty()) return {};  // RPCs: bounded by their own offsets and scales
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
    // To a tenth: enough to tell 360 from 380 degrees, or 90 from 90.3.
    const auto number = [](double value) { return GeneralNumberText(std::round(value * 10) / 10); };
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

// Files named after the picture (scan.map beside scan.jpg, scan.jpg.vrt) that GDAL opens with
// a georeference and reads the picture through. The picture's own side files (world file, .prj,
// .aux.xml) are no rasters and are passed over by GDAL at once.
std::string SideFilePlacing(const std::string& path) {
    const std::optional<FileIdentity> picture = IdentityOfPath(path);
    if (!picture) return {};
    const std::string parent = GetParentFolderName(path);
    const std::filesystem::path folder = parent.empty() ? "." : parent;
    const std::string base = GetBaseName(path);
    const std::string name = GetFileName(path);
    // Error codes throughout: nothing may leave the module as an exception.
    std::error_code error;
    int looked = 0;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        const std::string candidate = entry->path().filename().string();
        if (candidate == name || !candidate.starts_with(base + ".")) continue;
        // A folder of thousands of pages of one scan would otherwise be opened page by page.
        if (++looked > 32) break;
        // Named as the picture was: beside a bare name, a bare name.
        const std::string candidatePath = parent.empty() ? candidate : entry->path().string();
        const Dataset side = OpenRaster(candidatePath);
        if (!side || !FindGeoreference(side.get()).Any()) continue;
        const CPLStringList list(GDALGetFileList(side.get()), TRUE);
        for (int i = 0; i < list.size(); ++i) {
            if (IdentityOfPath(list[i]) == picture) return candidatePath;
        }
    }
    return {};
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
    const CPLStringList list(GDALGetFileList(dataset), TRUE);
    for (int i = 0; i < list.size(); ++i) add(list[i]);
    for (const std::string& prj : PrjNames(path)) add(prj.c_str());
    return files;
}

}  // namespace kartivo::geoimport
