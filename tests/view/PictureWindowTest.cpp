#include "ViewFixture.h"

#include "app/qt/PictureWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QScrollArea>
#include <QScrollBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableWidget>

namespace kartivo::test {
namespace {

class PictureWindowTest : public ViewFixture {
protected:
    std::string Picture(const std::string& name, TestBitmap spec) {
        const std::string path = folder_.File(name);
        WriteAll(path, MakeBitmap(spec));
        return path;
    }
    qt::PictureWindow* Shown() {
        qt::PictureWindow* window = window_->Picture();
        return window != nullptr && window->isVisible() ? window : nullptr;
    }
    // The colour the picture window shows at a point of its picture area.
    QRgb ColourAt(QPoint at) {
        QApplication::processEvents();
        return Shown()->Canvas()->viewport()->grab().toImage().pixel(at * Shown()->devicePixelRatioF());
    }
    void SendToPicture(QEvent* event) {
        QSpontaneKeyEvent::setSpontaneous(event);
        QApplication::sendEvent(Shown()->windowHandle(), event);
        QApplication::processEvents();
    }
    // An 8-bit picture whose every palette entry is one colour (blue, green, red, 0).
    std::string Uniform(const std::string& name, Bytes colour) {
        Bytes table;
        for (int i = 0; i < 256; ++i) table.insert(table.end(), colour.begin(), colour.end());
        return Picture(name, {.width = 64, .height = 48, .bitCount = 8, .colorTable = table});
    }
    QString PointerText() { return Shown()->findChild<QLabel*>("pointerText")->text(); }

    TempFolder folder_;
};

// Alt+V opens the View menu, whose first item opens the window; it shows the loaded picture and
// follows the next load at once. A double click on the "In" frame's free surface opens it too.
TEST_F(PictureWindowTest, OpensFromTheMenuAndTheFrameAndFollowsLoads) {
    ASSERT_TRUE(DropOn("fraIn", {20, 150}, {QString::fromStdString(Uniform("Blue(10,20,30,40).bmp", {0xff, 0, 0, 0}))}));
    Key(Qt::Key_V, Qt::AltModifier);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(menu->actions().first()->text(), "&Show Picture");
    QTest::keyClick(menu->windowHandle(), Qt::Key_Return);
    ASSERT_NE(Shown(), nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Shown()));
    EXPECT_EQ(Shown()->windowTitle(), "Kartivo Picture - Blue(10,20,30,40).bmp");
    // Off the middle, where the grid puts a line.
    const QPoint middle = Shown()->Canvas()->viewport()->rect().center() + QPoint(13, 17);
    EXPECT_EQ(ColourAt(middle), qRgb(0, 0, 255));

    // Dropped on the frame's path box, a picture loads as on the frame's free surface.
    const QPoint pathBox = window_->Widget("txtInFilePathData")->geometry().center();
    EXPECT_FALSE(DropOn("fraIn", pathBox, {"/nowhere/notes.txt"}, false)) << "what the frame refuses, its boxes do";
    ASSERT_TRUE(DropOn("fraIn", pathBox, {QString::fromStdString(Uniform("Red.bmp", {0, 0, 0xff, 0}))}));
    EXPECT_EQ(Shown()->windowTitle(), "Kartivo Picture - Red.bmp");
    EXPECT_EQ(ColourAt(middle), qRgb(255, 0, 0));

