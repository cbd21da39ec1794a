#include "app/qt/PictureWindow.h"

#include "app/PictureView.h"
#include "app/qt/AccessKeys.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace kartivo::qt {

namespace {

// One notch of a wheel zooms by this much; finer wheels and touchpads in proportion.
constexpr double NotchZoom = 1.25;

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

PictureCanvas::PictureCanvas(PictureView& view, QWidget* parent) : QAbstractScrollArea(parent), view_(view) {
    setObjectName("pictureCanvas");
    viewport()->setMouseTracking(true);
    viewport()->setCursor(Qt::OpenHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

double PictureCanvas::Ratio() const { return viewport()->devicePixelRatioF(); }

void PictureCanvas::Follow() {
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
    // What Make leaves out is shaded; the band itself keeps the map's own colours.
    if (const auto band = view_.Band()) {
        const QRectF rect(QPointF(band->left, band->top), QPointF(band->right, band->bottom));
        QPainterPath outside;
        outside.addRect(shown);
        outside.addRect(rect.intersected(shown));
        painter.fillPath(outside, QColor(0, 0, 0, 90));
        painter.setClipping(false);
        painter.setPen(QPen(QColor(230, 30, 0), 2 * pixel));
        painter.drawRect(rect);
    }

    // Labels at the window's edges, in the window's own pixels.
    painter.setClipping(false);
    painter.resetTransform();
    painter.setPen(Qt::black);
    const QFontMetrics metrics(font());
    for (const GridLine& line : view_.Grid()) {
        const QString text = QString::fromStdString(line.label);
        const double at = (line.position - (line.latitude ? view_.Top() : view_.Left())) * scale;
        const QPointF corner = line.latitude ? QPointF(2, at - metrics.height()) : QPointF(at + 2, 0);
        const QRectF box(corner, QSizeF(metrics.horizontalAdvance(text) + 4, metrics.height()));
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

void PictureCanvas::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = true;
    dragFrom_ = event->position();
    viewport()->setCursor(Qt::ClosedHandCursor);
}

void PictureCanvas::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        const QPointF moved = (event->position() - dragFrom_) * Ratio();
        dragFrom_ = event->position();
        view_.PanBy(moved.x(), moved.y());
    }
    TellPointer(event->position());
}

void PictureCanvas::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    dragging_ = false;
    viewport()->setCursor(Qt::OpenHandCursor);
}

void PictureCanvas::leaveEvent(QEvent* event) {
    QAbstractScrollArea::leaveEvent(event);
    if (onPointer) onPointer({});
}

void PictureCanvas::TellPointer(QPointF position) {
    const QPointF at = position * Ratio();
    if (onPointer) onPointer(QString::fromStdString(view_.PointerText(at.x(), at.y())));
}

PictureWindow::PictureWindow(PictureView& view, QWidget* parent)
    : QMainWindow(parent, Qt::Window), view_(view), canvas_(new PictureCanvas(view, this)),
      pointer_(new QLabel(this)), preview_(nullptr) {
    setObjectName("pictureWindow");
    setCentralWidget(canvas_);
    statusBar()->addWidget(pointer_, 1);
    pointer_->setObjectName("pointerText");
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

    // Two thirds of the screen, beside the main window as far as the screen has room.
    const QRect screen = (parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen())->availableGeometry();
    resize(std::max(640, screen.width() * 2 / 3), std::max(480, screen.height() * 2 / 3));
    if (parent != nullptr) {
        const QPoint beside = parent->frameGeometry().topRight() + QPoint(8, 0);
        move(std::max(screen.left(), std::min(beside.x(), screen.right() - width())),
             std::max(screen.top(), std::min(beside.y(), screen.bottom() - height())));
    }
}

void PictureWindow::Follow() {
    setWindowTitle(QString::fromStdString(view_.Title()));
    preview_->setChecked(view_.Preview());
    canvas_->Follow();
}

void PictureWindow::closeEvent(QCloseEvent* event) {
    view_.Hidden();
    QMainWindow::closeEvent(event);
}

}  // namespace kartivo::qt
