// The module's side of the table. Built into kartivo-geoimport.so with GeoImport.cpp; the core
// functions it calls are the program's own (the programs export them), so a temporary file of an
// import is on the same list the program's Ctrl+C handler removes.

#include "geoimport/GeoImportModule.h"

namespace kartivo::geoimport {
namespace {

ImportStatus WriteJob(ImportJob& job, const std::vector<std::string>& outputPaths, const ImportProgress& progress,
                      const std::vector<FileIdentity>& alsoRead) {
    return job.Write(outputPaths, progress, alsoRead);
}

constexpr ModuleTable Table{
    .version = ModuleTableVersion,
    .build = KARTIVO_BUILD_IDENTITY,
    .describeForeignPicture = DescribeForeignPicture,
    .isGeoreferencedPicture = IsGeoreferencedPicture,
    .prepareImport = PrepareImport,
    .write = WriteJob,
    .closeSource = [](ImportJob::Source* source) { ImportJob::SourceCloser()(source); },
    .importNotes = ImportNotes,
    .resamplingFromName = ResamplingFromName,
    .openForeignPixels = ForeignPixels::Open,
    .readForeignPixels = [](ForeignPixels& pixels, const PictureRect& rect, std::int32_t step) {
        return pixels.Read(rect, step);
    },
    .closeForeignPixels = [](ForeignPixels::Source* source) { ForeignPixels::SourceCloser()(source); },
    .fitControlPoints = FitControlPoints,
    .describePointsSystem = DescribePointsSystem,
};

}  // namespace
}  // namespace kartivo::geoimport

extern "C" __attribute__((visibility("default"))) const kartivo::geoimport::ModuleTable* kartivo_geoimport_table() {
    return &kartivo::geoimport::Table;
}
