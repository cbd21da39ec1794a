#include "app/qt/PictureWindow.h"

#include "app/Georeferencing.h"
#include "app/PictureView.h"
#include "app/TileServerMap.h"
#include "app/qt/AccessKeys.h"
#include "app/qt/ScreenFit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDockWidget>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QStyle>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace kartivo::qt {

namespace {

// One notch of a wheel zooms by this much; finer wheels and touchpads in proportion.
constexpr double NotchZoom = 1.25;
// Narrower, the picture and the points table beside it would each be a strip.
constexpr int MinimumWidth = 480;

// The part of an image that falls into the visible rectangle (in picture pixels): which of its
// pixels, and where they lie.
struct VisiblePart {
    QRect source;
    QRectF target;
};

std::optional<VisiblePart> PartInView(const ViewImage& image, const QRectF& visible) {
    const double perColumn = (image.area.right - image.area.left) / image.columns;
    const double perRow = (image.area.bottom - image.area.top) / image.rows;
    const int first = std::max(0, static_cast<int>(std::floor((visible.left() - image.area.left) / perColumn)));
    const int last = std::min(image.columns, static_cast<int>(std::ceil((visible.right() - image.area.left) / perColumn)));
    const int top = std::max(0, static_cast<int>(std::floor((visible.top() - image.area.top) / perRow)));
    const int bottom = std::min(image.rows, static_cast<int>(std::ceil((visible.bottom() - image.area.top) / perRow)));
    if (first >= last || top >= bottom) return std::nullopt;
    return VisiblePart{QRect(first, top, last - first, bottom - top),
                       QRectF(image.area.left + first * perColumn, image.area.top + top * perRow,
                              (last - first) * perColumn, (bottom - top) * perRow)};
}

}  // namespace

PictureCanvas::PictureCanvas(PictureView& view, Georeferencing& points, TileServerMap& tiles, QWidget* parent)
    : QAbstractScrollArea(parent), view_(view), points_(points), tiles_(tiles) {
    setObjectName("pictureCanvas");
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::OpenHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

double PictureCanvas::Ratio() const { return viewport()->devicePixelRatioF(); }

void PictureCanvas::Follow() {
    // Over a tile source a drag draws the box; the pointer says so. Set only as that changes:
    // a drag's own pointer stays while the picture follows it.
    if (tiles_.Active() != drawsBox_) {
        drawsBox_ = tiles_.Active();
        viewport()->setCursor(drawsBox_ ? Qt::CrossCursor : Qt::OpenHandCursor);
    }
    // The bars show where the model has put the picture; their own signals would move it again.
    following_ = true;
    const double scale = view_.Scale();
    const double ratio = Ratio();
    const auto setBar = [](QScrollBar* bar, double shown, double view, double start) {
        const double range = std::max(0.0, shown - view);
        bar->setRange(0, static_cast<int>(std::min(range, 1e9)));
        bar->setPageStep(static_cast<int>(view));
        bar->setValue(static_cast<int>(std::clamp(start, 0.0, range)));
    };
    setBar(horizontalScrollBar(), view_.ShownWidth() * scale / ratio, viewport()->width(), view_.Left() * scale / ratio);
    setBar(verticalScrollBar(), view_.ShownHeight() * scale / ratio, viewport()->height(), view_.Top() * scale / ratio);
    following_ = false;
    viewport()->update();
}

void PictureCanvas::scrollContentsBy(int, int) {
    if (following_) return;
    const double ratio = Ratio();
    view_.ScrollTo(horizontalScrollBar()->value() * ratio, verticalScrollBar()->value() * ratio);
}

void PictureCanvas::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    // Lines far enough apart for their labels in this font at this scale.
    view_.SetGridSpacing(std::max(80.0, (fontMetrics().horizontalAdvance("+179°59'") + 12) * Ratio()));
    view_.SetViewport(viewport()->width() * Ratio(), viewport()->height() * Ratio());
}

