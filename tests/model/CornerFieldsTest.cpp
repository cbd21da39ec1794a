#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <functional>

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
    EXPECT_EQ(Snapshot(), before);
}

TEST_F(CornerFields, MinusOneEightyTypedAsDmsIntoAnInputLongitudeStaysAsTyped) {
    ASSERT_TRUE(Leave(form_.txtInLeftLongitude3, "-180°"));
    EXPECT_EQ(form_.txtInLeftLongitude3.Text(), "-180°") << "the DMS box keeps what was typed";
    EXPECT_EQ(form_.txtInLeftLongitudeDegree.Text(), "-180") << "the general number text stays";
    EXPECT_EQ(form_.txtOutLeftLongitudeDegree.Text(), "+0.0000000000");
    EXPECT_EQ(form_.txtOutLeftLongitude3.Text(), "+0°00' 00.0000''");
}

TEST_F(CornerFields, EveryTextTheProgramWritesIsAcceptedAgainUnchanged) {
    // Whole minutes held just below themselves in binary used to come out as 60 seconds.
    for (const char* value : {"35.05", "139.7", "-0.5", "139.7671", "-33.86", "0.0000138889"}) {
        ASSERT_TRUE(Leave(form_.txtOutRightLongitudeDegree, value)) << value;
        const std::string degree = form_.txtOutRightLongitudeDegree.Text();
        const std::string dms = form_.txtOutRightLongitude3.Text();
        EXPECT_TRUE(form_.ValidateHandler(form_.txtOutRightLongitude3)()) << dms;
        EXPECT_EQ(form_.txtOutRightLongitude3.Text(), dms) << value;
        EXPECT_EQ(form_.txtOutRightLongitudeDegree.Text(), degree) << value;
        EXPECT_TRUE(form_.ValidateHandler(form_.txtOutRightLongitudeDegree)());
        EXPECT_EQ(form_.txtOutRightLongitudeDegree.Text(), degree) << value;
    }
    ASSERT_TRUE(Leave(form_.txtOutRightLongitudeDegree, "35.05"));
    EXPECT_EQ(form_.txtOutRightLongitude3.Text(), "+35°03' 00.0000''");
}

}  // namespace
}  // namespace kartivo
