#include "app/qt/ScreenFit.h"

#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QStyle>

#include <algorithm>

namespace kartivo::qt {

void FitToScreen(QMainWindow& window, QSize content) {
    const QSize drawn = content + QSize(0, window.menuBar()->sizeHint().height());
    // The desktop's frame is unknown before the window is shown; a title bar stands for it.
    const QSize room = window.screen()->availableGeometry().size() -
                       QSize(0, window.style()->pixelMetric(QStyle::PM_TitleBarHeight));
    if (drawn.width() <= room.width() && drawn.height() <= room.height()) {
        window.setFixedSize(drawn);
        return;
    }
    const int bar = window.style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    QSize largest = drawn;
    // A vertical scroll bar takes width, which may in turn call for a horizontal one.
    const bool scrollsVertically = drawn.height() > room.height();
    if (scrollsVertically) largest.rwidth() += bar;
    if (largest.width() > room.width()) largest.rheight() += bar;
    if (!scrollsVertically && largest.height() > room.height()) largest.rwidth() += bar;
    window.setMinimumSize(largest.boundedTo(QSize(160, 120)));
    window.setMaximumSize(largest);
    window.resize(largest.boundedTo(room));
}

BesidePlace PlaceBeside(const QRect& screen, const QRect& main, QSize wanted, int minimumWidth) {
    constexpr int Gap = 8;
    BesidePlace place;
    QRect at = main;
    const auto rightRoom = [&] { return screen.right() - at.right() - Gap; };
    const auto leftRoom = [&] { return at.left() - screen.left() - Gap; };
    const int width = std::min(wanted.width(), screen.width());
    if (std::max(rightRoom(), leftRoom()) < std::min(width, minimumWidth)) {
        // Towards the nearer edge, which leaves the most room on the other side.
        const bool toLeft = at.center().x() - screen.left() <= screen.right() - at.center().x();
        const QPoint edge(toLeft ? screen.left() : screen.right() + 1 - at.width(), at.top());
        if (edge != at.topLeft()) {
            place.moveMainTo = edge;
            at.moveTopLeft(edge);
        }
    }
    const bool right = rightRoom() >= width || (leftRoom() < width && rightRoom() >= leftRoom());
    const int room = std::max(right ? rightRoom() : leftRoom(), 0);
    // Narrower than the wanted width rather than over the main window, down to a strip too
    // thin to show anything.
    constexpr int Thinnest = 200;
    const int across = room >= Thinnest ? std::min(width, room) : std::min(width, minimumWidth);
    int left = right ? at.right() + 1 + Gap : at.left() - Gap - across;
    left = std::clamp(left, screen.left(), std::max(screen.left(), screen.right() + 1 - across));
    const int height = std::min(wanted.height(), screen.height());
    const int top = std::clamp(at.top(), screen.top(), screen.bottom() + 1 - height);
    place.frame = QRect(left, top, across, height);
    return place;
}

}  // namespace kartivo::qt