    Shown()->close();
    EXPECT_EQ(Shown(), nullptr);
    const QPoint freeSurface = window_->Widget("fraIn")->mapTo(window_.get(), QPoint(20, 150));
    QTest::mouseDClick(window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, freeSurface);
    ASSERT_NE(Shown(), nullptr);
    window_->close();
    EXPECT_EQ(Shown(), nullptr) << "closing the main window closes the picture window";
}

// The wheel zooms around the pointer, keys fit and show 1:1, and the status bar tells where the
// pointer is.
TEST_F(PictureWindowTest, WheelAndKeysZoomAndThePointerIsTold) {
    form_.LoadInputMap(Picture("Map(10,20,30,40).bmp", {.width = 2000, .height = 1500}));
    window_->MenuAction("mnuViewShowPicture")->trigger();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Shown()));
    QWidget* canvas = Shown()->Canvas()->viewport();
    // At 1:1 the picture fills the view both ways (one narrower than the view would be centred
    // again as it zooms); the pointer is put well inside a picture pixel, so that no rounding
    // can tip it into the next.
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_1, Qt::ControlModifier);
    EXPECT_GT(Shown()->Canvas()->horizontalScrollBar()->maximum(), 0) << "1:1 of a larger picture scrolls";
    const PictureView& view = workspace_.picture;
    const double perPoint = Shown()->devicePixelRatioF() / view.Scale();
    const auto inside = [](double p) { return std::fabs(p - std::floor(p) - 0.5) < 0.3; };
    QPoint onCanvas = canvas->rect().center();
    for (int i = 0; i < 10 && !inside(view.Left() + onCanvas.x() * perPoint); ++i) onCanvas.rx() += 1;
    for (int i = 0; i < 10 && !inside(view.Top() + onCanvas.y() * perPoint); ++i) onCanvas.ry() += 1;
    const QPointF at = canvas->mapTo(Shown(), onCanvas);
    QMouseEvent move(QEvent::MouseMove, at, Shown()->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    SendToPicture(&move);
    const QString before = PointerText();
    EXPECT_TRUE(before.startsWith("+")) << before.toStdString();
    QWheelEvent wheel(at, Shown()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    SendToPicture(&wheel);
    EXPECT_LT(view.Scale(), 1);
    EXPECT_EQ(PointerText(), before) << "the point under the pointer stays where it was";
    const QString corner = PointerText();

    QTest::keyClick(Shown()->windowHandle(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(Shown()->Canvas()->horizontalScrollBar()->maximum(), 0);
    EXPECT_NE(corner, "");
}

// File > Georeference Picture... opens the scan for points: a click places one at the pixel under
// the pointer, asks where it lies, and the table lists it.
TEST_F(PictureWindowTest, AClickOnAScanPlacesAControlPointAtItsPixel) {
    if (!Form1::ImportAvailable()) GTEST_SKIP() << "built without the import";
    ui_.dialogAnswers = {Uniform("scan.bmp", {0, 0xff, 0, 0})};
    window_->MenuAction("mnuFileGeoreferencePicture")->trigger();
    ASSERT_NE(Shown(), nullptr);
    QApplication::processEvents();
    QWidget* canvas = Shown()->Canvas()->viewport();
    // Beside the main window, the points panel open, on every screen and scale: neither hides
    // the other.
    const QRect screen = Shown()->screen()->availableGeometry();
    EXPECT_FALSE(Shown()->frameGeometry().intersects(window_->frameGeometry()));
    EXPECT_TRUE(screen.contains(Shown()->frameGeometry()));
    ui_.textAnswers = {"35.5", "+139°30' 00.0000''"};
    const double scale = workspace_.picture.Scale();
    // The fitted picture sits in the middle of its area: the middle is its pixel 32, 24.
    QTest::mouseClick(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      canvas->mapTo(Shown(), QPoint(canvas->width() / 2, canvas->height() / 2)));
    auto* table = Shown()->findChild<QTableWidget*>("pointTable");
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_NEAR(table->item(0, 1)->text().toDouble(), 32, 0.6);
    EXPECT_NEAR(table->item(0, 2)->text().toDouble(), 24, 0.6);
    EXPECT_EQ(table->item(0, 4)->text(), "+139.500000");
    EXPECT_FALSE(Shown()->findChild<QPushButton*>("georeference")->isEnabled()) << "one point places nothing";
    EXPECT_EQ(workspace_.picture.Scale(), scale) << "the table's first row moved the scan under the pointer";

    // Dragged from anywhere on its cross, however short the drag, the point moves as far as the
    // pointer; dragged from beside it, the picture pans and no point is added or moved.
    const auto inWindow = [&](QPoint onCanvas) { return canvas->mapTo(Shown(), onCanvas); };
    const QPoint middle(canvas->width() / 2, canvas->height() / 2);
    const auto cell = [table](int row, int column) { return table->item(row, column)->text().toDouble(); };
    const double column = cell(0, 1);
    const double row = cell(0, 2);
    const double perScreenPixel = Shown()->devicePixelRatioF() / workspace_.picture.Scale();
    QTest::mousePress(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow(middle + QPoint(3, 0)));
    QTest::mouseMove(Shown()->windowHandle(), inWindow(middle + QPoint(5, 1)));
    QTest::mouseRelease(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow(middle + QPoint(7, 2)));
    ASSERT_EQ(table->rowCount(), 1);
    // The table's tenths round both ends.
    EXPECT_NEAR(cell(0, 1), column + 4 * perScreenPixel, 0.11);
    EXPECT_NEAR(cell(0, 2), row + 2 * perScreenPixel, 0.11);
    const double moved = cell(0, 1);
    QTest::mouseMove(Shown()->windowHandle(), inWindow(middle));
    EXPECT_TRUE(PointerText().startsWith("Column ")) << PointerText().toStdString();

    // By the keyboard: a click on the point chooses it, the arrows move it one scan pixel, ten
    // with Shift; Escape lets go, the arrows then move a crosshair, and Enter places a point at
    // it. In the table Space disables the chosen point and Delete deletes it.
    QTest::mouseClick(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow(middle + QPoint(4, 2)));
    ASSERT_EQ(table->currentRow(), 0);
    for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Right}) QTest::keyClick(Shown()->windowHandle(), key);
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_NEAR(cell(0, 1), moved + 1, 0.11);
    EXPECT_NEAR(cell(0, 2), row + 2 * perScreenPixel - 10, 0.11);
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Escape);
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Left);
    ui_.textAnswers = {"35.4", "139.4"};
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Return);
    ASSERT_EQ(table->rowCount(), 2);
    const QPointF centre = Shown()->Canvas()->Crosshair().value_or(QPointF());
    EXPECT_EQ(cell(1, 1), centre.x());
    EXPECT_EQ(centre.x() - std::floor(centre.x()), 0.5) << "on a pixel's centre";
    table->setFocus();
    table->setCurrentCell(1, 0);
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Space);
    EXPECT_EQ(table->item(1, 5)->text(), "no");
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Delete);
    ASSERT_EQ(table->rowCount(), 1);
    const double kept = cell(0, 1);
    QTest::mousePress(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow(middle - QPoint(60, 0)));
    QTest::mouseMove(Shown()->windowHandle(), inWindow(middle - QPoint(40, 0)));
    QTest::mouseRelease(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier, inWindow(middle - QPoint(20, 0)));
    ASSERT_EQ(table->rowCount(), 1);
    EXPECT_EQ(cell(0, 1), kept);

    // Named for the set, a map projection turns the columns into easting and northing, and the
    // point converted to it shows its easting (gdaltransform's for 139.5, 35.5).
    ui_.textAnswers = {"EPSG:32654"};
    ui_.choiceAnswers = {0};
    auto* system = Shown()->findChild<QPushButton*>("chooseSystem");
    Shown()->findChild<QScrollArea*>()->ensureWidgetVisible(system);  // a small screen scrolls the panel
    QTest::mouseClick(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      system->mapTo(Shown(), system->rect().center()));
    EXPECT_EQ(table->horizontalHeaderItem(3)->text(), "Easting");
    EXPECT_EQ(table->item(0, 3)->text(), "363955.25");
    EXPECT_TRUE(Shown()->findChild<QLabel*>("pointSystem")->text().contains("UTM zone 54N"));

    // The transform list, by the keyboard: its last entry is the thin plate spline.
    auto* transform = Shown()->findChild<QComboBox*>("transform");
    transform->setFocus();
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_End);
    EXPECT_TRUE(Shown()->findChild<QLabel*>("pointSummary")->text().contains("the tps transform needs"));
}

