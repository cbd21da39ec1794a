#pragma once
// The window's models together: the form, the picture it shows, the control points placed on
// it and the map fetched from a tile server. They are wired one to another here, below Qt, so
// the Qt layer only builds widgets and forwards what the person does.

#include "app/Form1.h"
#include "app/Georeferencing.h"
#include "app/PictureView.h"
#include "app/TileServerMap.h"

#include <functional>
#include <string>

namespace kartivo {

class Workspace {
public:
    explicit Workspace(UserInterface& ui, FileSystem& fileSystem = DefaultFileSystem());
    // Placing points asks and tells through pointsUi: the picture window's own dialogs.
    Workspace(UserInterface& ui, UserInterface& pointsUi, FileSystem& fileSystem = DefaultFileSystem());
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // "Show Picture" and a double click on the "In" frame: the picture window comes up.
    void ShowPicture();
    // File > Georeference Picture...: asks for a scan and starts placing points on it.
    void GeoreferencePicture();
    // Shows the picture in the picture window and starts placing points on it.
    void StartGeoreferencing(const std::string& picturePath);

    // The picture window is to come up; the view shows it before the picture is read, so the
    // picture is read for the window's real size.
    std::function<void()> onShowPicture;

    Form1 form;
    PictureView picture;
    Georeferencing georeferencing;
    TileServerMap tiles;
};

}  // namespace kartivo