void PictureCanvas::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (!view_.Message().empty()) {
        painter.setPen(palette().color(QPalette::BrightText));
        painter.drawText(viewport()->rect().adjusted(12, 12, -12, -12), Qt::AlignCenter | Qt::TextWordWrap,
                         QString::fromStdString(view_.Message()));
        return;
    }
    // Everything is placed in picture pixels; the painter takes them to the screen's pixels.
    const double ratio = Ratio();
    const double scale = view_.Scale() / ratio;
    painter.scale(scale, scale);
    painter.translate(-view_.Left(), -view_.Top());
    const QRectF shown(0, 0, view_.ShownWidth(), view_.ShownHeight());
    const QRectF visible = QRectF(view_.Left(), view_.Top(), viewport()->width() / scale,
                                  viewport()->height() / scale).intersected(shown);
    painter.setClipRect(shown);
    for (const ViewImage& image : view_.Images()) {
        const auto part = PartInView(image, visible);
        if (!part) continue;
        const QImage pixels(reinterpret_cast<const uchar*>(image.pixels), image.columns, image.rows,
                            static_cast<qsizetype>(image.columns) * 4, QImage::Format_RGB32);
        painter.drawImage(part->target, pixels, part->source);
    }

    // Lines one screen pixel wide whatever the zoom: a light grid, the output's band in red.
    QPen gridPen(QColor(255, 255, 255, 150), 0);
    QPen shadowPen(QColor(0, 0, 0, 90), 0);
    const double pixel = 1 / scale;
    for (const GridLine& line : view_.Grid()) {
        const QLineF at = line.latitude ? QLineF(visible.left(), line.position, visible.right(), line.position)
                                        : QLineF(line.position, visible.top(), line.position, visible.bottom());
        painter.setPen(shadowPen);
        painter.drawLine(at.translated(pixel, pixel));
        painter.setPen(gridPen);
        painter.drawLine(at);
    }
    // What Make leaves out is shaded and hatched, so it stays apart from the grey around the
    // picture; the band itself keeps the map's own colours.
    if (const auto band = view_.Band()) {
        const QRectF rect(QPointF(band->left, band->top), QPointF(band->right, band->bottom));
        QPainterPath outside;
        outside.addRect(shown);
        outside.addRect(rect.intersected(shown));
        painter.fillPath(outside, QColor(0, 0, 0, 70));
        // The hatch in screen pixels, the same at every zoom.
        const QTransform toScreen = painter.transform();
        painter.save();
        painter.resetTransform();
        painter.fillPath(toScreen.map(outside), QBrush(QColor(255, 255, 255, 120), Qt::BDiagPattern));
        painter.restore();
        painter.setClipping(false);
        painter.setPen(QPen(QColor(230, 30, 0), 2 * pixel));
        painter.drawRect(rect);
    }
    QPen outPen(QColor(255, 200, 0), 2 * pixel, Qt::DashLine);
    painter.setPen(outPen);
    for (const double x : view_.OutLongitudes()) painter.drawLine(QLineF(x, visible.top(), x, visible.bottom()));
    if (tiles_.Active()) DrawTileBox(painter, pixel);

    // Labels at the window's edges, in the window's own pixels.
    painter.setClipping(false);
    painter.resetTransform();
    if (points_.Active()) DrawPoints(painter);
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font());
    // Labels sit on the picture's own left and top edges where they are in view, each whole and
    // beside its line: above a latitude's line and right of a longitude's, or below and left
    // where the view's edge would cut it.
    const QRectF area = QRectF(viewport()->rect()).intersected(
        QRectF(-view_.Left() * scale, -view_.Top() * scale, view_.ShownWidth() * scale, view_.ShownHeight() * scale));
    std::vector<QRectF> drawn;
    for (const GridLine& line : view_.Grid()) {
        const QString text = QString::fromStdString(line.label);
        const QSizeF size(metrics.horizontalAdvance(text) + 4, metrics.height());
        const double at = (line.position - (line.latitude ? view_.Top() : view_.Left())) * scale;
        QPointF corner;
        if (line.latitude) {
            // Clear of the longitudes' labels along the top edge.
            const double above = at - size.height();
            const double below = std::max(at + 1, area.top() + size.height());
            corner = QPointF(area.left() + 2, above >= area.top() + size.height() ? above : below);
        } else {
            corner = QPointF(at + 2 + size.width() <= area.right() ? at + 2 : at - 2 - size.width(), area.top());
        }
        const QRectF box(corner, size);
        // A label that would cover another is left out; its line still shows.
        if (std::ranges::any_of(drawn, [&box](const QRectF& other) { return other.intersects(box); })) continue;
        drawn.push_back(box);
        painter.fillRect(box, QColor(255, 255, 255, 190));
        painter.drawText(box, Qt::AlignCenter, text);
    }
}

