#include "BatchTestSupport.h"
#include "tools/JsonText.h"

#include <gtest/gtest.h>

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

// File names need not be UTF-8; whatever they hold, every report line must parse.
TEST(InfoCommand, JsonStringsEscapeControlsAndReplaceMalformedUtf8) {
    const std::string bad = "\\ufffd";
    const std::pair<std::string, std::string> cases[] = {
        {"q\"b\\ /\b\f\n\r\t\x01\x1f\x7f", R"(q\"b\\ /\b\f\n\r\t\u0001\u001f)" "\x7f"},
        {"\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF", "\xC2\x80\xE0\xA0\x80\xED\x9F\xBF\xF4\x8F\xBF\xBF"},
        {"\xC1\xBF", bad + bad},                        // overlong
        {"\xE0\x9F\xBF", bad + bad + bad},              // overlong
        {"\xED\xA0\x80|\xED\xBF\xBF", bad + bad + bad + "|" + bad + bad + bad},  // surrogates
        {"\x80\xE6\x9D" "a\xF0\x9F\x98", bad + bad + bad + "a" + bad + bad + bad},  // stray and cut
    };
    for (const auto& [text, json] : cases) EXPECT_EQ(batch::JsonString(text), "\"" + json + "\"") << json;
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
