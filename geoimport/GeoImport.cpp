// The import in its steps: open the source, decide its coordinate system, read its bands, grid
// the output (copied or warped, in one part or two at the 180th meridian), check the size and
// name each part; then write the parts strip by strip, whole or not at all.

#include "geoimport/GeoImport.h"

#include "bitmap/FileNameConvention.h"
#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "bitmap/OutputLayout.h"
#include "common/FileCommon.h"
#include "common/PathParts.h"
#include "common/ReplacementFile.h"

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/OutputGrid.h"
#include "geoimport/PointsPlacement.h"
#include "geoimport/SourceGeoreference.h"
#include "geoimport/Warper.h"

#include <cpl_conv.h>
#include <cpl_error.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <vector>

namespace kartivo::geoimport {

namespace {

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
    const Georeference georeference = FindGeoreference(dataset.get());
    return georeference.Any();
}

struct ImportJob::Source {
    std::string path;
    Dataset source;
    std::vector<FileIdentity> files;  // what the source is read from; never an output
    Dataset placement;  // the control points in place of the source's georeference; empty without them
    std::vector<std::unique_ptr<Warper>> warpers;  // one per part; empty when the pixels are copied
    BandLayout layout;
    std::int32_t xOffset = 0;  // the source pixels copied start here
    std::int32_t yOffset = 0;
    std::uint8_t fillIndex = 0;  // for a warped paletted picture: the entry shown where the source is not
    std::vector<std::uint8_t> colourTable;  // blue, green, red, 0 per entry, as the bitmap stores them
    std::vector<std::uint8_t> paletteColours;  // the same for a palette written as 24-bit colours
};

ImportJob::ImportJob(std::unique_ptr<Source> source, std::vector<ImportPlan> parts)
    : source_(std::move(source)), parts_(std::move(parts)) {}

ImportJob::~ImportJob() = default;

void ImportJob::SourceCloser::operator()(Source* source) const { delete source; }

namespace {

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
    plan.fileName = plan.mapName + plan.part + "(" + texts[0] + "," + texts[1] + "," + texts[2] + "," + texts[3] + ").bmp";
    const std::string folder = GetParentFolderName(sourcePath);
    plan.proposedPath = folder.empty() ? plan.fileName : folder + PreferredSeparator() + plan.fileName;

    const FileNameCorners back = ReadFileNameConvention(plan.fileName);
    const std::array<double, 4> expected{plan.corners.bottom, plan.corners.left, plan.corners.top, plan.corners.right};
    if (back.name != plan.mapName + plan.part || !back.corners || *back.corners != expected) {
        return Refusal(ImportError::NameUnreadable,
                       "the corners would not read back from the file name " + plan.fileName +
                           " (a longitude at or beyond 180 degrees?)");
    }
    return {};
}

}  // namespace

std::string ImportNotes(const std::vector<ImportPlan>& parts, const std::vector<std::string>& outputPaths) {
    std::string notes;
    if (std::any_of(parts.begin(), parts.end(), [](const ImportPlan& p) { return p.cutAtMercatorLimit; })) {
        notes = "the picture reaches beyond 85.0511 degrees of latitude, where Web Mercator ends; it is cut off there";
    }
    if (parts.size() > 1) {
        notes += std::string(notes.empty() ? "" : "; ") +
                 "the picture crosses the 180th meridian, which a map's corners cannot; it was split into " +
                 GetFileName(outputPaths.at(0)) + " west of it and " + GetFileName(outputPaths.at(1)) + " east of it";
    }
    return notes;
}

