#include "geoimport/PointsPlacement.h"

#include <geodesic.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace kartivo::geoimport {

double ShiftedX(double mapX, double eastShift) { return mapX < 0 ? mapX + eastShift : mapX; }

namespace {

int PolynomialOrder(kartivo::PointTransform transform) {
    switch (transform) {
    case kartivo::PointTransform::Polynomial2: return 2;
    case kartivo::PointTransform::Polynomial3: return 3;
    case kartivo::PointTransform::Polynomial1:
    case kartivo::PointTransform::ThinPlateSpline: break;
    }
    return 1;
}

std::vector<GDAL_GCP> EnabledGcps(const std::vector<ControlPoint>& points, double eastShift) {
    // GDAL copies the names it is given; the points have none.
    static char noName[] = "";
    std::vector<GDAL_GCP> gcps;
    for (const ControlPoint& p : points) {
        if (p.enabled) gcps.push_back({noName, noName, p.column, p.row, ShiftedX(p.mapX, eastShift), p.mapY, 0});
    }
    return gcps;
}

// Takes a map position to the picture (toPicture) or a pixel position to the map, in place;
// false when the transform cannot.
bool Transformed(void* transformer, bool toPicture, double& x, double& y) {
    double z = 0;
    int done = FALSE;
    GDALUseTransformer(transformer, toPicture ? TRUE : FALSE, 1, &x, &y, &z, &done);
    return done != FALSE;
}

double AffineRms(const std::vector<GDAL_GCP>& gcps) {
    const Transformer affine(GDALCreateGCPTransformer(static_cast<int>(gcps.size()), gcps.data(), 1, FALSE));
    if (!affine) return std::numeric_limits<double>::infinity();
    double squares = 0;
    for (const GDAL_GCP& g : gcps) {
        double column = g.dfGCPX;
        double row = g.dfGCPY;
        if (!Transformed(affine.get(), true, column, row)) return std::numeric_limits<double>::infinity();
        squares += (column - g.dfGCPPixel) * (column - g.dfGCPPixel) + (row - g.dfGCPLine) * (row - g.dfGCPLine);
    }
    return std::sqrt(squares / double(gcps.size()));
}

double Span(const std::vector<GDAL_GCP>& gcps) {
    const auto [west, east] = std::minmax_element(gcps.begin(), gcps.end(), [](const GDAL_GCP& a, const GDAL_GCP& b) {
        return a.dfGCPX < b.dfGCPX;
    });
    return east->dfGCPX - west->dfGCPX;
}

}  // namespace

double EastShift(const std::vector<ControlPoint>& points, const OGRSpatialReference& crs) {
    const std::vector<GDAL_GCP> typed = EnabledGcps(points, 0);
    if (crs.IsGeographic() == 0 || typed.size() < 3 || Span(typed) <= 180) return 0;
    const std::vector<GDAL_GCP> shifted = EnabledGcps(points, 360);
    const double span = Span(shifted);
    if (span >= Span(typed)) return 0;
    // GDAL's affine fit tells the lifting a picture can have from one it cannot: a world map's
    // points fit as typed and miss by far when counted on. When both fit (four corners fit any
    // affine), the narrower is the map: a picture of 2 degrees is likelier than one of 358.
    const double asTyped = AffineRms(typed);
    const double countedOn = AffineRms(shifted);
    const bool alike = std::abs(asTyped - countedOn) <= std::max(1.0, 0.1 * std::max(asTyped, countedOn));
    return alike || countedOn < asTyped ? 360 : 0;
}

