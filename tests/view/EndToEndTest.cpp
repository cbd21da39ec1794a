#include "ViewFixture.h"

#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include <filesystem>

namespace kartivo::test {
namespace {

class EndToEnd : public ViewFixture {
protected:
    // Drops files at a point of a frame, on whatever widget lies there, as a desktop drag does.
    void DropOn(const char* frameName, QPoint inFrame, const QStringList& paths) {
        QWidget* frame = window_->Widget(frameName);
        const QPoint at = frame->mapTo(window_.get(), inFrame);
        QWidget* target = window_->childAt(at);
        ASSERT_NE(target, nullptr);
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPointF local = target->mapFrom(window_.get(), at);
        QDragEnterEvent enter(local.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted()) << target->objectName().toStdString() << " refused the drag";
        QDropEvent drop(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
    }

    void Type(const char* name, const QString& text) {
        auto* box = Get<QLineEdit>(name);
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Tab);
    }

    TempFolder folder_;
};

TEST_F(EndToEnd, ADropOnTheInFramesCaptionLoadsThePicture) {
    const std::string first = folder_.File("first.bmp");
    WriteAll(first, MakeBitmap({.width = 9}));
    // Over the "File Size" caption, and three files at once: the first is loaded.
    DropOn("fraIn", {20, 45}, {QString::fromStdString(first), "/nowhere/second.bmp", "/nowhere/third.bmp"});
    EXPECT_EQ(form_.txtInFilePathData.Text(), first);
    EXPECT_EQ(form_.lblImageWidthData.Text(), "9");
    // The frame's boxes stay above the drop target and keep working.
    Type("txtImageHeightData", "7");
    EXPECT_EQ(form_.txtImageHeightData.Text(), "7");
}

// The typical run: drop a picture, narrow the output, make it, annotate the map data file.
TEST_F(EndToEnd, DropNarrowMakeAndWriteInformations) {
    const std::string picture = folder_.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 5, .height = 12, .bitCount = 24}));
    const std::string mapData = folder_.File("tokyo.mbx");
    WriteAll(mapData, Bytes(200, 0xAA));

    DropOn("fraIn", {20, 20}, {QString::fromStdString(picture)});
    Type("txtOutBottomLatitude3", QString::fromUtf8("35°38' 00''"));
    Type("txtOutTopLatitudeDegree", "35.68");
    Type("txtImageHeightData", "9");
    ASSERT_TRUE(Get<QPushButton>("cmdMake")->isEnabled());
    Click(Get<QPushButton>("cmdMake"));
    ASSERT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();

    DropOn("fraAmbulo", {20, 20}, {QString::fromStdString(mapData)});
    auto* layer = Get<QComboBox>("cboLayer");
    layer->setFocus();
    QTest::keyClick(layer, Qt::Key_Down);
    QTest::keyClick(layer, Qt::Key_Down);
    ASSERT_TRUE(Get<QPushButton>("cmdWriteAmbuloData")->isEnabled());
    Click(Get<QPushButton>("cmdWriteAmbuloData"));
    ASSERT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();

    // The same steps through the model alone give the same bytes.
    TempFolder expectedFolder;
    const std::string expectedPicture = expectedFolder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(expectedPicture, ReadAll(picture));
    const std::string expectedMapData = expectedFolder.File("tokyo.mbx");
    WriteAll(expectedMapData, Bytes(200, 0xAA));
    ScriptedUserInterface ui;
    Form1 model(ui);
    model.Form_Load();
    model.LoadInputMap(expectedPicture);
    model.txtOutBottomLatitude3.SetText("35°38' 00''");
    ASSERT_TRUE(model.txtOutBottomLatitude3_Validate());
    model.txtOutTopLatitudeDegree.SetText("35.68");
    ASSERT_TRUE(model.txtOutTopLatitudeDegree_Validate());
    model.txtImageHeightData.SetText("9");
    model.cmdMake_Click();
    model.SetMapDataFile(expectedMapData);
    model.cboLayer.SetListIndex(2);
    model.cmdWriteAmbuloData_Click();

    const Bytes made = ReadAll(folder_.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp"));
    EXPECT_EQ(made.size(), 54U + 9 * 16);
    EXPECT_EQ(made, ReadAll(expectedFolder.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")));
    const Bytes annotated = ReadAll(mapData);
    EXPECT_EQ(annotated, ReadAll(expectedMapData));
    EXPECT_EQ(std::string(annotated.begin() + 8, annotated.begin() + 13), "Tokyo");
    EXPECT_EQ(std::string(annotated.begin() + 40, annotated.begin() + 55), "35.680000000000");
    // The Degree box holds ten decimals, so that is what the field gets.
    EXPECT_EQ(std::string(annotated.begin() + 104, annotated.begin() + 119), "35.633333333300");
    EXPECT_EQ(annotated[173], 3);
}

}  // namespace
}  // namespace kartivo::test
