#include "ViewFixture.h"
#include "app/qt/StartupFiles.h"

#include <QDir>
#include <QLineEdit>

#include <filesystem>

namespace kartivo::test {
namespace {

using StartupFiles = ViewFixture;

// Files named on the command line reach the window through the drop targets' own handlers.
TEST_F(StartupFiles, TheFirstPictureAndTheFirstMapDataFileOpenAsDrops) {
    TempFolder folder;
    const std::string picture = folder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 6, .height = 3}));
    WriteAll(folder.File("area.mbx"), Bytes(200, 0));
    // Relative names are taken from the current folder, as a terminal gives them.
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder.Path().string()));
    // A mistyped name first: it is left out, and no file of that name appears.
    qt::OpenGivenFiles(*window_, {"mistyped.bmp", "Tokyo(35.6,139.6,35.7,139.8).bmp", "area.mbx",
                                  QString::fromStdString(picture), "/elsewhere/other.mbx"});
    QDir::setCurrent(before);
    EXPECT_FALSE(std::filesystem::exists(folder.File("mistyped.bmp")));

    EXPECT_EQ(form_.txtInFilePathData.Text() + form_.lblImageWidthData.Text(), picture + "6");
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), folder.File("area.mbx"));
    EXPECT_TRUE(ui_.boxes.shown.empty());

    // A value the program wrote shows its first character, the sign, also where the whole
    // text is wider than its box; what the person types keeps the cursor where it was typed.
    for (const char* name : {"txtInLeftLongitudeDegree", "txtOutLeftLongitude3", "txtInFilePathData"}) {
        auto* box = Get<QLineEdit>(name);
        ASSERT_FALSE(box->text().isEmpty()) << name;
        box->grab();  // a box scrolls its text when it paints
        const QPoint firstShown = box->contentsRect().topLeft() + QPoint(box->textMargins().left() + 3, box->height() / 2);
        EXPECT_EQ(box->cursorPositionAt(firstShown), 0) << name << " shows " << box->text().toStdString();
    }
    auto* name = Get<QLineEdit>("txtName");
    name->setFocus();
    QTest::keyClick(window_->windowHandle(), Qt::Key_End);
    for (const char key : {'A', 'B', 'C'}) QTest::keyClick(window_->windowHandle(), key);
    EXPECT_EQ(form_.txtName.Text(), "TokyoABC");
    EXPECT_EQ(name->cursorPosition(), 8);
}

TEST_F(StartupFiles, OnlyAMapDataFileLeavesTheInFrameAlone) {
    qt::OpenGivenFiles(*window_, {"/nowhere/map.mbx"});
    EXPECT_EQ(form_.txtInFilePathData.Text() + "|" + form_.txtlblAmbuloFilePath.Text(), "|/nowhere/map.mbx");
    EXPECT_TRUE(ui_.boxes.shown.empty());
}

}  // namespace
}  // namespace kartivo::test
