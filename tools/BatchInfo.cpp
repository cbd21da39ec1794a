#include "tools/BatchShared.h"

#include "bitmap/OutputLayout.h"
#include "bitmap/TileGrid.h"
#include "common/NumberText.h"
#include "tools/JsonText.h"

#include "geoimport/Importer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <limits>
#include <ostream>

namespace kartivo::batch {

namespace {

constexpr const char* InfoHelp = R"(Usage: kartivo-batch info [--json] PICTURE...
       kartivo-batch info [--json] --tiles SOURCE --zoom Z --box BOTTOM,LEFT,TOP,RIGHT

For each picture, what the window shows after loading it: file size, width, height,
colour depth, compression and both resolutions (dots per inch); then the map name and
the four corners its file name carries, Name(lat,lon,lat,lon), each corner in decimal
degrees and in degrees, minutes and seconds. A picture the window would refuse is
reported on standard error with the window's message; a georeferenced picture of another
format (GeoTIFF, PNG with a world file, ...) is no failure: it is described as the import
would take it, with the corners its output's name would carry; a file of several pictures
(netCDF, HDF5) lists its subdatasets, each with the command that imports it, and a
subdataset's name (NETCDF:"a.nc":Band1) is described as the import takes it. Control points kept beside
a picture (PICTURE.points) follow, each with its residual under the poly1 transform.

Options:
  --box BOTTOM,LEFT,TOP,RIGHT
              describes a picture to import as "import --box" crops it
  --json      one JSON object per picture and line; a refused picture has "error". For
              any picture GDAL reads, "gdal" gives its format, coordinate system and
              the WGS 84 latitudes and longitudes of its outer edges (west to east: a
              picture across 180 degrees has its right edge past 180) and "subdatasets",
              each with its "name", "description" and "import" command; for a picture to
              import, "bmp" is false and "import" gives those corners (null, with
              "refused", when the import would refuse it). A picture with control
              points beside it (PICTURE.points) has "points": the file, its system
              ("crs", null for WGS 84), each point with its residual (dx, dy, pixels,
              metres) under the default poly1 transform, "rms" in pixels and
              "outside", the numbers of the enabled points beyond the picture's
              edges; or "refused" with the reason

What an import of tiles would take, without fetching any: --tiles names the source (a
URL template with {z}, {x}, {y}, {-y} or {q}; a GDAL_WMS XML, WMTS:URL or an MBTiles
file), --zoom Z (0 to 22) its level and --box BOTTOM,LEFT,TOP,RIGHT the area, in degrees
or degrees, minutes and seconds as --corners takes them; a RIGHT west of LEFT crosses 180
degrees. The box is widened to whole pixels of the zoom's grid and cut at 85.0511 degrees.
Reported: the tiles it touches, how many of them the tile cache already holds (those an
import will not fetch again; told for a server's tiles by a URL template or by a TMS
service through GDAL, whose WMTS capabilities are fetched for it), the bitmap's size in pixels and bytes (24-bit), and its
corners, the centres of the corner pixels; an area across 180 degrees in its two parts.
With --json: "tiles", "zoom", "tileCount", "cachedTiles" (where told), "cutAtGridEdge", "corners" (the first
part's) and "parts", each with "part" ("_west", "_east" or ""), "window" (left, top,
width, height in the zoom's pixels), "tileX" and "tileY" (first, last), "tileCount",
"width", "height", "fileSize", "fits" (false beyond the 2 GiB a bitmap holds) and
"corners".
)";

// The bitmap an area of tiles becomes: 24-bit, no colour table.
constexpr std::int32_t TileBitmapBits = 24;
constexpr std::uint64_t LargestBitmapFile = std::numeric_limits<std::int32_t>::max();

// A property text as a JSON number: the window shows whole numbers or "No Data".
std::string JsonWholeNumber(const std::string& text) {
    return WholeNumber(text) && text.find_first_not_of("-0123456789") == std::string::npos ? text : "null";
}

struct CornerTexts {
    const char* label;
    const char* key;
    double typed;
};

// One property of the text report: the label in a column of its own, then the value.
void WriteLine(std::ostream& out, std::string_view label, std::string_view value) {
    out << "  " << label << std::string(label.size() < 19 ? 19 - label.size() : 1, ' ') << value << '\n';
}

std::array<CornerTexts, 4> EachCorner(const MapCorners& corners) {
    return {CornerTexts{"bottom latitude", "bottom", corners.bottom},
            CornerTexts{"left longitude", "left", corners.left}, CornerTexts{"top latitude", "top", corners.top},
            CornerTexts{"right longitude", "right", corners.right}};
}

using ForeignPicture = geoimport::ForeignPicture;

std::string JsonDouble(double value) {
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return ec == std::errc() && std::isfinite(value) ? std::string(buffer.data(), end) : "null";
}

std::string CornersJson(const MapCorners& corners) {
    return JsonObject()
        .Raw("bottom", JsonDouble(corners.bottom))
        .Raw("left", JsonDouble(corners.left))
        .Raw("top", JsonDouble(corners.top))
        .Raw("right", JsonDouble(corners.right))
        .Text();
}

// What GDAL tells of the picture, for pictures the window cannot load as much as for bitmaps.
void AddForeignInfo(JsonObject& object, const std::optional<ForeignPicture>& foreign) {
    if (!foreign) return;
    JsonObject gdal;
    gdal.String("format", foreign->format)
        .Raw("crs", foreign->crs.empty() ? "null" : JsonString(foreign->crs))
        .Raw("crsName", foreign->crsName.empty() ? "null" : JsonString(foreign->crsName))
        .Raw("crsWkt", foreign->crsWkt.empty() ? "null" : JsonString(foreign->crsWkt))
        .Raw("width", std::to_string(foreign->width))
        .Raw("height", std::to_string(foreign->height))
        .Raw("bands", std::to_string(foreign->bands));
    gdal.Raw("corners", foreign->corners ? CornersJson(*foreign->corners) : "null");
    if (!foreign->subdatasets.empty()) {
        std::string list;
        for (const geoimport::Subdataset& one : foreign->subdatasets) {
            list += (list.empty() ? "" : ",") + JsonObject()
                                                    .String("name", one.name)
                                                    .String("description", one.description)
                                                    .String("import", ImportCommandFor(one.name))
                                                    .Text();
        }
        gdal.Raw("subdatasets", "[" + list + "]");
    }
    object.Raw("gdal", gdal.Text());
}

// The points kept beside a picture, fitted as an import with them fits them by default;
// nothing when there is no such file.
struct KeptPoints {
    std::string path;
    std::optional<PointsFile> file;  // nothing when refused, for why
    std::string why;
    geoimport::PointsFit fit;
};
constexpr PointTransform KeptTransform = PointTransform::Polynomial1;

// The points are checked against the picture's size where it is known.
std::optional<KeptPoints> ReadKeptPoints(const std::string& picturePath, std::optional<PictureSize> picture) {
    KeptPoints kept{PointsPathFor(picturePath), {}, {}, {}};
    bool absent = false;
    kept.file = ReadPointsFile(kept.path, kept.why, &absent);
    if (absent) return std::nullopt;
    if (kept.file) {
        kept.fit = geoimport::TheImporter().FitPoints(kept.file->points, kept.file->crsWkt, KeptTransform, picture);
    }
    return kept;
}

void AddPointsInfo(JsonObject& object, const std::string& path, std::optional<PictureSize> picture) {
    const std::optional<KeptPoints> kept = ReadKeptPoints(path, picture);
    if (!kept) return;
    JsonObject report;
    report.String("file", kept->path);
    if (!kept->file) {
        object.Raw("points", report.String("refused", kept->why).Text());
        return;
    }
    const PointsFile& file = *kept->file;
    const geoimport::PointsFit& fit = kept->fit;
    report.Raw("crs", file.crsWkt.empty() ? "null" : JsonString(file.crsWkt))
        .String("transform", PointTransformName(KeptTransform));
    std::string list;
    for (std::size_t i = 0; i < file.points.size(); ++i) {
        const ControlPoint& p = file.points[i];
        JsonObject point;
        point.Raw("column", JsonDouble(p.column)).Raw("row", JsonDouble(p.row)).Raw("mapX", JsonDouble(p.mapX))
            .Raw("mapY", JsonDouble(p.mapY)).Raw("enabled", p.enabled ? "true" : "false");
        if (i < fit.residuals.size()) {
            const PointResidual& r = fit.residuals[i];
            point.Raw("dx", JsonDouble(r.dx)).Raw("dy", JsonDouble(r.dy)).Raw("pixels", JsonDouble(r.pixels))
                .Raw("metres", JsonDouble(r.metres));
        }
        list += (list.empty() ? "" : ",") + point.Text();
    }
    report.Raw("points", "[" + list + "]");
    std::string outside;
    for (const std::size_t index : fit.outside.indices) outside += (outside.empty() ? "" : ",") + std::to_string(index + 1);
    report.Raw("outside", "[" + outside + "]");
    if (fit.status.error != geoimport::ImportError::None) {
        report.String("refused", fit.status.message);
    } else {
        report.Raw("rms", JsonDouble(fit.rmsPixels));
    }
    object.Raw("points", report.Text());
}

void WritePointsInfo(std::ostream& out, const std::string& path, std::optional<PictureSize> picture) {
    const std::optional<KeptPoints> kept = ReadKeptPoints(path, picture);
    if (!kept) return;
    if (!kept->file) {
        WriteLine(out, "control points", kept->path + " refused: " + kept->why);
        return;
    }
    const geoimport::PointsSystem system =
        geoimport::TheImporter().DescribeSystem(kept->file->crsWkt, geoimport::SystemInput::Wkt);
    WriteLine(out, "control points",
              kept->path + " (" + (system.name.empty() ? "a system GDAL does not read" : system.name) + ")");
    const std::vector<ControlPoint>& points = kept->file->points;
    const geoimport::PointsFit& fit = kept->fit;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const ControlPoint& p = points[i];
        std::string text = "column " + FixedTextWithoutMinusZero(p.column, 3) + ", row " +
                           FixedTextWithoutMinusZero(p.row, 3) + ", map " + GeneralNumberText(p.mapX) + " " +
                           GeneralNumberText(p.mapY);
        if (i < fit.residuals.size()) text += "; " + ResidualText(fit.residuals[i]);
        WriteLine(out, "point " + std::to_string(i + 1) + (p.enabled ? "" : " (disabled)"), text);
    }
    WriteLine(out, std::string(PointTransformName(KeptTransform)),
              fit.status.error == geoimport::ImportError::None
                  ? "rms " + FixedTextWithoutMinusZero(fit.rmsPixels, 3) + " pixels over " +
                        std::to_string(EnabledCount(points)) + " points"
                  : "refused: " + fit.status.message);
    if (fit.status.error == geoimport::ImportError::None && !fit.outside.text.empty()) {
        WriteLine(out, "outside", fit.outside.text);
    }
}

// A picture Make cannot take but the import can read: what the import would make of it. The
// plan when the import would write it, else why not; nothing when GDAL cannot read it at all.
struct ImportView {
    std::vector<geoimport::ImportPlan> parts;  // two for a picture split at 180 degrees; none when refused
    std::string refused;
    std::string unreadable;  // why GDAL cannot read it either: then there is nothing to describe
};

// A file that is no bitmap, or a name GDAL opens (a subdataset) that is no file at all.
std::optional<ImportView> ViewForImport(const std::string& path, const LoadedPicture& picture,
                                        const geoimport::ImportOptions& options) {
    // Without the import built in there is no GDAL to ask.
    if (!geoimport::TheImporter().Built() ||
        (picture.headers.error != HeaderError::NotBitmap && (picture.opened || !geoimport::IsGdalName(path)))) {
        return std::nullopt;
    }
    const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(path, options);
    if (prepared.job) return ImportView{prepared.job->Parts(), {}, {}};
    if (prepared.status.error == geoimport::ImportError::OpenFailed) return ImportView{{}, {}, prepared.status.message};
    return ImportView{{}, prepared.status.message, {}};
}

void AddImportInfo(JsonObject& object, const ImportView& view) {
    object.Raw("bmp", "false");
    if (view.parts.empty()) {
        object.Raw("import", JsonObject().Raw("corners", "null").String("refused", view.refused).Text());
        return;
    }
    // "corners" are the first part's, as they were before pictures were split.
    std::string parts;
    for (const geoimport::ImportPlan& part : view.parts) {
        parts += (parts.empty() ? "" : ",") +
                 JsonObject().String("file", part.fileName).Raw("corners", CornersJson(part.corners)).Text();
    }
    // How 16-bit colours become bytes: null for bytes.
    const geoimport::ImportPlan& first = view.parts[0];
    std::string scale = "null";
    if (!first.scaleBounds.empty()) {
        std::string bounds;
        for (const geoimport::ScaleBounds& b : first.scaleBounds) {
            bounds += (bounds.empty() ? "[" : ",[") + GeneralNumberText(b.low) + "," + GeneralNumberText(b.high) + "]";
        }
        scale = JsonObject().String("rule", geoimport::ScaleRuleName(first.scaleRule)).Raw("bounds", "[" + bounds + "]").Text();
    }
    std::string leftOut;
    for (const std::string& band : first.leftOut) leftOut += (leftOut.empty() ? "" : ",") + JsonString(band);
    object.Raw("import", JsonObject()
                             .Raw("corners", CornersJson(first.corners))
                             .Raw("parts", "[" + parts + "]")
                             .Raw("scale", scale)
                             .Raw("leftOut", "[" + leftOut + "]")
                             .Text());
}

void WriteImportText(std::ostream& out, const std::string& path, const ImportView& view,
                     const std::optional<ForeignPicture>& foreign) {
    out << path << '\n';
    if (foreign) {
        WriteLine(out, "format", foreign->format + ", " + std::to_string(foreign->width) + " x " +
                                     std::to_string(foreign->height) + ", " + std::to_string(foreign->bands) +
                                     (foreign->bands == 1 ? " band" : " bands"));
        const bool named = !foreign->crsName.empty() && foreign->crsName != foreign->crs;
        WriteLine(out, "coordinate system",
                  foreign->crs.empty() ? "(none)" : foreign->crs + (named ? " (" + foreign->crsName + ")" : ""));
    }
    for (const geoimport::ImportPlan& part : view.parts) {
        if (view.parts.size() > 1) WriteLine(out, "split at 180", part.fileName);
        for (const CornerTexts& corner : EachCorner(part.corners)) {
            WriteLine(out, corner.label, DegreeText(corner.typed));
        }
    }
    if (!view.parts.empty()) {
        if (const std::string scale = geoimport::ScaleText(view.parts[0]); !scale.empty()) WriteLine(out, "16-bit colours", scale);
        for (const std::string& band : view.parts[0].leftOut) WriteLine(out, "left out", band);
    }
    if (view.parts.empty()) WriteLine(out, "import", "refused: " + view.refused);
    if (foreign) {
        for (std::size_t i = 0; i < foreign->subdatasets.size(); ++i) {
            const geoimport::Subdataset& one = foreign->subdatasets[i];
            WriteLine(out, "subdataset " + std::to_string(i + 1), one.name + "  " + one.description);
            WriteLine(out, "", "  " + ImportCommandFor(one.name));
        }
    }
    WriteLine(out, "not a BMP",
              view.parts.empty() ? std::string("Make takes bitmaps only, and the import refuses it")
                                 : "Make takes it once imported: " + ImportCommandFor(path));
}

// The size the points beside a picture are checked against: a bitmap's as its headers give it,
// another picture's as GDAL reads it.
std::optional<PictureSize> SizeOf(const LoadedPicture& picture, const std::optional<ForeignPicture>& foreign) {
    if (foreign) return PictureSize{foreign->width, foreign->height};
    if (picture.problem) return std::nullopt;
    const BitmapPropertyTexts texts = PropertyTexts(picture.headers);
    const std::optional<std::int32_t> width = WholeNumber(texts.width);
    const std::optional<std::int32_t> height = WholeNumber(texts.height);
    if (!width || !height) return std::nullopt;
    return PictureSize{std::abs(std::int64_t{*width}), std::abs(std::int64_t{*height})};
}

// GDAL can add to a bitmap only what a file beside it says: a world file or an .aux.xml. Without
// one it is not even loaded, which keeps info of a folder of bitmaps as quick as the window.
bool HasGdalSideFile(const std::string& path) {
    std::filesystem::path side(path);
    std::error_code ignored;  // an unreadable folder: GDAL would find nothing there either
    for (const char* extension : {".bpw", ".bmpw", ".wld"}) {
        if (std::filesystem::exists(side.replace_extension(extension), ignored)) return true;
    }
    return std::filesystem::exists(path + ".aux.xml", ignored);
}

std::string InfoJson(const std::string& path, const LoadedPicture& picture) {
    JsonObject object;
    object.String("path", path);
    const auto finish = [&object, &path, &picture] {
        const auto foreign = picture.headers.error != HeaderError::None || HasGdalSideFile(path)
                                 ? geoimport::TheImporter().Describe(path)
                                 : std::nullopt;
        AddForeignInfo(object, foreign);
        AddPointsInfo(object, path, SizeOf(picture, foreign));
        return object.Text();
    };
    if (picture.headers.error == HeaderError::UnknownForm) {
        // The window still shows the file size of a picture whose header form it does not know.
        object.Raw("fileSize", JsonWholeNumber(PropertyTexts(picture.headers).fileSize));
    }
    if (picture.problem) {
        object.String("error", *picture.problem);
        return finish();
    }

    const BitmapPropertyTexts texts = PropertyTexts(picture.headers);
    object.Raw("fileSize", JsonWholeNumber(texts.fileSize))
        .Raw("width", JsonWholeNumber(texts.width))
        .Raw("height", JsonWholeNumber(texts.height))
        .Raw("colorDepth", JsonWholeNumber(texts.colorDepth))
        .String("compression", texts.compression)
        .Raw("resolutionWidth", JsonWholeNumber(texts.resolutionWidth))
        .Raw("resolutionHeight", JsonWholeNumber(texts.resolutionHeight));

    const FileNameCorners found = ReadFileNameConvention(path);
    object.Raw("name", found.name ? JsonString(*found.name) : "null");
    const std::optional<MapCorners> corners = CornersFromFileName(found);
    if (!corners) {
        object.Raw("corners", "null");
        return finish();
    }
    JsonObject cornerObject;
    for (const CornerTexts& corner : EachCorner(*corners)) {
        cornerObject.Raw(corner.key, JsonObject()
                                         .Raw("value", GeneralNumberText(HeldByDegreeBox(corner.typed)))
                                         .String("degree", DegreeText(corner.typed))
                                         .String("dms", DegreeToDmsText(corner.typed))
                                         .Text());
    }
    object.Raw("corners", cornerObject.Text());
    return finish();
}

void WriteInfoText(std::ostream& out, const std::string& path, const LoadedPicture& picture) {
    const BitmapPropertyTexts texts = PropertyTexts(picture.headers);
    const auto line = [&out](std::string_view label, std::string_view value) { WriteLine(out, label, value); };
    out << path << '\n';
    line("file size", texts.fileSize);
    line("width", texts.width);
    line("height", texts.height);
    line("colour depth", texts.colorDepth);
    line("compression", texts.compression);
    line("resolution width", texts.resolutionWidth);
    line("resolution height", texts.resolutionHeight);

    const FileNameCorners found = ReadFileNameConvention(path);
    line("name", found.name ? *found.name : "(none in the file name)");
    if (const std::optional<MapCorners> corners = CornersFromFileName(found)) {
        for (const CornerTexts& corner : EachCorner(*corners)) {
            line(corner.label, DegreeText(corner.typed) + "  " + DegreeToDmsText(corner.typed));
        }
    } else {
        line("corners", "(none in the file name)");
    }
}

std::string TileRangeJson(std::int64_t first, std::int64_t last) {
    return JsonObject().Raw("first", std::to_string(first)).Raw("last", std::to_string(last)).Text();
}

// cached: the tiles the cache holds, where the source is one whose tiles are cached.
std::string TileInfoJson(const TileRequest& request, const TileCut& cut, std::optional<std::int64_t> cached) {
    JsonObject object;
    object.String("tiles", request.source)
        .Raw("zoom", std::to_string(request.zoom))
        .Raw("tileCount", std::to_string(cut.TileCount()));
    if (cached) object.Raw("cachedTiles", std::to_string(*cached));
    object.Raw("cutAtGridEdge", cut.cutAtGridEdge ? "true" : "false")
        .Raw("corners", CornersJson(cut.parts.at(0).corners));
    std::string parts;
    for (const TileArea& area : cut.parts) {
        const std::uint64_t size = WholeBitmapFileSize(area.width, area.height, TileBitmapBits, 0);
        const std::string window = JsonObject()
                                       .Raw("left", std::to_string(area.left))
                                       .Raw("top", std::to_string(area.top))
                                       .Raw("width", std::to_string(area.width))
                                       .Raw("height", std::to_string(area.height))
                                       .Text();
        parts += (parts.empty() ? "" : ",") + JsonObject()
                                                  .String("part", area.part)
                                                  .Raw("window", window)
                                                  .Raw("tileX", TileRangeJson(area.firstTileX, area.lastTileX))
                                                  .Raw("tileY", TileRangeJson(area.firstTileY, area.lastTileY))
                                                  .Raw("tileCount", std::to_string(area.TileCount()))
                                                  .Raw("width", std::to_string(area.width))
                                                  .Raw("height", std::to_string(area.height))
                                                  .Raw("fileSize", std::to_string(size))
                                                  .Raw("fits", size <= LargestBitmapFile ? "true" : "false")
                                                  .Raw("corners", CornersJson(area.corners))
                                                  .Text();
    }
    return object.Raw("parts", "[" + parts + "]").Text();
}

void WriteTileInfo(std::ostream& out, const TileRequest& request, const TileCut& cut,
                   std::optional<std::int64_t> cached) {
    out << request.source << '\n';
    WriteLine(out, "zoom", std::to_string(request.zoom));
    WriteLine(out, "tiles", std::to_string(cut.TileCount()));
    if (cached) WriteLine(out, "cached", std::to_string(*cached) + " of them");
    if (cut.cutAtGridEdge) WriteLine(out, "cut at 85.0511", "rows beyond the tile grid's edge are left out");
    for (const TileArea& area : cut.parts) {
        if (cut.parts.size() > 1) WriteLine(out, "split at 180", area.part);
        WriteLine(out, "tile columns", std::to_string(area.firstTileX) + " to " + std::to_string(area.lastTileX));
        WriteLine(out, "tile rows", std::to_string(area.firstTileY) + " to " + std::to_string(area.lastTileY));
        const std::uint64_t size = WholeBitmapFileSize(area.width, area.height, TileBitmapBits, 0);
        WriteLine(out, "size", std::to_string(area.width) + " x " + std::to_string(area.height) + " pixels, " +
                                   std::to_string(size) + " bytes" +
                                   (size <= LargestBitmapFile ? "" : " (beyond the " + std::to_string(LargestBitmapFile) +
                                                                         " bytes a bitmap file can hold)"));
        for (const CornerTexts& corner : EachCorner(area.corners)) {
            WriteLine(out, corner.label, DegreeText(corner.typed) + "  " + DegreeToDmsText(corner.typed));
        }
    }
}

int RunTileInfo(const CommandLine& line, Session& session, const TileRequest& request) {
    if (!line.operands.empty()) {
        return RefuseUsage(session, "info", "info --tiles describes the tile area alone; give pictures in a run of their own");
    }
    const TileCut cut = CutTileArea(request.zoom, request.box);
    if (cut.error != TileCutError::None) return RefuseUsage(session, "info", "--box: " + TileCutProblem(cut.error));
    const std::optional<std::int64_t> cached = geoimport::TheImporter().CachedTiles(request);
    if (line.flags.contains("--json")) {
        session.console.out << TileInfoJson(request, cut, cached) << '\n';
    } else {
        WriteTileInfo(session.console.out, request, cut, cached);
    }
    return ExitAllDone;
}

int RunInfoCommand(const CommandLine& line, Session& session) {
    UsageError tileError;
    if (const std::optional<TileRequest> request = ReadTileRequest(line, tileError)) {
        return RunTileInfo(line, session, *request);
    }
    if (!tileError.text.empty()) return RefuseUsage(session, "info", tileError.text);
    if (line.operands.empty()) return RefuseUsage(session, "info", "info needs at least one picture");
    geoimport::ImportOptions options;
    if (UsageError error; !ReadCropBox(line, options.box, error)) return RefuseUsage(session, "info", error.text);
    const bool json = line.flags.contains("--json");
    bool allDone = true;
    bool first = true;
    for (const std::string& path : line.operands) {
        LoadedPicture picture = LoadPicture(path, session.boxes);
        std::optional<ImportView> view = ViewForImport(path, picture, options);
        if (view && !view->unreadable.empty()) {
            // GDAL's reason is the one that tells: the file is no bitmap, or no file at all.
            picture.problem = (picture.opened ? picture.problem.value_or("") + " " : std::string()) + view->unreadable;
            view.reset();
        }
        if (view) {
            const std::optional<ForeignPicture> foreign = geoimport::TheImporter().Describe(path);
            if (json) {
                JsonObject object;
                object.String("path", path);
                AddForeignInfo(object, foreign);
                AddImportInfo(object, *view);
                AddPointsInfo(object, path, SizeOf(picture, foreign));
                session.console.out << object.Text() << '\n';
            } else {
                if (!first) session.console.out << '\n';
                WriteImportText(session.console.out, path, *view, foreign);
                WritePointsInfo(session.console.out, path, SizeOf(picture, foreign));
                first = false;
            }
            continue;
        }
        if (json) {
            session.console.out << InfoJson(path, picture) << '\n';
        } else if (!picture.problem) {
            if (!first) session.console.out << '\n';
            WriteInfoText(session.console.out, path, picture);
            WritePointsInfo(session.console.out, path, SizeOf(picture, std::optional<ForeignPicture>()));
            first = false;
        }
        if (picture.problem) {
            session.reporter.Error(path, *picture.problem);
            allDone = false;
        }
    }
    return allDone ? ExitAllDone : ExitSomeFailed;
}

}  // namespace

Command InfoCommand() {
    std::vector<OptionSpec> options{HelpOption, {"--json", "", false}};
    for (OptionSpec& option : TileOptions()) options.push_back(std::move(option));
    return {"info", InfoHelp, std::move(options), RunInfoCommand};
}

}  // namespace kartivo::batch