// Fitted, a scan shows whole: its top rows at the top of the picture
// drawn, its bottom rows at the bottom, although GDAL's or the bitmap's reduced read gives one
// sample for several rows. A click beside the picture places no point.
TEST_F(PictureWindowTest, AFittedScanShowsWholeAndAClickBesideItPlacesNothing) {
    if (!Form1::ImportAvailable()) GTEST_SKIP() << "built without the import";
    constexpr int Width = 2000;
    constexpr int Height = 1500;
    Bytes scan = MakeBitmap({.width = Width, .height = Height});
    for (int stored = 0; stored < Height; ++stored) {  // the lowest quarter blue, the rest red
        for (int x = 0; x < Width; ++x) {
            const std::size_t at = 54 + std::size_t(stored) * Width * 3 + std::size_t(x) * 3;
            scan[at] = stored < Height / 4 ? 0xff : 0;
            scan[at + 1] = 0;
            scan[at + 2] = stored < Height / 4 ? 0 : 0xff;
        }
    }
    const std::string path = folder_.File("scan.bmp");
    WriteAll(path, scan);
    ui_.dialogAnswers = {path};
    window_->MenuAction("mnuFileGeoreferencePicture")->trigger();
    ASSERT_NE(Shown(), nullptr);
    QApplication::processEvents();

    const PictureView& view = workspace_.picture;
    const auto onCanvas = [&view](double column, double row) {
        return QPointF((column - view.Left()) * view.Scale(), (row - view.Top()) * view.Scale()).toPoint();
    };
    ASSERT_LT(view.Scale(), 0.5) << "fitted, a sample stands for several rows";

    EXPECT_EQ(ColourAt(onCanvas(Width / 2, 100)), qRgb(255, 0, 0));
    EXPECT_EQ(ColourAt(onCanvas(Width / 2, Height - 100)), qRgb(0, 0, 255));

    QWidget* canvas = Shown()->Canvas()->viewport();
    const QPoint end = onCanvas(Width, Height);
    const QPoint beside = end.x() + 10 < canvas->width() ? QPoint(end.x() + 5, canvas->height() / 2)
                                                         : QPoint(canvas->width() / 2, end.y() + 5);
    ASSERT_TRUE(canvas->rect().contains(beside)) << "the picture fills the canvas";
    ui_.textAnswers = {"35.5", "139.5"};
    QTest::mouseClick(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier, canvas->mapTo(Shown(), beside));
    EXPECT_EQ(Shown()->findChild<QTableWidget*>("pointTable")->rowCount(), 0);
    EXPECT_EQ(ui_.textAnswers.size(), 2U) << "nobody was asked where it lies";
}

