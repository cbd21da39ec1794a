#pragma once
// Control points: places on a scan whose latitude and longitude (or easting and northing) the
// person knows, from which the import georeferences the scan; the text rules for typing them;
// and the .points files in which GIS georeferencers exchange them.

#include "common/File.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kartivo {

// Which of GDAL's transformers takes pixels to map coordinates: a polynomial of order 1, 2 or 3
// (as `gdalwarp -order N`), or a thin plate spline (`gdalwarp -tps`).
enum class PointTransform { Polynomial1, Polynomial2, Polynomial3, ThinPlateSpline };

// "poly1", "poly2", "poly3", "tps"; and back.
std::optional<PointTransform> PointTransformFromName(std::string_view name);
std::string_view PointTransformName(PointTransform transform);
// The fewest enabled points the transform takes: 3, 6, 10, and 3 for the spline.
int LeastPointsFor(PointTransform transform);

// The most points a set holds, and a polynomial fits: a least-squares fit of a few terms, so
// ten thousand are fitted and reported in well under a second.
inline constexpr std::size_t MostPoints = 10000;
// The most enabled points a thin plate spline takes: it solves one equation per point all at
// once, in memory growing with the square of their count and time with its cube; an import by
// 1000 points takes 2.6 s, by 2000 12 s, and 20000 would want 3 GB.
inline constexpr std::size_t MostSplinePoints = 1000;
std::size_t MostPointsFor(PointTransform transform);

// One point. Pixel positions follow GDAL's pixel and line convention, which the .points format
// shares: 0,0 is the top-left corner of the top-left pixel, its centre 0.5,0.5.
struct ControlPoint {
    double column = 0;
    double row = 0;     // downwards
    double mapX = 0;    // longitude or easting
    double mapY = 0;    // latitude or northing
    bool enabled = true;
    bool operator==(const ControlPoint&) const = default;
};

std::size_t EnabledCount(const std::vector<ControlPoint>& points);

// Why the transform cannot take the set by its count ("the poly2 transform needs at least 6
// points; 4 are enabled"); "" when it can.
std::string PointCountProblem(const std::vector<ControlPoint>& points, PointTransform transform);

// The picture the points are placed on, in pixels.
struct PictureSize {
    std::int64_t width = 0;
    std::int64_t height = 0;
};

// The enabled points that lie beyond the picture's edges (its edges and corners count as
// within: the far corner of the last pixel is where a corner point goes), by index, in order.
struct PointsOutside {
    std::vector<std::size_t> indices;
    bool all = false;  // no enabled point lies within: the points cannot place this picture
    // Names them and where they lie, or says why none can place the picture; "" when none lies
    // outside.
    std::string text;
};
PointsOutside FindPointsOutside(const std::vector<ControlPoint>& points, PictureSize picture);

// How far a point lies from where the fitted transform puts it.
struct PointResidual {
    double dx = 0;      // pixels, the transform's column minus the point's
    double dy = 0;      // pixels, downwards
    double pixels = 0;  // hypot(dx, dy)
    double metres = 0;  // the same distance on the ground
};

struct PointsFile {
    std::string crsWkt;  // the system of mapX/mapY from the "#CRS: " line; empty when none is named
    std::vector<ControlPoint> points;
    // Kartivo's own "#TRANSFORM: poly2" line, which other georeferencers pass over as a comment;
    // nothing where the file names none (or one Kartivo does not know).
    std::optional<PointTransform> transform;
};

enum class PointsFileError {
    None, NoHeader, MissingColumn, BadNumber, BadEnable, CrsNotWkt, TooManyPoints, TooLarge, ReadFailed
};

struct PointsFileReading {
    PointsFile file;
    PointsFileError error = PointsFileError::None;
    int line = 0;  // where the error is, counted from 1
    // TooLarge: the file's size as its handle told it; nothing when it grew past the limit as it
    // was read (or is no regular file).
    std::optional<std::uint64_t> size;
    std::error_code reason;  // ReadFailed: the system's
};

// The largest .points file read: a hundred times what the most points take with their residuals.
inline constexpr std::uint64_t MostPointsFileBytes = std::uint64_t{16} << 20;

