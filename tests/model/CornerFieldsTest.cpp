#include "ModelTestSupport.h"
#include "app/Form1.h"

#include "geo/CoordinateText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <random>

namespace kartivo {
namespace {

using test::ScriptedUserInterface;

class CornerFields : public testing::Test {
protected:
    void SetUp() override { form_.Form_Load(); }

    bool Leave(Control& box, const std::string& text) { return test::LeaveBox(form_, box, text); }

    // The texts of all sixteen corner boxes, to tell what a refusal left alone.
    std::vector<std::string> Snapshot() const {
        std::vector<std::string> texts;
        for (const Control* control : form_.Controls()) {
            const std::string& name = control->Name();
            if (name.starts_with("txtIn") || name.starts_with("txtOut")) texts.push_back(name + "=" + control->Text());
        }
        return texts;
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
};

TEST_F(CornerFields, StartupLeavesEveryBoxAtZeroAndBothButtonsDisabled) {
    for (Control* box : {&form_.txtInBottomLatitudeDegree, &form_.txtInLeftLongitudeDegree,
                         &form_.txtInTopLatitudeDegree, &form_.txtInRightLongitudeDegree,
                         &form_.txtOutBottomLatitudeDegree, &form_.txtOutLeftLongitudeDegree,
                         &form_.txtOutTopLatitudeDegree, &form_.txtOutRightLongitudeDegree}) {
        EXPECT_EQ(box->Text(), "+0.0000000000") << box->Name();
    }
    for (Control* box : {&form_.txtInBottomLatitude3, &form_.txtInLeftLongitude3, &form_.txtInTopLatitude3,
                         &form_.txtInRightLongitude3, &form_.txtOutBottomLatitude3, &form_.txtOutLeftLongitude3,
                         &form_.txtOutTopLatitude3, &form_.txtOutRightLongitude3}) {
        EXPECT_EQ(box->Text(), "+0°00' 00.0000''") << box->Name();
    }
    EXPECT_FALSE(form_.cmdMake.Enabled());
    EXPECT_FALSE(form_.cmdWriteAmbuloData.Enabled());
}

TEST_F(CornerFields, AcceptedInputValuesAreWrittenInBothFormsAndCarriedToTheOutput) {
    ASSERT_TRUE(Leave(form_.txtInBottomLatitudeDegree, "35.5"));
    EXPECT_EQ(form_.txtInBottomLatitudeDegree.Text(), "+35.5000000000");
    EXPECT_EQ(form_.txtInBottomLatitude3.Text(), "+35°30' 00.0000''");
    EXPECT_EQ(form_.txtOutBottomLatitudeDegree.Text(), "+35.5000000000");
    EXPECT_EQ(form_.txtOutBottomLatitude3.Text(), "+35°30' 00.0000''");

    // An accepted input value overrides what the output box held.
    ASSERT_TRUE(Leave(form_.txtOutTopLatitudeDegree, "40"));
    ASSERT_TRUE(Leave(form_.txtInTopLatitudeDegree, "36"));
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), "+36.0000000000");
}

TEST_F(CornerFields, OutputValuesStayInTheOutputPair) {
    const auto before = Snapshot();
    ASSERT_TRUE(Leave(form_.txtOutBottomLatitudeDegree, "35.5"));
    EXPECT_EQ(form_.txtOutBottomLatitude3.Text(), "+35°30' 00.0000''");
    EXPECT_EQ(form_.txtInBottomLatitudeDegree.Text(), "+0.0000000000");
    EXPECT_EQ(form_.txtInBottomLatitude3.Text(), "+0°00' 00.0000''");
}

TEST_F(CornerFields, DegreeBoxesAcceptExactlyTheirRanges) {
    const struct {
        Control Form1::*box;
        const char* text;
        bool accepted;
    } cases[] = {
        {&Form1::txtInBottomLatitudeDegree, "90", true},
        {&Form1::txtInBottomLatitudeDegree, "-90", true},
        {&Form1::txtInTopLatitudeDegree, "90.1", false},
        {&Form1::txtOutBottomLatitudeDegree, "-91", false},
        {&Form1::txtOutTopLatitudeDegree, "90.0000000001", false},
        // The input longitudes refuse -180; the output longitudes take it.
        {&Form1::txtInLeftLongitudeDegree, "-180", false},
        {&Form1::txtInRightLongitudeDegree, "-180", false},
        {&Form1::txtOutLeftLongitudeDegree, "-180", true},
        {&Form1::txtOutRightLongitudeDegree, "-180", true},
        {&Form1::txtInLeftLongitudeDegree, "180", true},
        {&Form1::txtOutRightLongitudeDegree, "180.5", false},
        {&Form1::txtInLeftLongitudeDegree, "-179.9999999", true},
        {&Form1::txtInBottomLatitudeDegree, "", false},
        {&Form1::txtInBottomLatitudeDegree, "  ", false},
        {&Form1::txtInBottomLatitudeDegree, "abc", false},
        {&Form1::txtInBottomLatitudeDegree, "35,5", false},
        {&Form1::txtInBottomLatitudeDegree, " 3.5E1 ", true},
        {&Form1::txtInBottomLatitudeDegree, "1e400", false},
    };
    for (const auto& c : cases) {
        ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        Control& box = form.*c.box;
        box.SetText(c.text);
        std::vector<std::string> others;
        for (const Control* control : form.Controls()) {
            if (control != &box) others.push_back(control->Text());
        }
        EXPECT_EQ(form.ValidateHandler(box)(), c.accepted) << box.Name() << " " << c.text;
        if (!c.accepted) {
            EXPECT_EQ(box.Text(), c.text) << "a refused text stays as typed";
            std::vector<std::string> after;
            for (const Control* control : form.Controls()) {
                if (control != &box) after.push_back(control->Text());
            }
            EXPECT_EQ(after, others) << "a refusal changed another control: " << box.Name() << " " << c.text;
        }
    }
}

TEST_F(CornerFields, DmsBoxesRunTheirDegreeHandler) {
    ASSERT_TRUE(Leave(form_.txtOutTopLatitude3, "35°30' "));
    EXPECT_EQ(form_.txtOutTopLatitude3.Text(), "+35°30' 00.0000''");
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), "+35.5000000000");

    ASSERT_TRUE(Leave(form_.txtInRightLongitude3, "139°46' 0''"));
    EXPECT_EQ(form_.txtInRightLongitudeDegree.Text(), "+139.7666666667");
    EXPECT_EQ(form_.txtOutRightLongitudeDegree.Text(), "+139.7666666667");
    EXPECT_EQ(form_.txtOutRightLongitude3.Text(), "+139°46' 00.0000''");

    const auto before = Snapshot();
    EXPECT_FALSE(Leave(form_.txtInTopLatitude3, "91°"));
    EXPECT_FALSE(Leave(form_.txtInTopLatitude3, ""));
    EXPECT_FALSE(Leave(form_.txtInTopLatitude3, "35°41'22.2''"));
    form_.txtInTopLatitude3.SetText("+0°00' 00.0000''");
    // Refused by its Degree box, so refused here too: no box keeps a text it would refuse.
    EXPECT_FALSE(Leave(form_.txtInLeftLongitude3, "-180°"));
    form_.txtInLeftLongitude3.SetText("+0°00' 00.0000''");
    EXPECT_EQ(Snapshot(), before);
}

