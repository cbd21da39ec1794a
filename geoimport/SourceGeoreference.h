#pragma once
// Where a source picture lies: its georeference, its coordinate system (its own or a .prj
// beside it), whether that is plausible at all, and which files it is read from.

#include "common/File.h"
#include "geoimport/ImportTypes.h"

#include <gdal.h>
#include <ogr_spatialref.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

// The file a subdataset lives in, which names the output and holds its folder.
std::string FileOfName(const std::string& name);

// What places the source's pixels on the Earth, in the order GDAL's transformer takes them.
struct Georeference {
    bool hasGeoTransform = false;
    std::array<double, 6> geoTransform{};
    bool hasGcps = false;
    bool hasRpcs = false;  // a satellite's rational polynomial coefficients, always in WGS 84
    bool hasGeolocation = false;  // a latitude and a longitude array (netCDF, HDF5 swaths)

    bool Any() const { return hasGeoTransform || hasGcps || hasRpcs || hasGeolocation; }
    // Only RPCs: the coordinate system is WGS 84 whatever the file says.
    bool OnlyRpcs() const { return hasRpcs && !hasGeoTransform && !hasGcps; }
    // The one the transformer uses, for a person: "a geotransform", "ground control points", "RPCs".
    const char* Description() const;
};

Georeference FindGeoreference(GDALDatasetH dataset);

// The source's coordinate system; nothing, with why set when a .prj is there but unreadable.
std::optional<OGRSpatialReference> FindCrs(GDALDatasetH dataset, const std::string& path, std::string& why);

// The outer edges of a picture with a geotransform, in WGS 84.
std::optional<MapCorners> EdgesInWgs84(const Georeference& georeference, const OGRSpatialReference& crs,
                                      std::int32_t width, std::int32_t height);

// Empty when the georeference fits on the Earth; else why not.
std::string BeyondTheEarth(GDALDatasetH dataset, const Georeference& georeference, const OGRSpatialReference& crs);

// A file beside the picture that GDAL opens as the picture placed (an OziExplorer .map naming
// it, a VRT over it): named as it lies beside it; empty when there is none.
std::string SideFilePlacing(const std::string& path);

// Every file the source is read from.
std::vector<FileIdentity> SourceFiles(GDALDatasetH dataset, const std::string& path);

}  // namespace kartivo::geoimport
