#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

namespace kartivo {
namespace {

using test::ScriptedUserInterface;
using test::TempFolder;

class EnablingRules : public testing::Test {
protected:
    void SetUp() override {
        form_.Form_Load();
        test::WriteAll(folder_.File("area.mbx"), {});
        test::WriteAll(folder_.File("area.MBX"), {});
    }

    void Leave(Control& box, const std::string& text) {
        ASSERT_TRUE(test::LeaveBox(form_, box, text)) << box.Name() << " " << text;
    }

    // Input corners 35..36 N, 139..140 E, carried to the output.
    void OrderRectangles() {
        Leave(form_.txtInBottomLatitudeDegree, "35");
        Leave(form_.txtInTopLatitudeDegree, "36");
        Leave(form_.txtInLeftLongitudeDegree, "139");
        Leave(form_.txtInRightLongitudeDegree, "140");
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
    TempFolder folder_;
};

TEST_F(EnablingRules, MakeNeedsTwoDifferentPathsOrderedRectanglesAndNoCompression) {
    form_.txtInFilePathData.SetText("/maps/in.bmp");
    form_.txtOutFilePathData.SetText("/maps/in_.bmp");
    OrderRectangles();
    EXPECT_TRUE(form_.cmdMake.Enabled());

    form_.txtOutFilePathData.SetText("/maps/in.bmp");
    form_.UpdateMakeEnabled();
    EXPECT_FALSE(form_.cmdMake.Enabled()) << "equal paths";

    form_.txtOutFilePathData.SetText("/maps/IN.bmp");
    form_.UpdateMakeEnabled();
    EXPECT_TRUE(form_.cmdMake.Enabled()) << "texts are compared exactly";

    form_.cboCompressionData.SetListIndex(1);
    form_.UpdateMakeEnabled();
    EXPECT_FALSE(form_.cmdMake.Enabled()) << "RLE8 selected";
    form_.cboCompressionData.SetListIndex(0);

    Leave(form_.txtOutTopLatitudeDegree, "35");
    EXPECT_FALSE(form_.cmdMake.Enabled()) << "output top equals output bottom";

    form_.txtInFilePathData.SetText("");
    Leave(form_.txtOutTopLatitudeDegree, "36");
    EXPECT_FALSE(form_.cmdMake.Enabled()) << "no input path";
}

TEST_F(EnablingRules, TypingAPathDoesNotReevaluateMake) {
    form_.txtInFilePathData.SetText("/maps/in.bmp");
    OrderRectangles();
    ASSERT_TRUE(form_.cmdMake.Enabled());
    form_.txtOutFilePathData.SetText("/maps/in.bmp");
    EXPECT_TRUE(form_.cmdMake.Enabled()) << "only the fixed points evaluate the rule";
}

TEST_F(EnablingRules, WriteNeedsAnExistingLowerCaseMbxFileAndOrderedRectangles) {
    OrderRectangles();
    const struct {
        std::string path;
        bool enabled;
    } cases[] = {
        {folder_.File("area.mbx"), true},
        {folder_.File("area.MBX"), false},
        {folder_.File("missing.mbx"), false},
        {folder_.Path().string(), false},
        {"", false},
    };
    for (const auto& c : cases) {
        form_.txtlblAmbuloFilePath.SetText(c.path);
        EXPECT_EQ(form_.cmdWriteAmbuloData.Enabled(), c.enabled) << c.path;
    }
    form_.txtlblAmbuloFilePath.SetText(folder_.File("area.mbx"));
    Leave(form_.txtOutLeftLongitudeDegree, "140");
    EXPECT_FALSE(form_.cmdWriteAmbuloData.Enabled()) << "output right no longer beyond left";
}

TEST_F(EnablingRules, TypingAMapDataPathEnablesAtTheKeystrokeThatNamesTheFile) {
    OrderRectangles();
    const std::string path = folder_.File("area.mbx");
    std::string typed;
    for (const char c : path) {
        typed += c;
        form_.txtlblAmbuloFilePath.SetText(typed);
        EXPECT_EQ(form_.cmdWriteAmbuloData.Enabled(), typed == path) << typed;
    }
}

TEST_F(EnablingRules, CornerTextsAreReadByTheirLeadingNumber) {
    form_.txtInFilePathData.SetText("in.bmp");
    form_.txtOutFilePathData.SetText("out.bmp");
    OrderRectangles();
    // Program writes skip the handlers; a text without a leading number reads as 0.
    form_.txtInBottomLatitudeDegree.SetText("+35.5000000000x");
    form_.txtInTopLatitudeDegree.SetText("+35.6");
    form_.UpdateMakeEnabled();
    EXPECT_TRUE(form_.cmdMake.Enabled());
    form_.txtInTopLatitudeDegree.SetText("north");
    form_.UpdateMakeEnabled();
    EXPECT_FALSE(form_.cmdMake.Enabled());
    form_.txtInBottomLatitudeDegree.SetText("-1");
    form_.UpdateMakeEnabled();
    EXPECT_TRUE(form_.cmdMake.Enabled()) << "north reads as 0, above -1";
}

}  // namespace
}  // namespace kartivo
