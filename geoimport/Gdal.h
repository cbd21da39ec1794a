#pragma once
// GDAL as the import uses it: set up once, its last error in words, and owners for every handle
// it gives out, so no path of the import frees anything by hand.

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

struct DatasetCloser {
    void operator()(void* dataset) const {
        if (dataset != nullptr) GDALClose(dataset);
    }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

// Read-only, as a raster; empty when GDAL cannot open it.
Dataset OpenRaster(const std::string& path);

struct GenImgProjTransformerDeleter {
    void operator()(void* transformer) const { GDALDestroyGenImgProjTransformer(transformer); }
};
using GenImgProjTransformer = std::unique_ptr<void, GenImgProjTransformerDeleter>;

// Any transformer GDAL made itself: a GCP polynomial or a thin plate spline.
struct TransformerDeleter {
    void operator()(void* transformer) const { GDALDestroyTransformer(transformer); }
};
using Transformer = std::unique_ptr<void, TransformerDeleter>;

struct ApproxTransformerDeleter {
    void operator()(void* transformer) const { GDALDestroyApproxTransformer(transformer); }
};
using ApproxTransformer = std::unique_ptr<void, ApproxTransformerDeleter>;

struct WarpOptionsDeleter {
    void operator()(GDALWarpOptions* options) const { GDALDestroyWarpOptions(options); }
};
using WarpOptions = std::unique_ptr<GDALWarpOptions, WarpOptionsDeleter>;

struct TransformDeleter {
    void operator()(OGRCoordinateTransformation* t) const { OGRCoordinateTransformation::DestroyCT(t); }
};
using Transform = std::unique_ptr<OGRCoordinateTransformation, TransformDeleter>;

// Longitude first, whatever the authority's axis order.
OGRSpatialReference WebMercator();
OGRSpatialReference Wgs84();

// "EPSG:n" where the system has a code, else its name.
std::string CrsText(const OGRSpatialReference& crs);

}  // namespace kartivo::geoimport
