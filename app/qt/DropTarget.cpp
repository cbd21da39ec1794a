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

bool DropTarget::Takes(const QMimeData* dragged) const {
    // Dragged text carries no files and is refused at once.
    const QStringList paths = DroppedFiles(dragged);
    return !paths.isEmpty() && (!takes || takes(paths));
}

void DropTarget::dragEnterEvent(QDragEnterEvent* event) {
    // Judged once per drag: the check may open the file, and moves come by the hundred.
    dragTaken_ = Takes(event->mimeData());
    if (dragTaken_) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DropTarget::dragMoveEvent(QDragMoveEvent* event) {
    if (dragTaken_) {
        event->acceptProposedAction();
    } else {
        event->ignore();
    }
}

void DropTarget::dropEvent(QDropEvent* event) {
    if (!Takes(event->mimeData())) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    if (onDrop) onDrop(DroppedFiles(event->mimeData()));
}

void DropTarget::Cover(QWidget* control) {
    control->setAcceptDrops(true);
    control->installEventFilter(this);
}

bool DropTarget::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QWidget::eventFilter(watched, event);
    }
    auto* drag = static_cast<QDropEvent*>(event);
    if (DroppedFiles(drag->mimeData()).isEmpty()) return false;
    if (type == QEvent::DragEnter) {
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
    } else if (type == QEvent::DragMove) {
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
    } else {
        dropEvent(drag);
    }
    return true;
}

}  // namespace kartivo::qt
