// The module's side of the table. Built into kartivo-geoimport.so with GeoImport.cpp; the core
// functions it calls are the program's own (the programs export them), so a temporary file of an
// import is on the same list the program's Ctrl+C handler removes.

#include "geoimport/GeoImportModule.h"

#include "geoimport/GeoImport.h"

namespace kartivo::geoimport {
namespace {

class GdalImporter final : public Importer {
public:
    bool Built() const override { return true; }
    ImportPreparation Prepare(const std::string& sourcePath, const ImportOptions& options) const override {
        return PrepareImport(sourcePath, options);
    }
    ImportPreparation PrepareTiles(const TileRequest& request) const override { return PrepareTileImport(request); }
    std::optional<std::int64_t> CachedTiles(const TileRequest& request) const override {
        return CountCachedTiles(request);
    }
    std::optional<ForeignPicture> Describe(const std::string& path) const override {
        return DescribeForeignPicture(path);
    }
    bool IsGeoreferenced(const std::string& path) const override { return IsGeoreferencedPicture(path); }
    std::unique_ptr<ForeignPixels> OpenPixels(const std::string& path) const override {
        return OpenForeignPixels(path);
    }
    PointsFit FitPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                        kartivo::PointTransform transform, std::optional<PictureSize> picture) const override {
        return FitControlPoints(points, crsWkt, transform, picture);
    }
    PointsSystem DescribeSystem(const std::string& text, SystemInput input) const override {
        return DescribePointsSystem(text, input);
    }
    TransformedPoints TransformPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                      const std::string& toWkt) const override {
        return TransformControlPoints(points, fromWkt, toWkt);
    }
};

const GdalImporter Gdal;

constexpr ModuleTable Table{
    .version = ModuleTableVersion,
    .build = KARTIVO_BUILD_IDENTITY,
    .importer = &Gdal,
};

}  // namespace
}  // namespace kartivo::geoimport

extern "C" __attribute__((visibility("default"))) const kartivo::geoimport::ModuleTable* kartivo_geoimport_table() {
    return &kartivo::geoimport::Table;
}