// Reads a .points text as GIS georeferencers write it: an optional first line "#CRS: " followed
// by the WKT of the map coordinates' system, the header line naming the columns (mapX, mapY,
// sourceX, sourceY, enable, and optionally dX, dY, residual, in any order), then one line per
// point. sourceY is the pixel row with its sign reversed (negative downwards). Blank lines and
// other lines starting with "#" are passed over, but for Kartivo's own "#TRANSFORM: " before the
// header; "\r\n" line ends are taken. A "#CRS: " line
// holding anything but a WKT (a file name, an address) is refused: a points file lying beside a
// picture is no one's own typing, and GDAL would open or fetch what such a text names. More
// points than MostPoints are refused at the first one too many.
PointsFileReading ReadPointsText(std::string_view text);
// The same of an open file; one larger than MostPointsFileBytes is refused by its size before
// anything is read, and no more than one byte beyond the limit is ever read (the file may be
// no regular one, or grow meanwhile).
PointsFileReading ReadPointsFrom(OpenFile& file);
// Why a .points text was refused: "line 3: a number that cannot be read".
std::string PointsFileProblem(const PointsFileReading& reading);
// The text of a .points file: the "#CRS: " line when crsWkt is given, the header with all eight
// columns, and one line per point with its residual (zeros where residuals has none).
std::string WritePointsText(const PointsFile& file, const std::vector<PointResidual>& residuals);

// Where a picture's points are kept: beside it, its whole name with ".points" added.
std::string PointsPathFor(const std::string& picturePath);

inline constexpr std::int32_t LatitudeLimit = 90;
inline constexpr std::int32_t LongitudeLimit = 180;

// A latitude or longitude given for a point on kartivo-batch's command line, read by the corner
// boxes' rules: a degree text (a numeric text within -limit..limit) or a DMS text. Nothing when
// the boxes would refuse it.
std::optional<double> ReadPointCoordinate(std::string_view text, std::int32_t limit);

// Why a typed latitude or longitude is refused.
enum class CoordinateFault {
    None,
    Unreadable,         // in no form a coordinate is written in
    Beyond,             // beyond -limit..limit
    MinutesOrSeconds,   // minutes or seconds below 0, or 60 or more
    WrongHemisphere,    // N or S for a longitude, E or W for a latitude
    SignAndHemisphere,  // a minus sign and a hemisphere letter together
};

struct TypedCoordinate {
    std::optional<double> value;  // nothing when refused
    CoordinateFault fault = CoordinateFault::None;
    // Names the text and why it is refused, for the person who typed it: `"95" is beyond 90°: a
    // latitude lies from -90 to 90`. "" when the text is read.
    std::string reason;
};

// A latitude (limit LatitudeLimit) or longitude (LongitudeLimit) as people write one for a point
// they place: decimal degrees (-78.5); degrees, minutes and seconds with their marks, with or
// without spaces between them (25°14'43.66", +25°14' 43.6622'', also with ′ and ″), or
// separated by spaces alone (25 14 43.66); decimal minutes (25°14.727', 25 14.727); degrees
// with "°". N or S for a latitude, E or W for a longitude (either case), before or after, stands
// in place of a sign, never beside a minus; S and W are negative. Only the last piece may have
// decimals; the limit is inclusive.
TypedCoordinate ReadTypedCoordinate(std::string_view text, std::int32_t limit);

// The points of a picture as the person edits them, and the system their map coordinates are
// in, with Undo for every change.
class ControlPointSet {
public:
    const std::vector<ControlPoint>& Points() const { return state_.points; }
    // The system as its user names it, "" until one is named.
    const std::string& System() const { return state_.crsWkt; }
    void Add(const ControlPoint& point);
    // Each of these ignores an index beyond the points.
    void Move(std::size_t index, double column, double row);
    void SetMap(std::size_t index, double mapX, double mapY);
    void SetEnabled(std::size_t index, bool enabled);
    void Remove(std::size_t index);
    // The points keep their numbers, which are now read in the system.
    void SetSystem(std::string system);
    // Replaces the system and every point (a .points file read, the points converted to another
    // system); undone as one change.
    void Replace(PointsFile file);
    // Takes back the last change; false when there is none.
    bool Undo();
    bool CanUndo() const { return !history_.empty(); }

private:
    void Remember();
    PointsFile state_;
    std::vector<PointsFile> history_;
};

}  // namespace kartivo
