#pragma once
// What the import module hands the programs: one C entry point returning a table of the import's
// functions. The programs open the module only when a picture needs GDAL, so a Make, a
// Write Informations or an info of a bitmap never maps GDAL and its hundred-odd libraries.

#include "geoimport/GeoImport.h"

#include <cstdint>

namespace kartivo::geoimport {

struct ModuleTable {
    // Raised whenever the table or a type it passes changes; a module built apart from the
    // program it is found beside is refused instead of called with the wrong layout.
    std::uint32_t version;
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

inline constexpr std::uint32_t ModuleTableVersion = 8;

}  // namespace kartivo::geoimport

// The one symbol the module exports.
#define KARTIVO_GEOIMPORT_ENTRY "kartivo_geoimport_table"
extern "C" const kartivo::geoimport::ModuleTable* kartivo_geoimport_table();
