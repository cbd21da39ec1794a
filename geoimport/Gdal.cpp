#include "geoimport/Gdal.h"

#include <cpl_error.h>
#include <cpl_vsi.h>

#include <cstdint>
#include <mutex>

namespace kartivo::geoimport {

namespace {

// GDAL's block cache: the same whatever the picture's size, so peak memory stays flat. Rows
// are read in strips once each, so a larger cache bought no speed in the benchmarks.
constexpr std::int64_t CacheBytes = std::int64_t{32} << 20;

}  // namespace

void InitialiseGdal() {
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        GDALSetCacheMax64(CacheBytes);
        // Both front ends report failures in their own words; GDAL's own lines on standard
        // error would only repeat them out of place.
        CPLSetErrorHandler(CPLQuietErrorHandler);
    });
}

std::string LastGdalError(const char* fallback) {
    const char* text = CPLGetLastErrorMsg();
    return text != nullptr && *text != '\0' ? std::string(text) : std::string(fallback);
}

Dataset OpenRaster(const std::string& path) {
    InitialiseGdal();
    CPLErrorReset();
    return Dataset(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
}

OGRSpatialReference WebMercator() {
    OGRSpatialReference crs;
    crs.importFromEPSG(3857);
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return crs;
}

OGRSpatialReference Wgs84() {
    OGRSpatialReference crs;
    crs.importFromEPSG(4326);
    crs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return crs;
}

std::string WktOf(const OGRSpatialReference& crs, const CPLStringList& options) {
    char* text = nullptr;
    const OGRErr written = crs.exportToWkt(&text, options.List());
    // Owned at once, so no path leaves GDAL's copy behind.
    const std::unique_ptr<char, Destroyer<VSIFree>> owned(text);
    return written == OGRERR_NONE && text != nullptr ? std::string(text) : std::string();
}

std::string CrsText(const OGRSpatialReference& crs) {
    const char* authority = crs.GetAuthorityName(nullptr);
    const char* code = crs.GetAuthorityCode(nullptr);
    if (authority != nullptr && code != nullptr) return std::string(authority) + ":" + code;
    const char* name = crs.GetName();
    return name != nullptr ? name : "an unnamed coordinate system";
}

}  // namespace kartivo::geoimport
