#include "BatchTestSupport.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "bitmap/PictureLoading.h"

#include <gtest/gtest.h>

namespace kartivo {
namespace {

using namespace test;

// What the window's Make writes to outputPath for the picture, after the edits.
Bytes WindowMake(const std::string& inputPath, const std::string& outputPath, const std::vector<WindowEdit>& edits) {
    test::ScriptedUserInterface ui;
    Form1 form(ui);
    form.Form_Load();
    form.LoadInputMap(inputPath);
    test::ApplyWindowEdits(form, edits);
    form.txtOutFilePathData.SetText(outputPath);
    form.UpdateMakeEnabled();
    EXPECT_TRUE(form.cmdMake.Enabled()) << "the window would not let Make run";
    form.cmdMake_Click();
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});
    return ReadAll(outputPath);
}

const std::string Tokyo = "Tokyo(35.6,139.6,35.7,139.8).bmp";

TEST(MakeCommand, WritesTheSameBytesAsTheWindowsMake) {
    const struct {
        std::string fileName;
        TestBitmap picture;
        std::vector<WindowEdit> windowEdits;
        std::vector<std::string> batchOptions;  // "OUT" stands for the named output
    } cases[] = {
        // Every default: the corners in the file name; 3000 and 1000 pixels per metre show as
        // 76 and 25 dots per inch, which the window writes back as 2992 and 984.
        {Tokyo,
         {.width = 7, .height = 10, .bitCount = 8, .xPelsPerMeter = 3000, .yPelsPerMeter = 1000, .clrUsed = 4,
          .colorTable = Bytes(16, 0x55)}, {}, {}},
        // Corners in every written form; the boxes keep ten decimals and the window computes with those.
        {"plain.bmp", {.width = 3, .height = 40},
         {{"txtInBottomLatitude3", "-35°36' 00.0000''"}, {"txtInLeftLongitude3", "-179°30' 00.0000''"},
          {"txtInTopLatitude3", "89°42' 30.5000''"}, {"txtInRightLongitude3", "180°00' 00.0000''"},
          {"txtOutBottomLatitudeDegree", "35.200000000049"}, {"txtOutTopLatitudeDegree", "35.90000000004999"},
          {"txtImageHeightData", "47"}, {"txtResolutionWidthData", "300"}, {"txtResolutionHeightData", "150.5"}},
         {"--corners", "-35°36' 00.0000'',-179.5,89°42' 30.5000'',180°", "--lat", "35.200000000049,35.90000000004999",
          "--height=47", "--dpi", "300,150.5", "-o", "OUT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        TempFolder folder;
        const std::string input = folder.File(c.fileName);
        WriteAll(input, MakeBitmap(c.picture));
        const Bytes window = WindowMake(input, folder.File("window.bmp"), c.windowEdits);
        ASSERT_GT(window.size(), 54u);

        std::vector<std::string> args = {"make"};
        std::string output = ProposeOutputPath(input);
        for (const std::string& option : c.batchOptions) {
            args.push_back(option == "OUT" ? output = folder.File("named.bmp") : option);
        }
        args.push_back(input);
        const test::BatchRun run = RunBatchInProcess(args, true);

        EXPECT_EQ(run.status, 0) << run.err;
        // Standard error stands for a terminal: the progress line, cleared at the end.
        EXPECT_EQ(run.err, "\r\x1b[K[1/1] " + c.fileName + "\r\x1b[K");
        EXPECT_EQ(ReadAll(output), window);
        EXPECT_EQ(FolderEntries(folder.Path()).size(), 3u);
    }
}

}  // namespace
}  // namespace kartivo