namespace {

// True when the positions all lie on one line or in one place: they place nothing beside that
// line. GDAL's polynomial would fail on a singular matrix without saying why, and its spline
// would not fail at all but fold the picture flat.
bool InOneLine(const std::vector<GDAL_GCP>& gcps, double GDAL_GCP::*x, double GDAL_GCP::*y) {
    double meanX = 0;
    double meanY = 0;
    for (const GDAL_GCP& g : gcps) {
        meanX += g.*x / double(gcps.size());
        meanY += g.*y / double(gcps.size());
    }
    double xx = 0;
    double yy = 0;
    double xy = 0;
    for (const GDAL_GCP& g : gcps) {
        xx += (g.*x - meanX) * (g.*x - meanX);
        yy += (g.*y - meanY) * (g.*y - meanY);
        xy += (g.*x - meanX) * (g.*y - meanY);
    }
    // The determinant over the squared trace is about the smaller spread over the larger: a
    // ratio of 1e-12 is points a millionth of their extent away from one line.
    const double trace = xx + yy;
    return trace == 0 || xx * yy - xy * xy <= 1e-12 * trace * trace;
}

ImportStatus FitGcps(const std::vector<GDAL_GCP>& gcps, kartivo::PointTransform transform, Transformer& fitted) {
    if (InOneLine(gcps, &GDAL_GCP::dfGCPPixel, &GDAL_GCP::dfGCPLine) ||
        InOneLine(gcps, &GDAL_GCP::dfGCPX, &GDAL_GCP::dfGCPY)) {
        return Refusal(ImportError::BadPoints,
                       "the control points lie in one line, on the picture or on the map, and place nothing beside it");
    }
    const int count = static_cast<int>(gcps.size());
    CPLErrorReset();
    fitted.reset(transform == kartivo::PointTransform::ThinPlateSpline
                     ? GDALCreateTPSTransformer(count, gcps.data(), FALSE)
                     : GDALCreateGCPTransformer(count, gcps.data(), PolynomialOrder(transform), FALSE));
    if (!fitted) {
        return Refusal(ImportError::BadPoints, "GDAL cannot fit the " + std::string(PointTransformName(transform)) +
                                                   " transform to the control points: " +
                                                   LastGdalError("they leave it undetermined"));
    }
    return {};
}

// Metres between each place (x0, y0) and its (x1, y1), all given in crs: the geodesic on the
// system's own ellipsoid, every place taken to its latitude and longitude by one transformation.
// NaN where one of the two cannot be.
std::vector<double> GroundDistances(const OGRSpatialReference& crs, std::vector<double> x0, std::vector<double> y0,
                                    std::vector<double> x1, std::vector<double> y1) {
    std::vector<double> metres(x0.size(), std::numeric_limits<double>::quiet_NaN());
    const std::unique_ptr<OGRSpatialReference> geographic(crs.CloneGeogCS());
    if (!geographic || metres.empty()) return metres;
    geographic->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    const Transform toGeographic(OGRCreateCoordinateTransformation(&crs, geographic.get()));
    if (!toGeographic) return metres;
    const std::size_t count = metres.size();
    x0.insert(x0.end(), x1.begin(), x1.end());
    y0.insert(y0.end(), y1.begin(), y1.end());
    std::vector<int> done(x0.size(), FALSE);
    toGeographic->Transform(x0.size(), x0.data(), y0.data(), nullptr, done.data());
    // Degrees, whatever the angle the system counts in (the grads of some French systems); a
    // prime meridian other than Greenwich shifts every longitude alike and no distance.
    const double toDegrees = geographic->GetAngularUnits() / CPLAtof(SRS_UA_DEGREE_CONV);
    const bool inDegrees = std::abs(toDegrees - 1) < 1e-12;
    const double inverseFlattening = geographic->GetInvFlattening();
    geod_geodesic ellipsoid{};
    geod_init(&ellipsoid, geographic->GetSemiMajor(), inverseFlattening == 0 ? 0 : 1 / inverseFlattening);
    for (std::size_t i = 0; i < count; ++i) {
        if (done[i] == FALSE || done[count + i] == FALSE) continue;
        const auto degrees = [&](double value) { return inDegrees ? value : value * toDegrees; };
        geod_inverse(&ellipsoid, degrees(y0[i]), degrees(x0[i]), degrees(y0[count + i]), degrees(x0[count + i]),
                     &metres[i], nullptr, nullptr);
    }
    return metres;
}

}  // namespace

ImportStatus ReadPointsCrs(const std::string& text, SystemInput input, OGRSpatialReference& crs) {
    CPLErrorReset();
    if (text.empty()) {
        crs = Wgs84();
    } else if ((input == SystemInput::Wkt
                    ? crs.importFromWkt(text.c_str())
                    : crs.SetFromUserInput(text.c_str(), OGRSpatialReference::SET_FROM_USER_INPUT_LIMITATIONS_get())) !=
               OGRERR_NONE) {
        // A WKT can be pages long; its start is enough to know which one was meant.
        const std::string shown = text.size() > 80 ? text.substr(0, 80) + "..." : text;
        return Refusal(ImportError::BadCrsOption,
                       "the control points' system \"" + shown + "\" is not a coordinate system GDAL knows");
    }
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    // Typed degrees would be taken as grads or radians, and a geocentric or local system puts
    // nothing on a map.
    const bool degrees = std::abs(crs.GetAngularUnits() - CPLAtof(SRS_UA_DEGREE_CONV)) < 1e-12;
    if (crs.IsGeographic() != 0 ? !degrees : crs.IsProjected() == 0) {
        return Refusal(ImportError::BadCrsOption, "the control points' system is neither latitude and longitude in "
                                                  "degrees nor a map projection");
    }
    return {};
}

