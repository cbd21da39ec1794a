#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "common/DataConvert.h"

#include <gtest/gtest.h>

namespace kartivo {
namespace {

TEST(OutputSize, FollowsWidthHeightAndDepthAndTheInputsPixelOffset) {
    const struct {
        const char *width, *height, *depth;
        std::int32_t inputOffBits;
        const char* shown;
    } cases[] = {
        {"100", "100", "24", 1078, "31078"},  // a 256-entry colour table before the input's pixels
        {"5", "3", "4", 0, "12"},
        {"10", "", "16", 0, "No Data"},            // a box emptied while typing
        {"100000", "100000", "32", 0, "No Data"},  // beyond 32 bits
    };
    for (const auto& c : cases) {
        test::ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        LongToBytes(c.inputOffBits, form.inputHeaders.file.bytes, bfOffBitsOffset);
        form.txtImageWidthData.SetText(c.width);
        form.cboColorDepthData.SelectText(c.depth);
        form.txtImageHeightData.SetText(c.height);
        EXPECT_EQ(form.lblOutFileSize.Text(), c.shown) << c.width << "x" << c.height << "x" << c.depth;
    }
}

}  // namespace
}  // namespace kartivo
