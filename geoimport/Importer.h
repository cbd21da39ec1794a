#pragma once
// The programs' one door to the import of georeferenced rasters (GeoTIFF, a picture with a world
// file, anything GDAL reads with a coordinate system): TheImporter(). Behind it is either the
// import module, opened on first use so that nothing of GDAL is mapped until a picture needs it,
// or, in a build without GDAL, an import that refuses every picture saying so. Nothing of GDAL
// leaks through this header.

#include "bitmap/BitmapPixels.h"
#include "bitmap/TileRequest.h"
#include "common/File.h"
#include "geo/ControlPoints.h"
#include "geoimport/ImportTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kartivo::geoimport {

// "near", "bilinear" or "cubic".
std::optional<Resampling> ResamplingFromName(std::string_view name);

// "full", "stretch" or "MIN,MAX" (0 <= MIN < MAX <= 65535).
std::optional<ValueScaling> ValueScalingFromText(std::string_view text);

struct ImportOptions {
    // The source's coordinate system when it carries none (a world file without a .prj) or a
    // wrong one: anything GDAL understands, such as "EPSG:32654". Empty: the source's own.
    std::string sourceCrs;
    Resampling resampling = Resampling::Nearest;
    // A single band of elevations is refused unless a relief is asked for; every other picture
    // is refused when one is.
    Relief relief = Relief::None;
    // Control points in place of whatever georeference the picture carries: when there are
    // any, the picture is placed by its enabled points alone, through GDAL's transformer for
    // pointTransform, as gdalwarp -order N or -tps places it. Their map coordinates are in
    // pointsCrs, a WKT (a PointsSystem's wkt; empty: WGS 84, mapX the longitude).
    std::vector<ControlPoint> points;
    std::string pointsCrs;
    kartivo::PointTransform pointTransform = kartivo::PointTransform::Polynomial1;
    // For pictures of 16-bit colour values only.
    ValueScaling scale;
    // The area to keep, in signed degrees (left east of right: across the 180th meridian): the
    // output is cropped to it, widened outward to whole pixels of the grid the picture would
    // be written on anyway, so each pixel kept is the one the whole picture's import writes.
    std::optional<MapCorners> box;
};

