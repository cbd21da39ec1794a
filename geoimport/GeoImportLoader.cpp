// The programs' side of GeoImport.h: each function opens the import module on first use and
// calls into it. Until then no GDAL library is mapped, which keeps start-up, --version and a
// Make of a bitmap as light as a build without the import.

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

}  // namespace

std::string ModuleRefusal(const std::string& path) { return Open(path).failure; }

std::optional<Resampling> ResamplingFromName(std::string_view name) {
    // Without the module no import runs and PrepareImport says why; refusing the name here
    // would hide that behind a usage error.
    if (!Module().table) return Resampling::Nearest;
    return Module().table->resamplingFromName(name);
}

std::optional<ForeignPicture> DescribeForeignPicture(const std::string& path) {
    if (!Module().table) return std::nullopt;
    return Module().table->describeForeignPicture(path);
}

bool IsGeoreferencedPicture(const std::string& path) {
    return Module().table && Module().table->isGeoreferencedPicture(path);
}

ImportPreparation PrepareImport(const std::string& sourcePath, const ImportOptions& options) {
    if (!Module().table) return {nullptr, {ImportError::OpenFailed, Module().failure}};
    return Module().table->prepareImport(sourcePath, options);
}

PointsFit FitControlPoints(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                           kartivo::PointTransform transform, std::optional<PictureSize> picture) {
    if (!Module().table) return {.status = {ImportError::OpenFailed, Module().failure}};
    return Module().table->fitControlPoints(points, crsWkt, transform, picture);
}

PointsSystem DescribePointsSystem(const std::string& text, SystemInput input) {
    if (!Module().table) return {.status = {ImportError::OpenFailed, Module().failure}};
    return Module().table->describePointsSystem(text, input);
}

std::string ImportNotes(const std::vector<ImportPlan>& parts, const std::vector<std::string>& outputPaths) {
    return Module().table ? Module().table->importNotes(parts, outputPaths) : std::string();
}

// A job only ever comes from the module, so the module is open whenever one exists.
void ImportJob::SourceCloser::operator()(Source* source) const {
    Module().table->closeSource(source);
}

ImportJob::~ImportJob() = default;

ImportStatus ImportJob::Write(const std::vector<std::string>& outputPaths, const ImportProgress& progress,
                              const std::vector<FileIdentity>& alsoRead) {
    return Module().table->write(*this, outputPaths, progress, alsoRead);
}

std::unique_ptr<ForeignPixels> ForeignPixels::Open(const std::string& path) {
    if (!Module().table) return nullptr;
    return Module().table->openForeignPixels(path);
}

// Opened pixels only ever come from the module, so the module is open whenever they exist.
void ForeignPixels::SourceCloser::operator()(Source* source) const {
    Module().table->closeForeignPixels(source);
}

ForeignPixels::~ForeignPixels() = default;

ReducedPictureResult ForeignPixels::Read(const PictureRect& rect, std::int32_t step) {
    return Module().table->readForeignPixels(*this, rect, step);
}

}  // namespace kartivo::geoimport
