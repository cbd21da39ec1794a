#pragma once
// The window's progress dialog: Qt's, shown only when the work lasts, with Cancel.

#include "app/UserInterface.h"

#include <memory>
#include <string>

class QWidget;

namespace kartivo::qt {

std::unique_ptr<ProgressDialog> ShowQtProgress(QWidget* owner, const std::string& text, const std::string& title);

}  // namespace kartivo::qt
