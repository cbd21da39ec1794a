#pragma once
// GDAL as the import uses it: set up once, its last error in words, and owners for every handle
// it gives out, so no path of the import frees anything by hand.

#include <cpl_progress.h>
#include <cpl_string.h>
#include <gdal.h>
#include <gdal_alg.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>

#include <memory>
#include <string>

namespace kartivo::geoimport {

void InitialiseGdal();

// GDAL's last error message, or fallback when it left none.
std::string LastGdalError(const char* fallback);

// Frees a handle with the function GDAL gives to destroy it.
template <auto Destroy>
struct Destroyer {
    template <typename Handle>
    void operator()(Handle* handle) const {
        Destroy(handle);
    }
};

using Dataset = std::unique_ptr<void, Destroyer<GDALClose>>;

// Read-only, as a raster; empty when GDAL cannot open it.
Dataset OpenRaster(const std::string& path);

using GenImgProjTransformer = std::unique_ptr<void, Destroyer<GDALDestroyGenImgProjTransformer>>;
// Any transformer GDAL made itself: a GCP polynomial or a thin plate spline.
using Transformer = std::unique_ptr<void, Destroyer<GDALDestroyTransformer>>;
using ApproxTransformer = std::unique_ptr<void, Destroyer<GDALDestroyApproxTransformer>>;
using WarpOptions = std::unique_ptr<GDALWarpOptions, Destroyer<GDALDestroyWarpOptions>>;
using WarpOperation = std::unique_ptr<void, Destroyer<GDALDestroyWarpOperation>>;
// The handle GDALScaledProgress takes: a share of a longer task's progress, told as the whole's.
using ScaledProgress = std::unique_ptr<void, Destroyer<GDALDestroyScaledProgress>>;
using Transform = std::unique_ptr<OGRCoordinateTransformation, Destroyer<OGRCoordinateTransformation::DestroyCT>>;

// Longitude first, whatever the authority's axis order.
OGRSpatialReference WebMercator();
OGRSpatialReference Wgs84();

// The system in WKT, as options ask ("FORMAT=WKT2_2019", "MULTILINE=NO"); empty when GDAL
// cannot write it so.
std::string WktOf(const OGRSpatialReference& crs, const CPLStringList& options = CPLStringList());

// "EPSG:n" where the system has a code, else its name.
std::string CrsText(const OGRSpatialReference& crs);

}  // namespace kartivo::geoimport
