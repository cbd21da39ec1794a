#pragma once
// The picture window: draws what the picture view model decides and hands it the wheel, the
// drags, the scroll bars and the pointer. A second top-level window beside the main one.

#include <QAbstractScrollArea>
#include <QMainWindow>

#include <functional>
#include <optional>

class QComboBox;
class QDockWidget;
class QLabel;
class QPushButton;
class QTableWidget;

namespace kartivo {
class Georeferencing;
class PictureView;
class TileServerMap;
}

namespace kartivo::qt {

class PictureCanvas : public QAbstractScrollArea {
    Q_OBJECT

public:
    PictureCanvas(PictureView& view, Georeferencing& points, TileServerMap& tiles, QWidget* parent);
    // Scroll bars and picture from the model.
    void Follow();

    std::function<void(const QString&)> onPointer;
    // The point chosen in the table, which the arrow keys move; and choosing one on the picture.
    std::function<std::optional<std::size_t>()> selected;
    std::function<void(std::optional<std::size_t>)> onSelect;
    // Where Enter places a point, moved by the arrow keys while no point is chosen.
    std::optional<QPointF> Crosshair() const { return cross_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    double Ratio() const;
    void TellPointer(QPointF position);
    // The picture position (pixels, 0,0 its top-left corner) under a point of the window.
    QPointF PictureAt(QPointF position) const;
    // And back: where a picture position lies on the canvas.
    QPointF ScreenAt(QPointF picture) const;
    void DrawPoints(QPainter& painter);
    void DrawTileBox(QPainter& painter, double pixel);
    bool ScrollKey(const QKeyEvent& event);
    void MoveByKey(double dx, double dy);

    PictureView& view_;
    Georeferencing& points_;
    TileServerMap& tiles_;
    QPointF dragFrom_;
    QPointF pressedAt_;
    bool dragging_ = false;
    std::optional<std::size_t> draggedPoint_;
    bool following_ = false;
    std::optional<QPointF> cross_;
    std::optional<QPointF> boxTo_;  // the far corner of a rectangle being dragged over a tile source
    bool drawsBox_ = false;
};

class PictureWindow : public QMainWindow {
    Q_OBJECT

public:
    PictureWindow(PictureView& view, Georeferencing& points, TileServerMap& tiles, QWidget* parent);
    // Comes up, or to the front, when the model is shown; otherwise follows it.
    void Follow();
    PictureCanvas* Canvas() const { return canvas_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildPointsPanel();
    void FollowPoints();
    void MakeRoomForPoints();
    void StandBesideMain(QSize wanted);

    PictureView& view_;
    Georeferencing& points_;
    TileServerMap& tiles_;
    PictureCanvas* canvas_;
    QDockWidget* pointsPanel_ = nullptr;
    QTableWidget* table_ = nullptr;
    QComboBox* transform_ = nullptr;
    QLabel* system_ = nullptr;
    QLabel* summary_ = nullptr;
    QPushButton* georeference_ = nullptr;
    QLabel* pointer_;
    QLabel* bandNote_ = nullptr;
    QAction* preview_;
};

}  // namespace kartivo::qt