void PictureCanvas::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    const QPointF at = event->position() * Ratio();
    view_.ZoomAt(at.x(), at.y(), std::pow(NotchZoom, notches));
    TellPointer(event->position());
    event->accept();
}

// The box typed in the tile server's dialog in red, as the band Make keeps; a rectangle being
// dragged, dashed, until it becomes the box.
void PictureCanvas::DrawTileBox(QPainter& painter, double pixel) {
    painter.setClipping(false);
    painter.setPen(QPen(QColor(230, 30, 0), 2 * pixel));
    for (const ViewRect& box : tiles_.BoxOnLook()) {
        painter.drawRect(QRectF(QPointF(box.left, box.top), QPointF(box.right, box.bottom)));
    }
    if (boxTo_) {
        painter.setPen(QPen(QColor(230, 30, 0), pixel, Qt::DashLine));
        painter.drawRect(QRectF(PictureAt(pressedAt_), PictureAt(*boxTo_)));
    }
}

// Points are drawn at a fixed size on screen, whatever the zoom.
void PictureCanvas::DrawPoints(QPainter& painter) {
    if (cross_) {
        const QPointF at = ScreenAt(*cross_);
        for (const QPen& pen : {QPen(Qt::white, 3), QPen(Qt::black, 1, Qt::DashLine)}) {
            painter.setPen(pen);
            painter.drawLine(at - QPointF(14, 0), at + QPointF(14, 0));
            painter.drawLine(at - QPointF(0, 14), at + QPointF(0, 14));
        }
    }
    const auto worst = points_.Worst();
    const std::vector<ControlPoint>& points = points_.Points();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const QPointF at = ScreenAt({points[i].column, points[i].row});
        const QColor colour = !points[i].enabled ? QColor(128, 128, 128) : worst == i ? QColor(230, 30, 0) : QColor(0, 90, 230);
        // A white cross under the coloured one keeps it seen on any picture.
        for (const QPen& pen : {QPen(Qt::white, 4), QPen(colour, 2)}) {
            painter.setPen(pen);
            painter.drawLine(at - QPointF(7, 0), at + QPointF(7, 0));
            painter.drawLine(at - QPointF(0, 7), at + QPointF(0, 7));
        }
        const QString number = QString::number(i + 1);
        const QSizeF size(fontMetrics().horizontalAdvance(number) + 4, fontMetrics().height());
        // Below and right of the cross, or on the other side where the view's edge would cut it.
        const QRectF view(viewport()->rect());
        const double x = at.x() + 6 + size.width() <= view.right() ? at.x() + 6 : at.x() - 6 - size.width();
        const double y = at.y() + 4 + size.height() <= view.bottom() ? at.y() + 4 : at.y() - 4 - size.height();
        const QRectF box(QPointF(x, y), size);
        painter.fillRect(box, QColor(255, 255, 255, 210));
        painter.drawText(box, Qt::AlignCenter, number);
    }
}

QPointF PictureCanvas::PictureAt(QPointF position) const {
    const double scale = view_.Scale();
    return {view_.Left() + position.x() * Ratio() / scale, view_.Top() + position.y() * Ratio() / scale};
}

