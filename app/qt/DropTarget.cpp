#include "app/qt/DropTarget.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace kartivo::qt {

QStringList DroppedFiles(const QMimeData* data) {
    QStringList paths;
    if (data == nullptr) return paths;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
}

DropTarget::DropTarget(QWidget* parent) : QWidget(parent) {
    setAcceptDrops(true);
    // No background: the captions underneath stay visible.
    setAttribute(Qt::WA_NoSystemBackground);
}

void DropTarget::dragEnterEvent(QDragEnterEvent* event) {
    // Only drops that carry files are taken; dragged text is refused at once.
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DropTarget::dragMoveEvent(QDragMoveEvent* event) {
    if (!DroppedFiles(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void DropTarget::dropEvent(QDropEvent* event) {
    const QStringList paths = DroppedFiles(event->mimeData());
    if (paths.isEmpty()) return;
    event->acceptProposedAction();
    if (onDrop) onDrop(paths);
}

}  // namespace kartivo::qt
