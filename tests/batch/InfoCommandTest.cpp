#include "BatchTestSupport.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "tools/JsonText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace kartivo {
namespace {

using test::Bytes;
using test::Json;
using test::MakeBitmap;
using test::RunBatchInProcess;
using test::TempFolder;
using test::WriteAll;

// A property as the window's label shows it: whole numbers as digits, null as "No Data".
std::string AsLabel(const Json& value) {
    if (value.is_null()) return "No Data";
    return value.is_number() ? std::to_string(value.get<long long>()) : value.get<std::string>();
}

TEST(InfoCommand, JsonCarriesWhatTheWindowShowsAfterLoading) {
    const struct {
        std::string fileName;
        Bytes bytes;
    } cases[] = {
        {"Tokyo(35.6,139.6,-35.7,139.8).bmp",
         MakeBitmap({.width = 800, .height = 6, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811})},
        {"東京(35.6,139.6,35.7,180).bmp", MakeBitmap({.width = 3, .height = 4, .os2 = true})},
        // The window writes a file-name value into its box with 15 digits, then rounds that text
        // to ten decimals: here the two roundings end on another last digit than one would.
        {"Edge(35.285655178649996,139.36887766975002,35.9,139.9).bmp", MakeBitmap({})},
        {"plain.bmp", MakeBitmap({.bitCount = 8, .compression = 1})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fileName);
        TempFolder folder;
        const std::string path = folder.File(c.fileName);
        WriteAll(path, c.bytes);
        test::ScriptedUserInterface ui;
        Form1 window(ui);
        window.Form_Load();
        const std::string nameBefore = window.txtName.Text();
        window.LoadInputMap(path);

        const test::BatchRun run = RunBatchInProcess({"info", "--json", path});
        ASSERT_EQ(run.status, 0) << run.err;
        const std::vector<Json> lines = test::JsonLines(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        const Json& json = lines[0];
        // What GDAL reads of the file, where it reads it, comes last; the import's tests check it.
        std::vector<std::string> keys = test::Keys(json);
        if (!keys.empty() && keys.back() == "gdal") keys.pop_back();
        EXPECT_EQ(keys, (std::vector<std::string>{"path", "fileSize", "width", "height", "colorDepth", "compression",
                                                  "resolutionWidth", "resolutionHeight", "name", "corners"}));
        EXPECT_EQ(json["path"], path);
        std::vector<std::string> shown;
        for (const char* key : {"fileSize", "width", "height", "colorDepth", "compression", "resolutionWidth",
                                "resolutionHeight"}) {
            shown.push_back(AsLabel(json[key]));
        }
        EXPECT_EQ(shown, (std::vector<std::string>{
                             window.lblFileSizeData.Text(), window.lblImageWidthData.Text(),
                             window.lblImageHeightData.Text(), window.lblColorDepthData.Text(),
                             window.lblCompressionData.Text(), window.lblResolutionWidthData.Text(),
                             window.lblResolutionHeightData.Text()}));
        EXPECT_EQ(json["name"].is_null() ? nameBefore : json["name"].get<std::string>(), window.txtName.Text());
        const Json& corners = json["corners"];
        if (corners.is_null()) {
            EXPECT_EQ(window.txtInTopLatitudeDegree.Text(), "+0.0000000000") << "the window found corners";
            continue;
        }
        EXPECT_EQ(test::Keys(corners), (std::vector<std::string>{"bottom", "left", "top", "right"}));
        const struct {
            const char* key;
            const Control& degree;
            const Control& dms;
        } boxes[] = {{"bottom", window.txtInBottomLatitudeDegree, window.txtInBottomLatitude3},
                     {"left", window.txtInLeftLongitudeDegree, window.txtInLeftLongitude3},
                     {"top", window.txtInTopLatitudeDegree, window.txtInTopLatitude3},
                     {"right", window.txtInRightLongitudeDegree, window.txtInRightLongitude3}};
        for (const auto& box : boxes) {
            SCOPED_TRACE(box.key);
            EXPECT_EQ(test::Keys(corners[box.key]), (std::vector<std::string>{"value", "degree", "dms"}));
            EXPECT_EQ(corners[box.key]["degree"], box.degree.Text());
            EXPECT_EQ(corners[box.key]["dms"], box.dms.Text());
            EXPECT_EQ(corners[box.key]["value"], std::stod(box.degree.Text()));
        }
    }
}

TEST(InfoCommand, ARefusedPictureGetsTheWindowsMessageAndTheOthersStillReport) {
    TempFolder folder;
    const std::string good = folder.File("good.bmp");
    const std::string text = folder.File("notes.bmp");
    const std::string unknown = folder.File("v5.bmp");
    const std::string missing = folder.File("gone.bmp");
    WriteAll(good, MakeBitmap({}));
    WriteAll(text, Bytes{'n', 'o', 't', 'e', 's'});
    Bytes v5 = MakeBitmap({});
    v5[14] = 124;
    WriteAll(unknown, v5);

    const test::BatchRun run = RunBatchInProcess({"info", "--json", text, good, unknown, missing});

    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "kartivo-batch: " + text + ": This file is not BMP.\n" + "kartivo-batch: " + unknown +
                           ": Could not define file type (OS/2 or Windows).\n" + "kartivo-batch: " + missing +
                           ": Failed to Open File.\n");
    const std::vector<Json> reports = test::JsonLines(run.out);
    ASSERT_EQ(reports.size(), 4u) << run.out;
    EXPECT_EQ(test::Keys(reports[0]), (std::vector<std::string>{"path", "error"}));
    EXPECT_EQ(reports[0]["error"], "This file is not BMP.");
    EXPECT_FALSE(reports[1].contains("error"));
    // The window still shows the size of a picture whose header form it does not know.
    EXPECT_EQ(test::Keys(reports[2]), (std::vector<std::string>{"path", "fileSize", "error"}));
    EXPECT_EQ(reports[2]["fileSize"], v5.size());
    EXPECT_EQ(reports[3]["error"], "Failed to Open File.");
    EXPECT_FALSE(std::filesystem::exists(missing)) << "loading must not create a missing picture";
}

// File names need not be UTF-8; whatever they hold, every report line must parse.
TEST(InfoCommand, JsonStringsEscapeControlsAndReplaceMalformedUtf8) {
    const std::string bad = "\\ufffd";
    const struct {
        std::string text;
        std::string json;
    } cases[] = {
        {"q\"b\\ /\b\f\n\r\t\x01\x1f\x7f", R"(q\"b\\ /\b\f\n\r\t\u0001\u001f)" "\x7f"},
        {"\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF",
         "\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {"\xC1\xBF", bad + bad},                        // overlong
        {"\xE0\x9F\xBF", bad + bad + bad},              // overlong
        {"\xF0\x8F\xBF\xBF", bad + bad + bad + bad},    // overlong
        {"\xED\xA0\x80|\xED\xBF\xBF", bad + bad + bad + "|" + bad + bad + bad},  // surrogates
        {"\xF4\x90\x80\x80", bad + bad + bad + bad},    // beyond U+10FFFF
        {"\xC1\x90\x80\x80", bad + bad + bad + bad},
        {"\xF8\x88\x80\x80\x80", bad + bad + bad + bad + bad},
        {"\x80\xE6\x9D" "a\xF0\x9F\x98", bad + bad + bad + "a" + bad + bad + bad},  // stray and cut
    };
    for (const auto& c : cases) {
        EXPECT_EQ(batch::JsonString(c.text), "\"" + c.json + "\"") << c.json;
    }
}

TEST(InfoCommand, TextShowsThePropertiesAndBothCornerForms) {
    TempFolder folder;
    const std::string path = folder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    const Bytes bytes = MakeBitmap({.width = 800, .height = 6, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811});
    WriteAll(path, bytes);
    const std::string plain = folder.File("plain.bmp");
    WriteAll(plain, MakeBitmap({.width = 2, .height = 3, .os2 = true}));

    const test::BatchRun run = RunBatchInProcess({"info", path, plain});

    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, path + "\n" +
                           "  file size          " + std::to_string(bytes.size()) + "\n"
                           "  width              800\n"
                           "  height             6\n"
                           "  colour depth       24\n"
                           "  compression        RGB (無圧縮)\n"
                           "  resolution width   72\n"
                           "  resolution height  300\n"
                           "  name               Tokyo\n"
                           "  bottom latitude    +35.6000000000  +35°36' 00.0000''\n"
                           "  left longitude     +139.6000000000  +139°36' 00.0000''\n"
                           "  top latitude       +35.7000000000  +35°42' 00.0000''\n"
                           "  right longitude    +139.8000000000  +139°48' 00.0000''\n"
                           "\n" +
                           plain + "\n" +
                           "  file size          " + std::to_string(MakeBitmap({.width = 2, .height = 3, .os2 = true}).size()) + "\n"
                           "  width              2\n"
                           "  height             3\n"
                           "  colour depth       24\n"
                           "  compression        No Data\n"
                           "  resolution width   No Data\n"
                           "  resolution height  No Data\n"
                           "  name               (none in the file name)\n"
                           "  corners            (none in the file name)\n");
}

}  // namespace
}  // namespace kartivo
