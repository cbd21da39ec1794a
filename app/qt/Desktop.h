#pragma once
// Kartivo's window as a person starts it: the dialogs, the model and the window over them, the
// model loaded and the window shown. The program, its screenshots and its picture window
// benchmark all start here, so they show the same window.

#include "app/Workspace.h"
#include "app/qt/MainWindow.h"
#include "app/qt/QtUserInterface.h"

namespace kartivo::qt {

struct Desktop {
    QtUserInterface ui;
    QtUserInterface pointsUi;
    Workspace workspace{ui, pointsUi};
    Form1& form = workspace.form;
    MainWindow window{workspace};

    Desktop() {
        ui.SetWindow(&window);
        window.onPictureWindow = [this](QWidget* pictures) { pointsUi.SetWindow(pictures, true); };
        form.Form_Load();
        window.show();
    }
};

}  // namespace kartivo::qt