namespace {

// GDAL calls a missing or unreadable file an unknown format; the system knows better.
ImportStatus CheckOpened(const ImportJob::Source& source) {
    if (source.source) return {};
    if (struct stat info {}; !IsGdalName(source.path) && ::stat(source.path.c_str(), &info) != 0) {
        return Refusal(ImportError::OpenFailed, ErrorDescription(errno));
    }
    return Refusal(ImportError::OpenFailed, "GDAL cannot read it: " + LastGdalError("unknown format"));
}

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
        return Refusal(ImportError::NoGeoreference,
                       "it carries no georeference: no GeoTIFF tags, control points or RPCs, no world file (.tfw, "
                       ".pgw, .jgw, .bpw, .wld) and no .aux.xml beside it");
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

bool IsWebMercator(const Georeference& georeference, const OGRSpatialReference& crs) {
    const OGRSpatialReference mercator = WebMercator();
    const char* const sameOptions[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", nullptr};
    return georeference.hasGeoTransform && IsNorthUp(georeference.geoTransform) && crs.IsSame(&mercator, sameOptions);
}

// From the source's pixels to Web Mercator, as gdalwarp makes it, or to the same Mercator
// centred on another meridian. method chooses how control points are fitted.
GenImgProjTransformer MercatorTransformer(GDALDatasetH dataset, const OGRSpatialReference& crs,
                                          const std::vector<std::string>& method, double centreLongitude = 0) {
    CPLStringList options;
    options.SetNameValue("SRC_SRS", WktOf(crs).c_str());
    // Web Mercator's sphere and scale: the same rows and pixel sizes, only moved east or west.
    const std::string mercator =
        centreLongitude == 0 ? std::string("EPSG:3857")
                             : "+proj=merc +lon_0=" + TenDecimals(centreLongitude) +
                                   " +a=6378137 +b=6378137 +k=1 +x_0=0 +y_0=0 +units=m +nadgrids=@null +wktext +no_defs";
    options.SetNameValue("DST_SRS", mercator.c_str());
    for (const std::string& option : method) options.AddString(option.c_str());
    CPLErrorReset();
    return GenImgProjTransformer(GDALCreateGenImgProjTransformer2(dataset, nullptr, options.List()));
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
ImportStatus PlanWarp(GDALDatasetH dataset, const OGRSpatialReference& crs, const std::vector<std::string>& method,
                      BandLayout& layout, Resampling resampling, std::vector<OutputGrid>& grids) {
    if (layout.kind == ColourKind::Palette && resampling != Resampling::Nearest) {
        return Refusal(ImportError::NotColours,
                       "its pixels are colour table indexes, which only nearest neighbour resampling keeps");
    }
    layout.paletteToRgb = layout.kind == ColourKind::Palette && !WhiteEntry(layout);
    GenImgProjTransformer transformer = MercatorTransformer(dataset, crs, method);
    if (!transformer) return Refusal(ImportError::CannotTransform, CannotTransform(crs) + LastGdalError("no transformation"));
    const std::int32_t width = GDALGetRasterXSize(dataset);
    const std::int32_t height = GDALGetRasterYSize(dataset);
    std::optional<double> centre;
    bool roundTheWorld = false;
    if (const std::optional<LongitudeSpan> span = SpanAcross180(width, height, ToOutput(transformer))) {
        roundTheWorld = span->east - span->west >= 360 - 1e-9;
        centre = std::remainder((span->west + span->east) / 2, 360.0);
        if (*centre <= -180) *centre += 360;
        transformer = MercatorTransformer(dataset, crs, method, *centre);
        if (!transformer) {
            return Refusal(ImportError::CannotTransform, CannotTransform(crs) + LastGdalError("no transformation"));
        }
    }
    std::string why;
    std::optional<OutputGrid> warped = WarpedGrid(width, height, ToOutput(transformer), why);
    if (!warped) return Refusal(ImportError::CannotTransform, CannotTransform(crs) + LastGdalError(why.c_str()));
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

}  // namespace

PointsFit FitControlPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                           kartivo::PointTransform transform, std::optional<PictureSize> picture) {
    return FitPoints(points, crsWkt, transform, picture);
}

PointsSystem DescribePointsSystem(const std::string& text, SystemInput input) { return DescribeSystem(text, input); }

ImportPreparation PrepareImport(const std::string& sourcePath, const ImportOptions& options) {
    auto source = std::make_unique<ImportJob::Source>();
    source->path = sourcePath;
    source->source = OpenRaster(sourcePath);
    const auto refused = [](ImportStatus status) { return ImportPreparation{nullptr, std::move(status), {}}; };
    if (ImportStatus opened = CheckOpened(*source); opened.error != ImportError::None) return refused(opened);
    GDALDatasetH dataset = source->source.get();
    // A subdataset is named, placed and accompanied (.prj) as the file it lives in.
    const std::string filePath = FileOfName(sourcePath);

    // Control points stand in for whatever the source carries, on a dataset of their own that
    // places it; the pixels are still read from the source.
    GDALDatasetH placed = dataset;
    std::vector<std::string> method;
    OGRSpatialReference crs;
    PointsFit fit;
    if (!options.points.empty()) {
        ImportStatus byPoints = ReadPointsCrs(options.pointsCrs, SystemInput::Wkt, crs);
        if (byPoints.error == ImportError::None) {
            fit = FitPoints(options.points, crs, options.pointTransform,
                            PictureSize{GDALGetRasterXSize(dataset), GDALGetRasterYSize(dataset)});
            byPoints = fit.status;
        }
        if (byPoints.error == ImportError::None) byPoints = PlaceByPoints(dataset, options.points, crs, source->placement);
        if (byPoints.error != ImportError::None) return refused(byPoints);
        placed = source->placement.get();
        method = PointTransformOptions(options.pointTransform);
        if (std::string why = BeyondTheEarth(placed, FindGeoreference(placed), crs); !why.empty()) {
            return refused(Refusal(ImportError::BeyondTheEarth, "the control points' map positions: " + why));
        }
    }
    const Georeference georeference = FindGeoreference(placed);
    if (options.points.empty()) {
        if (ImportStatus decided = DecideCrs(dataset, options, filePath, georeference, crs);
            decided.error != ImportError::None) {
            return refused(decided);
        }
    }
    ImportStatus layoutStatus;
    std::optional<BandLayout> layout = ReadBandLayout(dataset, layoutStatus);
    if (!layout) return refused(layoutStatus);

    const bool warped = !IsWebMercator(georeference, crs);
    std::vector<OutputGrid> grids(1);
    if (!warped) {
        grids[0] = CopiedGrid(georeference.geoTransform, GDALGetRasterXSize(dataset), GDALGetRasterYSize(dataset),
                              source->yOffset);
    } else if (ImportStatus warp = PlanWarp(placed, crs, method, *layout, options.resampling, grids);
               warp.error != ImportError::None) {
        return refused(warp);
    }
    if (grids.empty() || grids[0].width <= 0 || grids[0].height <= 0) {
        return refused(Refusal(ImportError::OutsideMercator,
                               "it lies wholly beyond 85.0511 degrees of latitude, where Web Mercator ends"));
    }
    source->layout = *layout;
    source->colourTable = ColourTable(source->layout, warped, source->fillIndex);
    if (source->layout.paletteToRgb) source->paletteColours = std::move(source->colourTable);
    std::vector<ImportPlan> parts;
    for (const OutputGrid& grid : grids) {
        // Before any memory for the pixels is taken.
        if (ImportStatus size = CheckSize(grid, *layout, warped); size.error != ImportError::None) return refused(size);
        if (warped) {
            // Each part is warped to Web Mercator itself, over its own grid.
            GenImgProjTransformer transformer = MercatorTransformer(placed, crs, method);
            std::unique_ptr<Warper> warper =
                transformer ? Warper::Create(dataset, std::move(transformer), grid, *layout, options.resampling,
                                             StripRows(grid.width, BitCount(*layout), grid.height))
                            : nullptr;
            if (!warper) {
                return refused(Refusal(ImportError::CannotTransform,
                                       CannotTransform(crs) + LastGdalError("GDAL's warper refused")));
            }
            source->warpers.push_back(std::move(warper));
        }
        ImportPlan& plan = parts.emplace_back();
        plan.mapName = MapNameOf(filePath);
        if (grids.size() > 1) plan.part = parts.size() == 1 ? "_west" : "_east";
        plan.warped = warped;
        SetGrid(plan, grid);
        plan.bitCount = BitCount(*layout);
        plan.fileSize = BitmapFileSize(grid, *layout, warped);
        if (ImportStatus named = NameThePicture(plan, filePath); named.error != ImportError::None) return refused(named);
    }
    source->files = SourceFiles(dataset, filePath);
    return {std::make_unique<ImportJob>(std::move(source), std::move(parts)), {}, std::move(fit)};
}

namespace {

ImportStatus Canceled() {
    return Refusal(ImportError::Canceled, "The import was canceled; nothing was written");
}

// GDAL's progress within one strip, told as the whole import's; remembers a cancel, which
// GDAL reports as any other failure.
struct StripProgress {
    const ImportProgress* progress = nullptr;
    double from = 0;  // the fraction done before the strip
    double share = 0;  // the strip's part of the whole
    bool canceled = false;

    static int Report(double complete, const char*, void* data) {
        auto* self = static_cast<StripProgress*>(data);
        if (*self->progress && !(*self->progress)(self->from + complete * self->share)) self->canceled = true;
        return self->canceled ? FALSE : TRUE;
    }
};

// One part's bitmap into its replacement file, left for the caller to commit.
ImportStatus WritePart(const ImportJob::Source& s, const ImportPlan& plan, Warper* warper,
                       ReplacementFile& replacement, const ImportProgress& progress) {
    const std::int32_t rowSize = *RowSize(plan.width, plan.bitCount);
    const OutputHeaderFields fields{.width = plan.width,
                                    .height = plan.height,
                                    .bitCount = plan.bitCount,
                                    .xPelsPerMeter = 3780,  // 96 dots per inch, as the window shows a missing one
                                    .yPelsPerMeter = 3780,
                                    .clrUsed = static_cast<std::int32_t>(s.colourTable.size() / 4)};
    const auto header = BuildOutputHeader(fields, static_cast<std::uint32_t>(s.colourTable.size()));
    if (!header) return Refusal(ImportError::TooLarge, "the bitmap's size does not fit a bitmap header");

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
    const bool alpha = warper || s.layout.masked;
    std::vector<int> bands = s.layout.colourBands;
    GDALDatasetH from = s.source.get();
    if (warper) {
        // The strip picture holds the source's colour bands in their order, then alpha.
        from = warper->Strip();
        bands = colourCount == 3 ? std::vector<int>{3, 2, 1} : std::vector<int>{1};
        bands.push_back(colourCount + 1);
    }
    // A copy reads where the source is clear from its nodata values, or from the mask GDAL
    // makes of a mask band or alpha, into the place of alpha.
    const bool byNoData = !warper && !s.layout.noData.empty();
    GDALRasterBandH mask =
        !warper && s.layout.masked && !byNoData ? GDALGetMaskBand(GDALGetRasterBand(from, 1)) : nullptr;
    const int bandCount = colourCount + (alpha ? 1 : 0);
    std::vector<std::uint8_t> withAlpha(alpha ? std::size_t(stripRows) * plan.width * bandCount : 0);

    for (std::int32_t done = 0; done < plan.height;) {
        const std::int32_t rows = std::min(stripRows, plan.height - done);
        // Output rows done .. done + rows - 1 counted from the bottom are these rows counted
        // from the top.
        const std::int32_t top = plan.height - done - rows;
        CPLErrorReset();
        StripProgress stripProgress{&progress, double(done) / plan.height, double(rows) / plan.height};
        if (warper && !warper->Warp(top, plan.width, rows, StripProgress::Report, &stripProgress)) {
            if (stripProgress.canceled) return fail(Canceled());
            return fail(Refusal(ImportError::ReadFailed, "Cannot warp the picture: " + LastGdalError("GDAL's warper failed")));
        }
        const std::int32_t fromX = warper ? 0 : s.xOffset;
        const std::int32_t fromY = warper ? 0 : s.yOffset + top;
        CPLErr read = CE_None;
        if (!alpha) {
            // A negative line step puts the lowest row first, as the bitmap stores them.
            read = GDALDatasetRasterIOEx(from, GF_Read, fromX, fromY, plan.width, rows,
                                         strip.data() + std::size_t(rows - 1) * rowSize, plan.width, rows, GDT_Byte,
                                         bandCount, bands.data(), colourCount, -GSpacing(rowSize), 1, nullptr);
        } else {
            const GSpacing line = GSpacing(plan.width) * bandCount;
            read = GDALDatasetRasterIOEx(from, GF_Read, fromX, fromY, plan.width, rows, withAlpha.data(), plan.width,
                                         rows, GDT_Byte, static_cast<int>(bands.size()), bands.data(), bandCount,
                                         line, 1, nullptr);
            if (read == CE_None && mask != nullptr) {
                read = GDALRasterIOEx(mask, GF_Read, fromX, fromY, plan.width, rows, withAlpha.data() + colourCount,
                                      plan.width, rows, GDT_Byte, bandCount, line, nullptr);
            }
            for (std::int32_t r = 0; r < rows; ++r) {
                const std::uint8_t* in = withAlpha.data() + std::size_t(r) * plan.width * bandCount;
                std::uint8_t* out = strip.data() + std::size_t(rows - 1 - r) * rowSize;
                for (std::int32_t x = 0; x < plan.width; ++x, in += bandCount, out += pixelBytes) {
                    const std::uint8_t a = byNoData ? (ClearByNoData(s.layout, in) ? 0 : 255) : in[colourCount];
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
        if (progress && !progress(double(done) / plan.height)) return fail(Canceled());
    }
    return {};
}

}  // namespace

ImportStatus ImportJob::Write(const std::vector<std::string>& outputPaths, const ImportProgress& progress,
                              const std::vector<FileIdentity>& alsoRead) {
    if (outputPaths.size() != parts_.size()) {
        return Refusal(ImportError::WriteFailed, "the picture has " + std::to_string(parts_.size()) +
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
    for (const ImportPlan& part : parts_) pixels += double(part.width) * part.height;
    double done = 0;
    for (std::size_t i = 0; i < parts_.size(); ++i) {
        const auto& replacement = files.emplace_back(std::make_unique<ReplacementFile>(outputPaths[i], inputs));
        if (replacement->TargetIsInput()) return isInput(outputPaths[i]);
        if (!replacement->IsOpen()) return Refusal(ImportError::WriteFailed, replacement->Error());
        const double share = double(parts_[i].width) * parts_[i].height / pixels;
        ImportProgress partProgress;
        if (progress) partProgress = [&](double fraction) { return progress(done + fraction * share); };
        Warper* warper = source_->warpers.empty() ? nullptr : source_->warpers[i].get();
        if (ImportStatus written = WritePart(*source_, parts_[i], warper, *replacement, partProgress);
            written.error != ImportError::None) {
            return written;
        }
        done += share;
    }
    std::vector<ReplacementFile*> together;
    for (const auto& replacement : files) together.push_back(replacement.get());
    if (const ReplacementFile* failed = ReplacementFile::CommitTogether(together)) {
        return failed->TargetIsInput() ? isInput(failed->Target()) : Refusal(ImportError::WriteFailed, failed->Error());
    }
    return {};
}

}  // namespace kartivo::geoimport
