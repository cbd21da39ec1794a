#include "app/qt/WindowIcon.h"

#include "app/qt/KartivoIcon.h"

#include <QByteArray>
#include <QPainter>
#include <QPixmap>
#include <QSvgRenderer>

namespace kartivo::qt {

QIcon KartivoIcon() {
    // Rendered here rather than through Qt's SVG icon plugin, which a desktop may not have.
    QSvgRenderer renderer{QByteArray(KartivoIconSvg)};
    QIcon icon;
    if (!renderer.isValid()) return icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace kartivo::qt
