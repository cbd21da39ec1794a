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
        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadAll(output), window);
        EXPECT_EQ(FolderEntries(folder.Path()).size(), 3u);
    }
}

TEST(MakeCommand, RefusesAPictureWithTheWindowsMessageAndWritesNothing) {
    const Bytes good = MakeBitmap({.width = 4, .height = 4});
    const struct {
        std::string fileName;
        Bytes bytes;
        std::vector<std::string> options;
        std::string message;
    } cases[] = {
        {"plain.bmp", good, {}, "its file name carries no corners"},
        {Tokyo, MakeBitmap({.width = 4, .height = 4, .bitCount = 8, .compression = 1}), {},
         "its compression is RLE8 (RunLength 8 bits/pixel)"},
        {"Flat(35,139,35,140).bmp", good, {}, "do not have the top above the bottom"},
        // The boxes keep ten decimals, which round these to the pole.
        {Tokyo, good, {"--lat", "80,89.99999999996"}, "beyond 90"},
        {Tokyo, good, {"--corners", "-89.99999999996,1,0,2", "--lat", "-1,0"}, "beyond 90"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        TempFolder folder;
        const std::string input = folder.File(c.fileName);
        WriteAll(input, c.bytes);
        std::vector<std::string> args = {"make"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back(input);
        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err.rfind("kartivo-batch: " + input + ": ", 0), 0u) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{c.fileName});
        EXPECT_EQ(ReadAll(input), c.bytes);
    }
}

TEST(MakeCommand, NeverWritesOverAPictureGiven) {
    TempFolder folder;
    const Bytes picture = MakeBitmap({.width = 4, .height = 6});
    const Bytes earlierOutput = MakeBitmap({.width = 2, .height = 3});
    const std::string input = folder.File(Tokyo);
    // A second run over a folder meets the outputs of the first among the pictures.
    const std::string madeBefore = folder.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp");
    WriteAll(input, picture);
    WriteAll(madeBefore, earlierOutput);
    std::filesystem::create_directory(folder.File("sub"));

    const test::BatchRun both = RunBatchInProcess({"make", input, madeBefore});
    EXPECT_EQ(both.status, 1);
    EXPECT_NE(both.err.find(madeBefore + " is one of the pictures given"), std::string::npos) << both.err;
    EXPECT_EQ(ReadAll(madeBefore), earlierOutput);

    // The picture itself, named through another path.
    const test::BatchRun itself = RunBatchInProcess({"make", "-o", folder.File("sub/../" + Tokyo), input});
    EXPECT_EQ(itself.status, 1);
    EXPECT_NE(itself.err.find("is the input picture itself"), std::string::npos) << itself.err;
    EXPECT_EQ(ReadAll(input), picture);
}

// Standard error is a terminal in the first run only.
TEST(MakeCommand, ShowsProgressOnATerminalClearsItBeforeAnErrorAndCreatesNoFolder) {
    TempFolder folder;
    const std::string good = folder.File(Tokyo);
    const std::string refused = folder.File("plain.bmp");
    WriteAll(good, MakeBitmap({.width = 4, .height = 6}));
    WriteAll(refused, MakeBitmap({.width = 4, .height = 6}));
    const std::string clear = "\r\x1b[K";

    const test::BatchRun terminal = RunBatchInProcess({"make", good, refused}, true);
    EXPECT_EQ(terminal.err, clear + "[1/2] " + Tokyo + clear + "[2/2] plain.bmp" + clear + "kartivo-batch: " +
                                refused + ": its file name carries no corners, Name(lat,lon,lat,lon); give them "
                                          "with --corners\n");

    const std::string output = folder.File("missing/out.bmp");
    const test::BatchRun run = RunBatchInProcess({"make", "-o", output, good});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kartivo-batch: Cannot Open " + output + " by Error Code=76:No such file or directory\n" +
                           "kartivo-batch: " + good + ": Could not Open Output File! (" + output +
                           ": No such file or directory)\n");
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));
}

}  // namespace
}  // namespace kartivo
