// The import in its steps: open the source, decide its coordinate system, read its bands, grid
// the output (copied or warped, in one part or two at the 180th meridian), check the size and
// name each part; then write the parts strip by strip, whole or not at all.

#include "geoimport/GeoImport.h"

#include "bitmap/FileNameConvention.h"
#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "bitmap/OutputLayout.h"
#include "common/FileCommon.h"
#include "common/NumberText.h"
#include "common/PathParts.h"
#include "common/ReplacementFile.h"

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/OutputGrid.h"
#include "geoimport/PointsPlacement.h"
#include "geoimport/Relief.h"
#include "geoimport/SourceGeoreference.h"
#include "geoimport/TileLevel.h"
#include "geoimport/TileMosaic.h"
#include "geoimport/ValueScale.h"
#include "geoimport/Warper.h"

#include <cpl_string.h>
#include <cpl_error.h>

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <span>
#include <tuple>
#include <vector>

namespace kartivo::geoimport {

namespace {

// Ten decimals, as the window's Degree boxes hold them, whatever the user's locale.
std::string TenDecimals(double value) { return FixedTextWithoutMinusZero(value, 10); }

double ReadBack(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The pictures a file of several holds, in GDAL's order; none for a picture of one.
std::vector<Subdataset> SubdatasetsOf(GDALDatasetH dataset) {
    std::vector<Subdataset> found;
    CSLConstList list = GDALGetMetadata(dataset, "SUBDATASETS");
    for (int n = 1;; ++n) {
        const std::string key = "SUBDATASET_" + std::to_string(n);
        const char* name = CSLFetchNameValue(list, (key + "_NAME").c_str());
        if (name == nullptr) break;
        const char* description = CSLFetchNameValue(list, (key + "_DESC").c_str());
        found.push_back({name, description != nullptr ? description : ""});
    }
    return found;
}

// A file whose subdatasets are its pictures: it has no bands of its own, or nothing placing
// them (a netCDF's first variable), so importing it whole would only be refused for that.
bool OnlySubdatasets(GDALDatasetH dataset) {
    return (GDALGetRasterCount(dataset) == 0 || !FindGeoreference(dataset).Any()) &&
           !SubdatasetsOf(dataset).empty();
}

}  // namespace

std::optional<ForeignPicture> DescribeForeignPicture(const std::string& path) {
    const Dataset dataset = OpenRaster(path);
    if (!dataset) return std::nullopt;
    ForeignPicture picture;
    GDALDriverH driver = GDALGetDatasetDriver(dataset.get());
    picture.format = driver != nullptr ? GDALGetDriverShortName(driver) : "";
    picture.width = GDALGetRasterXSize(dataset.get());
    picture.height = GDALGetRasterYSize(dataset.get());
    picture.bands = GDALGetRasterCount(dataset.get());
    picture.subdatasets = SubdatasetsOf(dataset.get());
    std::string unreadPrj;
    const std::optional<OGRSpatialReference> crs = FindCrs(dataset.get(), FileOfName(path), unreadPrj);
    if (crs) {
        picture.crs = CrsText(*crs);
        picture.crsName = crs->GetName() != nullptr ? crs->GetName() : "";
        if (crs->GetAuthorityCode(nullptr) == nullptr) {
            picture.crsWkt = WktOf(*crs, CPLStringList().SetNameValue("MULTILINE", "NO"));
        }
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
    return FindGeoreference(dataset.get()).Any() || OnlySubdatasets(dataset.get());
}

namespace {

// What a job reads from: the opened source and all that was decided about it.
struct JobSource {
    std::string path;
    Dataset source;
    Dataset scaled;  // 16-bit colours as bytes, read in place of the source's pixels; empty for bytes
    std::vector<FileIdentity> files;  // what the source is read from; never an output
    Dataset placement;  // the control points in place of the source's georeference; empty without them
    std::vector<std::unique_ptr<Warper>> warpers;  // one per part; empty when the pixels are copied
    std::vector<std::unique_ptr<ReliefShader>> shaders;  // one per part for a relief, in place of warpers
    BandLayout layout;
    std::int32_t yOffset = 0;  // the source row a copy's grid starts at
    // Each part's window of its grid: the grid whole, or what a box crops it to.
    std::vector<GridWindow> windows;
    std::vector<std::uint8_t> colourTable;  // blue, green, red, 0 per entry, as the bitmap stores them
    PaletteFill paletteFill;  // for a warped or masked palette

    GDALDatasetH Pixels() const { return scaled ? scaled.get() : source.get(); }
    // A tile area in place of a source file: the tiles fetched for each part, in its place.
    std::unique_ptr<TileRowSource> tiles;
    std::vector<std::unique_ptr<TileMosaic>> mosaics;
    TileRequest tileRequest;  // what each part's note tells of its origin
};

class GdalImportJob final : public ImportJob {
public:
    GdalImportJob(std::unique_ptr<JobSource> source, std::vector<ImportPlan> parts)
        : ImportJob(std::move(parts)), source_(std::move(source)) {}
    ImportStatus Write(const std::vector<std::string>& outputPaths, const ImportProgress& progress,
                       const std::vector<FileIdentity>& alsoRead) override;
    std::string Warning() const override { return source_->tiles ? source_->tiles->MissingWarning() : std::string(); }
    std::string Attribution() const override { return source_->tileRequest.attribution; }

private:
    std::unique_ptr<JobSource> source_;
};

std::string MapNameOf(const std::string& sourcePath) {
    std::string name = GetBaseName(sourcePath);
    // The name ends at the first "(" when the file name is read back.
    std::replace(name.begin(), name.end(), '(', '[');
    std::replace(name.begin(), name.end(), ')', ']');
    return name.empty() ? "Map" : name;
}

// Fills the plan's corners, file name and proposed path from the centres of its corner pixels.
ImportStatus NameByCorners(ImportPlan& plan, const MapCorners& centres, const std::string& folder) {
    const std::array<std::string, 4> texts{TenDecimals(centres.bottom), TenDecimals(centres.left),
                                           TenDecimals(centres.top), TenDecimals(centres.right)};
    plan.corners = {ReadBack(texts[0]), ReadBack(texts[1]), ReadBack(texts[2]), ReadBack(texts[3])};
    plan.fileName = plan.mapName + plan.part + "(" + texts[0] + "," + texts[1] + "," + texts[2] + "," + texts[3] + ").bmp";
    plan.proposedPath = folder.empty() ? plan.fileName : folder + PreferredSeparator() + plan.fileName;

    // Make takes the bottom row below the top one and the left column west of the right one,
    // as the name gives them: pixels too small for ten decimals (or a picture one pixel high or
    // wide) would make a map it refuses.
    for (const auto& [first, second, what] :
         {std::tuple{0, 2, "bottom and top latitudes"}, {1, 3, "left and right longitudes"}}) {
        if (texts[first] == texts[second]) {
            return Refusal(ImportError::CornersCoincide,
                           "its " + std::string(what) + " are the same to ten decimals (" + texts[first] +
                               "), as a map's name keeps its corners, so Make could not use it: its pixels are too "
                               "small");
        }
    }
    const FileNameCorners back = ReadFileNameConvention(plan.fileName);
    if (back.name != plan.mapName + plan.part || back.corners != plan.corners) {
        return Refusal(ImportError::NameUnreadable,
                       "the corners would not read back from the file name " + plan.fileName +
                           " (a longitude at or beyond 180 degrees?)");
    }
    return {};
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
    return NameByCorners(plan, {y[0], x[0], y[1], x[1]}, GetParentFolderName(sourcePath));
}

}  // namespace

namespace {

// The coordinate system the georeference is read in: the one named in the options, else the
// source's own or its .prj.
ImportStatus DecideCrs(GDALDatasetH dataset, const ImportOptions& options, const std::string& filePath,
                       const Georeference& georeference, OGRSpatialReference& crs) {
    if (!options.sourceCrs.empty() &&
        crs.SetFromUserInput(options.sourceCrs.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get()) !=
            OGRERR_NONE) {
        return Refusal(ImportError::BadCrsOption, "\"" + options.sourceCrs + "\" is not a coordinate system GDAL knows");
    }
    if (!georeference.Any()) {
        const std::string side = SideFilePlacing(filePath);
        return Refusal(ImportError::NoGeoreference,
                       "it carries no georeference: no GeoTIFF tags, control points or RPCs, no world file (.tfw, "
                       ".pgw, .jgw, .bpw, .wld) and no .aux.xml beside it" +
                           (side.empty() ? std::string()
                                         : "; but " + side + " beside it places it: import that file instead"));
    }
    if (options.sourceCrs.empty() && georeference.OnlyRpcs()) {
        crs = Wgs84();
    } else if (options.sourceCrs.empty()) {
        std::string unreadPrj;
        std::optional<OGRSpatialReference> found = FindCrs(dataset, filePath, unreadPrj);
        if (!found && !unreadPrj.empty()) return Refusal(ImportError::NoCrs, unreadPrj);
        if (!found) {
            return Refusal(ImportError::NoCrs, std::string("its georeference (") + georeference.Description() +
                                                   ") names no coordinate system: put a .prj beside it or name one "
                                                   "(--srs)");
        }
        crs = std::move(*found);
    }
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    if (std::string why = BeyondTheEarth(dataset, georeference, crs); !why.empty()) {
        return Refusal(ImportError::BeyondTheEarth, std::move(why));
    }
    return {};
}

// What places the source's pixels on the Earth: its own georeference, or the control points'
// dataset in its place; method says how GDAL fits the points.
struct Placement {
    GDALDatasetH dataset = nullptr;
    Georeference georeference;
    OGRSpatialReference crs;
    std::vector<std::string> method;
};

// Control points stand in for whatever the source carries, on a dataset of their own that
// places it; the pixels are still read from the source.
ImportStatus PlaceByControlPoints(JobSource& source, const ImportOptions& options, Placement& placement,
                                  PointsFit& fit) {
    GDALDatasetH dataset = source.source.get();
    ImportStatus byPoints = ReadPointsCrs(options.pointsCrs, SystemInput::Wkt, placement.crs);
    if (byPoints.error == ImportError::None) {
        fit = FitPoints(options.points, placement.crs, options.pointTransform,
                        PictureSize{GDALGetRasterXSize(dataset), GDALGetRasterYSize(dataset)});
        byPoints = fit.status;
    }
    if (byPoints.error == ImportError::None) {
        byPoints = PlaceByPoints(dataset, options.points, placement.crs, source.placement);
    }
    if (byPoints.error != ImportError::None) return byPoints;
    placement.dataset = source.placement.get();
    placement.method = PointTransformOptions(options.pointTransform);
    placement.georeference = FindGeoreference(placement.dataset);
    if (std::string why = BeyondTheEarth(placement.dataset, placement.georeference, placement.crs); !why.empty()) {
        return Refusal(ImportError::BeyondTheEarth, "the control points' map positions: " + why);
    }
    return {};
}

bool IsWebMercator(const Georeference& georeference, const OGRSpatialReference& crs) {
    const OGRSpatialReference mercator = WebMercator();
    const char* const sameOptions[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    return georeference.hasGeoTransform && IsNorthUp(georeference.geoTransform) && crs.IsSame(&mercator, sameOptions);
}

// From the placed pixels to Web Mercator, as gdalwarp makes it, or to the same Mercator
// centred on another meridian.
GenImgProjTransformer MercatorTransformer(const Placement& placement, double centreLongitude = 0) {
    CPLStringList options;
    options.SetNameValue("SRC_SRS", WktOf(placement.crs).c_str());
    // Web Mercator's sphere and scale: the same rows and pixel sizes, only moved east or west.
    const std::string mercator =
        centreLongitude == 0 ? std::string("EPSG:3857")
                             : "+proj=merc +lon_0=" + TenDecimals(centreLongitude) +
                                   " +a=6378137 +b=6378137 +k=1 +x_0=0 +y_0=0 +units=m +nadgrids=@null +wktext +no_defs";
    options.SetNameValue("DST_SRS", mercator.c_str());
    for (const std::string& option : placement.method) options.AddString(option.c_str());
    CPLErrorReset();
    return GenImgProjTransformer(GDALCreateGenImgProjTransformer2(placement.dataset, nullptr, options.List()));
}

std::string CannotTransform(const OGRSpatialReference& crs) {
    return "its coordinate system (" + CrsText(crs) + ") cannot be transformed to Web Mercator: ";
}

PixelTransform ToOutput(const GenImgProjTransformer& transformer) {
    return [&transformer](int count, double* x, double* y, int* ok) {
        std::vector<double> z(static_cast<std::size_t>(count));
        GDALGenImgProjTransform(transformer.get(), FALSE, count, x, y, z.data(), ok);
    };
}

// The grids of a warp, one per part. Web Mercator's own grid would run from one side of the
// 180th meridian right round the world to the other, so a picture crossing it is gridded in a
// Mercator centred on its middle, where it is whole, and cut at the meridian.
ImportStatus PlanWarp(const Placement& placement, BandLayout& layout, Resampling resampling,
                      std::vector<OutputGrid>& grids) {
    if (layout.kind == ColourKind::Palette && resampling != Resampling::Nearest) {
        return Refusal(ImportError::NotColours,
                       "its pixels are colour table indexes, which only nearest neighbour resampling keeps");
    }
    layout.paletteToRgb = layout.kind == ColourKind::Palette && !WhiteEntry(layout);
    const std::string cannot = CannotTransform(placement.crs);
    GenImgProjTransformer transformer = MercatorTransformer(placement);
    if (!transformer) return Refusal(ImportError::CannotTransform, cannot + LastGdalError("no transformation"));
    const std::int32_t width = GDALGetRasterXSize(placement.dataset);
    const std::int32_t height = GDALGetRasterYSize(placement.dataset);
    std::optional<double> centre;
    bool roundTheWorld = false;
    if (const std::optional<LongitudeSpan> span = SpanAcross180(width, height, ToOutput(transformer))) {
        roundTheWorld = span->east - span->west >= 360 - 1e-9;
        centre = std::remainder((span->west + span->east) / 2, 360.0);
        if (*centre <= -180) *centre += 360;
        transformer = MercatorTransformer(placement, *centre);
        if (!transformer) return Refusal(ImportError::CannotTransform, cannot + LastGdalError("no transformation"));
    }
    std::string why;
    std::optional<OutputGrid> warped = WarpedGrid(width, height, ToOutput(transformer), why);
    if (!warped) return Refusal(ImportError::CannotTransform, cannot + LastGdalError(why.c_str()));
    if (roundTheWorld && warped->width > 0) {
        // Its two edges are one meridian, which the centred Mercator puts at either end of its
        // x, so the outline's samples leave one end short: the grid takes the whole turn.
        const double columns = std::ceil(2 * MercatorLimitY / warped->columnStep - 1e-6);
        warped->width = static_cast<std::int32_t>(columns);
        warped->geoTransform[0] = -MercatorLimitY;
        warped->geoTransform[1] = 2 * MercatorLimitY / columns;
    }
    grids = !centre || warped->width == 0 ? std::vector<OutputGrid>{*warped} : SplitAt180(*warped, *centre);
    return {};
}

void SetGrid(ImportPlan& plan, const OutputGrid& grid) {
    plan.cutAtMercatorLimit = grid.cut;
    plan.width = grid.width;
    plan.height = grid.height;
    plan.originX = grid.geoTransform[0];
    plan.originY = grid.geoTransform[3];
    plan.pixelWidth = grid.geoTransform[1];
    plan.pixelHeight = -grid.geoTransform[5];
}

// PrepareImport's steps, in their order, each over what the ones before it left: open the
// source, place it, read its bands, grid the output, plan the parts. Each reads no pixels.
class Preparer {
public:
    Preparer(const std::string& sourcePath, const ImportOptions& options);
    ImportPreparation Prepare();

private:
    ImportStatus Open();
    ImportStatus Place();
    ImportStatus ReadLayout();
    ImportStatus GridTheOutput();
    ImportStatus Crop();
    ImportStatus PlanParts();
    ImportStatus PlanPart(const GridWindow& window);
    ImportStatus AddWarper(const GridWindow& window);
    ImportStatus AddShader(const GridWindow& window);

    const ImportOptions& options_;
    std::unique_ptr<JobSource> source_ = std::make_unique<JobSource>();
    // A subdataset is named, placed and accompanied (.prj) as the file it lives in.
    std::string filePath_;
    std::vector<Subdataset> subdatasets_;  // of a file refused for holding them
    Placement placement_;
    PointsFit fit_;
    BandLayout layout_;
    ScaleRule scaleRule_ = ScaleRule::Auto;
    std::vector<ScaleBounds> scaleBounds_;
    std::vector<std::string> leftOut_;
    bool warped_ = false;
    std::vector<OutputGrid> grids_;
    std::vector<GridWindow> windows_;  // one per part
    std::vector<ImportPlan> parts_;
};

Preparer::Preparer(const std::string& sourcePath, const ImportOptions& options)
    : options_(options), filePath_(FileOfName(sourcePath)) {
    source_->path = sourcePath;
}

ImportPreparation Preparer::Prepare() {
    for (const auto step : {&Preparer::Open, &Preparer::Place, &Preparer::ReadLayout, &Preparer::GridTheOutput,
                            &Preparer::Crop, &Preparer::PlanParts}) {
        if (ImportStatus status = (this->*step)(); status.error != ImportError::None) {
            return {nullptr, std::move(status), {}, std::move(subdatasets_)};
        }
    }
    return {std::make_unique<GdalImportJob>(std::move(source_), std::move(parts_)), {}, std::move(fit_)};
}

// GDAL calls a missing or unreadable file an unknown format; the system knows better. Its reason
// comes from an open of our own, not from a look at the name: a file GDAL could not open and we
// can is one GDAL cannot read.
ImportStatus Preparer::Open() {
    source_->source = OpenRaster(source_->path);
    if (source_->source && OnlySubdatasets(source_->source.get())) {
        subdatasets_ = SubdatasetsOf(source_->source.get());
        return Refusal(ImportError::HoldsSubdatasets,
                       "it holds " + std::to_string(subdatasets_.size()) +
                           " pictures of its own (subdatasets), each imported by its name");
    }
    if (source_->source) return {};
    if (!IsGdalName(source_->path)) {
        const FileDescriptor opened(::open(source_->path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        if (!opened) return Refusal(ImportError::OpenFailed, ErrorDescription(errno));
    }
    return Refusal(ImportError::OpenFailed, "GDAL cannot read it: " + LastGdalError("unknown format"));
}

ImportStatus Preparer::Place() {
    if (!options_.points.empty()) return PlaceByControlPoints(*source_, options_, placement_, fit_);
    placement_.dataset = source_->source.get();
    placement_.georeference = FindGeoreference(placement_.dataset);
    return DecideCrs(placement_.dataset, options_, filePath_, placement_.georeference, placement_.crs);
}

// 16-bit colours are scaled first: all that follows, the copy or the warp, the mask and the
// bitmap's layout, sees the bytes they become.
ImportStatus Preparer::ReadLayout() {
    GDALDatasetH dataset = source_->source.get();
    if (options_.relief != Relief::None) {
        ImportStatus status;
        std::optional<BandLayout> layout = ReadReliefLayout(dataset, options_.relief, status);
        if (layout) layout_ = std::move(*layout);
        return status;
    }
    ImportStatus status = RefuseElevations(dataset);
    if (status.error != ImportError::None) return status;
    std::optional<BandLayout> layout = ReadBandLayout(dataset, status);
    if (!layout) return status;
    leftOut_ = LeftOutTexts(dataset, *layout);
    if (layout->sixteenBit) {
        std::optional<ScaledColours> scaled = ScaleColours(dataset, *layout, options_.scale, status);
        if (!scaled) return status;
        layout = ReadBandLayout(scaled->dataset.get(), status);
        if (!layout) return status;
        source_->scaled = std::move(scaled->dataset);
        scaleRule_ = scaled->rule;
        scaleBounds_ = std::move(scaled->bounds);
    }
    layout_ = std::move(*layout);
    return status;
}

// The source's own rows where it is in Web Mercator already, else a warp's grid per part.
ImportStatus Preparer::GridTheOutput() {
    GDALDatasetH dataset = source_->source.get();
    warped_ = !IsWebMercator(placement_.georeference, placement_.crs);
    grids_.resize(1);
    if (!warped_) {
        grids_[0] = CopiedGrid(placement_.georeference.geoTransform, GDALGetRasterXSize(dataset),
                               GDALGetRasterYSize(dataset), source_->yOffset);
    } else if (ImportStatus warp = PlanWarp(placement_, layout_, options_.resampling, grids_);
               warp.error != ImportError::None) {
        return warp;
    }
    if (grids_.empty() || grids_[0].width <= 0 || grids_[0].height <= 0) {
        return Refusal(ImportError::OutsideMercator,
                       "it lies wholly beyond 85.0511 degrees of latitude, where Web Mercator ends");
    }
    return {};
}

// A box keeps a window of whole pixels of the grid the whole picture gets, never a grid of its
// own: each pixel kept is the one the whole import writes there. A box across the meridian, or a
// grid split there, may leave one part or two.
ImportStatus Preparer::Crop() {
    if (!options_.box) {
        windows_ = WholeGrids(grids_);
        return {};
    }
    ImportStatus status;
    windows_ = CropToBox(grids_, *options_.box, status);
    return status;
}

// West first; then the colour table, which may give a palette its white, and the files read.
ImportStatus Preparer::PlanParts() {
    for (const GridWindow& window : windows_) {
        if (ImportStatus planned = PlanPart(window); planned.error != ImportError::None) return planned;
    }
    JobSource& source = *source_;
    source.windows = windows_;
    source.layout = layout_;
    source.colourTable = ColourTable(source.layout, warped_, source.paletteFill.fillIndex);
    if (source.layout.paletteToRgb) source.paletteFill.colours = std::move(source.colourTable);
    source.files = SourceFiles(source.source.get(), filePath_);
    return {};
}

ImportStatus Preparer::PlanPart(const GridWindow& window) {
    const OutputGrid& grid = window.grid;
    // Before any memory for the pixels is taken.
    if (ImportStatus size = CheckSize(grid, layout_, warped_); size.error != ImportError::None) return size;
    if (options_.relief != Relief::None) {
        if (ImportStatus shader = AddShader(window); shader.error != ImportError::None) return shader;
    } else if (warped_) {
        if (ImportStatus warper = AddWarper(window); warper.error != ImportError::None) return warper;
    }
    ImportPlan& plan = parts_.emplace_back();
    plan.mapName = MapNameOf(filePath_);
    if (windows_.size() > 1) plan.part = parts_.size() == 1 ? "_west" : "_east";
    plan.warped = warped_;
    SetGrid(plan, grid);
    plan.bitCount = BitCount(layout_);
    plan.fileSize = BitmapFileSize(grid, layout_, warped_);
    plan.scaleRule = scaleRule_;
    plan.scaleBounds = scaleBounds_;
    plan.leftOut = leftOut_;
    return NameThePicture(plan, filePath_);
}

// Each part is warped to Web Mercator itself, over its own grid.
ImportStatus Preparer::AddWarper(const GridWindow& window) {
    GenImgProjTransformer transformer = MercatorTransformer(placement_);
    std::unique_ptr<Warper> warper =
        transformer ? Warper::Create(source_->Pixels(), std::move(transformer), grids_[window.part], window, layout_,
                                     options_.resampling,
                                     StripRows(window.grid.width, BitCount(layout_), window.grid.height))
                    : nullptr;
    if (!warper) {
        return Refusal(ImportError::CannotTransform,
                       CannotTransform(placement_.crs) + LastGdalError("GDAL's warper refused"));
    }
    source_->warpers.push_back(std::move(warper));
    return {};
}

// A relief is warped (or copied) strip by strip and shaded on the output grid.
ImportStatus Preparer::AddShader(const GridWindow& window) {
    GenImgProjTransformer transformer;
    if (warped_) {
        transformer = MercatorTransformer(placement_);
        if (!transformer) {
            return Refusal(ImportError::CannotTransform,
                           CannotTransform(placement_.crs) + LastGdalError("no transformation"));
        }
    }
    std::unique_ptr<ReliefShader> shader =
        ReliefShader::Create(source_->source.get(), std::move(transformer), grids_[window.part], window,
                             options_.resampling, options_.relief, source_->yOffset);
    if (!shader) {
        return Refusal(ImportError::CannotTransform,
                       CannotTransform(placement_.crs) + LastGdalError("GDAL's warper refused"));
    }
    source_->shaders.push_back(std::move(shader));
    return {};
}

}  // namespace

PointsFit FitControlPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                           kartivo::PointTransform transform, std::optional<PictureSize> picture) {
    return FitPoints(points, crsWkt, transform, picture);
}

PointsSystem DescribePointsSystem(const std::string& text, SystemInput input) { return DescribeSystem(text, input); }

TransformedPoints TransformControlPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                         const std::string& toWkt) {
    return TransformPoints(points, fromWkt, toWkt);
}

ImportPreparation PrepareImport(const std::string& sourcePath, const ImportOptions& options) {
    return Preparer(sourcePath, options).Prepare();
}

namespace {

// Why a tile request cannot be planned, or empty; the programs check it first and in their
// own words, so this is the module's guard, not the message people usually see.
std::string TileRequestRefusal(const TileRequest& request, const TileCut& cut) {
    if (CheckTileRequest(request) != TileRequestError::None) return "the tile request is incomplete or wrong";
    if (cut.error != TileCutError::None) return "the box does not name an area of the tile grid at that zoom";
    return {};
}

// Where the request's tiles come from: a URL template's fetcher, or the zoom's level of a source
// GDAL opens (status says why not), whose own attribution stands in for a request's without one.
struct RequestTiles {
    std::unique_ptr<TileRowSource> tiles;
    TileUrl url;
    ImportStatus status;
    std::string attribution;
    bool countsCache = true;  // whether IsCached tells what a rerun need not fetch
    bool askedOffline = false;
};

RequestTiles TilesOf(const TileRequest& request) {
    const TileFetchOptions options{.source = request.source, .userAgent = request.userAgent, .rate = request.rate};
    RequestTiles found{.attribution = request.attribution};
    if (KindOfTileSource(request.source) == TileSourceKind::UrlTemplate) {
        found.tiles = std::make_unique<TileFetcher>(options);
        found.url = [pattern = request.source](const TileAddress& tile) { return FillTileTemplate(pattern, tile); };
        found.countsCache = !request.source.starts_with("file://");
        return found;
    }
    TileLevelOpening opened = OpenTileLevel(request.source, request.zoom, options);
    found.status = opened.status;
    if (!opened.level) return found;
    if (found.attribution.empty()) found.attribution = opened.level->Attribution();
    found.countsCache = opened.level->CountsCache();
    found.askedOffline = opened.level->AskedOffline();
    found.url = [level = opened.level.get()](const TileAddress& tile) { return level->Url(tile); };
    found.tiles = std::move(opened.level);
    return found;
}

}  // namespace

ImportPreparation PrepareTileImport(const TileRequest& request) {
    const TileCut cut = CutTileArea(request.zoom, request.box);
    if (std::string why = TileRequestRefusal(request, cut); !why.empty()) {
        return {nullptr, Refusal(ImportError::OpenFailed, std::move(why)), {}};
    }
    RequestTiles found = TilesOf(request);
    if (!found.tiles) return {nullptr, found.status, {}};
    auto source = std::make_unique<JobSource>();
    source->path = request.source;
    source->tileRequest = request;
    source->tileRequest.attribution = found.attribution;
    source->tiles = std::move(found.tiles);
    const double pixel = 2 * WebMercatorHalfSide / double(WorldPixels(request.zoom));
    std::vector<ImportPlan> parts;
    for (const TileArea& area : cut.parts) {
        OutputGrid grid;
        grid.width = static_cast<std::int32_t>(std::min<std::int64_t>(area.width, INT32_MAX));
        grid.height = static_cast<std::int32_t>(std::min<std::int64_t>(area.height, INT32_MAX));
        grid.geoTransform = {double(area.left) * pixel - WebMercatorHalfSide, pixel, 0,
                             WebMercatorHalfSide - double(area.top) * pixel, 0, -pixel};
        grid.cut = cut.cutAtGridEdge;
        const BandLayout rgb;
        if (ImportStatus size = CheckSize(grid, rgb, false); size.error != ImportError::None) return {nullptr, size, {}};
        ImportPlan& plan = parts.emplace_back();
        plan.mapName = "Tiles_z" + std::to_string(request.zoom);
        plan.part = area.part;
        SetGrid(plan, grid);
        plan.bitCount = 24;
        plan.fileSize = BitmapFileSize(grid, rgb, false);
        plan.tiles = area.TileCount();
        if (ImportStatus named = NameByCorners(plan, area.corners, ""); named.error != ImportError::None) {
            return {nullptr, named, {}};
        }
        source->mosaics.push_back(std::make_unique<TileMosaic>(request.zoom, area, found.url, *source->tiles));
    }
    // Counting what is cached means a look at every tile's file: only when it may matter.
    if (cut.TileCount() > request.maxTiles || found.askedOffline) {
        std::int64_t uncached = 0;
        for (const auto& mosaic : source->mosaics) uncached += mosaic->UncachedCount();
        // Offline, GDAL would make each tile missing from its cache black; they are fetched
        // online instead, but only where nothing is left to fetch would that be what was asked.
        if (found.askedOffline && uncached > 0) {
            return {nullptr,
                    Refusal(ImportError::OpenFailed,
                            "its XML asks for GDAL's offline mode (<OfflineMode>true</OfflineMode>), in which tiles "
                            "missing from the cache come out black, and " + std::to_string(uncached) + " of the " +
                                std::to_string(cut.TileCount()) + " tiles are not cached (or cannot be told so); "
                                "remove <OfflineMode> to fetch them"),
                    {}};
        }
        if (uncached > request.maxTiles) {
            return {nullptr,
                    Refusal(ImportError::TooLarge,
                            "the area takes " + std::to_string(cut.TileCount()) + " tiles, " + std::to_string(uncached) +
                                " of them not yet cached, more than the " + std::to_string(request.maxTiles) +
                                " one import may fetch (--max-tiles raises the limit)"),
                    {}};
        }
    }
    return {std::make_unique<GdalImportJob>(std::move(source), std::move(parts)), {}, {}};
}

std::optional<std::int64_t> CountCachedTiles(const TileRequest& request) {
    const TileCut cut = CutTileArea(request.zoom, request.box);
    if (!TileRequestRefusal(request, cut).empty()) return std::nullopt;
    // Tiles on disk (a folder, a package) are read where they are, never cached.
    const RequestTiles found = TilesOf(request);
    if (!found.tiles || !found.countsCache) return std::nullopt;
    std::int64_t cached = 0;
    for (const TileArea& area : cut.parts) {
        cached += area.TileCount() - TileMosaic(request.zoom, area, {}, *found.tiles).UncachedCount();
    }
    return cached;
}

namespace {

ImportStatus Canceled() {
    return Refusal(ImportError::Canceled, "The import was canceled; nothing was written");
}

// The import's progress as GDAL reports it; remembers a cancel, which GDAL tells as any other
// failure.
struct GdalProgress {
    const ImportProgress& progress;
    bool canceled = false;

    static int Report(double complete, const char*, void* data) {
        auto* self = static_cast<GdalProgress*>(data);
        if (self->progress && !self->progress(complete)) self->canceled = true;
        return self->canceled ? FALSE : TRUE;
    }
};

// Where a part's strips are read from: the source itself, or the strip picture the warper
// fills, which holds the source's colour bands in their order, then alpha.
struct StripSource {
    GDALDatasetH dataset = nullptr;
    std::vector<int> bands;
    int colourCount = 0;
    // Read with a byte of alpha after each pixel's colours, then composited.
    bool composited = false;
    ClearFrom clearFrom = ClearFrom::AlphaByte;
    GDALRasterBandH mask = nullptr;  // read into the place of alpha
};

StripSource StripSourceOf(const JobSource& s, const Warper* warper) {
    const int colourCount = static_cast<int>(s.layout.colourBands.size());
    if (warper) {
        std::vector<int> bands = colourCount == 3 ? std::vector<int>{3, 2, 1} : std::vector<int>{1};
        bands.push_back(colourCount + 1);
        return {.dataset = warper->Strip(), .bands = std::move(bands), .colourCount = colourCount, .composited = true};
    }
    StripSource strips{.dataset = s.Pixels(), .bands = s.layout.colourBands, .colourCount = colourCount,
                       .composited = s.layout.masked};
    // A copy reads where the source is clear from its nodata values, or from the mask GDAL
    // makes of a mask band or alpha.
    if (!s.layout.noData.empty()) {
        strips.clearFrom = ClearFrom::NoData;
    } else if (s.layout.masked) {
        strips.mask = GDALGetMaskBand(GDALGetRasterBand(strips.dataset, 1));
    }
    return strips;
}

// One part's bitmap into its replacement file, strip by strip, bottom row first; left for the
// caller to commit, discarded on any failure.
class PartWriter {
public:
    PartWriter(const JobSource& source, const ImportPlan& plan, const GridWindow& window, Warper* warper,
               ReliefShader* shader, TileMosaic* mosaic, ReplacementFile& replacement, const ImportProgress& progress);
    ImportStatus Write();

private:
    ImportStatus WriteHead();
    ImportStatus WriteStrips();
    ImportStatus WriteStrip(std::int32_t done, std::int32_t rows);
    ImportStatus WarpStrip(std::int32_t top, std::int32_t done, std::int32_t rows);
    ImportStatus ShadeStrip(std::int32_t top, std::int32_t done, std::int32_t rows);
    CPLErr ReadStrip(std::int32_t top, std::int32_t rows);
    CPLErr ReadComposited(std::int32_t x, std::int32_t y, std::int32_t rows);
    ImportStatus WriteFailed() const { return Refusal(ImportError::WriteFailed, replacement_.WriteError()); }

    const JobSource& source_;
    const ImportPlan& plan_;
    const GridWindow& window_;  // where a copy's pixels lie in its grid
    Warper* warper_;
    ReliefShader* shader_;
    TileMosaic* mosaic_;  // tells its own progress, a row of tiles at a time
    ReplacementFile& replacement_;
    const ImportProgress& progress_;
    StripSource strips_;
    std::int32_t rowSize_ = 0;
    std::int32_t stripRows_ = 0;
    std::vector<std::uint8_t> strip_;      // as the bitmap stores the rows, lowest first
    std::vector<std::uint8_t> withAlpha_;  // a strip read to composite, top row first
};

PartWriter::PartWriter(const JobSource& source, const ImportPlan& plan, const GridWindow& window, Warper* warper,
                       ReliefShader* shader, TileMosaic* mosaic, ReplacementFile& replacement,
                       const ImportProgress& progress)
    : source_(source), plan_(plan), window_(window), warper_(warper), shader_(shader), mosaic_(mosaic),
      replacement_(replacement), progress_(progress),
      strips_(StripSourceOf(source, warper)) {}

ImportStatus PartWriter::Write() {
    ImportStatus status = WriteHead();
    if (status.error == ImportError::None) status = WriteStrips();
    if (status.error != ImportError::None) replacement_.Discard();
    return status;
}

ImportStatus PartWriter::WriteHead() {
    const std::vector<std::uint8_t>& table = source_.colourTable;
    const OutputHeaderFields fields{.width = plan_.width,
                                    .height = plan_.height,
                                    .bitCount = plan_.bitCount,
                                    .xPelsPerMeter = 3780,  // 96 dots per inch, as the window shows a missing one
                                    .yPelsPerMeter = 3780,
                                    .clrUsed = static_cast<std::int32_t>(table.size() / 4)};
    const auto header = BuildOutputHeader(fields, static_cast<std::uint32_t>(table.size()));
    if (!header) return Refusal(ImportError::TooLarge, "the bitmap's size does not fit a bitmap header");
    OpenFile& file = replacement_.File();
    if (!file.Write(*header) || (!table.empty() && !file.Write(table))) return WriteFailed();
    return {};
}

ImportStatus PartWriter::WriteStrips() {
    rowSize_ = *RowSize(plan_.width, plan_.bitCount);
    // A relief's strip is held as elevations, wider than the bitmap's pixels.
    stripRows_ = StripRows(plan_.width, shader_ ? shader_->ElevationBits() : plan_.bitCount, plan_.height);
    // Zeroed once: the padding at the end of each row is never written over.
    strip_.assign(std::size_t(stripRows_) * rowSize_, 0);
    if (strips_.composited) withAlpha_.resize(std::size_t(stripRows_) * plan_.width * (strips_.colourCount + 1));
    for (std::int32_t done = 0; done < plan_.height;) {
        const std::int32_t rows = std::min(stripRows_, plan_.height - done);
        if (ImportStatus written = WriteStrip(done, rows); written.error != ImportError::None) return written;
        done += rows;
        if (!mosaic_ && progress_ && !progress_(double(done) / plan_.height)) return Canceled();
    }
    return {};
}

ImportStatus PartWriter::WriteStrip(std::int32_t done, std::int32_t rows) {
    // Output rows done .. done + rows - 1 counted from the bottom are these rows counted from
    // the top.
    const std::int32_t top = plan_.height - done - rows;
    CPLErrorReset();
    if (mosaic_) {
        ImportStatus read = mosaic_->ReadRows(top, rows, strip_.data(), std::size_t(rowSize_));
        if (read.error == ImportError::Canceled) return Canceled();
        if (read.error != ImportError::None) return read;
    } else if (shader_) {
        if (ImportStatus shaded = ShadeStrip(top, done, rows); shaded.error != ImportError::None) return shaded;
    } else if (warper_) {
        if (ImportStatus warped = WarpStrip(top, done, rows); warped.error != ImportError::None) return warped;
    }
    if (!shader_ && !mosaic_ && ReadStrip(top, rows) != CE_None) {
        return Refusal(ImportError::ReadFailed, "Cannot read the picture: " + LastGdalError("GDAL read failed"));
    }
    if (!replacement_.File().Write(std::span(strip_.data(), std::size_t(rows) * rowSize_))) return WriteFailed();
    return {};
}

// GDAL's progress within the strip is told as the part's.
ImportStatus PartWriter::WarpStrip(std::int32_t top, std::int32_t done, std::int32_t rows) {
    GdalProgress told{progress_};
    const ScaledProgress scaled(GDALCreateScaledProgress(double(done) / plan_.height, double(done + rows) / plan_.height,
                                                         GdalProgress::Report, &told));
    if (warper_->Warp(top, plan_.width, rows, GDALScaledProgress, scaled.get())) return {};
    if (told.canceled) return Canceled();
    return Refusal(ImportError::ReadFailed, "Cannot warp the picture: " + LastGdalError("GDAL's warper failed"));
}

ImportStatus PartWriter::ShadeStrip(std::int32_t top, std::int32_t done, std::int32_t rows) {
    GdalProgress told{progress_};
    const ScaledProgress scaled(GDALCreateScaledProgress(double(done) / plan_.height, double(done + rows) / plan_.height,
                                                         GdalProgress::Report, &told));
    if (shader_->Shade(top, rows, strip_.data(), rowSize_, GDALScaledProgress, scaled.get())) return {};
    if (told.canceled) return Canceled();
    return Refusal(ImportError::ReadFailed, "Cannot shade the relief: " + LastGdalError("GDAL's hillshade failed"));
}

CPLErr PartWriter::ReadStrip(std::int32_t top, std::int32_t rows) {
    const std::int32_t x = warper_ ? 0 : window_.column;
    const std::int32_t y = warper_ ? 0 : source_.yOffset + window_.row + top;
    if (strips_.composited) return ReadComposited(x, y, rows);
    // A negative line step puts the lowest row first, as the bitmap stores them.
    return GDALDatasetRasterIOEx(strips_.dataset, GF_Read, x, y, plan_.width, rows,
                                 strip_.data() + std::size_t(rows - 1) * rowSize_, plan_.width, rows, GDT_Byte,
                                 strips_.colourCount, strips_.bands.data(), strips_.colourCount,
                                 -GSpacing(rowSize_), 1, nullptr);
}

CPLErr PartWriter::ReadComposited(std::int32_t x, std::int32_t y, std::int32_t rows) {
    const int pixelBytes = strips_.colourCount + 1;
    const GSpacing line = GSpacing(plan_.width) * pixelBytes;
    CPLErr read = GDALDatasetRasterIOEx(strips_.dataset, GF_Read, x, y, plan_.width, rows, withAlpha_.data(),
                                        plan_.width, rows, GDT_Byte, static_cast<int>(strips_.bands.size()),
                                        strips_.bands.data(), pixelBytes, line, 1, nullptr);
    if (read == CE_None && strips_.mask != nullptr) {
        read = GDALRasterIOEx(strips_.mask, GF_Read, x, y, plan_.width, rows, withAlpha_.data() + strips_.colourCount,
                              plan_.width, rows, GDT_Byte, pixelBytes, line, nullptr);
    }
    if (read != CE_None) return read;
    for (std::int32_t r = 0; r < rows; ++r) {
        CompositeRow(source_.layout, strips_.clearFrom, source_.paletteFill, withAlpha_.data() + r * line,
                     plan_.width, strip_.data() + std::size_t(rows - 1 - r) * rowSize_);
    }
    return CE_None;
}

}  // namespace

ImportStatus GdalImportJob::Write(const std::vector<std::string>& outputPaths, const ImportProgress& progress,
                                  const std::vector<FileIdentity>& alsoRead) {
    if (outputPaths.size() != Parts().size()) {
        return Refusal(ImportError::WriteFailed, "the picture has " + std::to_string(Parts().size()) +
                                                     " parts but " + std::to_string(outputPaths.size()) +
                                                     " output names were given");
    }
    std::vector<FileIdentity> inputs = source_->files;
    inputs.insert(inputs.end(), alsoRead.begin(), alsoRead.end());
    const auto isInput = [](const std::string& path) {
        return Refusal(ImportError::WriteFailed, "Cannot write " + path + ": it is one of the files being imported");
    };
    // Committed together once every part is complete: a part alone, or beside an older other
    // part, would be a map with a hole or a seam.
    std::vector<std::unique_ptr<ReplacementFile>> files;
    double pixels = 0;
    for (const ImportPlan& part : Parts()) pixels += double(part.width) * part.height;
    double done = 0;
    // A tile area's progress is its tiles: all parts' rows of tiles as one, a cancel between two.
    std::int64_t tiles = 0;
    std::int64_t tilesBefore = 0;  // in the parts written
    for (const auto& mosaic : source_->mosaics) tiles += mosaic->TileCount();
    const std::string fetched = UtcTimestamp(std::chrono::system_clock::now());
    const TileProgress tileProgress = [&](std::int64_t tilesDone, std::int64_t) {
        return !progress || progress(double(tilesBefore + tilesDone) / double(tiles));
    };
    for (std::size_t i = 0; i < Parts().size(); ++i) {
        const auto& replacement = files.emplace_back(std::make_unique<ReplacementFile>(outputPaths[i], inputs));
        if (replacement->TargetIsInput()) return isInput(outputPaths[i]);
        if (!replacement->IsOpen()) return Refusal(ImportError::WriteFailed, replacement->Error());
        const double share = double(Parts()[i].width) * Parts()[i].height / pixels;
        ImportProgress partProgress;
        if (progress) partProgress = [&](double fraction) { return progress(done + fraction * share); };
        Warper* warper = source_->warpers.empty() ? nullptr : source_->warpers[i].get();
        ReliefShader* shader = source_->shaders.empty() ? nullptr : source_->shaders[i].get();
        TileMosaic* mosaic = source_->mosaics.empty() ? nullptr : source_->mosaics[i].get();
        const GridWindow window = i < source_->windows.size() ? source_->windows[i] : GridWindow{};
        if (mosaic) mosaic->SetProgress(tileProgress);
        if (ImportStatus written =
                PartWriter(*source_, Parts()[i], window, warper, shader, mosaic, *replacement, partProgress).Write();
            written.error != ImportError::None) {
            return written;
        }
        done += share;
        if (!source_->mosaics.empty()) {
            // The note lands with its picture or neither does: a map whose origin and credit
            // are lost, or a note beside an older map, would mislead.
            const std::string notePath = TileNotePath(outputPaths[i]);
            const auto& note = files.emplace_back(std::make_unique<ReplacementFile>(notePath, inputs));
            if (note->TargetIsInput()) return isInput(notePath);
            if (!note->IsOpen()) return Refusal(ImportError::WriteFailed, note->Error());
            const std::string text = TileAreaNote(source_->tileRequest, source_->mosaics[i]->Area(), fetched);
            if (!note->File().Write(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()))) {
                return Refusal(ImportError::WriteFailed, note->WriteError());
            }
            tilesBefore += source_->mosaics[i]->TileCount();
        }
    }
    std::vector<ReplacementFile*> together;
    for (const auto& replacement : files) together.push_back(replacement.get());
    if (const ReplacementFile* failed = ReplacementFile::CommitTogether(together)) {
        return failed->TargetIsInput() ? isInput(failed->Target()) : Refusal(ImportError::WriteFailed, failed->Error());
    }
    return {};
}

}  // namespace kartivo::geoimport