QPointF PictureCanvas::ScreenAt(QPointF picture) const {
    const double scale = view_.Scale() / Ratio();
    return {(picture.x() - view_.Left()) * scale, (picture.y() - view_.Top()) * scale};
}

// Placing points: a press on a point drags it, a click elsewhere places a new one; a press that
// moves pans, as always.
void PictureCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragFrom_ = pressedAt_ = event->position();
    draggedPoint_.reset();
    // Over a tile source the drag draws the box; the scroll bars and the wheel still move it.
    if (tiles_.Active()) {
        boxTo_ = pressedAt_;
        return;
    }
    if (points_.Active()) {
        const QPointF at = PictureAt(event->position());
        draggedPoint_ = points_.PointNear(at.x(), at.y(), 8 * Ratio() / view_.Scale());
    }
    viewport()->setCursor(draggedPoint_ ? Qt::SizeAllCursor : Qt::ClosedHandCursor);
}

void PictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (boxTo_) {
        boxTo_ = event->position();
        viewport()->update();
    } else if (dragging_ && !draggedPoint_) {
        const QPointF moved = (event->position() - dragFrom_) * Ratio();
        dragFrom_ = event->position();
        view_.PanBy(moved.x(), moved.y());
    }
    TellPointer(event->position());
}

void PictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    const QPointF moved = event->position() - pressedAt_;
    const bool clicked = moved.manhattanLength() < QApplication::startDragDistance();
    const QPointF at = PictureAt(event->position());
    if (boxTo_) {
        boxTo_.reset();
        const QPointF from = PictureAt(pressedAt_);
        if (!clicked) tiles_.BoxDrawn({from.x(), from.y(), at.x(), at.y()});
        viewport()->update();
        return;
    }
    viewport()->setCursor(Qt::OpenHandCursor);
    if (draggedPoint_ && moved.manhattanLength() < 1) {
        if (onSelect) onSelect(draggedPoint_);
    } else if (draggedPoint_) {
        // Moved by as much as the pointer, however short the drag, wherever on the cross it began.
        const QPointF by = at - PictureAt(pressedAt_);
        const ControlPoint& point = points_.Points()[*draggedPoint_];
        points_.MoveTo(*draggedPoint_, point.column + by.x(), point.row + by.y());
    } else if (points_.Active() && clicked && !draggedPoint_ && at.x() >= 0 && at.y() >= 0 &&
               at.x() <= view_.ShownWidth() && at.y() <= view_.ShownHeight()) {
        points_.AddAt(at.x(), at.y());
    }
    draggedPoint_.reset();
}

void PictureCanvas::leaveEvent(QEvent* event) {
    QAbstractScrollArea::leaveEvent(event);
    if (onPointer) onPointer({});
}

void PictureCanvas::TellPointer(QPointF position) {
    const QPointF at = position * Ratio();
    QString text = QString::fromStdString(view_.PointerText(at.x(), at.y()));
    // Over a scan, where the pointer is as the table counts it; over a tile source, where it
    // lies on the Earth.
    const QPointF pixel = PictureAt(position);
    const bool onPicture = pixel.x() >= 0 && pixel.y() >= 0 && pixel.x() < view_.ShownWidth() &&
                           pixel.y() < view_.ShownHeight();
    if (points_.Active() && onPicture) text = QString::fromStdString(points_.PositionText(pixel.x(), pixel.y()));
    if (tiles_.Active()) {
        text = QString::fromStdString(onPicture ? tiles_.PositionText(pixel.x(), pixel.y()) : TileBoxHint);
    }
    if (onPointer) onPointer(text);
}

