// The window on the screens and fonts CTest runs these under (see tests/CMakeLists.txt): a
// laptop and a desktop screen at scale factors 1 to 2, the IPA font and DejaVu Sans alone, font
// DPI 96 and 144. Run plainly, they check the usual screen and font.

#include "ViewFixture.h"
#include "app/qt/Layout.h"
#include "app/qt/PictureWindow.h"
#include "app/qt/ScreenFit.h"

#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QHeaderView>
#include <QTableWidget>
#include <QToolTip>

namespace kartivo::test {
namespace {

class WindowFit : public ViewFixture {
protected:
    // The widget's rectangle in the window's coordinates.
    QRect InWindow(QWidget* widget) const { return {widget->mapTo(window_.get(), QPoint(0, 0)), widget->size()}; }

    // Clicks the arrow of the scroll bar that brings the widget nearer, as a person scrolls to it.
    void ScrollTowards(QWidget* widget) {
        auto* scroller = qobject_cast<QScrollArea*>(window_->centralWidget());
        const QRect view = InWindow(scroller->viewport());
        const QRect target = InWindow(widget);
        const QRect vertical = InWindow(scroller->verticalScrollBar());
        const QRect horizontal = InWindow(scroller->horizontalScrollBar());
        QPoint at;
        if (target.bottom() > view.bottom()) at = {vertical.center().x(), vertical.bottom() - 3};
        if (target.top() < view.top()) at = {vertical.center().x(), vertical.top() + 3};
        if (target.right() > view.right()) at = {horizontal.right() - 3, horizontal.center().y()};
        if (target.left() < view.left()) at = {horizontal.left() + 3, horizontal.center().y()};
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        QApplication::processEvents();
    }
};

TEST_F(WindowFit, TheWindowFitsItsScreenAndItsScrollBarsBringEveryControlIntoView) {
    const QRect available = window_->screen()->availableGeometry();
    EXPECT_LE(window_->frameGeometry().width(), available.width());
    EXPECT_LE(window_->frameGeometry().height(), available.height());
    auto* scroller = qobject_cast<QScrollArea*>(window_->centralWidget());
    ASSERT_NE(scroller, nullptr);

    for (const std::string_view name : qt::TabOrder()) {
        QWidget* control = window_->Widget(name);
        ASSERT_NE(control, nullptr);
        for (int turns = 0; turns < 60 && !InWindow(scroller->viewport()).contains(InWindow(control)); ++turns) {
            ScrollTowards(control);
        }
        EXPECT_TRUE(InWindow(scroller->viewport()).contains(InWindow(control))) << name;
        // Nothing covers it: a click on its centre reaches it.
        QWidget* hit = window_->childAt(InWindow(control).center());
        EXPECT_TRUE(hit == control || control->isAncestorOf(hit)) << name;
    }
}

// Placing control points, the picture keeps two fifths of its window or more, the window stays on
// the screen, and every column of the table is in view wherever the screen has room for both
// beside the main window.
TEST_F(WindowFit, ThePictureAndTheControlPointsShareThePictureWindow) {
    if (!Form1::ImportAvailable()) GTEST_SKIP() << "built without the import";
    TempFolder folder;
    const std::string scan = folder.File("scan.bmp");
    WriteAll(scan, MakeBitmap({.width = 400, .height = 300}));
    ui_.dialogAnswers = {scan};
    window_->MenuAction("mnuFileGeoreferencePicture")->trigger();
    qt::PictureWindow* pictures = window_->Picture();
    ASSERT_TRUE(pictures != nullptr && pictures->isVisible());
    QApplication::processEvents();
    const QRect available = pictures->screen()->availableGeometry();
    EXPECT_TRUE(available.contains(pictures->frameGeometry()));
    EXPECT_GE(pictures->Canvas()->width() * 5, pictures->width() * 2);
    auto* table = pictures->findChild<QTableWidget*>("pointTable");
    if (2 * (table->horizontalHeader()->length() + 60) <= available.width() - window_->frameGeometry().width() - 8) {
        EXPECT_EQ(table->horizontalScrollBar()->maximum(), 0);
    }
    EXPECT_TRUE(table->isVisible());
}

// A second window takes the side with room, else the larger room beside the main window,
// moving the main window to its nearer edge first where the room is narrow; only a strip too
// thin to show anything makes it overlap, at its least width.
TEST(PlaceBeside, TakesTheRoomBesideTheMainWindow) {
    const QRect screen(0, 0, 1366, 768);
    const struct { QRect main; int wanted; QRect frame; std::optional<QPoint> moved; } rows[] = {
        {{0, 0, 400, 700}, 900, {408, 0, 900, 700}, {}},          // right
        {{900, 50, 400, 700}, 800, {92, 50, 800, 700}, {}},       // left
        {{500, 0, 400, 700}, 500, {0, 0, 492, 700}, {}},          // the larger room, narrower
        {{400, 0, 500, 700}, 900, {508, 0, 858, 700}, QPoint(0, 0)},    // moved left first
        {{450, 0, 500, 700}, 800, {58, 0, 800, 700}, QPoint(866, 0)},   // moved right first
        {{0, 0, 1250, 700}, 600, {886, 0, 480, 700}, {}},         // a strip: over the main window
    };
    for (const auto& row : rows) {
        const qt::BesidePlace place = qt::PlaceBeside(screen, row.main, QSize(row.wanted, 700), 480);
        EXPECT_EQ(place.frame, row.frame) << row.main.x();
        EXPECT_EQ(place.moveMainTo, row.moved) << row.main.x();
    }
}

// A refused value stops every control but leaves the window to scroll, by wheel and by scroll
// bar, and to tell what a box takes.
TEST_F(WindowFit, ARefusedValueStillLetsTheWindowScroll) {
    TempFolder folder;
    const auto [picture, mapData] = LoadPictureAndMapData(form_, folder);
    auto* box = Get<QLineEdit>("txtInTopLatitudeDegree");
    Click(box);
    Type("95");
    Key(Qt::Key_Tab);
    ASSERT_TRUE(box->hasFocus());

    QWidget* other = window_->Widget("txtInTopLatitude3");
    QTest::mouseMove(window_->windowHandle(), CentreOf(other));
    EXPECT_TRUE(QTest::qWaitFor([other] { return QToolTip::isVisible() && QToolTip::text() == other->toolTip(); }));
    auto* scroller = qobject_cast<QScrollArea*>(window_->centralWidget());
    Wheel(other, -1);
    EXPECT_EQ(scroller->verticalScrollBar()->value() > 0, scroller->verticalScrollBar()->maximum() > 0);
    QWidget* button = window_->Widget("cmdWriteAmbuloData");
    ASSERT_TRUE(button->isEnabled());
    for (int turns = 0; turns < 60 && !InWindow(scroller->viewport()).contains(InWindow(button)); ++turns) {
        ScrollTowards(button);
    }
    ASSERT_TRUE(InWindow(scroller->viewport()).contains(InWindow(button)));
    Click(button);
    EXPECT_TRUE(box->hasFocus());
    EXPECT_EQ(ReadAll(mapData), Bytes(200, 0xAA));
}

using WindowText = ViewFixture;

TEST_F(WindowText, CaptionsAreNeitherCutOffNorCovered) {
    for (const qt::LayoutEntry& entry : qt::WindowLayout()) {
        auto* label = qobject_cast<QLabel*>(window_->Widget(entry.name));
        // A file size shows every digit of the largest a bitmap can have.
        const bool size = entry.name == "lblFileSizeData" || entry.name == "lblOutFileSize";
        if (label == nullptr || (entry.caption.empty() && !size)) continue;
        const QFontMetrics metrics = label->fontMetrics();
        const int textWidth = metrics.horizontalAdvance(size ? QString("2147483647") : label->text());
        EXPECT_LE(textWidth, label->width()) << entry.name;
        EXPECT_LE(metrics.height(), label->height()) << entry.name;
        EXPECT_GE(label->font().pixelSize(), 8) << entry.name;
        // The text must not run under another control or caption of its frame.
        const QRect textRect(label->x(), label->y() + (label->height() - metrics.height()) / 2, textWidth, metrics.height());
        for (const qt::LayoutEntry& other : qt::WindowLayout()) {
            if (other.frame != entry.frame || &other == &entry || other.kind == qt::WidgetKind::DropTarget) continue;
            QWidget* widget = window_->Widget(other.name);
            QRect occupied = widget->geometry();
            if (auto* otherLabel = qobject_cast<QLabel*>(widget); otherLabel != nullptr && !other.caption.empty()) {
                occupied.setWidth(otherLabel->fontMetrics().horizontalAdvance(otherLabel->text()));
            }
            EXPECT_FALSE(textRect.intersects(occupied)) << entry.name << " runs under " << other.name;
        }
    }
}

// Each corner box shows the longest texts of its range whole, sign first, in whatever font the
// desktop gives: text and cursor fit the contents the style draws, less QLineEdit's margins.
TEST_F(WindowText, CornerBoxesShowTheirLongestTextsWhole) {
    QApplication::focusWidget()->clearFocus();  // no cursor drawn
    for (const Control* control : form_.Controls()) {
        auto* box = Get<QLineEdit>(control->Name().c_str());
        if (!form_.ValidateHandler(*control) || box == nullptr) continue;
        const QString name = box->objectName();
        QStyleOptionFrame option;
        option.initFrom(box);
        option.lineWidth = box->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, box);
        const int room = box->style()->subElementRect(QStyle::SE_LineEditContents, &option, box).width() - 4;
        const QString degrees = name.contains("Latitude") ? "89" : "179";
        for (const QString sign : {"+", "-"}) {
            const QString text = sign + degrees + (name.endsWith('3') ? QString::fromUtf8("°59' 59.9999''") : ".9999999999");
            EXPECT_LE(box->fontMetrics().horizontalAdvance(text) + 1, room) << name.toStdString() << " " << text.toStdString();
            // As drawn: the text looks the same wherever the cursor stands, so nothing scrolls away.
            box->setText(text);
            box->setCursorPosition(0);
            const QImage start = box->grab().toImage();
            box->end(false);
            EXPECT_EQ(box->grab().toImage(), start) << name.toStdString() << " " << text.toStdString();
        }
    }
}

}  // namespace
}  // namespace kartivo::test
