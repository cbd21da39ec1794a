#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "geo/CoordinateText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <tuple>

namespace kartivo::test {
namespace {

class CornerFields : public testing::Test {
protected:
    void SetUp() override { form_.Form_Load(); }

    bool Leave(Control& box, const std::string& text) { return LeaveBox(form_, box, text); }
    Control& Box(const std::string& name) { return *form_.Find(name); }

    // Every control's text, to tell what a refusal left alone.
    std::vector<std::string> Snapshot() const {
        std::vector<std::string> texts;
        for (const Control* control : form_.Controls()) texts.push_back(control->Name() + "=" + control->Text());
        return texts;
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
};

// A corner box's tooltip names its range and gives an example that the box takes as it is.
TEST_F(CornerFields, EachTooltipGivesAnExampleTheBoxTakes) {
    for (Control* box : form_.Controls()) {
        const std::string& tip = box->ToolTip();
        if (!form_.ValidateHandler(*box)) {
            EXPECT_EQ(tip, "") << box->Name();
            continue;
        }
        const bool latitude = box->Name().find("Latitude") != std::string::npos;
        EXPECT_NE(tip.find(latitude ? "latitude from -90 to 90" : "longitude"), std::string::npos) << tip;
        const std::string example = tip.substr(tip.find("e.g. ") + 5);
        EXPECT_TRUE(Leave(*box, example)) << tip;
        EXPECT_EQ(box->Text(), example) << tip;
    }
}

// Rows run in order on one window. An accepted text rewrites its pair (and an input value the
// output pair); a refused one stays as typed and changes nothing else.
TEST_F(CornerFields, BoxesAcceptTheirRangesAndKeepTheirPairsInAgreement) {
    const char* zero = "+0°00' 00.0000''";
    // The box, the text typed, whether it is accepted, and what the boxes then show.
    const std::tuple<const char*, const char*, bool, std::vector<std::pair<const char*, const char*>>> rows[] = {
        {"txtInBottomLatitudeDegree", "35.5", true,
         {{"txtInBottomLatitudeDegree", "+35.5000000000"}, {"txtInBottomLatitude3", "+35°30' 00.0000''"},
          {"txtOutBottomLatitudeDegree", "+35.5000000000"}, {"txtOutBottomLatitude3", "+35°30' 00.0000''"}}},
        {"txtOutTopLatitudeDegree", "40", true, {{"txtOutTopLatitude3", "+40°00' 00.0000''"}, {"txtInTopLatitude3", zero}}},
        {"txtInTopLatitudeDegree", "36", true, {{"txtOutTopLatitudeDegree", "+36.0000000000"}}},  // overrides the output
        {"txtOutTopLatitude3", "35°30' ", true, {{"txtOutTopLatitude3", "+35°30' 00.0000''"},
                                                 {"txtOutTopLatitudeDegree", "+35.5000000000"}}},
        {"txtInRightLongitude3", "139°46' 0''", true,
         {{"txtInRightLongitudeDegree", "+139.7666666667"}, {"txtOutRightLongitudeDegree", "+139.7666666667"},
          {"txtOutRightLongitude3", "+139°46' 00.0000''"}}},
        {"txtOutRightLongitudeDegree", "35.05", true, {{"txtOutRightLongitude3", "+35°03' 00.0000''"}}},
        {"txtInBottomLatitudeDegree", "90", true, {}}, {"txtInBottomLatitudeDegree", "-90", true, {}},
        {"txtInTopLatitudeDegree", "90.1", false, {}}, {"txtOutBottomLatitudeDegree", "-91", false, {}},
        {"txtOutTopLatitudeDegree", "90.0000000001", false, {}}, {"txtInTopLatitude3", "91°", false, {}},
        // The input longitudes refuse -180; the output longitudes take it.
        {"txtInLeftLongitudeDegree", "-180", false, {}}, {"txtInRightLongitudeDegree", "-180", false, {}},
        {"txtOutLeftLongitudeDegree", "-180", true, {}}, {"txtOutRightLongitudeDegree", "-180", true, {}},
        {"txtInLeftLongitudeDegree", "180", true, {}}, {"txtOutRightLongitudeDegree", "180.5", false, {}},
        {"txtInLeftLongitudeDegree", "-179.9999999", true, {}}, {"txtInBottomLatitudeDegree", "abc", false, {}},
        // In range, yet one of its texts would show an input longitude of -180.
        {"txtInLeftLongitudeDegree", "-179.99999999999", false, {}}, {"txtInRightLongitudeDegree", "-179.99999999", false, {}},
        {"txtInTopLatitudeDegree", "89.99999999999", true, {{"txtInTopLatitude3", "+90°00' 00.0000''"}}},
        {"txtOutBottomLatitudeDegree", "35.6833333333333", true, {{"txtOutBottomLatitude3", "+35°41' 00.0000''"}}},
        // Refused by its Degree box, so refused here too: no box keeps a text it would refuse.
        {"txtInLeftLongitude3", "-180°", false, {}},
    };
    for (const auto& [name, typed, accepted, shown] : rows) {
        SCOPED_TRACE(std::string(name) + " " + typed);
        Control& box = Box(name);
        const std::string earlier = box.Text();
        const auto before = Snapshot();
        EXPECT_EQ(Leave(box, typed), accepted);
        for (const auto& [other, text] : shown) EXPECT_EQ(Box(other).Text(), text) << other;
        if (accepted) {
            // Whatever the program wrote into either box of the pair is accepted again, unchanged.
            const std::string pair = std::string(name).substr(0, std::string(name).size() - (box.Name().ends_with("3") ? 1 : 6));
            for (const char* kind : {"Degree", "3"}) {
                Control& written = Box(pair + kind);
                const std::string text = written.Text();
                EXPECT_TRUE(form_.ValidateHandler(written)() && written.Text() == text) << written.Name() << " " << text;
            }
            continue;
        }
        EXPECT_EQ(box.Text(), typed) << "a refused text stays as typed";
        box.SetText(earlier);
        EXPECT_EQ(Snapshot(), before);
    }
}

// The handler runs once per visit and text, however many ways of leaving try it (the window
// tests count the runs); coming back is a new visit, and a refusal is not remembered.
TEST_F(CornerFields, LeavingTheActiveBoxRunsItsHandlerOncePerVisit) {
    form_.SetActiveControl(&form_.txtOutTopLatitude3);
    form_.txtOutTopLatitude3.SetText("35°41' 22.22225''");
    EXPECT_TRUE(form_.LeaveActiveControl());
    form_.SetActiveControl(&form_.cmdMake);
    form_.SetActiveControl(&form_.txtOutTopLatitude3);
    EXPECT_TRUE(form_.LeaveActiveControl());
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), DegreeText(35 + 41 / 60.0 + 22.2223 / 3600));

