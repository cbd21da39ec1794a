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

}  // namespace kartivo::qt
