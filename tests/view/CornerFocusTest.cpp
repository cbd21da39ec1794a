#include "ViewFixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace kartivo::test {
namespace {

using CornerFocusTest = ViewFixture;

TEST_F(CornerFocusTest, ARefusedBoxKeepsTheFocusThroughTabAndClicks) {
    QLineEdit* box = Get<QLineEdit>("txtInBottomLatitudeDegree");
    QLineEdit* other = Get<QLineEdit>("txtInTopLatitudeDegree");
    box->setFocus();
    QApplication::processEvents();
    box->selectAll();
    QTest::keyClicks(box, "95");
    ASSERT_EQ(form_.txtInBottomLatitudeDegree.Text(), "95");

    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_TRUE(box->hasFocus()) << "Tab left a refused box";
    QTest::keyClick(box, Qt::Key_Backtab);
    EXPECT_TRUE(box->hasFocus()) << "Shift+Tab left a refused box";
    Click(other);
    EXPECT_TRUE(box->hasFocus()) << "a click on another box took the focus";

    // A button clicked while the box refuses is not pressed.
    int clicks = 0;
    QPushButton* button = Get<QPushButton>("cmdMake");
    form_.cmdMake.SetEnabled(true);
    QObject::connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    Click(button);
    EXPECT_EQ(clicks, 0);
    EXPECT_TRUE(box->hasFocus());

    EXPECT_EQ(box->text(), "95") << "the text stays as typed";
    EXPECT_EQ(form_.txtInBottomLatitude3.Text(), "+0°00' 00.0000''");
    EXPECT_EQ(form_.txtOutBottomLatitudeDegree.Text(), "+0.0000000000");

    // Once the text is acceptable the same click goes through.
    box->selectAll();
    QTest::keyClicks(box, "35");
    Click(other);
    EXPECT_TRUE(other->hasFocus());
    EXPECT_EQ(box->text(), "+35.0000000000");
}

TEST_F(CornerFocusTest, AnAcceptedBoxIsRewrittenAndLetsTheFocusGo) {
    QLineEdit* box = Get<QLineEdit>("txtInBottomLatitudeDegree");
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, "35.5");
    QTest::keyClick(box, Qt::Key_Tab);
    EXPECT_FALSE(box->hasFocus());
    EXPECT_EQ(box->text(), "+35.5000000000");
    EXPECT_EQ(Get<QLineEdit>("txtInBottomLatitude3")->text(), QString::fromUtf8("+35°30' 00.0000''"));
    EXPECT_EQ(Get<QLineEdit>("txtOutBottomLatitudeDegree")->text(), "+35.5000000000");
}

}  // namespace
}  // namespace kartivo::test