PointsSystem DescribeSystem(const std::string& text, SystemInput input) {
    InitialiseGdal();
    PointsSystem system;
    OGRSpatialReference crs;
    if (system.status = ReadPointsCrs(text, input, crs); system.status.error != ImportError::None) return system;
    const char* name = crs.GetName();
    system.name = name != nullptr ? name : "";
    system.geographic = crs.IsGeographic() != 0;
    if (!system.geographic) {
        const char* unit = nullptr;
        crs.GetLinearUnits(&unit);
        system.unit = unit != nullptr ? unit : "";
    }
    system.wkt = WktOf(crs, CPLStringList().SetNameValue("FORMAT", "WKT2_2019").SetNameValue("MULTILINE", "NO"));
    // The WKT is what the points keep and the fit reads: without it they would be taken as WGS 84.
    if (system.wkt.empty()) {
        return {.status = Refusal(ImportError::BadCrsOption, "GDAL cannot write \"" + system.name + "\" as a WKT")};
    }
    // A code names it again in a few letters; a system without one only by the whole WKT.
    const char* code = crs.GetAuthorityCode(nullptr);
    system.text = code != nullptr ? CrsText(crs) : system.wkt;
    return system;
}

TransformedPoints TransformPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                  const std::string& toWkt) {
    InitialiseGdal();
    OGRSpatialReference from;
    OGRSpatialReference to;
    ImportStatus read = ReadPointsCrs(fromWkt, SystemInput::Wkt, from);
    if (read.error == ImportError::None) read = ReadPointsCrs(toWkt, SystemInput::Wkt, to);
    if (read.error != ImportError::None) return {.status = std::move(read)};
    CPLErrorReset();
    const Transform transform(OGRCreateCoordinateTransformation(&from, &to));
    if (!transform) {
        return {.status = Refusal(ImportError::CannotTransform, "GDAL cannot take the points to the new system: " +
                                                                    LastGdalError("it finds no way there"))};
    }
    TransformedPoints transformed{points, {}};
    // One at a time, so that GDAL's reason is the failing point's own and not a later one's.
    for (std::size_t i = 0; i < points.size(); ++i) {
        ControlPoint& p = transformed.points[i];
        CPLErrorReset();
        int done = FALSE;
        if (!transform->Transform(1, &p.mapX, &p.mapY, nullptr, &done) || done == FALSE || !std::isfinite(p.mapX) ||
            !std::isfinite(p.mapY)) {
            return {.status = Refusal(ImportError::CannotTransform,
                                      "GDAL cannot take point " + std::to_string(i + 1) + " to the new system: " +
                                          LastGdalError("it lies beyond where the system reaches"))};
        }
    }
    return transformed;
}

ImportStatus PlaceByPoints(GDALDatasetH picture, const std::vector<ControlPoint>& points,
                           const OGRSpatialReference& crs, Dataset& placement) {
    const std::vector<GDAL_GCP> gcps = EnabledGcps(points, EastShift(points, crs));
    CPLErrorReset();
    placement.reset(GDALCreate(GDALGetDriverByName("MEM"), "", GDALGetRasterXSize(picture),
                               GDALGetRasterYSize(picture), 0, GDT_Byte, nullptr));
    if (!placement || GDALSetGCPs2(placement.get(), static_cast<int>(gcps.size()), gcps.data(),
                                   OGRSpatialReference::ToHandle(const_cast<OGRSpatialReference*>(&crs))) != CE_None) {
        return Refusal(ImportError::CannotTransform,
                       "GDAL cannot take the control points: " + LastGdalError("no dataset for them"));
    }
    return {};
}

