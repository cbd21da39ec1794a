#include "ViewFixture.h"

#include <QComboBox>
#include <QPushButton>

#include <filesystem>

namespace kartivo::test {
namespace {

class EndToEnd : public ViewFixture {
public:
    // Clicks into a box, types over its text and leaves it with Tab, all through the window.
    void TypeInto(const char* name, const QString& text) {
        Click(window_->Widget(name));
        Type(text);
        Key(Qt::Key_Tab);
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
    TypeInto("txtImageHeightData", "7");
    EXPECT_EQ(form_.txtImageHeightData.Text(), "7");
}

// The typical run: drop a picture, narrow the output, make it, annotate the map data file.
TEST_F(EndToEnd, DropNarrowMakeAndWriteInformations) {
    const std::string picture = folder_.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 5, .height = 12, .bitCount = 24}));
    const std::string mapData = folder_.File("tokyo.mbx");
    WriteAll(mapData, Bytes(200, 0xAA));

    DropOn("fraIn", {20, 20}, {QString::fromStdString(picture)});
    TypeInto("txtOutBottomLatitude3", QString::fromUtf8("35°38' 00''"));
    TypeInto("txtOutTopLatitudeDegree", "35.68");
    TypeInto("txtImageHeightData", "9");
    ASSERT_TRUE(Get<QPushButton>("cmdMake")->isEnabled());
    Click(Get<QPushButton>("cmdMake"));
    ASSERT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();

    DropOn("fraAmbulo", {20, 20}, {QString::fromStdString(mapData)});
    Get<QComboBox>("cboLayer")->setFocus();
    Key(Qt::Key_Down);
    Key(Qt::Key_Down);
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

// The way a refused corner text once reached the map data file: the wheel over the Layer list,
// then Write Informations by mouse and by keyboard.
TEST_F(EndToEnd, ARefusedCornerTextNeverReachesTheMapDataFile) {
    const std::string picture = folder_.File("Map(35,139,36,140).bmp");
    WriteAll(picture, MakeBitmap({.width = 4, .height = 8}));
    const std::string mapData = folder_.File("map.mbx");
    WriteAll(mapData, Bytes(200, 0xAA));
    DropOn("fraIn", {20, 20}, {QString::fromStdString(picture)});
    DropOn("fraAmbulo", {20, 20}, {QString::fromStdString(mapData)});
    auto* write = Get<QPushButton>("cmdWriteAmbuloData");
    ASSERT_TRUE(write->isEnabled());

    Click(window_->Widget("txtOutTopLatitudeDegree"));
    Type("95");
    Wheel(window_->Widget("cboLayer"), -1);
    Click(write);
    Key(Qt::Key_Space);
    EXPECT_EQ(form_.cboLayer.ListIndex(), 0);
    EXPECT_EQ(ReadAll(mapData), Bytes(200, 0xAA));

    Type("35.9");
    Click(write);
    const Bytes written = ReadAll(mapData);
    EXPECT_EQ(std::string(written.begin() + 40, written.begin() + 55), "35.900000000000");
    // The window is torn down with a refused text in the focused box: no check may hold it.
    Type("95");
}

}  // namespace
}  // namespace kartivo::test
