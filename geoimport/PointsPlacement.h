#pragma once
// Control points as a picture's georeference: checked, fitted, and handed to GDAL's own
// transformer as the GCPs of a stand-in for the picture, so the warp places the picture
// exactly as gdalwarp places one carrying those GCPs.

#include "geo/ControlPoints.h"
#include "geoimport/Gdal.h"
#include "geoimport/ImportTypes.h"

#include <optional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

// The system of the points' map coordinates, longitude or easting first: what GDAL reads of
// text as input says, or WGS 84 when it is empty.
ImportStatus ReadPointsCrs(const std::string& text, SystemInput input, OGRSpatialReference& crs);

// What the fit adds to a point's mapX: 360 to the longitudes west of 0 when the points lie across
// 180 degrees (typed as 179.5 and -179.5), so that they are counted on past 180 and the picture
// is not stretched round the Earth the wrong way; else 0.
double EastShift(const std::vector<ControlPoint>& points, const OGRSpatialReference& crs);
double ShiftedX(double mapX, double eastShift);

// A dataset as large as the picture but without bands, carrying the enabled points as its GCPs
// in crs: GDAL's transformer is made from it in place of the picture, whose own georeference
// then counts for nothing. The points are fitted (FitPoints) first, which refuses what cannot be.
ImportStatus PlaceByPoints(GDALDatasetH picture, const std::vector<ControlPoint>& points,
                           const OGRSpatialReference& crs, Dataset& placement);

// DescribePointsSystem, the import's answer to the programs.
PointsSystem DescribeSystem(const std::string& text, SystemInput input);

// TransformControlPoints, the import's answer to the programs.
TransformedPoints TransformPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                  const std::string& toWkt);

// FitControlPoints, the import's answer to the programs.
PointsFit FitPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                    kartivo::PointTransform transform, std::optional<PictureSize> picture);
// The same in a system already read. Refused before anything is fitted when the points' count
// or their places on the picture cannot be right.
PointsFit FitPoints(const std::vector<ControlPoint>& points, const OGRSpatialReference& crs,
                    kartivo::PointTransform transform, std::optional<PictureSize> picture);

// The options of GDAL's GenImgProjTransformer that choose the transform, as gdalwarp -order N
// and -tps set them.
std::vector<std::string> PointTransformOptions(kartivo::PointTransform transform);

}  // namespace kartivo::geoimport
