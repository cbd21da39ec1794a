#pragma once
// A transparent widget over a frame that takes files dropped anywhere on the frame: on its
// surface, and through Cover on the controls that stay above it.

#include <QStringList>
#include <QMimeData>
#include <QWidget>

#include <functional>

namespace kartivo::qt {

class DropTarget : public QWidget {
    Q_OBJECT

public:
    explicit DropTarget(QWidget* parent);

    std::function<void(const QStringList& paths)> onDrop;
    // Whether a drag of these files is taken at all; a refused one shows it cannot drop here.
    std::function<bool(const QStringList& paths)> takes;
    // Files dragged over one of the frame's controls are the frame's too; the control keeps
    // drags of text.
    void Cover(QWidget* control);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool Takes(const QMimeData* dragged) const;

    bool dragTaken_ = false;
};

// The local file paths a drop carries, in order; empty when it carries none.
QStringList DroppedFiles(const QMimeData* data);

}  // namespace kartivo::qt