std::vector<std::string> PointTransformOptions(kartivo::PointTransform transform) {
    if (transform == kartivo::PointTransform::ThinPlateSpline) return {"METHOD=GCP_TPS"};
    return {"METHOD=GCP_POLYNOMIAL", "MAX_GCP_ORDER=" + std::to_string(PolynomialOrder(transform))};
}

namespace {

// The fitted transform, then the points' system to WGS 84 latitude and longitude.
class FittedMapper final : public PointMapper {
public:
    FittedMapper(Transformer fitted, Transform toWgs84) : fitted_(std::move(fitted)), toWgs84_(std::move(toWgs84)) {}

    std::optional<std::pair<double, double>> LatitudeLongitudeAt(double column, double row) const override {
        double x = column;
        double y = row;
        double z = 0;
        if (!Transformed(fitted_.get(), false, x, y) || !toWgs84_->Transform(1, &x, &y, &z)) return std::nullopt;
        if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(y) > 90) return std::nullopt;
        // Longitudes counted on past 180 (points across it) are told as the world writes them.
        return std::pair{y, std::remainder(x, 360.0)};
    }

private:
    Transformer fitted_;
    Transform toWgs84_;
};

std::shared_ptr<const PointMapper> MapperOf(Transformer fitted, const OGRSpatialReference& crs) {
    const OGRSpatialReference wgs84 = Wgs84();
    Transform toWgs84(OGRCreateCoordinateTransformation(&crs, &wgs84));
    if (!toWgs84) return nullptr;
    return std::make_shared<const FittedMapper>(std::move(fitted), std::move(toWgs84));
}

}  // namespace

PointsFit FitPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                    kartivo::PointTransform transform, std::optional<PictureSize> picture) {
    InitialiseGdal();
    OGRSpatialReference crs;
    if (ImportStatus read = ReadPointsCrs(crsWkt, SystemInput::Wkt, crs); read.error != ImportError::None) {
        return {.status = std::move(read)};
    }
    return FitPoints(points, crs, transform, picture);
}

PointsFit FitPoints(const std::vector<ControlPoint>& points, const OGRSpatialReference& crs,
                    kartivo::PointTransform transform, std::optional<PictureSize> picture) {
    PointsFit fit;
    if (const std::string problem = PointCountProblem(points, transform); !problem.empty()) {
        fit.status = Refusal(ImportError::BadPoints, problem);
        return fit;
    }
    if (picture) {
        fit.outside = FindPointsOutside(points, *picture);
        if (fit.outside.all) {
            fit.status = Refusal(ImportError::BadPoints, fit.outside.text);
            return fit;
        }
    }
    const double eastShift = EastShift(points, crs);
    const std::vector<GDAL_GCP> gcps = EnabledGcps(points, eastShift);
    Transformer fitted;
    if (fit.status = FitGcps(gcps, transform, fitted); fit.status.error != ImportError::None) return fit;
    const std::size_t count = points.size();
    std::vector<double> mapX(count);
    std::vector<double> mapY(count);
    std::vector<double> placedX(count);
    std::vector<double> placedY(count);
    double squares = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const ControlPoint& p = points[i];
        mapX[i] = ShiftedX(p.mapX, eastShift);
        mapY[i] = p.mapY;
        double column = mapX[i];
        double row = p.mapY;
        placedX[i] = p.column;
        placedY[i] = p.row;
        const bool toPicture = Transformed(fitted.get(), true, column, row);
        if (!Transformed(fitted.get(), false, placedX[i], placedY[i])) {
            placedX[i] = placedY[i] = std::numeric_limits<double>::quiet_NaN();
        }
        PointResidual residual{column - p.column, row - p.row, 0, 0};
        residual.pixels = std::hypot(residual.dx, residual.dy);
        if (!toPicture) residual.dx = residual.dy = residual.pixels = std::numeric_limits<double>::quiet_NaN();
        if (p.enabled) squares += residual.pixels * residual.pixels;
        fit.residuals.push_back(residual);
    }
    const std::vector<double> metres =
        GroundDistances(crs, std::move(mapX), std::move(mapY), std::move(placedX), std::move(placedY));
    for (std::size_t i = 0; i < count; ++i) fit.residuals[i].metres = metres[i];
    fit.rmsPixels = std::sqrt(squares / double(gcps.size()));
    fit.mapper = MapperOf(std::move(fitted), crs);
    return fit;
}


}  // namespace kartivo::geoimport
