// The programs' import in a build with GDAL: the module, opened on first use and called through
// its Importer. Until then no GDAL library is mapped, which keeps start-up, --version and a Make
// of a bitmap as light as a build without the import.

#include "geoimport/GeoImportModule.h"

#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

namespace kartivo::geoimport {
namespace {

// The module's place relative to the program's folder, the same in the build folder
// (bin/ beside lib/kartivo/) as under an install prefix.
std::string ModulePath() {
    std::array<char, 4096> self{};
    const ssize_t length = readlink("/proc/self/exe", self.data(), self.size() - 1);
    std::string folder = length > 0 ? std::string(self.data(), static_cast<std::size_t>(length)) : std::string();
    folder.erase(folder.find_last_of('/') + 1);
    return folder + KARTIVO_GEOIMPORT_MODULE;
}

struct LoadedModule {
    const ModuleTable* table = nullptr;
    std::string failure;  // why table is empty
};

LoadedModule Open(const std::string& path) {
    const auto refuse = [&path](const std::string& why) {
        return LoadedModule{nullptr, "the import module " + path + " cannot be loaded: " + why};
    };
    // Never closed: GDAL registers its drivers once and keeps them for the life of the process.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) return refuse(dlerror());
    const auto entry = reinterpret_cast<const ModuleTable* (*)()>(dlsym(handle, KARTIVO_GEOIMPORT_ENTRY));
    if (entry == nullptr) return refuse(dlerror());
    const ModuleTable* table = entry();
    // Only the first two fields are read before the module is known to be this build's own.
    if (table == nullptr || table->version != ModuleTableVersion || table->build == nullptr ||
        std::strcmp(table->build, KARTIVO_BUILD_IDENTITY) != 0) {
        return refuse("it comes from another build of Kartivo than this program (" KARTIVO_BUILD_IDENTITY
                      "); install or build Kartivo again as a whole");
    }
    return {table, {}};
}

const LoadedModule& Module() {
    static const LoadedModule module = Open(ModulePath());
    return module;
}

// Opens the module at its first use, not at start-up: asking whether the import is built maps
// nothing.
class ModuleImporter final : public Importer {
public:
    bool Built() const override { return true; }
    ImportPreparation Prepare(const std::string& sourcePath, const ImportOptions& options) const override {
        return Loaded().Prepare(sourcePath, options);
    }
    ImportPreparation PrepareTiles(const TileRequest& request) const override { return Loaded().PrepareTiles(request); }
    std::optional<std::int64_t> CachedTiles(const TileRequest& request) const override {
        return Loaded().CachedTiles(request);
    }
    std::optional<ForeignPicture> Describe(const std::string& path) const override { return Loaded().Describe(path); }
    bool IsGeoreferenced(const std::string& path) const override { return Loaded().IsGeoreferenced(path); }
    std::unique_ptr<ForeignPixels> OpenPixels(const std::string& path) const override {
        return Loaded().OpenPixels(path);
    }
    PointsFit FitPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                        kartivo::PointTransform transform, std::optional<PictureSize> picture) const override {
        return Loaded().FitPoints(points, crsWkt, transform, picture);
    }
    PointsSystem DescribeSystem(const std::string& text, SystemInput input) const override {
        return Loaded().DescribeSystem(text, input);
    }
    TransformedPoints TransformPoints(const std::vector<ControlPoint>& points, const std::string& fromWkt,
                                      const std::string& toWkt) const override {
        return Loaded().TransformPoints(points, fromWkt, toWkt);
    }

private:
    static const Importer& Loaded() {
        if (Module().table) return *Module().table->importer;
        static const UnavailableImporter failed(true, Module().failure);
        return failed;
    }
};

}  // namespace

std::string ModuleRefusal(const std::string& path) { return Open(path).failure; }

const Importer& TheImporter() {
    static const ModuleImporter importer;
    return importer;
}

}  // namespace kartivo::geoimport
