#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

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
        // Input corners 35..36 N, 139..140 E, carried to the output.
        Leave(form_.txtInBottomLatitudeDegree, "35");
        Leave(form_.txtInTopLatitudeDegree, "36");
        Leave(form_.txtInLeftLongitudeDegree, "139");
        Leave(form_.txtInRightLongitudeDegree, "140");
    }

    void Leave(Control& box, const std::string& text) {
        ASSERT_TRUE(test::LeaveBox(form_, box, text)) << box.Name() << " " << text;
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
    TempFolder folder_;
};

// Steps run in order; only leaving a corner box and UpdateMakeEnabled evaluate the rule.
TEST_F(EnablingRules, MakeNeedsTwoDifferentPathsOrderedRectanglesAndNoCompression) {
    const std::tuple<const char*, std::function<void(Form1&)>, bool> steps[] = {  // what, step, enabled after it
        {"two paths", [](Form1& f) { f.txtInFilePathData.SetText("/maps/in.bmp"); f.txtOutFilePathData.SetText("/maps/in_.bmp"); }, false},
        {"evaluated", [](Form1& f) { f.UpdateMakeEnabled(); }, true},
        {"typing a path does not evaluate", [](Form1& f) { f.txtOutFilePathData.SetText("/maps/in.bmp"); }, true},
        {"equal paths", [](Form1& f) { f.UpdateMakeEnabled(); }, false},
        {"texts compared exactly", [](Form1& f) { f.txtOutFilePathData.SetText("/maps/IN.bmp"); f.UpdateMakeEnabled(); }, true},
        {"RLE8", [](Form1& f) { f.cboCompressionData.SetListIndex(1); f.UpdateMakeEnabled(); }, false},
        {"RGB again", [](Form1& f) { f.cboCompressionData.SetListIndex(0); f.UpdateMakeEnabled(); }, true},
        {"top equals bottom", [](Form1& f) { test::LeaveBox(f, f.txtOutTopLatitudeDegree, "35"); }, false},
        {"right equals left", [](Form1& f) { test::LeaveBox(f, f.txtOutTopLatitudeDegree, "36"); test::LeaveBox(f, f.txtOutRightLongitudeDegree, "139"); }, false},
        {"right beyond left", [](Form1& f) { test::LeaveBox(f, f.txtOutRightLongitudeDegree, "140"); }, true},
        {"input top equals bottom", [](Form1& f) { f.txtInTopLatitudeDegree.SetText("+35"); f.UpdateMakeEnabled(); }, false},
        // Program writes skip the handlers; a text without a number reads as 0.
        {"no number", [](Form1& f) { f.txtInTopLatitudeDegree.SetText("north"); f.txtInBottomLatitudeDegree.SetText("-1"); f.UpdateMakeEnabled(); }, true},
        {"no input path", [](Form1& f) { f.txtInFilePathData.SetText(""); f.UpdateMakeEnabled(); }, false},
    };
    for (const auto& [what, step, enabled] : steps) {
        step(form_);
        EXPECT_EQ(form_.cmdMake.Enabled(), enabled) << what;
    }
}

TEST_F(EnablingRules, WriteNeedsAnExistingLowerCaseMbxFileAndOrderedRectangles) {
    const std::pair<std::string, bool> cases[] = {
        {folder_.File("area.mbx"), true}, {folder_.File("area.MBX"), false}, {folder_.File("missing.mbx"), false},
        {folder_.Path().string(), false}, {"", false}, {folder_.File("area.mbx"), true},
    };
    for (const auto& [path, enabled] : cases) {
        form_.txtlblAmbuloFilePath.SetText(path);
        EXPECT_EQ(form_.cmdWriteAmbuloData.Enabled(), enabled) << path;
    }
    Leave(form_.txtOutLeftLongitudeDegree, "140");
    EXPECT_FALSE(form_.cmdWriteAmbuloData.Enabled()) << "output right no longer beyond left";
    Leave(form_.txtOutLeftLongitudeDegree, "139");
    Leave(form_.txtOutBottomLatitudeDegree, "36");
    EXPECT_FALSE(form_.cmdWriteAmbuloData.Enabled()) << "output top no longer above bottom";
}

}  // namespace
}  // namespace kartivo
