#include "BatchTestSupport.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kartivo {
namespace {

using test::Bytes;
using test::ReadAll;
using test::RunBatchInProcess;
using test::TempFolder;
using test::WriteAll;

// A map data file as another program left it: every byte tells where it came from.
Bytes ExistingMapData(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    return bytes;
}

using test::WindowEdit;

// "Write Informations" in the window, after the edits, on the map data file at path.
void WindowWriteInfo(const std::string& path, const std::vector<WindowEdit>& edits, int layerIndex) {
    test::ScriptedUserInterface ui;
    Form1 form(ui);
    form.Form_Load();
    test::ApplyWindowEdits(form, edits);
    form.cboLayer.SetListIndex(layerIndex);
    form.SetMapDataFile(path);
    EXPECT_TRUE(form.cmdWriteAmbuloData.Enabled()) << "the window would not let it run";
    form.cmdWriteAmbuloData_Click();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});
}

struct WriteInfoCase {
    const char* label;
    std::size_t existingSize;
    // The name and the input corners, which the window carries over to the output rectangle.
    std::vector<WindowEdit> windowEdits;
    int windowLayerIndex;
    std::vector<std::string> batchOptions;
};

TEST(WriteInfoCommand, WritesTheSameBytesAsTheWindow) {
    const std::vector<WriteInfoCase> cases = {
        {"southern DMS corners, layer 4", 300,
         {{"txtName", "シドニー"}, {"txtInBottomLatitude3", "-33°52' 10.5000''"},
          {"txtInLeftLongitude3", "151°12' 00.0000''"}, {"txtInTopLatitude3", "-33°40' 00.0000''"},
          {"txtInRightLongitude3", "151°20' 30.2500''"}},
         3,
         {"--corners", "-33°52' 10.5000'',151°12' 00.0000'',-33°40' 00.0000'',151°20' 30.2500''", "--name=シドニー",
          "--layer=4"}},
        // The file grows to hold the fields; the name is cut to its field. The left longitude
        // goes into the output box: the input box refuses a value it would show as -180.
        {"a short file, a long name, the default layer", 10,
         {{"txtName", "A name much longer than twenty-eight bytes"}, {"txtInBottomLatitudeDegree", "-0.000000000049"},
          {"txtOutLeftLongitudeDegree", "-179.99999999999"}, {"txtInTopLatitudeDegree", "89.5"},
          {"txtInRightLongitudeDegree", "180"}},
         0,
         {"--name", "A name much longer than twenty-eight bytes", "--corners",
          "-0.000000000049,-179.99999999999,89.5,180"}},
    };
    for (const WriteInfoCase& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder folder;
        const std::string windowFile = folder.File("window.mbx");
        const std::string batchFile = folder.File("batch.mbx");
        WriteAll(windowFile, ExistingMapData(c.existingSize));
        WriteAll(batchFile, ExistingMapData(c.existingSize));
        WindowWriteInfo(windowFile, c.windowEdits, c.windowLayerIndex);
        ASSERT_NE(ReadAll(windowFile), ExistingMapData(c.existingSize)) << "the window wrote nothing";

        std::vector<std::string> args = {"write-info", batchFile};
        args.insert(args.end(), c.batchOptions.begin(), c.batchOptions.end());
        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadAll(batchFile), ReadAll(windowFile));
    }
}

TEST(WriteInfoCommand, RefusesAFileThatIsMissingOrNotAMapDataFile) {
    TempFolder folder;
    const Bytes existing = ExistingMapData(200);
    WriteAll(folder.File("area.MBX"), existing);
    WriteAll(folder.File("area.mbx.bak"), existing);
    std::filesystem::create_directory(folder.File("folder.mbx"));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"missing.mbx", "no such map data file"},
        {"folder.mbx", "no such map data file"},
        {"area.MBX", "its extension must be exactly \"mbx\""},
        {"area.mbx.bak", "its extension must be exactly \"mbx\""},
    };
    for (const auto& [name, message] : cases) {
        SCOPED_TRACE(name);
        const std::vector<std::string> before = test::FolderEntries(folder.Path());
        const test::BatchRun run =
            RunBatchInProcess({"write-info", folder.File(name), "--name", "X", "--corners", "1,2,3,4"});

        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("kartivo-batch: " + folder.File(name) + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(test::FolderEntries(folder.Path()), before);
    }
    EXPECT_EQ(ReadAll(folder.File("area.MBX")), existing);
    EXPECT_EQ(ReadAll(folder.File("area.mbx.bak")), existing);
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
