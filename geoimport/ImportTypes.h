#pragma once
// The plain types the import's steps and its callers share: none of GDAL's.

#include "bitmap/MapGeometry.h"
#include "geo/ControlPoints.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kartivo::geoimport {

enum class Resampling { Nearest, Bilinear, Cubic };

// What a single band of elevations becomes: nothing (it is refused as no picture), GDAL's
// hillshade in grey, or that shade over colours by height.
enum class Relief { None, Grey, Colour };

// How 16-bit colour values become bytes. Full: the whole range, value * 255 / 65535 rounded;
// Stretch: each band between the 2nd and 98th percentile of its values; Range: low..high for
// every band; Auto: Stretch where the values use only part of the range (NBITS below 16, or
// all under 4096), else Full.
enum class ScaleRule { Auto, Full, Stretch, Range };

struct ValueScaling {
    ScaleRule rule = ScaleRule::Auto;
    double low = 0;  // Range's bounds
    double high = 0;
};

// The values of one band that become 0 and 255.
struct ScaleBounds {
    double low = 0;
    double high = 0;
};

enum class ImportError {
    None,
    OpenFailed,       // GDAL cannot read the file
    BadCrsOption,     // the coordinate system given in the options is not understood
    NoGeoreference,   // neither a georeference in the file nor one beside it
    NoCrs,            // a georeference without a coordinate system
    CannotTransform,  // the coordinate system does not transform to Web Mercator
    BeyondTheEarth,   // a georeference larger than the Earth: a broken header
    BadPoints,        // control points too few for their transform, or all in one line
    NotColours,       // a band of signed, 32-bit or floating-point values, or a band layout that is no picture
    Elevations,       // a single band of elevations, which imports only as shaded relief
    HoldsSubdatasets, // a file of several pictures (netCDF, HDF5), each imported by its own name
    OutsideMercator,  // nothing of the picture lies between the latitudes Web Mercator reaches
    OutsideBox,       // nothing of the picture lies in the box it is cropped to
    TooLarge,         // the bitmap would not fit the size fields of a bitmap file
    NameUnreadable,   // the corners would not read back from the file name
    CornersCoincide,  // pixels so small that two corners are the same number in the name
    ReadFailed,
    WriteFailed,
    Canceled,
};

struct ImportStatus {
    ImportError error = ImportError::None;
    std::string message;  // why, for a person; empty when all went well
};

inline ImportStatus Refusal(ImportError error, std::string message) {
    return {error, std::move(message)};
}

// How well a transform fitted to the enabled points places each of them.
// Where a fit puts a position of the picture on the Earth.
class PointMapper {
public:
    virtual ~PointMapper() = default;
    // WGS 84 latitude and longitude (-180 to 180) of a picture position (0,0 the top-left
    // corner of the top-left pixel); nothing where the transform or the system cannot take it.
    virtual std::optional<std::pair<double, double>> LatitudeLongitudeAt(double column, double row) const = 0;
};

struct PointsFit {
    // One per point, in their order, disabled ones included: where the enabled ones put it.
    // pixels is measured from the point's map position taken back to the picture, metres from
    // its pixel position taken to the map, as the geodesic distance on the system's ellipsoid.
    std::vector<PointResidual> residuals;
    double rmsPixels = 0;  // the root mean square of pixels over the enabled points
    // The enabled points beyond the picture's edges, when its size was known; when all are, the
    // fit is refused with outside.text.
    PointsOutside outside;
    ImportStatus status;   // a refusal leaves the residuals empty
    std::shared_ptr<const PointMapper> mapper;  // with every fit
};

// How the text naming a system is read. A .points file's "#CRS:" line, and every system the
// programs hand on, is a WKT and nothing else: a file lying beside a picture is no one's own
// typing, and GDAL would open the file or fetch the address another text names. What a person
// types (System... in the window, --gcp-srs) may be anything GDAL reads from a person, an
// EPSG code, a PROJ string or a WKT, still short of opening files or the network.
enum class SystemInput { Wkt, Typed };

// The system control points' map coordinates are in, as GDAL reads a name of it.
struct PointsSystem {
    std::string text;         // what names it again: "EPSG:32654" where it has a code, else its WKT
    std::string wkt;          // WKT2 on one line, as a .points file keeps it and the fit takes it
    std::string name;         // "WGS 84 / UTM zone 54N"
    bool geographic = true;   // latitude and longitude in degrees; else easting and northing
    std::string unit;         // of easting and northing: "metre", "US survey foot"
    ImportStatus status;      // a refusal leaves the rest empty
};

// Control points taken to another system, each keeping its place on the Earth.
struct TransformedPoints {
    std::vector<ControlPoint> points;  // as they were given, their map coordinates in the new system
    ImportStatus status;               // a refusal leaves points empty
};

}  // namespace kartivo::geoimport