// A name GDAL opens that is no file of its own: a subdataset (NETCDF:"a.nc":Band1,
// GTIFF_DIR:2:a.tif) or a virtual file system (/vsizip/...).
inline bool IsGdalName(std::string_view name) {
    if (name.starts_with("/vsi")) return true;
    const std::size_t colon = name.find(':');
    if (colon == std::string_view::npos || colon < 2) return false;  // C:\ is a drive, not a driver
    for (const char c : name.substr(0, colon)) {
        if (!(c == '_' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

// One of the pictures a file of several holds, as GDAL lists them.
struct Subdataset {
    std::string name;         // what GDAL opens: NETCDF:"a.nc":Band1
    std::string description;  // "[30x40] Band1 (8-bit unsigned integer)"
};

// What info reports of a picture GDAL reads.
struct ForeignPicture {
    std::string format;  // GDAL's short name of the format: "GTiff", "PNG"
    std::string crs;     // "EPSG:3857" where the system has a code, its name otherwise; empty without one
    std::string crsName;  // the system's own name: "WGS 84 / Pseudo-Mercator"
    std::string crsWkt;   // where it has no code, its WKT: the only full account of it
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bands = 0;
    // The outer edges of the picture, where it has a georeference and a coordinate system
    // that transforms to WGS 84. Left is always west of right: a picture crossing the 180th
    // meridian has its right edge past 180 degrees.
    std::optional<MapCorners> corners;
    std::vector<Subdataset> subdatasets;  // the pictures a netCDF or HDF5 file holds, each imported alone
};

// A picture GDAL reads, opened for showing it at the zoom the user picks: each read asks GDAL
// for the reduced size only, so GDAL takes the pixels from the file's overviews where it has
// them and otherwise reads only the blocks the samples lie in. The file stays open between
// reads, so every read is of the file that was opened, whatever has since taken its name.
// One thread at a time: GDAL's handle of an open file is not shared between threads.
class ForeignPixels {
public:
    virtual ~ForeignPixels() = default;
    ForeignPixels(const ForeignPixels&) = delete;
    ForeignPixels& operator=(const ForeignPixels&) = delete;

    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    // The files the picture is read from (the picture, its world file, .prj, .aux.xml, mask),
    // as they were when it was opened: what is written beside it must replace none of them.
    const std::vector<FileIdentity>& Files() const { return files_; }

    // The rectangle at the step, shaped as a bitmap's reduced read: ReducedLength(rect.width,
    // step) by ReducedLength(rect.height, step) pixels, 0xffRRGGBB, top row first. Sampled by
    // nearest neighbour at the centres of equal shares of the rectangle, as GDAL samples:
    // pixel (i, j) is the picture's column rect.left + floor((i + 1/2) * rect.width / width)
    // and row rect.top + floor((j + 1/2) * rect.height / height), which lies within step / 2
    // of rect.left + i * step (and rect.top + j * step), not on it. Where the file has an
    // overview at least as fine as the step, GDAL takes the pixel from it instead.
    // One band is grey or expanded through its colour table, two are grey and alpha, three red,
    // green and blue, four the same and alpha; other bands show as the import reads them or,
    // where it refuses them, the first three as red, green and blue or the first as grey.
    // Where the picture is clear (nodata, a mask or alpha, counted as the import counts them)
    // it shows over white. 16-bit colours are scaled to bytes as the import scales them by
    // default; values of other types are converted by GDAL, which clamps them to 0..255.
    // A rectangle that does not lie within the picture, or a step below 1: BadRegion. GDAL
    // failing to read: ReadFailed.
    virtual ReducedPictureResult Read(const PictureRect& rect, std::int32_t step) = 0;

protected:
    ForeignPixels(std::int32_t width, std::int32_t height, std::vector<FileIdentity> files)
        : width_(width), height_(height), files_(std::move(files)) {}

private:
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::vector<FileIdentity> files_;
};

// What the import will write of one part of the picture, known before any pixel is read.
struct ImportPlan {
    std::string mapName;  // the source's base name, with "(" and ")" made "[" and "]"
    // "_west" (ending at 180 degrees) or "_east" (starting at -180) for a picture split at the
    // 180th meridian, which no map's corners can cross; empty for a picture in one part.
    std::string part;
    // The centres of the corner pixels, rounded to ten decimals: Make takes the bottom
    // latitude as that of the bottom row and the top latitude as that of the top row.
    MapCorners corners;
    std::string fileName;      // mapName, part, then (bottom,left,top,right).bmp
    std::string proposedPath;  // fileName beside the source
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int16_t bitCount = 0;  // 24, or 8 with a colour table
    std::uint64_t fileSize = 0;
    bool warped = false;             // false: the pixels are copied as they are
    bool cutAtMercatorLimit = false; // rows beyond 85.0511 degrees north or south were left out
    // The output grid in Web Mercator metres: left and top edges and pixel sizes.
    double originX = 0;
    double originY = 0;
    double pixelWidth = 0;
    double pixelHeight = 0;
    // For 16-bit colour values, the rule that made them bytes (Auto never stays) and the bounds
    // of each colour band, red, green, blue or grey; empty bounds for 8-bit pictures.
    ScaleRule scaleRule = ScaleRule::Auto;
    std::vector<ScaleBounds> scaleBounds;
    // Bands that are none of the picture's colours nor its alpha: "band 4 (undefined)".
    std::vector<std::string> leftOut;
    std::int64_t tiles = 0;  // the tiles a part of a tile area is made of; 0 for a picture
};

// "full", "stretch" or "range".
std::string ScaleRuleName(ScaleRule rule);
// What info tells of the scaling: "stretch 2-98 %: red 412..3720, green ..."; empty for bytes.
std::string ScaleText(const ImportPlan& plan);

// Message for the parts' notes, such as rows cut at the end of Web Mercator or the picture
// split at 180 degrees, naming the files the parts were written to; empty when none.
std::string ImportNotes(const std::vector<ImportPlan>& parts, const std::vector<std::string>& outputPaths);

// Called after each strip with the fraction done; returning false cancels the import.
using ImportProgress = std::function<bool(double fraction)>;

// An opened source with the plans of its parts, west first; writing reads it.
class ImportJob {
public:
    virtual ~ImportJob() = default;
    ImportJob(const ImportJob&) = delete;
    ImportJob& operator=(const ImportJob&) = delete;

    // One, or two when the picture crosses the 180th meridian.
    const std::vector<ImportPlan>& Parts() const { return parts_; }

    // Writes each part's bitmap to a temporary file beside its output path, one path per part,
    // and renames them over the outputs once all are complete, so a refusal, a failure or a
    // cancel leaves no file and any older one as it was. Rows are read in strips, bottom row
    // first: memory does not grow with the picture. Progress covers all parts as one.
    // An output path that is any file the source is read from (the picture, its world file,
    // .prj, .aux.xml or mask) or one of alsoRead, the other files of the same run, is refused
    // with nothing written.
    // A tile area's part gets its TileAreaNote beside it, at TileNotePath of its output path,
    // written and committed with the pictures: all land or none does.
    virtual ImportStatus Write(const std::vector<std::string>& outputPaths, const ImportProgress& progress = {},
                               const std::vector<FileIdentity>& alsoRead = {}) = 0;

    // What a person should know of a write that succeeded: for a tile area, the tiles the source
    // did not have, left white. Empty when there is nothing to tell.
    virtual std::string Warning() const { return {}; }

    // The credit a tile area's note carries: the request's attribution, else the source's own
    // (an MBTiles package's); empty when neither gives one.
    virtual std::string Attribution() const { return {}; }

protected:
    explicit ImportJob(std::vector<ImportPlan> parts) : parts_(std::move(parts)) {}

private:
    std::vector<ImportPlan> parts_;
};

struct ImportPreparation {
    std::unique_ptr<ImportJob> job;  // set when the source can be imported
    ImportStatus status;
    // With control points: their fit on this picture, as FitControlPoints gives it.
    PointsFit fit;
    // Refused as HoldsSubdatasets: the pictures to import one by one instead.
    std::vector<Subdataset> subdatasets;
};

class Importer {
public:
    virtual ~Importer() = default;

    // False in a build without GDAL, whose window leaves its import commands out. True says
    // nothing of whether the module loads: the first use tells that.
    virtual bool Built() const = 0;

    // Opens the source, checks it and plans the output; reads no pixels. Control points are
    // fitted on the picture opened, whose size tells the points outside it.
    virtual ImportPreparation Prepare(const std::string& sourcePath, const ImportOptions& options) const = 0;

    // The request's area at its zoom, one part or two at the 180th meridian, named from the
    // centres of its corner pixels and proposed in the working folder; reads no tile. The progress
    // of its Write is the share of tiles done, told after each row of tiles, so a cancel comes
    // between two rows and leaves only the cache. Refused: a request CheckTileRequest refuses, a
    // box CutTileArea refuses, and more tiles not yet cached than request.maxTiles.
    virtual ImportPreparation PrepareTiles(const TileRequest& request) const = 0;

    // How many of the area's tiles the cache holds fresh; nothing for a tile folder on disk,
    // which is never cached, and when the request or its box is refused.
    virtual std::optional<std::int64_t> CachedTiles(const TileRequest& request) const = 0;

    // Nothing when GDAL cannot open the file as a raster.
    virtual std::optional<ForeignPicture> Describe(const std::string& path) const = 0;

    // True when GDAL opens the file as a raster that carries a georeference, or as a file of
    // subdatasets: the pictures the window offers to import rather than load.
    virtual bool IsGeoreferenced(const std::string& path) const = 0;

    // Nothing when GDAL cannot open the file as a raster.
    virtual std::unique_ptr<ForeignPixels> OpenPixels(const std::string& path) const = 0;

    // Fits the transform to the enabled points in the system crsWkt names (a WKT; empty: WGS 84).
    // Refused: fewer or more points than the transform takes (PointCountProblem), points all in
    // one line, a text that is no WKT GDAL reads, and, when the picture's size is given, every
    // enabled point outside it.
    virtual PointsFit FitPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                                kartivo::PointTransform transform, std::optional<PictureSize> picture) const = 0;

    // The system named for control points (empty: WGS 84), read as input says. Refused: a text
    // GDAL does not read so, a system that is neither latitude and longitude in degrees nor a
    // map projection.
    virtual PointsSystem DescribeSystem(const std::string& text, SystemInput input) const = 0;

    // The points with their map coordinates taken from the system fromWkt names to the one toWkt
    // names (WKTs; empty: WGS 84), mapX still the longitude or easting. All or none: one point
    // the new system cannot take (beyond where it reaches) refuses them all, naming it and why.
    virtual TransformedPoints TransformPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                              const std::string& toWkt) const = 0;
};

// The import this program was built with.
const Importer& TheImporter();

// Answers every picture with one reason: a build without GDAL, or a module that cannot be loaded.
class UnavailableImporter final : public Importer {
public:
    UnavailableImporter(bool built, std::string reason) : built_(built), reason_(std::move(reason)) {}

    bool Built() const override { return built_; }
    ImportPreparation Prepare(const std::string&, const ImportOptions&) const override;
    ImportPreparation PrepareTiles(const TileRequest&) const override;
    std::optional<std::int64_t> CachedTiles(const TileRequest&) const override { return std::nullopt; }
    std::optional<ForeignPicture> Describe(const std::string&) const override { return std::nullopt; }
    bool IsGeoreferenced(const std::string&) const override { return false; }
    std::unique_ptr<ForeignPixels> OpenPixels(const std::string&) const override { return nullptr; }
    PointsFit FitPoints(const std::vector<ControlPoint>&, const std::string&, kartivo::PointTransform,
                        std::optional<PictureSize>) const override;
    PointsSystem DescribeSystem(const std::string&, SystemInput) const override;
    TransformedPoints TransformPoints(const std::vector<ControlPoint>&, const std::string&,
                                      const std::string&) const override;

private:
    bool built_;
    std::string reason_;
};

// The latitude where Web Mercator's square ends.
inline constexpr double MercatorLatitudeLimit = 85.0511287798066;

}  // namespace kartivo::geoimport
