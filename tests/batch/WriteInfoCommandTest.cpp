#include "BatchTestSupport.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <utility>

namespace kartivo {
namespace {

using namespace test;

// A map data file as another program left it: every byte tells where it came from.
Bytes ExistingMapData(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return bytes;
}

// The file grows to hold the fields; the name goes in as Shift-JIS; the layer is the first
// unless given.
TEST(WriteInfoCommand, WritesTheSameBytesAsTheWindow) {
    for (const int layerIndex : {0, 3}) {
        TempFolder folder;
        const std::string windowFile = folder.File("window.mbx");
        const std::string batchFile = folder.File("batch.mbx");
        WriteAll(windowFile, ExistingMapData(10));
        WriteAll(batchFile, ExistingMapData(10));
        test::ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        test::ApplyWindowEdits(form, {{"txtName", "シドニー"},
                                      {"txtInBottomLatitude3", "-33°52' 10.5000''"},
                                      {"txtInLeftLongitude3", "151°12' 00.0000''"},
                                      {"txtInTopLatitude3", "-33°40' 00.0000''"},
                                      {"txtInRightLongitude3", "151°20' 30.2500''"}});
        form.cboLayer.SetListIndex(layerIndex);
        form.SetMapDataFile(windowFile);
        form.cmdWriteAmbuloData_Click();
        EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});
        ASSERT_NE(ReadAll(windowFile), ExistingMapData(10)) << "the window wrote nothing";

        std::vector<std::string> args{"write-info", batchFile, "--name=シドニー", "--corners",
                                      "-33°52' 10.5000'',151°12' 00.0000'',-33°40' 00.0000'',151°20' 30.2500''"};
        if (layerIndex != 0) args.push_back("--layer=" + std::to_string(layerIndex + 1));
        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadAll(batchFile), ReadAll(windowFile)) << "layer " << layerIndex + 1;
    }
}

// With no file left to load the converter, a Japanese name is refused rather than written as
// "??"; an ASCII name needs no converter.
TEST(WriteInfoCommand, ANameTheConverterCannotTakeIsRefusedWithItsReason) {
    TempFolder folder;
    const std::string path = folder.File("area.mbx");
    const Bytes existing = ExistingMapData(200);
    const auto run = [&](const std::string& name) {
        WriteAll(path, existing);
        return test::RunBatchProgram({"write-info", path, "--name", name, "--corners", "1,2,3,4"}, folder, 4);
    };
    const test::BatchRun ascii = run("Tokyo");
    if (ascii.status != 0) {
        GTEST_SKIP() << "this build of the program cannot run with four open files (the sanitizers' own "
                        "checks need more): "
                     << ascii.err.substr(0, ascii.err.find('\n'));
    }
    const test::BatchRun japanese = run("東京");
    EXPECT_EQ(japanese.status, 1);
    EXPECT_NE(japanese.err.find(path + ": the map name cannot be converted to Shift-JIS ("), std::string::npos)
        << japanese.err;
    EXPECT_EQ(ReadAll(path), existing);
}

}  // namespace
}  // namespace kartivo
