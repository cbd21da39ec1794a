#include "BatchTestSupport.h"
#include "tools/BatchConsole.h"
#include "tools/JsonText.h"

#include <gtest/gtest.h>

#include <sstream>
#include <utility>

namespace kartivo {
namespace {

using namespace test;

// A refused picture's report carries the window's message, and the pictures after it still report.
TEST(InfoCommand, JsonReportsARefusedPictureAndGoesOn) {
    TempFolder folder;
    Bytes v5 = MakeBitmap({});
    v5[14] = 124;
    WriteAll(folder.File("v5.bmp"), v5);
    WriteAll(folder.File("good.bmp"), MakeBitmap({}));

    const BatchRun run =
        RunBatchInProcess({"info", "--json", folder.File("v5.bmp"), folder.File("gone.bmp"), folder.File("good.bmp")});

    EXPECT_EQ(run.status, 1);
    std::vector<Json> reports = JsonLines(run.out);
    ASSERT_EQ(reports.size(), 3u) << run.out;
    reports[0].erase("gdal");
    // The window still shows the size of a picture whose header form it does not know.
    EXPECT_EQ(reports[0], (Json{{"path", folder.File("v5.bmp")},
                                {"fileSize", v5.size()},
                                {"error", "Could not define file type (OS/2 or Windows)."}}));
    EXPECT_EQ(reports[1], (Json{{"path", folder.File("gone.bmp")}, {"error", "Failed to Open File. (No such file or directory)"}}));
    EXPECT_FALSE(reports[2].contains("error"));
}

// File names need not be UTF-8; whatever they hold, every report line must parse, and holds
// nothing a terminal obeys (DEL and the C1 controls as escapes too).
TEST(InfoCommand, JsonStringsEscapeControlsAndReplaceMalformedUtf8) {
    const std::string bad = "\\ufffd";
    const std::pair<std::string, std::string> cases[] = {
        {"q\"b\\ /\b\f\n\r\t\x01\x1f\x7f~", R"(q\"b\\ /\b\f\n\r\t\u0001\u001f\u007f~)"},
        {"\xC2\x80\xC2\x9F\xC2\xA0\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF",
         "\\u0080\\u009f\xC2\xA0\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF"},
        {"\xC1\xBF", bad + bad},                        // overlong
        {"\xE0\x9F\xBF", bad + bad + bad},              // overlong
        {"\xED\xA0\x80|\xED\xBF\xBF", bad + bad + bad + "|" + bad + bad + bad},  // surrogates
        {"\x80\xE6\x9D" "a\xF0\x9F\x98", bad + bad + bad + "a" + bad + bad + bad},  // stray and cut
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(batch::JsonString(text), "\"" + json + "\"") << json;
}

// Whatever a file name, a WKT or a .points file holds reaches the terminal as text, nothing it
// would obey; UTF-8 passes as it is, even written in pieces, and JSON passes unchanged.
TEST(Console, ShowsWhatATerminalWouldObeyAsEscapes) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"a\x1b]0;owned\x07\r\tb\x7f\x1f \n"}, "a\\x1b]0;owned\\x07\\x0d\\x09b\\x7f\\x1f \n"},
        {{"\xC3\xA9\xE6\x97\xA5\xF0\x9F\x97\xBE ", "\xC3", "\xA9\n"}, "\xC3\xA9\xE6\x97\xA5\xF0\x9F\x97\xBE \xC3\xA9\n"},
        {{"\xC2\x9B" "1m\xC2\xA0|\x9b|\xE6\x9D" "a|\xED\xA0\x80|\xC0\xAF|\xC3"},
         "\\xc2\\x9b1m\xC2\xA0|\\x9b|\\xe6\\x9da|\\xed\\xa0\\x80|\\xc0\\xaf|\\xc3"},
    };
    for (const auto& [pieces, shown] : cases) {
        std::ostringstream out;
        std::ostringstream err;
        {
            batch::Console console{out, err, false};
            for (const std::string& piece : pieces) piece.size() == 1 ? console.out.put(piece[0]) : console.out << piece;
        }
        EXPECT_EQ(out.str(), shown);
    }
    const std::string name = "no\x1b[2Jsuch\x7f.bmp";
    EXPECT_NE(RunBatchInProcess({"info", name}).err.find("no\\x1b[2Jsuch\\x7f.bmp: "), std::string::npos);
    EXPECT_EQ(JsonLines(RunBatchInProcess({"info", "--json", name}).out).at(0)["path"], name);
}

// An area across 180 degrees at zoom 3 is two bitmaps of 57 x 595 pixels (rows of 172 bytes),
// cut at the grid's top; a whole world at zoom 14 is said to be beyond any bitmap.
TEST(InfoCommand, TilesTellEachPartsTilesSizeAndCorners) {
    const std::vector<std::string> across = {"info", "--tiles", "file:///t/{z}/{x}/{-y}.png", "--zoom", "3",
                                             "--box", "60,170,89,-170"};
    std::vector<std::string> json = across;
    json.push_back("--json");
    const BatchRun run = RunBatchInProcess(json);
    ASSERT_EQ(run.status, 0) << run.err;
    const Json report = JsonLines(run.out).at(0);
    EXPECT_EQ(report["tileCount"], 6);
    EXPECT_EQ(report["cutAtGridEdge"], true);
    ASSERT_EQ(report["parts"].size(), 2u);
    const Json& west = report["parts"][0];
    EXPECT_EQ(west["part"], "_west");
    EXPECT_EQ(west["window"], (Json{{"left", 1991}, {"top", 0}, {"width", 57}, {"height", 595}}));
    EXPECT_EQ(west["tileX"], (Json{{"first", 7}, {"last", 7}}));
    EXPECT_EQ(west["tileY"], (Json{{"first", 0}, {"last", 2}}));
    EXPECT_EQ(west["fileSize"], 54 + 172 * 595);
    EXPECT_EQ(west["corners"]["right"], 180 - 180.0 / 2048);
    EXPECT_EQ(report["corners"], west["corners"]);
    EXPECT_EQ(report["parts"][1]["part"], "_east");
    EXPECT_EQ(report["parts"][1]["corners"]["left"], -180 + 180.0 / 2048);

    const BatchRun text = RunBatchInProcess(across);
    EXPECT_NE(text.out.find("  tiles              6\n  cut at 85.0511"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("  split at 180       _east\n  tile columns       0 to 0\n  tile rows          0 to 2\n"
                            "  size               57 x 595 pixels, 102394 bytes\n"),
              std::string::npos);

    const BatchRun world = RunBatchInProcess({"info", "--json", "--tiles", "area.mbtiles", "--zoom", "14", "--box", "-85,-180,85,180"});
    const Json whole = JsonLines(world.out).at(0);
    EXPECT_EQ(whole["parts"][0]["fits"], false);
    EXPECT_EQ(whole["parts"][0]["width"], 4194304);
}

// The same picture twice, for the blank line between two.
TEST(InfoCommand, TextShowsThePropertiesAndBothCornerForms) {
    TempFolder folder;
    const std::string path = folder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(path, MakeBitmap({.width = 800, .height = 6, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811}));

    const test::BatchRun run = RunBatchInProcess({"info", path, path});

    EXPECT_EQ(run.status, 0) << run.err;
    const std::string shown = path + "\n" +
                              "  file size          14454\n"
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
                              "  right longitude    +139.8000000000  +139°48' 00.0000''\n";
    EXPECT_EQ(run.out, shown + "\n" + shown);
}

}  // namespace
}  // namespace kartivo
