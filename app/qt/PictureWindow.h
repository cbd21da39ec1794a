#pragma once
// The picture window: draws what the picture view model decides and hands it the wheel, the
// drags, the scroll bars and the pointer. A second top-level window beside the main one.

#include <QAbstractScrollArea>
#include <QMainWindow>

class QLabel;

namespace kartivo {
class PictureView;
}

namespace kartivo::qt {

class PictureCanvas : public QAbstractScrollArea {
    Q_OBJECT

public:
    PictureCanvas(PictureView& view, QWidget* parent);
    // Scroll bars and picture from the model.
    void Follow();

    std::function<void(const QString&)> onPointer;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    double Ratio() const;
    void TellPointer(QPointF position);

    PictureView& view_;
    QPointF dragFrom_;
    bool dragging_ = false;
    bool following_ = false;
};

class PictureWindow : public QMainWindow {
    Q_OBJECT

public:
    PictureWindow(PictureView& view, QWidget* parent);
    // Comes up, or to the front, when the model is shown; otherwise follows it.
    void Follow();
    PictureCanvas* Canvas() const { return canvas_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    PictureView& view_;
    PictureCanvas* canvas_;
    QLabel* pointer_;
    QAction* preview_;
};

}  // namespace kartivo::qt
