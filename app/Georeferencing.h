#pragma once
// Georeferencing a scan in the picture window: the control points the person places on it and
// types the latitude and longitude of, how well the chosen transform fits them, the points kept
// beside the picture, and the import that warps it to Web Mercator rows. Plain C++: the Qt view
// draws the points and the table and sends clicks and drags here.

#include "app/UserInterface.h"
#include "common/FileCommon.h"
#include "geo/ControlPoints.h"
#include "geoimport/ImportTypes.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kartivo {

class PictureView;

inline constexpr const char* GeoreferenceMenuText = "Georeference Picture...";
inline constexpr const char* GeoreferenceText = "Georeference";
inline constexpr const char* ChooseSystemText = "System...";

// How a transform fits the enabled points, as GDAL's transformer for it says.
struct PointFit {
    std::vector<PointResidual> residuals;  // one per point, zeros for the disabled ones
    double rms = 0;                        // pixels, over the enabled points
    std::string problem;                   // why there is no fit ("needs at least 6 points"); "" when fitted
    std::string outside;                   // the enabled points beyond the picture's edges, named; "" when none
    std::shared_ptr<const geoimport::PointMapper> mapper;  // where the fit puts a picture position
};

// Warps the picture placed by the enabled points, their map coordinates in the system the WKT
// names, through the transform; true when the result was written and loaded.
using ImportByPoints = std::function<bool(const std::string& picture, const std::vector<ControlPoint>& points,
                                          PointTransform transform, const std::string& crsWkt)>;

class Georeferencing {
public:
    // Points are typed in the system named for the set, WGS 84 latitude and longitude until
    // another is named; they are fitted by the import module and warped by importByPoints (the
    // window's import).
    Georeferencing(PictureView& view, UserInterface& ui, ImportByPoints importByPoints,
                   FileSystem& fileSystem = DefaultFileSystem());

    // Told after every change of the points, their fit or the transform.
    std::function<void()> onChanged;

    // The open dialog for a picture to georeference; "" when cancelled.
    std::string ChoosePicture();
    // Asks whether a picture the import refused for carrying no georeference is to get one.
    bool OfferFor(const std::string& picturePath);
    // Shows the picture in the picture window to place points on; points saved beside it are
    // offered.
    void Start(const std::string& picturePath);
    // While the picture window shows the picture being georeferenced.
    bool Active() const;
    const std::string& Picture() const { return picture_; }

    // A click on the picture at a pixel position (0,0 the top-left corner of the top-left pixel):
    // asks for the point's latitude and longitude. Nothing is added when the person cancels or
    // types a text the corner boxes would refuse (which is said).
    void AddAt(double column, double row);
    void Edit(std::size_t index);
    void MoveTo(std::size_t index, double column, double row);
    void SetEnabled(std::size_t index, bool enabled);
    void Remove(std::size_t index);
    bool Undo();
    bool CanUndo() const { return points_.CanUndo(); }
    void SetTransform(PointTransform transform);
    PointTransform Transform() const { return transform_; }
    // Asks for the system the map coordinates are in (an EPSG code, a PROJ string, a WKT), and,
    // when there are points, whether they are converted to it, each keeping its place on the
    // Earth, or keep their numbers, now read in it; Undo takes either back. False when nothing
    // changed: cancelled, refused (a point the new system cannot take), or the same system.
    bool ChooseSystem();
    const geoimport::PointsSystem& System() const { return system_; }
    // "WGS 84: latitude, longitude" or "WGS 84 / UTM zone 54N: easting, northing in metres".
    std::string SystemSummary() const;

    const std::vector<ControlPoint>& Points() const { return points_.Points(); }
    const PointFit& Fit() const { return fit_; }
    // The enabled point the transform misses most, once there is a fit.
    std::optional<std::size_t> Worst() const;
    // The point whose position lies within radius pixels, the nearest first.
    std::optional<std::size_t> PointNear(double column, double row, double radius) const;
    bool CanGeoreference() const { return fit_.problem.empty() && !Points().empty(); }

    // The table: number, column, row, latitude and longitude (or easting and northing), "yes"
    // or "no", residual "px (m)"; and its column titles.
    std::vector<std::array<std::string, 7>> Rows() const;
    std::array<std::string, 7> ColumnTitles() const;
    // What the status bar says of a picture position: "Column 12.5, row 40.0", and once the
    // points fit, the latitude and longitude the transform puts there.
    std::string PositionText(double column, double row) const;
    // "RMS 0.42 px over 6 points", and the points outside the picture; or why there is no fit.
    std::string Summary() const;

    // Writes the points beside the picture (PICTURE.points), whole or not at all; a failure
    // is told unless tell is false. Every edit saves them this way, unless points found there
    // were declined.
    bool Save(bool tell = true);
    // Saves the points, then warps the picture through the import.
    bool Georeference();

private:
    // mapX and mapY of a point, typed in the set's system.
    std::optional<std::pair<double, double>> AskMapPosition(std::size_t number, const ControlPoint* now);
    std::optional<geoimport::PointsSystem> AskSystem(const std::string& prompt, const std::string& initial);
    // The points of a .points file beside the picture, in their system; nothing when unusable.
    std::optional<PointsFile> ReadKeptPoints(const std::string& pointsPath, OpenFile& file);
    void FollowSystem();
    void Refit();
    void Edited();
    // Saves the points beside the picture where they are kept there, telling a failure once.
    void KeepBeside();

    PictureView& view_;
    UserInterface& ui_;
    ImportByPoints importByPoints_;
    FileSystem& fileSystem_;
    std::string picture_;
    std::vector<FileIdentity> scanFiles_;  // the scan and the files beside it GDAL reads
    ControlPointSet points_;
    PointTransform transform_ = PointTransform::Polynomial1;
    geoimport::PointsSystem system_;  // describes the set's system, which is described_
    std::optional<std::string> described_;
    PointFit fit_;
    bool keepBeside_ = true;
    bool saveFailed_ = false;
};

}  // namespace kartivo
