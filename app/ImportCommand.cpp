// Importing a georeferenced picture from the window. Without the import built in, the menu
// item is left out and a drop only ever loads bitmaps.

#include "app/Form1.h"

#ifdef KARTIVO_IMPORT
#include "common/PathParts.h"
#include "geoimport/GeoImport.h"

#include <array>
#include <fstream>
#endif

namespace kartivo {

#ifdef KARTIVO_IMPORT

namespace {

constexpr const char* ImportTitle = "Import Georeferenced Picture";
constexpr const char* MessageTitle = "Kartivo";

// Bitmaps are loaded as they always were, even with a world file beside them.
bool StartsAsBitmap(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::array<char, 2> type{};
    return file.read(type.data(), type.size()) && type[0] == 'B' && type[1] == 'M';
}

}  // namespace

bool Form1::ImportAvailable() {
    return true;
}

bool Form1::IsImportablePicture(const std::string& path) {
    return !StartsAsBitmap(path) && geoimport::IsGeoreferencedPicture(path);
}

void Form1::mnuFileImportPicture_Click() {
    constexpr const char* patterns = "*.tif;*.tiff;*.png;*.jpg;*.jpeg;*.gif;*.jp2;*.img;*.vrt";
    const std::string path = ui_.ShowOpenDialog(
        {.filter = {{std::string("Georeferenced pictures(") + patterns + ")", patterns}, {"All(*.*)", "*.*"}},
         .title = ImportTitle});
    if (!path.empty()) ImportPicture(path);
}

bool Form1::ImportPicture(const std::string& sourcePath) {
    const geoimport::ImportPreparation prepared = geoimport::PrepareImport(sourcePath, {});
    if (!prepared.job) {
        ui_.ShowMessage("Cannot import " + sourcePath + ": " + prepared.status.message + ".", MessageTitle,
                        MessageIcon::Exclamation);
        return false;
    }
    const geoimport::ImportPlan& plan = prepared.job->Plan();
    FileDialogRequest request = OutputFileRequest("BMP", "bmp");
    request.title = ImportTitle;
    request.initialFolder = GetParentFolderName(plan.proposedPath);
    request.initialFileName = plan.proposedPath;
    const std::string outputPath = ui_.ShowSaveDialog(request);
    if (outputPath.empty()) return false;

    const std::unique_ptr<ProgressDialog> progress = ui_.ShowProgress("Importing " + sourcePath, ImportTitle);
    ui_.SetBusyPointer(true);
    const geoimport::ImportStatus written =
        prepared.job->Write(outputPath, [&progress](double fraction) { return !progress || progress->Advance(fraction); });
    ui_.SetBusyPointer(false);
    if (written.error == geoimport::ImportError::Canceled) return false;
    if (written.error != geoimport::ImportError::None) {
        ui_.ShowMessage(written.message, MessageTitle, MessageIcon::Stop);
        return false;
    }
    if (const std::string notes = geoimport::ImportNotes(plan); !notes.empty()) {
        ui_.ShowMessage("Imported " + sourcePath + ": " + notes + ".", MessageTitle, MessageIcon::Exclamation);
    }
    lblDragIn_OLEDragDrop({outputPath});
    return true;
}

#else

bool Form1::ImportAvailable() {
    return false;
}

bool Form1::IsImportablePicture(const std::string&) {
    return false;
}

void Form1::mnuFileImportPicture_Click() {}

bool Form1::ImportPicture(const std::string&) {
    return false;
}

#endif

}  // namespace kartivo
