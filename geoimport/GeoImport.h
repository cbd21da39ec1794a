#pragma once
// The import module's own functions, behind the programs' Importer (GdalImporter in
// GeoImportModule.cpp hands them over). Only the module's sources include this header.

#include "geoimport/Importer.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kartivo::geoimport {

// The Importer's calls, as the module carries them out; see Importer.h.
ImportPreparation PrepareImport(const std::string& sourcePath, const ImportOptions& options);
std::optional<ForeignPicture> DescribeForeignPicture(const std::string& path);
bool IsGeoreferencedPicture(const std::string& path);
std::unique_ptr<ForeignPixels> OpenForeignPixels(const std::string& path);
PointsFit FitControlPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                           kartivo::PointTransform transform, std::optional<PictureSize> picture);
PointsSystem DescribePointsSystem(const std::string& text, SystemInput input);
TransformedPoints TransformControlPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                         const std::string& toWkt);

ImportPreparation PrepareTileImport(const TileRequest& request);
std::optional<std::int64_t> CountCachedTiles(const TileRequest& request);

}  // namespace kartivo::geoimport
