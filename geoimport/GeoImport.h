#pragma once
// The import module's own functions, behind the programs' Importer (GdalImporter in
// GeoImportModule.cpp hands them over). Only the module's sources include this header.

#include "geoimport/Importer.h"
#include "geoimport/TileMosaic.h"

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

// One part of a tile area: its pixels at the zoom, the centres of its corner pixels, and its
// name's "_west" or "_east" where the area is split at the 180th meridian.
struct TilePart {
    TileWindow window;
    MapCorners corners;
    std::string part;
    bool cut = false;  // rows beyond 85.0511 degrees were left out
};

struct TileImportSource {
    std::string mapName;
    std::string folder;  // where the parts are proposed to go; empty: the working folder
    std::vector<TilePart> parts;
    TileUrl url;
    TileFetchOptions fetch;
    std::int64_t maxTiles = 2500;  // tiles not yet cached that one import may fetch
};

// Plans a tile area's parts as an import of a picture plans its own; reads no tile. Refused
// when more tiles than maxTiles are not yet cached, or a part's bitmap would be too large.
ImportPreparation PrepareTileImport(const TileImportSource& tiles);

}  // namespace kartivo::geoimport
