#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QMainWindow;

namespace kartivo::qt {

// Where the screen holds the window at its drawn size (content below the menu bar), the window
// keeps that size and cannot be resized, as it was drawn. Where it does not (a small screen, a
// large scale factor), it starts as large as the screen allows, can be made smaller, and its
// content, which sits in a scroll area, scrolls; it never grows past the drawn size and the
// scroll bars it then needs.
void FitToScreen(QMainWindow& window, QSize content);

// Where a second window stands beside the main one so that neither hides the other: frames
// in screen coordinates. It takes the side with room for its wanted width, else the larger
// room beside the main window; where that is narrower than minimumWidth, the main window moves
// to the screen's nearer edge first (moveMainTo). Only where even then the room is a strip does
// the second window overlap it, minimumWidth wide.
struct BesidePlace {
    QRect frame;
    std::optional<QPoint> moveMainTo;
};
BesidePlace PlaceBeside(const QRect& screen, const QRect& main, QSize wanted, int minimumWidth);

}  // namespace kartivo::qt
