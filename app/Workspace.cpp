#include "app/Workspace.h"

namespace kartivo {

Workspace::Workspace(UserInterface& ui, FileSystem& fileSystem) : Workspace(ui, ui, fileSystem) {}

Workspace::Workspace(UserInterface& ui, UserInterface& pointsUi, FileSystem& fileSystem)
    : form(ui, fileSystem), picture(form, fileSystem),
      georeferencing(picture, pointsUi,
                     [this](const std::string& path, const std::vector<ControlPoint>& points, PointTransform transform,
                            const std::string& crsWkt) { return form.ImportPicture(path, points, transform, crsWkt); },
                     fileSystem),
      tiles(form, picture, [this](const std::string& path) {
          if (onShowPicture) onShowPicture();
          picture.ShowPicture(path);
      }) {
    form.onMapChange = [this](bool pictureLoaded) { picture.MapChanged(pictureLoaded); };
    // A scan the import refused for carrying no georeference can get one from points.
    form.offerGeoreference = [this](const std::string& path) {
        if (!georeferencing.OfferFor(path)) return false;
        StartGeoreferencing(path);
        return true;
    };
}

void Workspace::ShowPicture() {
    if (onShowPicture) onShowPicture();
    picture.Show();
}

void Workspace::GeoreferencePicture() {
    if (const std::string path = georeferencing.ChoosePicture(); !path.empty()) StartGeoreferencing(path);
}

// The window comes up first, so the scan is read for its real size; the window's input picture
// is not read on the way, only to be replaced by the scan.
void Workspace::StartGeoreferencing(const std::string& picturePath) {
    if (onShowPicture) onShowPicture();
    georeferencing.Start(picturePath);
}

}  // namespace kartivo
