#include "app/Form1.h"
#include "ModelTestSupport.h"

#include <gtest/gtest.h>

namespace kartivo {
namespace {

using test::ScriptedUserInterface;

TEST(Startup, EveryControlHoldsItsStartupState) {
    ScriptedUserInterface ui;
    Form1 form(ui);
    form.Form_Load();

    EXPECT_EQ(form.NoDataText, "No Data");
    EXPECT_EQ(form.CompressionNames[0], "RGB (無圧縮)");
    EXPECT_EQ(form.CompressionNames[3], "Bitfields");

    const struct {
        const char* name;
        const char* text;
        bool enabled;
    } expected[] = {
        {"txtInFilePathData", "", true},
        {"lblFileSizeData", "Label1", true},
        {"lblImageWidthData", "0", true},
        {"lblImageHeightData", "0", true},
        {"lblColorDepthData", "", true},
        {"lblCompressionData", "", true},
        {"lblResolutionWidthData", "96", true},
        {"lblResolutionHeightData", "96", true},
        {"txtOutFilePathData", "Text1", true},
        {"lblOutFileSize", "0", true},
        {"txtImageWidthData", "0", false},
        {"txtImageHeightData", "0", true},
        {"cboColorDepthData", "1", false},
        {"cboCompressionData", "RGB (無圧縮)", false},
        {"txtResolutionWidthData", "96", true},
        {"txtResolutionHeightData", "96", true},
        {"cmdMake", "Make", false},
        {"txtlblAmbuloFilePath", "Text1", true},
        {"txtName", "Text1", true},
        {"cboLayer", "Layer1", true},
        {"cmdWriteAmbuloData", "Write Informations", false},
        {"fraIn", "In", true},
        {"fraOut", "Out", true},
        {"fraAmbulo", "Ambulo", true},
        {"mnuFileOpenInFile", "Open Input BMP File", true},
        {"mnuFileSelectOutFile", "Select Output BMP File", true},
        {"mnuFileSelectAmbuloFile", "Select Ambulo2 File", true},
        {"mnuFileQuit", "Quit", true},
    };
    for (const auto& e : expected) {
        const Control* control = form.Find(e.name);
        ASSERT_NE(control, nullptr) << e.name;
        EXPECT_EQ(control->Text(), e.text) << e.name;
        EXPECT_EQ(control->Enabled(), e.enabled) << e.name;
    }

    EXPECT_EQ(form.cboColorDepthData.Items(), (std::vector<std::string>{"1", "4", "8", "16", "24", "32"}));
    EXPECT_EQ(form.cboCompressionData.Items(),
              (std::vector<std::string>{"RGB (無圧縮)", "RLE8 (RunLength 8 bits/pixel)",
                                        "RLE4 (RunLength 4 bits/pixel)", "Bitfields"}));
    EXPECT_EQ(form.cboLayer.Items(), (std::vector<std::string>{"Layer1", "Layer2", "Layer3", "Layer4"}));
    EXPECT_EQ(form.cboLayer.ListIndex(), 0);
}

}  // namespace
}  // namespace kartivo
