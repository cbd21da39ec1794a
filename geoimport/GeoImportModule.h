#pragma once
// What the import module hands the programs: one C entry point returning a table of the import's
// functions. The programs open the module only when a picture needs GDAL, so a Make, a
// Write Informations or an info of a bitmap never maps GDAL and its hundred-odd libraries.

#include "geoimport/GeoImport.h"

#include <cstdint>

namespace kartivo::geoimport {

struct ModuleTable {
    // These two come first in every version of the table. version is raised whenever they or
    // the table change; build names the exact build the module comes from (a digest of the
    // headers its types are made of, the compiler and the flags), so a module from any other
    // build, whatever its version, is refused instead of called with the wrong layout.
    std::uint32_t version;
    const char* build;
    std::optional<ForeignPicture> (*describeForeignPicture)(const std::string& path);
    bool (*isGeoreferencedPicture)(const std::string& path);
    ImportPreparation (*prepareImport)(const std::string& sourcePath, const ImportOptions& options);
    ImportStatus (*write)(ImportJob& job, const std::vector<std::string>& outputPaths, const ImportProgress& progress,
                          const std::vector<FileIdentity>& alsoRead);
    // Closes a job's source: only the module knows what it holds.
    void (*closeSource)(ImportJob::Source* source);
    std::string (*importNotes)(const std::vector<ImportPlan>& parts, const std::vector<std::string>& outputPaths);
    std::optional<Resampling> (*resamplingFromName)(std::string_view name);
    std::unique_ptr<ForeignPixels> (*openForeignPixels)(const std::string& path);
    ReducedPictureResult (*readForeignPixels)(ForeignPixels& pixels, const PictureRect& rect, std::int32_t step);
    void (*closeForeignPixels)(ForeignPixels::Source* source);
    PointsFit (*fitControlPoints)(const std::vector<ControlPoint>& points, const std::string& crsWkt,
                                  kartivo::PointTransform transform, std::optional<PictureSize> picture);
    PointsSystem (*describePointsSystem)(const std::string& text, SystemInput input);
};

inline constexpr std::uint32_t ModuleTableVersion = 9;

}  // namespace kartivo::geoimport

namespace kartivo::geoimport {

// Why the programs would refuse the module at path ("it comes from another build..."); empty
// when they would use it.
std::string ModuleRefusal(const std::string& path);

}  // namespace kartivo::geoimport

// The one symbol the module exports.
#define KARTIVO_GEOIMPORT_ENTRY "kartivo_geoimport_table"
extern "C" const kartivo::geoimport::ModuleTable* kartivo_geoimport_table();
