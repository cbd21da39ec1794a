#include "ViewFixture.h"
#include "app/qt/AccessKeys.h"
#include "app/qt/Layout.h"
#include "app/qt/QtUserInterface.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace kartivo::test {
namespace {

using WindowLayoutTest = ViewFixture;

TEST_F(WindowLayoutTest, EveryControlOfTheLayoutIsBuiltInsideItsFrame) {
    EXPECT_EQ(window_->windowTitle(), "Kartivo");
    EXPECT_FALSE(window_->windowIcon().pixmap(32).toImage().pixelColor(16, 16).alpha() == 0);
    // Where the screen holds the window, it keeps its drawn size.
    EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
    EXPECT_EQ(window_->centralWidget()->size(), QSize(400, 646));

    // Every entry of the layout table was built.
    for (const qt::LayoutEntry& entry : qt::WindowLayout()) {
        const QWidget* widget = window_->Widget(entry.name);
        ASSERT_NE(widget, nullptr) << entry.name;
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry())) << entry.name;
    }
}

TEST_F(WindowLayoutTest, ListsTakeNoFreeTextAndFollowTheModel) {
    for (const char* name : {"cboColorDepthData", "cboCompressionData", "cboLayer"}) {
        EXPECT_FALSE(Get<QComboBox>(name)->isEditable()) << name;
    }
    EXPECT_FALSE(Get<QLineEdit>("txtImageWidthData")->isEnabled());
    EXPECT_FALSE(Get<QComboBox>("cboColorDepthData")->isEnabled());
    EXPECT_FALSE(Get<QPushButton>("cmdMake")->isEnabled());
    EXPECT_FALSE(Get<QPushButton>("cmdWriteAmbuloData")->isEnabled());
    EXPECT_EQ(Get<QComboBox>("cboLayer")->count(), 4);

    form_.cmdMake.SetEnabled(true);
    EXPECT_TRUE(Get<QPushButton>("cmdMake")->isEnabled());
    form_.cboLayer.SetListIndex(2);
    EXPECT_EQ(Get<QComboBox>("cboLayer")->currentText(), "Layer3");
}

TEST_F(WindowLayoutTest, TypingIntoABoxReachesTheModel) {
    QLineEdit* height = Get<QLineEdit>("txtImageHeightData");
    height->setFocus();
    height->selectAll();
    height->insert("12");  // through the widget's own editing, as a keystroke would
    EXPECT_EQ(form_.txtImageHeightData.Text(), "12");
}

TEST_F(WindowLayoutTest, MenuHoldsItsItemsInOrderAndAltFOpensIt) {
    QMenu* file = window_->menuBar()->actions().first()->menu();
    QStringList captions;
    for (QAction* action : file->actions()) captions << (action->isSeparator() ? "-" : action->text());
    QStringList expected{"&Open Input BMP File", "&Select Output BMP File", "Select &Ambulo2 File"};
    if (Form1::ImportAvailable()) expected << "&Import Georeferenced Picture...";
    EXPECT_EQ(captions, expected + QStringList({"-", "&Quit"}));
    EXPECT_EQ(file->title(), "&File");
    QTest::keyClick(window_->windowHandle(), Qt::Key_F, Qt::AltModifier);
    EXPECT_TRUE(file->isVisible());
    file->close();
}

TEST_F(WindowLayoutTest, TabOrderFollowsTheListSkippingDisabledControls) {
    QWidget* widget = Get<QWidget>("txtInBottomLatitudeDegree");
    QStringList order;
    for (int i = 0; i < 6; ++i) {
        order << widget->objectName();
        widget = widget->nextInFocusChain();
        while (!widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus) widget = widget->nextInFocusChain();
    }
    EXPECT_EQ(order, (QStringList{"txtInBottomLatitudeDegree", "txtInLeftLongitudeDegree", "txtInBottomLatitude3",
                                  "txtInLeftLongitude3", "txtInTopLatitudeDegree", "txtInRightLongitudeDegree"}));
    // txtImageWidthData is disabled: Tab goes from the last output DMS box to the height.
    widget = Get<QWidget>("txtOutRightLongitude3")->nextInFocusChain();
    while (!widget->isEnabled() || widget->focusPolicy() == Qt::NoFocus) widget = widget->nextInFocusChain();
    EXPECT_EQ(widget->objectName(), "txtImageHeightData");
}

}  // namespace
}  // namespace kartivo::test

namespace kartivo::test {
namespace {

TEST(AccessKeys, EachCaptionGetsAFreeLetterPreferablyAtAWordStart) {
    const struct {
        QStringList captions;
        QStringList shown;
    } cases[] = {
        {{"Open Input BMP File", "Select Output BMP File", "Select Ambulo2 File", "-", "Quit"},
         {"&Open Input BMP File", "&Select Output BMP File", "Select &Ambulo2 File", "-", "&Quit"}},
        {{"ab", "Ba", "bac"}, {"&ab", "&Ba", "ba&c"}},  // taken letters count without case
        {{"R&D"}, {"&R&&D"}},                            // an "&" of the caption stays visible
        {{"地図", "aa", "Aa"}, {"地図", "&aa", "Aa"}},   // no letter a keyboard types, or none free
    };
    for (const auto& c : cases) EXPECT_EQ(qt::WithAccessKeys(c.captions), c.shown) << c.captions.join('|').toStdString();
}

TEST(NameFilters, ShowEachPairOnceAndAllFilesForAnEmptyFilter) {
    EXPECT_EQ(qt::NameFilters({}), QStringList{"All(*.*)"});
    EXPECT_EQ(qt::NameFilters({{"BMP(*.bmp)", "*.bmp"}}), QStringList{"BMP(*.bmp)"});
    EXPECT_EQ(qt::NameFilters({{"Maps", "*.mbx"}, {"BMP(*.bmp)", "*.bmp"}}), (QStringList{"Maps (*.mbx)", "BMP(*.bmp)"}));
}

}  // namespace
}  // namespace kartivo::test