// Whatever the program writes into a corner box is accepted again, unchanged, when that box is
// left: at the limits, just inside them, where the seconds carry into the minutes, and at a
// spread of values in between. A typed value may be refused only where its texts would show
// an excluded -180.
TEST_F(CornerFields, EveryTextTheProgramWritesIsAcceptedAgainUnchanged) {
    std::mt19937_64 random(11);
    for (const char* name : {"txtInBottomLatitudeDegree", "txtInTopLatitudeDegree", "txtInLeftLongitudeDegree",
                             "txtInRightLongitudeDegree", "txtOutBottomLatitudeDegree", "txtOutTopLatitudeDegree",
                             "txtOutLeftLongitudeDegree", "txtOutRightLongitudeDegree"}) {
        // Each Degree box, its DMS partner, and the output pair an input field writes.
        std::string partner = name;
        partner.replace(partner.find("Degree"), 6, "3");
        const auto output = [](std::string box) { return box.starts_with("txtIn") ? box.replace(3, 2, "Out") : box; };
        Control& degree = *form_.Find(name);
        const std::vector<Control*> written = {&degree, form_.Find(partner), form_.Find(output(name)),
                                               form_.Find(output(partner))};
        const double limit = std::string(name).find("Latitude") != std::string::npos ? 90 : 180;
        const bool excludesLowerLimit = limit == 180 && std::string(name).starts_with("txtIn");
        std::vector<double> values = {0, -0.5, 35.05, -35.05, 59.7, 33.86 + 1e-12};
        for (const double inside : {0.0, 1e-12, 1e-10, 1e-9, 1.3e-8, 1.4e-8, 1.5e-8, 2e-8, 1e-7, 0.5 / 3600}) {
            values.push_back(limit - inside);
            values.push_back(-limit + inside);
        }
        // Whole minutes and seconds, and values a hair below or above them, carry or not.
        std::uniform_real_distribution<double> anywhere(-limit, limit);
        std::uniform_int_distribution<int> minutes(static_cast<int>(-limit * 60), static_cast<int>(limit * 60));
        for (int i = 0; i < 60; ++i) {
            values.push_back(anywhere(random));
            const double minute = minutes(random) / 60.0;
            values.push_back(std::clamp(minute - 1e-9 * (i % 3 - 1), -limit, limit));
            values.push_back(std::clamp(minute + (i % 60) / 3600.0 - 1e-11, -limit, limit));
        }
        for (const double value : values) {
            char typed[40];
            std::snprintf(typed, sizeof typed, "%.17g", value);
            const auto before = Snapshot();
            const std::string earlier = degree.Text();
            if (!Leave(degree, typed)) {
                EXPECT_TRUE(excludesLowerLimit && value < -limit + 2e-8) << name << " " << typed;
                EXPECT_EQ(degree.Text(), typed);
                degree.SetText(earlier);
                EXPECT_EQ(Snapshot(), before) << "a refusal changed another box";
                continue;
            }
            for (Control* box : written) {
                const std::string text = box->Text();
                EXPECT_TRUE(form_.ValidateHandler(*box)()) << box->Name() << " " << typed << " " << text;
                EXPECT_EQ(box->Text(), text) << box->Name() << " " << typed;
            }
        }
    }
    ASSERT_TRUE(Leave(form_.txtOutRightLongitudeDegree, "35.05"));
    EXPECT_EQ(form_.txtOutRightLongitude3.Text(), "+35°03' 00.0000''");

    // Corners written from a file name: one the box refuses leaves the box as it was.
    test::TempFolder folder;
    const std::string picture = folder.File("Edge(-90,-179.99999999999,90,180).bmp");
    test::WriteAll(picture, test::MakeBitmap({.width = 4, .height = 8}));
    form_.txtInLeftLongitudeDegree.SetText("+1.0000000000");
    form_.LoadInputMap(picture);
    EXPECT_EQ(form_.txtInLeftLongitudeDegree.Text(), "+1.0000000000");
    for (Control* box : {&form_.txtInBottomLatitudeDegree, &form_.txtInTopLatitudeDegree,
                         &form_.txtInLeftLongitudeDegree, &form_.txtInRightLongitudeDegree}) {
        EXPECT_TRUE(form_.ValidateHandler(*box)()) << box->Name() << " " << box->Text();
    }
}

