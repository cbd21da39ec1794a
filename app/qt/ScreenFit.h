#pragma once

#include <QSize>

class QMainWindow;

namespace kartivo::qt {

// Where the screen holds the window at its drawn size (content below the menu bar), the window
// keeps that size and cannot be resized, as it was drawn. Where it does not (a small screen, a
// large scale factor), it starts as large as the screen allows, can be made smaller, and its
// content, which sits in a scroll area, scrolls; it never grows past the drawn size and the
// scroll bars it then needs.
void FitToScreen(QMainWindow& window, QSize content);

}  // namespace kartivo::qt
