// The batch tool's main promise: each command writes what the window writes for the same input.

#include "BatchTestSupport.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "bitmap/PictureLoading.h"

#include <gtest/gtest.h>

#include <utility>

namespace kartivo {
namespace {

using namespace test;

// A control of the window and the text a person types into it.
using WindowEdit = std::pair<std::string, std::string>;

// Types each text into its control; a corner box then runs its handler, as leaving it does.
void ApplyWindowEdits(Form1& form, const std::vector<WindowEdit>& edits) {
    for (const auto& [name, text] : edits) {
        Control* box = form.Find(name);
        ASSERT_NE(box, nullptr) << "the window has no control " << name;
        box->SetText(text);
        if (const auto validate = form.ValidateHandler(*box)) {
            EXPECT_TRUE(validate()) << name << ": " << text;
        }
    }
}

// A label's text as the JSON carries it: whole numbers as numbers.
Json FromLabel(const Control& label) {
    return Json(std::stoll(label.Text()));
}

// One corner as the window's boxes show it, side being "BottomLatitude" or the like.
Json Corner(Form1& window, const std::string& side) {
    const std::string degree = window.Find("txtIn" + side + "Degree")->Text();
    return {{"value", std::stod(degree)}, {"degree", degree}, {"dms", window.Find("txtIn" + side + "3")->Text()}};
}

// The window writes a file-name value into its box with 15 digits, then rounds that text to ten
// decimals: here the two roundings end on another last digit than one would.
TEST(InfoCommand, JsonCarriesWhatTheWindowShowsAfterLoading) {
    TempFolder folder;
    const std::string path = folder.File("東京(35.285655178649996,139.36887766975002,-35.7,180).bmp");
    WriteAll(path, MakeBitmap({.width = 800, .height = 6, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811}));
    test::ScriptedUserInterface ui;
    Form1 w(ui);
    w.Form_Load();
    w.LoadInputMap(path);
    const Json corners = {{"bottom", Corner(w, "BottomLatitude")}, {"left", Corner(w, "LeftLongitude")},
                          {"top", Corner(w, "TopLatitude")}, {"right", Corner(w, "RightLongitude")}};
    const Json expected = {{"path", path}, {"fileSize", FromLabel(w.lblFileSizeData)},
                           {"width", FromLabel(w.lblImageWidthData)}, {"height", FromLabel(w.lblImageHeightData)},
                           {"colorDepth", FromLabel(w.lblColorDepthData)}, {"compression", w.lblCompressionData.Text()},
                           {"resolutionWidth", FromLabel(w.lblResolutionWidthData)},
                           {"resolutionHeight", FromLabel(w.lblResolutionHeightData)},
                           {"name", w.txtName.Text()}, {"corners", corners}};

    const test::BatchRun run = RunBatchInProcess({"info", "--json", path});
    EXPECT_EQ(run.status, 0) << run.err;
    std::vector<Json> lines = test::JsonLines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    lines[0].erase("gdal");  // what GDAL reads of the file, where it does; the import's tests check it
    EXPECT_EQ(lines[0], expected);
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
          {"txtImageHeightData", "47"}, {"txtResolutionWidthData", "300"}, {"txtResolutionHeightData", "150"}},
         {"--corners", "-35°36' 00.0000'',-179.5,89°42' 30.5000'',180°", "--lat", "35.200000000049,35.90000000004999",
          "--height=47", "--dpi", "300,150", "-o", "OUT"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        TempFolder folder;
        const std::string input = folder.File(c.fileName);
        WriteAll(input, MakeBitmap(c.picture));
        test::ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        form.LoadInputMap(input);
        ApplyWindowEdits(form, c.windowEdits);
        form.txtOutFilePathData.SetText(folder.File("window.bmp"));
        form.UpdateMakeEnabled();
        EXPECT_TRUE(form.cmdMake.Enabled()) << "the window would not let Make run";
        form.cmdMake_Click();
        EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});

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
        EXPECT_EQ(ReadAll(output), ReadAll(folder.File("window.bmp")));
        EXPECT_EQ(FolderEntries(folder.Path()).size(), 3u);
    }
}

// The file grows to hold the fields; the name goes in as Shift-JIS; the layer is the first
// unless given.
TEST(WriteInfoCommand, WritesTheSameBytesAsTheWindow) {
    for (const int layerIndex : {0, 1, 2, 3}) {
        TempFolder folder;
        const Bytes existing{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        const std::string windowFile = folder.File("window.mbx");
        const std::string batchFile = folder.File("batch.mbx");
        WriteAll(windowFile, existing);
        WriteAll(batchFile, existing);
        test::ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        ApplyWindowEdits(form, {{"txtName", "シドニー"},
                                      {"txtInBottomLatitude3", "-33°52' 10.5000''"},
                                      {"txtInLeftLongitude3", "151°12' 00.0000''"},
                                      {"txtInTopLatitude3", "-33°40' 00.0000''"},
                                      {"txtInRightLongitude3", "151°20' 30.2500''"}});
        form.cboLayer.SetListIndex(layerIndex);
        form.SetMapDataFile(windowFile);
        form.cmdWriteAmbuloData_Click();
        EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{});
        ASSERT_NE(ReadAll(windowFile), existing) << "the window wrote nothing";

        std::vector<std::string> args{"write-info", batchFile, "--name=シドニー", "--corners",
                                      "-33°52' 10.5000'',151°12' 00.0000'',-33°40' 00.0000'',151°20' 30.2500''"};
        if (layerIndex != 0) args.push_back("--layer=" + std::to_string(layerIndex + 1));
        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(ReadAll(batchFile), ReadAll(windowFile)) << "layer " << layerIndex + 1;
    }
}

}  // namespace
}  // namespace kartivo