    form_.txtOutTopLatitude3.SetText("91°");
    EXPECT_FALSE(form_.LeaveActiveControl());
    EXPECT_FALSE(form_.LeaveActiveControl());
}

// Make, Write Informations and drops run the focused box's handler before they read any box: a
// refused text stops them before a file is touched.
TEST_F(CornerFields, CommandsAndDropsStopAtARefusedTextInTheFocusedBox) {
    TempFolder folder;
    const auto [picture, mapData] = LoadPictureAndMapData(form_, folder);
    form_.SetActiveControl(&form_.txtOutTopLatitudeDegree);
    form_.txtOutTopLatitudeDegree.SetText("95");
    form_.cmdMake_Click();
    form_.cmdWriteAmbuloData_Click();
    form_.lblDragIn_OLEDragDrop({folder.File("Other(1,2,3,4).bmp")});
    form_.lblDragAmbulo_OLEDragDrop({folder.File("other.mbx")});
    EXPECT_EQ(form_.txtInFilePathData.Text() + "|" + form_.txtlblAmbuloFilePath.Text(), picture + "|" + mapData);
    EXPECT_FALSE(std::filesystem::exists(form_.txtOutFilePathData.Text()));
    EXPECT_EQ(ReadAll(mapData), Bytes(200, 0xAA));
    EXPECT_TRUE(ui_.boxes.shown.empty());
}

// Input corners 35..36 N, 139..140 E, carried to the output.
class EnablingRules : public CornerFields {
protected:
    void SetUp() override {
        CornerFields::SetUp();
        WriteAll(folder_.File("area.mbx"), {});
        WriteAll(folder_.File("area.MBX"), {});
        for (const auto& [box, text] : {std::pair{"txtInBottomLatitudeDegree", "35"}, {"txtInTopLatitudeDegree", "36"},
                                        {"txtInLeftLongitudeDegree", "139"}, {"txtInRightLongitudeDegree", "140"}}) {
            ASSERT_TRUE(Leave(Box(box), text));
        }
    }

    TempFolder folder_;
};

// Steps run in order; only leaving a corner box and UpdateMakeEnabled evaluate the rule.
TEST_F(EnablingRules, MakeNeedsTwoDifferentPathsOrderedRectanglesAndNoCompression) {
    // The output's width, colour depth and compression follow the input: never typed.
    for (const Control* fixed : {&form_.txtImageWidthData, &form_.cboColorDepthData, &form_.cboCompressionData}) {
        EXPECT_FALSE(fixed->Enabled()) << fixed->Name();
    }
    const std::tuple<const char*, std::function<void(Form1&)>, bool> steps[] = {  // what, step, enabled after it
        {"two paths", [](Form1& f) { f.txtInFilePathData.SetText("/maps/in.bmp"); f.txtOutFilePathData.SetText("/maps/in_.bmp"); }, false},
        {"evaluated", [](Form1& f) { f.UpdateMakeEnabled(); }, true},
        {"typing a path does not evaluate", [](Form1& f) { f.txtOutFilePathData.SetText("/maps/in.bmp"); }, true},
        {"equal paths", [](Form1& f) { f.UpdateMakeEnabled(); }, false},
        {"texts compared exactly", [](Form1& f) { f.txtOutFilePathData.SetText("/maps/IN.bmp"); f.UpdateMakeEnabled(); }, true},
        {"RLE8", [](Form1& f) { f.cboCompressionData.SetListIndex(1); f.UpdateMakeEnabled(); }, false},
        {"RGB again", [](Form1& f) { f.cboCompressionData.SetListIndex(0); f.UpdateMakeEnabled(); }, true},
        {"top equals bottom", [](Form1& f) { LeaveBox(f, f.txtOutTopLatitudeDegree, "35"); }, false},
        {"right equals left", [](Form1& f) { LeaveBox(f, f.txtOutTopLatitudeDegree, "36"); LeaveBox(f, f.txtOutRightLongitudeDegree, "139"); }, false},
        {"right beyond left", [](Form1& f) { LeaveBox(f, f.txtOutRightLongitudeDegree, "140"); }, true},
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
    ASSERT_TRUE(form_.cmdWriteAmbuloData.Enabled());
    Leave(form_.txtOutBottomLatitudeDegree, "36");
    EXPECT_FALSE(form_.cmdWriteAmbuloData.Enabled()) << "output top no longer above bottom";
}

}  // namespace
}  // namespace kartivo::test