// A point is drawn where it lies: its cross in the set's blue, its number beside it, on the
// picture's own pixel grid. Zoomed in, the scroll bars span the picture, Home and End reach its
// edges, the status bar counts from its top row, and a crosshair the arrows push against the
// view's edge scrolls the picture under it.
TEST_F(PictureWindowTest, APointIsDrawnWhereItLiesAndTheCrosshairKeepsInView) {
    if (!Form1::ImportAvailable()) GTEST_SKIP() << "built without the import";
    ui_.dialogAnswers = {Uniform("scan.bmp", {0, 0xff, 0, 0})};
    window_->MenuAction("mnuFileGeoreferencePicture")->trigger();
    ASSERT_NE(Shown(), nullptr);
    QApplication::processEvents();
    qt::PictureCanvas* canvas = Shown()->Canvas();
    QWidget* viewport = canvas->viewport();
    const PictureView& view = workspace_.picture;
    const double ratio = Shown()->devicePixelRatioF();
    ui_.textAnswers = {"35.5", "139.5"};
    QTest::mouseClick(Shown()->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      viewport->mapTo(Shown(), viewport->rect().center()));
    ASSERT_EQ(workspace_.georeferencing.Points().size(), 1U);
    const ControlPoint point = workspace_.georeferencing.Points()[0];
    // In the grabbed image's own pixels, as the view counts them.
    const QPointF at((point.column - view.Left()) * view.Scale(), (point.row - view.Top()) * view.Scale());
    QApplication::processEvents();
    const QImage image = viewport->grab().toImage();
    const auto near = [&image](QPointF place, QRgb colour) {
        for (int dx = -2; dx <= 2; ++dx) {
            if (image.pixel(place.toPoint() + QPoint(dx, 0)) == colour) return true;
        }
        return false;
    };
    EXPECT_TRUE(near(at + QPointF(0, -5 * ratio), qRgb(0, 90, 230))) << "the cross's upper arm";
    EXPECT_TRUE(near(at + QPointF(0, 11 * ratio), qRgb(0, 255, 0))) << "the arm is 7 pixels long";
    // The number's light box, below and right of the cross: its far corner's pixel.
    const QFontMetrics metrics = canvas->fontMetrics();
    const QPointF box(6 + metrics.horizontalAdvance("1") + 4, 4 + metrics.height());
    EXPECT_GT(qRed(image.pixel((at + (box - QPointF(1, 1)) * ratio).toPoint())), 150);
    EXPECT_EQ(image.pixel((at + (box + QPointF(1, 1)) * ratio).toPoint()), qRgb(0, 255, 0));

    for (int i = 0; i < 12; ++i) QTest::keyClick(Shown()->windowHandle(), Qt::Key_Equal, Qt::ControlModifier);
    QScrollBar* across = canvas->horizontalScrollBar();
    QScrollBar* down = canvas->verticalScrollBar();
    ASSERT_GT(view.ShownHeight() * view.Scale() / ratio, viewport->height() + 100.0) << "zoomed past the view";
    EXPECT_NEAR(down->maximum(), view.ShownHeight() * view.Scale() / ratio - viewport->height(), 1);
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(down->value(), down->maximum());
    EXPECT_EQ(across->value(), across->maximum());
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Home);
    EXPECT_EQ(across->value(), 0);
    EXPECT_EQ(down->value(), down->maximum()) << "Home keeps the rows in view";
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Home, Qt::ControlModifier);
    QTest::mouseMove(Shown()->windowHandle(), viewport->mapTo(Shown(), QPoint(viewport->width() / 2, 1)));
    EXPECT_TRUE(PointerText().startsWith("Column ")) << "the top row is the scan's too";

    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Escape);
    QTest::keyClick(Shown()->windowHandle(), Qt::Key_Escape);
    for (int i = 0; i < 3; ++i) {  // from the view's middle to well inside the picture's far side
        QTest::keyClick(Shown()->windowHandle(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(Shown()->windowHandle(), Qt::Key_Down, Qt::ShiftModifier);
    }
    const std::optional<QPointF> cross = canvas->Crosshair();
    ASSERT_TRUE(cross);
    EXPECT_GT(view.Left(), 0) << "the picture scrolled under the crosshair";
    EXPECT_GT(view.Top(), 0);
    const QPointF onScreen((cross->x() - view.Left()) * view.Scale() / ratio, (cross->y() - view.Top()) * view.Scale() / ratio);
    EXPECT_TRUE(QRectF(viewport->rect()).adjusted(15, 15, -15, -15).contains(onScreen))
        << onScreen.x() << "," << onScreen.y() << " in " << viewport->width() << "x" << viewport->height();
}

}  // namespace
}  // namespace kartivo::test