// Home and End go to the picture's left and right edges, with Ctrl to its top-left and
// bottom-right corners.
bool PictureCanvas::ScrollKey(const QKeyEvent& event) {
    if (event.key() != Qt::Key_Home && event.key() != Qt::Key_End) return false;
    const double scale = view_.Scale();
    const double far = event.key() == Qt::Key_End ? 1e12 : 0;
    const double y = (event.modifiers() & Qt::ControlModifier) ? far : view_.Top() * scale;
    view_.ScrollTo(far, y);
    return true;
}

// Points by the keyboard: the arrows move the chosen point by one scan pixel (Shift: ten), or
// without one the crosshair, where Enter places a new point; Escape lets go of either.
void PictureCanvas::keyPressEvent(QKeyEvent* event) {
    if (ScrollKey(*event)) return;
    if (!points_.Active()) {
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    const double step = (event->modifiers() & Qt::ShiftModifier) ? 10 : 1;
    switch (event->key()) {
    case Qt::Key_Left: MoveByKey(-step, 0); break;
    case Qt::Key_Right: MoveByKey(step, 0); break;
    case Qt::Key_Up: MoveByKey(0, -step); break;
    case Qt::Key_Down: MoveByKey(0, step); break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (cross_) points_.AddAt(cross_->x(), cross_->y());
        break;
    case Qt::Key_Escape:
        if (selected && selected()) {
            if (onSelect) onSelect(std::nullopt);
        } else {
            cross_.reset();
        }
        break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    viewport()->update();
}

void PictureCanvas::MoveByKey(double dx, double dy) {
    const std::optional<std::size_t> chosen = selected ? selected() : std::nullopt;
    if (chosen && *chosen < points_.Points().size()) {
        const ControlPoint& point = points_.Points()[*chosen];
        points_.MoveTo(*chosen, point.column + dx, point.row + dy);
        return;
    }
    // First shown on the pixel in the middle of the view.
    QPointF at = cross_ ? *cross_ + QPointF(dx, dy) : PictureAt(QRectF(viewport()->rect()).center());
    at = QPointF(std::floor(std::clamp(at.x(), 0.0, view_.ShownWidth() - 1)) + 0.5,
                 std::floor(std::clamp(at.y(), 0.0, view_.ShownHeight() - 1)) + 0.5);
    cross_ = at;
    // Kept in view: the picture scrolls under a crosshair that reaches the view's edge.
    const QPointF onScreen = ScreenAt(at);
    const QRectF inner = QRectF(viewport()->rect()).adjusted(16, 16, -16, -16);
    const double panX = onScreen.x() < inner.left() ? inner.left() - onScreen.x()
                        : onScreen.x() > inner.right() ? inner.right() - onScreen.x() : 0;
    const double panY = onScreen.y() < inner.top() ? inner.top() - onScreen.y()
                        : onScreen.y() > inner.bottom() ? inner.bottom() - onScreen.y() : 0;
    if (panX != 0 || panY != 0) view_.PanBy(panX * Ratio(), panY * Ratio());
    if (onPointer) {
        onPointer(QString("Crosshair at column %1, row %2: Enter places a point")
                      .arg(at.x(), 0, 'f', 1).arg(at.y(), 0, 'f', 1));
    }
}

PictureWindow::PictureWindow(PictureView& view, Georeferencing& points, TileServerMap& tiles, QWidget* parent)
    : QMainWindow(parent, Qt::Window), view_(view), points_(points), tiles_(tiles),
      canvas_(new PictureCanvas(view, points, tiles, this)),
      pointer_(new QLabel(this)), preview_(nullptr) {
    setObjectName("pictureWindow");
    setCentralWidget(canvas_);
    statusBar()->addWidget(pointer_, 1);
    pointer_->setObjectName("pointerText");
    bandNote_ = new QLabel(this);
    bandNote_->setObjectName("bandNote");
    bandNote_->setWordWrap(true);
    statusBar()->addWidget(bandNote_, 2);
    canvas_->onPointer = [this](const QString& text) { pointer_->setText(text); };

    QMenu* menu = menuBar()->addMenu(WithAccessKeys({ViewMenuText}).first());
    const QStringList captions = WithAccessKeys({FitText, OneToOneText, ZoomInText, ZoomOutText, PreviewOutputText});
    PictureView* model = &view_;
    const auto add = [this, menu, &captions, model](int index, const QList<QKeySequence>& keys,
                                                    void (PictureView::*command)()) {
        QAction* action = menu->addAction(captions[index]);
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, [model, command] { (model->*command)(); });
        return action;
    };
    add(0, {QKeySequence(Qt::CTRL | Qt::Key_0)}, &PictureView::Fit)->setObjectName("fit");
    add(1, {QKeySequence(Qt::CTRL | Qt::Key_1)}, &PictureView::OneToOne)->setObjectName("oneToOne");
    add(2, {QKeySequence::ZoomIn, QKeySequence(Qt::CTRL | Qt::Key_Equal)}, &PictureView::ZoomIn)->setObjectName("zoomIn");
    add(3, {QKeySequence::ZoomOut}, &PictureView::ZoomOut)->setObjectName("zoomOut");
    menu->addSeparator();
    preview_ = menu->addAction(captions[4]);
    preview_->setObjectName("previewOutput");
    preview_->setCheckable(true);
    connect(preview_, &QAction::toggled, this, [this](bool on) { view_.SetPreview(on); });
    BuildPointsPanel();

    // Two thirds of the screen, beside the main window.
    const QRect screen = (parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    // The desktop's frame is unknown before the window is shown; a title bar stands for it.
    const int room = screen.height() - style()->pixelMetric(QStyle::PM_TitleBarHeight);
    StandBesideMain(QSize(std::min(screen.width(), std::max(640, screen.width() * 2 / 3)),
                          std::min(room, std::max(480, screen.height() * 2 / 3))));
}

namespace {

QMargins FrameOf(const QWidget& window) {
    const QRect inner = window.geometry();
    const QRect outer = window.frameGeometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

}  // namespace

// Neither window hides the other: the Out boxes stay in sight while the band is watched.
void PictureWindow::StandBesideMain(QSize wanted) {
    QWidget* main = parentWidget();
    if (main == nullptr) {
        resize(wanted);
        return;
    }
    // Before this window is first shown, its frame is not known; the main window's stands for it.
    const QMargins frame = FrameOf(isVisible() ? *this : *main);
    const QSize frames(frame.left() + frame.right(), frame.top() + frame.bottom());
    const BesidePlace place = PlaceBeside(main->screen()->availableGeometry(), main->frameGeometry(),
                                          wanted + frames, MinimumWidth);
    if (place.moveMainTo) main->move(*place.moveMainTo);
    resize(place.frame.size() - frames);
    move(place.frame.topLeft());
}

void PictureWindow::Follow() {
    setWindowTitle(QString::fromStdString(view_.Title()));
    preview_->setChecked(view_.Preview());
    preview_->setEnabled(view_.PreviewAvailable());
    bandNote_->setText(QString::fromStdString(view_.BandNote()));
    // The hint stands where the pointer's place is told, a line that never wraps: in the note
    // beside it, which wraps, the bar would grow and move the picture as the pointer came and went.
    if (tiles_.Active() && pointer_->text().isEmpty()) pointer_->setText(TileBoxHint);
    if (!tiles_.Active() && pointer_->text() == TileBoxHint) pointer_->clear();
    canvas_->Follow();
    FollowPoints();
}

void PictureWindow::BuildPointsPanel() {
    auto* dock = new QDockWidget(tr("Control Points"), this);
    dock->setObjectName("controlPoints");
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
    pointsPanel_ = dock;
    auto* panel = new QWidget(dock);
    auto* layout = new QVBoxLayout(panel);
    table_ = new QTableWidget(0, 7, panel);
    table_->setObjectName("pointTable");
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    transform_ = new QComboBox(panel);
    transform_->setObjectName("transform");
    for (const PointTransform t : {PointTransform::Polynomial1, PointTransform::Polynomial2, PointTransform::Polynomial3,
                                   PointTransform::ThinPlateSpline}) {
        const QString name = t == PointTransform::ThinPlateSpline ? "Thin plate spline"
                                                                  : QString("Polynomial %1").arg(static_cast<int>(t) + 1);
        transform_->addItem(QString("%1 (at least %2 points)").arg(name).arg(LeastPointsFor(t)), static_cast<int>(t));
    }
    auto* systemLine = new QHBoxLayout;
    system_ = new QLabel(panel);
    system_->setObjectName("pointSystem");
    system_->setWordWrap(true);
    auto* chooseSystem = new QPushButton(ChooseSystemText, panel);
    chooseSystem->setObjectName("chooseSystem");
    systemLine->addWidget(system_, 1);
    systemLine->addWidget(chooseSystem);
    summary_ = new QLabel(panel);
    summary_->setObjectName("pointSummary");
    summary_->setWordWrap(true);
    // Two by two, so the panel can be narrow where the screen is.
    auto* undo = new QPushButton(tr("Undo"), panel);
    auto* enable = new QPushButton(tr("Enable/Disable"), panel);
    auto* remove = new QPushButton(tr("Delete"), panel);
    georeference_ = new QPushButton(GeoreferenceText, panel);
    georeference_->setObjectName("georeference");
    auto* buttons = new QGridLayout;
    buttons->addWidget(undo, 0, 0);
    buttons->addWidget(enable, 0, 1);
    buttons->addWidget(remove, 1, 0);
    buttons->addWidget(georeference_, 1, 1);
    transform_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    transform_->setMinimumContentsLength(12);
    layout->addLayout(systemLine);
    layout->addWidget(table_);
    layout->addWidget(transform_);
    layout->addWidget(summary_);
    layout->addLayout(buttons);
    // On a small screen the panel scrolls rather than push the window over the main one.
    auto* scroller = new QScrollArea(dock);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(panel);
    dock->setWidget(scroller);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    // Only while points are placed: the picture keeps the whole window otherwise.
    dock->hide();

    const auto selected = [this]() -> std::optional<std::size_t> {
        const int row = table_->currentRow();
        return row < 0 ? std::nullopt : std::optional<std::size_t>(static_cast<std::size_t>(row));
    };
    connect(undo, &QPushButton::clicked, this, [this] { points_.Undo(); });
    connect(remove, &QPushButton::clicked, this, [this, selected] {
        if (const auto row = selected()) points_.Remove(*row);
    });
    connect(enable, &QPushButton::clicked, this, [this, selected] {
        if (const auto row = selected()) points_.SetEnabled(*row, !points_.Points()[*row].enabled);
    });
    connect(table_, &QTableWidget::cellDoubleClicked, this,
            [this](int row, int) { points_.Edit(static_cast<std::size_t>(row)); });
    table_->installEventFilter(this);
    canvas_->selected = selected;
    canvas_->onSelect = [this](std::optional<std::size_t> point) {
        if (point) {
            table_->setCurrentCell(static_cast<int>(*point), 0);
        } else {
            table_->setCurrentCell(-1, -1);
            table_->clearSelection();
        }
    };
    connect(transform_, &QComboBox::activated, this,
            [this](int index) {
                points_.SetTransform(static_cast<PointTransform>(transform_->itemData(index).toInt()));
            });
    connect(georeference_, &QPushButton::clicked, this, [this] { points_.Georeference(); });
    connect(chooseSystem, &QPushButton::clicked, this, [this] { points_.ChooseSystem(); });
    auto* undoKey = new QAction(this);
    undoKey->setShortcut(QKeySequence::Undo);
    connect(undoKey, &QAction::triggered, this, [this] { points_.Undo(); });
    addAction(undoKey);
}

void PictureWindow::FollowPoints() {
    const bool opening = pointsPanel_->isHidden() && points_.Active();
    if (pointsPanel_->isHidden() == points_.Active()) pointsPanel_->setVisible(points_.Active());
    if (!points_.Active()) return;
    const int current = table_->currentRow();
    const auto rows = points_.Rows();
    const auto worst = points_.Worst();
    QStringList titles;
    for (const std::string& title : points_.ColumnTitles()) titles << QString::fromStdString(title);
    table_->setHorizontalHeaderLabels(titles);
    system_->setText(QString::fromStdString(points_.SystemSummary()));
    table_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(rows[r][c]));
            if (worst == r) item->setForeground(QColor(200, 20, 0));
            table_->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    }
    table_->setCurrentCell(std::min(current, static_cast<int>(rows.size()) - 1), 0);
    table_->resizeColumnsToContents();
    if (opening) MakeRoomForPoints();
    transform_->setCurrentIndex(transform_->findData(static_cast<int>(points_.Transform())));
    summary_->setText(QString::fromStdString(points_.Summary()));
    georeference_->setEnabled(points_.CanGeoreference());
    canvas_->viewport()->update();
}

// Points are placed on the picture and read in the table: each needs room. Opened, the panel
// is made as wide as a table of typical rows and widens the window as far as the screen lets
// it; after that only the person moves the split, so the scan keeps its scale under the pointer
// while rows come and go. On a small screen the table scrolls sideways rather than squeeze the
// picture to a strip.
void PictureWindow::MakeRoomForPoints() {
    const QFontMetrics metrics(table_->font());
    const QFontMetrics headerMetrics(table_->horizontalHeader()->font());
    // Wide values of each column: a point number, pixel positions, longitudes west of
    // Greenwich, eastings of seven digits, a residual in metres.
    const std::array<const char*, 7> samples{"99", "99999.9", "99999.9", "-179.999999", "-179.999999", "yes",
                                             "999.99 (99999.9 m)"};
    const auto titles = points_.ColumnTitles();
    const int padding = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin) + 2 * metrics.averageCharWidth();
    int columns = 2 * table_->frameWidth() + table_->verticalScrollBar()->sizeHint().width();
    for (std::size_t c = 0; c < samples.size(); ++c) {
        columns += padding + std::max({metrics.horizontalAdvance(samples[c]),
                                       headerMetrics.horizontalAdvance(QString::fromStdString(titles[c])),
                                       table_->horizontalHeader()->sectionSize(static_cast<int>(c))});
    }
    const QMargins margins = table_->parentWidget()->layout()->contentsMargins();
    const int panel = columns + margins.left() + margins.right() +
                      2 * style()->pixelMetric(QStyle::PM_DockWidgetFrameWidth, nullptr, pointsPanel_);
    if (2 * panel > width()) StandBesideMain(QSize(2 * panel, height()));
    // The picture keeps two fifths of the window or more.
    const int separator = style()->pixelMetric(QStyle::PM_DockWidgetSeparatorExtent, nullptr, this);
    resizeDocks({pointsPanel_}, {std::min(panel, width() * 3 / 5 - separator - 1)}, Qt::Horizontal);
}

// The table's rows by the keyboard: F2 or Enter edits the chosen point, Delete deletes it,
// Space enables or disables it.
bool PictureWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != table_ || event->type() != QEvent::KeyPress) return QMainWindow::eventFilter(watched, event);
    const int row = table_->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= points_.Points().size()) return false;
    const auto point = static_cast<std::size_t>(row);
    switch (static_cast<QKeyEvent*>(event)->key()) {
    case Qt::Key_F2:
    case Qt::Key_Return:
    case Qt::Key_Enter: points_.Edit(point); return true;
    case Qt::Key_Delete: points_.Remove(point); return true;
    case Qt::Key_Space: points_.SetEnabled(point, !points_.Points()[point].enabled); return true;
    default: return false;
    }
}

void PictureWindow::closeEvent(QCloseEvent* event) {
    view_.Hidden();
    QMainWindow::closeEvent(event);
}

}  // namespace kartivo::qt