// The handler runs once per visit and text, however many ways of leaving try it; a second
// run of a DMS box would round the seconds typed with five decimals.
TEST_F(CornerFields, LeavingTheActiveBoxRunsItsHandlerOncePerVisit) {
    form_.SetActiveControl(&form_.txtOutTopLatitude3);
    form_.txtOutTopLatitude3.SetText("35°41' 22.22225''");
    EXPECT_TRUE(form_.LeaveActiveControl());
    EXPECT_TRUE(form_.LeaveActiveControl());
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), DegreeText(35 + 41 / 60.0 + 22.22225 / 3600));
    EXPECT_EQ(form_.txtOutTopLatitude3.Text(), "+35°41' 22.2223''");

    // Coming back is a new visit.
    form_.SetActiveControl(&form_.cmdMake);
    form_.SetActiveControl(&form_.txtOutTopLatitude3);
    EXPECT_TRUE(form_.LeaveActiveControl());
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), DegreeText(35 + 41 / 60.0 + 22.2223 / 3600));

    form_.txtOutTopLatitude3.SetText("91°");
    EXPECT_FALSE(form_.LeaveActiveControl());
    EXPECT_FALSE(form_.LeaveActiveControl()) << "a refusal is not remembered as a check";
}

// Make and Write Informations run the focused box's handler before they read any box: a
// refused text stops them before a file is touched.
TEST_F(CornerFields, CommandsStopAtARefusedTextInTheFocusedBox) {
    test::TempFolder folder;
    const std::string picture = folder.File("Map(35,139,36,140).bmp");
    test::WriteAll(picture, test::MakeBitmap({.width = 4, .height = 8}));
    const std::string mapData = folder.File("map.mbx");
    test::WriteAll(mapData, test::Bytes(200, 0xAA));
    form_.LoadInputMap(picture);
    form_.SetMapDataFile(mapData);
    ASSERT_TRUE(Leave(form_.txtOutTopLatitudeDegree, "35.9"));
    ASSERT_TRUE(form_.cmdMake.Enabled() && form_.cmdWriteAmbuloData.Enabled());

    form_.SetActiveControl(&form_.txtOutTopLatitudeDegree);
    form_.txtOutTopLatitudeDegree.SetText("95");
    form_.cmdMake_Click();
    form_.cmdWriteAmbuloData_Click();
    EXPECT_FALSE(std::filesystem::exists(form_.txtOutFilePathData.Text()));
    EXPECT_EQ(test::ReadAll(mapData), test::Bytes(200, 0xAA));
    EXPECT_TRUE(ui_.boxes.shown.empty());
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), "95");

    form_.txtOutTopLatitudeDegree.SetText("35.95");
    form_.cmdWriteAmbuloData_Click();
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), "+35.9500000000");
    const test::Bytes written = test::ReadAll(mapData);
    EXPECT_EQ(std::string(written.begin() + 40, written.begin() + 55), "35.950000000000");
}

}  // namespace
}  // namespace kartivo
