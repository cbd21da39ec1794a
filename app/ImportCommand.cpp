// Importing a georeferenced picture from the window. Without the import built in, the menu
// item is left out and a drop only ever loads bitmaps.

#include "app/Form1.h"

#include "common/PathParts.h"

#include "geoimport/Importer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>

namespace kartivo {

namespace {

// Bitmaps are loaded as they always were, even with a world file beside them.
bool StartsAsBitmap(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<char, 2> type{};
    return file.read(type.data(), type.size()) && type[0] == 'B' && type[1] == 'M';
}

// A ".bmp" that is none is still taken: loading tells what is wrong with it.
bool NamedAsBitmap(const std::string& path) {
    std::string extension = GetExtensionName(path);
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return std::tolower(c); });
    return extension == "bmp";
}

}  // namespace

bool Form1::TakesInputDrop(const std::string& path) {
    return NamedAsBitmap(path) || StartsAsBitmap(path) || IsImportablePicture(path);
}

bool Form1::TakesMapDataDrop(const std::string& path) {
    return GetExtensionName(path) == "mbx";
}

namespace {

constexpr const char* ImportTitle = "Import Georeferenced Picture";
constexpr const char* MessageTitle = "Kartivo";

}  // namespace

bool Form1::ImportAvailable() {
    return geoimport::TheImporter().Built();
}

bool Form1::IsImportablePicture(const std::string& path) {
    return !StartsAsBitmap(path) && geoimport::TheImporter().IsGeoreferenced(path);
}

void Form1::mnuFileImportPicture_Click() {
    constexpr const char* patterns = "*.tif;*.tiff;*.png;*.jpg;*.jpeg;*.gif;*.jp2;*.img;*.vrt;*.nc;*.h5;*.hdf5";
    const std::string path = ui_.ShowOpenDialog(
        {.filter = {{std::string("Georeferenced pictures(") + patterns + ")", patterns}, {"All(*.*)", "*.*"}},
         .title = ImportTitle});
    if (!path.empty()) ImportPicture(path);
}

bool Form1::ImportPicture(const std::string& sourcePath) {
    return ImportPicture(sourcePath, {}, PointTransform::Polynomial1, "");
}

bool Form1::ImportPicture(const std::string& sourcePath, const std::vector<ControlPoint>& points,
                          PointTransform transform, const std::string& pointsCrs) {
    geoimport::ImportOptions options;
    options.points = points;
    options.pointsCrs = pointsCrs;
    options.pointTransform = transform;
    geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(sourcePath, options);
    // Elevations are no picture until shaded; the person says how.
    if (!prepared.job && prepared.status.error == geoimport::ImportError::Elevations) {
        const std::optional<std::size_t> choice =
            ui_.AskChoice(sourcePath + " holds elevations, not a picture's colours. Import it as shaded relief, in "
                                       "grey or over colours by height?",
                          ImportTitle, {"Grey relief", "Relief in colours", "Cancel"});
        if (!choice || *choice > 1) return false;
        options.relief = *choice == 0 ? geoimport::Relief::Grey : geoimport::Relief::Colour;
        prepared = geoimport::TheImporter().Prepare(sourcePath, options);
    }
    // A scan without a georeference can get one from points placed on it.
    if (!prepared.job && prepared.status.error == geoimport::ImportError::NoGeoreference && points.empty() &&
        offerGeoreference && offerGeoreference(sourcePath)) {
        return false;
    }
    // A file of several pictures: the person picks the one to import, as GDAL describes each.
    if (!prepared.job && prepared.status.error == geoimport::ImportError::HoldsSubdatasets &&
        !prepared.subdatasets.empty()) {
        std::vector<std::string> choices;
        for (const geoimport::Subdataset& one : prepared.subdatasets) choices.push_back(one.description);
        const std::optional<std::size_t> picked =
            ui_.AskChoice(sourcePath + " holds " + std::to_string(choices.size()) +
                              " pictures (subdatasets). Which one do you want to import?",
                          ImportTitle, choices);
        if (!picked || *picked >= prepared.subdatasets.size()) return false;
        return ImportPicture(prepared.subdatasets[*picked].name, points, transform, pointsCrs);
    }
    if (!prepared.job) {
        ui_.ShowMessage("Cannot import " + sourcePath + ": " + prepared.status.message + ".", MessageTitle,
                        MessageIcon::Exclamation);
        return false;
    }
    // Titled by what the person is doing: importing, or saving the scan they georeferenced.
    const bool byPoints = !points.empty();
    return SaveImport(*prepared.job, byPoints ? "Save Georeferenced Picture" : ImportTitle,
                      (byPoints ? "Georeferencing " : "Importing ") + sourcePath, sourcePath);
}

bool Form1::SaveImport(geoimport::ImportJob& job, const std::string& title, const std::string& doing,
                       const std::string& source) {
    // A picture split at 180 degrees is saved as the west part; the east part goes beside it
    // under its own name.
    const std::vector<geoimport::ImportPlan>& parts = job.Parts();
    const geoimport::ImportPlan& plan = parts.front();
    FileDialogRequest request = OutputFileRequest("BMP", "bmp");
    request.title = title;
    request.initialFolder = GetParentFolderName(plan.proposedPath);
    request.initialFileName = plan.proposedPath;
    const std::string outputPath = ui_.ShowSaveDialog(request);
    if (outputPath.empty()) return false;
    std::vector<std::string> outputPaths{outputPath};
    const std::string folder = GetParentFolderName(outputPath);
    for (std::size_t i = 1; i < parts.size(); ++i) {
        outputPaths.push_back(folder.empty() ? parts[i].fileName : folder + PreferredSeparator() + parts[i].fileName);
    }

    const std::unique_ptr<ProgressDialog> progress = ui_.ShowProgress(doing, title);
    ui_.SetBusyPointer(true);
    const geoimport::ImportStatus written =
        job.Write(outputPaths, [&progress](double fraction) { return !progress || progress->Advance(fraction); });
    ui_.SetBusyPointer(false);
    if (written.error == geoimport::ImportError::Canceled) return false;
    if (written.error != geoimport::ImportError::None) {
        ui_.ShowMessage(written.message, MessageTitle, MessageIcon::Stop);
        return false;
    }
    if (const std::string warning = job.Warning(); !warning.empty()) {
        ui_.ShowMessage(outputPath + ": " + warning + ".", MessageTitle, MessageIcon::Exclamation);
    }
    if (const std::string notes = geoimport::ImportNotes(parts, outputPaths); !notes.empty()) {
        const std::string asFiles = parts.size() > 1 ? " as " + outputPaths[0] + " and " + outputPaths[1] : "";
        ui_.ShowMessage("Imported " + source + asFiles + ": " + notes + ".", MessageTitle, MessageIcon::Exclamation);
    }
    lblDragIn_OLEDragDrop({outputPath});
    return true;
}

}  // namespace kartivo
