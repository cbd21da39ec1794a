#pragma once
// Everything the window model asks of the person in front of it: message boxes, the alarm
// box, file dialogs, the busy pointer and closing the window. The Qt view implements it;
// tests script it.

#include "common/FileDialog.h"
#include "common/MessageBox.h"

namespace kartivo {

class UserInterface : public MessageBoxes, public FileDialogs {
public:
    virtual void SetBusyPointer(bool busy) = 0;
    // Closes the main window, which ends the program.
    virtual void CloseWindow() = 0;
};

}  // namespace kartivo
