#include "BatchTestSupport.h"
#include "JsonReader.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace kartivo {
namespace {

using test::Bytes;
using test::JsonValue;
using test::MakeBitmap;
using test::ParseJson;
using test::RunBatchInProcess;
using test::TempFolder;
using test::WriteAll;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A property as the window's label shows it: whole numbers as digits, null as "No Data".
std::string AsLabel(const JsonValue& value) {
    if (value.IsNull()) return "No Data";
    if (value.kind == JsonValue::Kind::Number) return std::to_string(static_cast<long long>(value.number));
    return value.text;
}

struct InfoCase {
    const char* label;
    std::string fileName;
    Bytes bytes;
};

TEST(InfoCommand, JsonCarriesWhatTheWindowShowsAfterLoading) {
    const std::vector<InfoCase> cases = {
        {"corners in the name, two resolutions", "Tokyo(35.6,139.6,35.7,139.8).bmp",
         MakeBitmap({.width = 800, .height = 6, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811})},
        {"the OS/2 form", "Tokyo(35.6,139.6,35.7,139.8).bmp", MakeBitmap({.width = 3, .height = 4, .os2 = true})},
        {"stored top row first, 8 bits", "Down(10,20,-10,-20).bmp",
         MakeBitmap({.width = 5, .height = -9, .bitCount = 8, .colorTable = Bytes(1024, 1)})},
        {"run-length compressed", "Rle(1,2,3,4).bmp",
         MakeBitmap({.width = 4, .height = 4, .bitCount = 8, .compression = 1})},
        {"a name with too few corners", "Only(35.6,139.6).bmp", MakeBitmap({})},
        // More digits than the boxes keep: the window shows its own rounding.
        {"long decimals", "Fine(35.12345678901234,139.99999999999,35.98765432109876,140.0000000000499).bmp",
         MakeBitmap({})},
        // The window writes a file-name value into its box with 15 digits, then rounds that text
        // to ten decimals: here the two roundings end on another last digit than one would.
        {"a value rounded twice", "Edge(35.285655178649996,139.36887766975002,35.9,139.9).bmp", MakeBitmap({})},
        {"no name at all", "plain.bmp", MakeBitmap({})},
    };
    for (const InfoCase& c : cases) {
        SCOPED_TRACE(c.label);
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
        const std::vector<std::string> lines = Lines(run.out);
        ASSERT_EQ(lines.size(), 1u) << run.out;
        const std::optional<JsonValue> json = ParseJson(lines[0]);
        ASSERT_TRUE(json) << lines[0];

        // What GDAL reads of the file, where it reads it, comes last; the import's tests check it.
        std::vector<std::string> keys = json->Keys();
        if (!keys.empty() && keys.back() == "gdal") keys.pop_back();
        EXPECT_EQ(keys, (std::vector<std::string>{"path", "fileSize", "width", "height", "colorDepth", "compression",
                                                  "resolutionWidth", "resolutionHeight", "name", "corners"}));
        EXPECT_EQ((*json)["path"].text, path);
        EXPECT_EQ((std::vector<std::string>{AsLabel((*json)["fileSize"]), AsLabel((*json)["width"]),
                                            AsLabel((*json)["height"]), AsLabel((*json)["colorDepth"]),
                                            AsLabel((*json)["compression"]), AsLabel((*json)["resolutionWidth"]),
                                            AsLabel((*json)["resolutionHeight"])}),
                  (std::vector<std::string>{window.lblFileSizeData.Text(), window.lblImageWidthData.Text(),
                                            window.lblImageHeightData.Text(), window.lblColorDepthData.Text(),
                                            window.lblCompressionData.Text(), window.lblResolutionWidthData.Text(),
                                            window.lblResolutionHeightData.Text()}));
        const JsonValue& name = (*json)["name"];
        EXPECT_EQ(name.IsNull() ? nameBefore : name.text, window.txtName.Text());

        const JsonValue& corners = (*json)["corners"];
        if (corners.IsNull()) {
            EXPECT_EQ(window.txtInTopLatitudeDegree.Text(), "+0.0000000000") << "the window found corners";
            continue;
        }
        const struct {
            const char* key;
            const Control& degree;
            const Control& dms;
        } boxes[] = {{"bottom", window.txtInBottomLatitudeDegree, window.txtInBottomLatitude3},
                     {"left", window.txtInLeftLongitudeDegree, window.txtInLeftLongitude3},
                     {"top", window.txtInTopLatitudeDegree, window.txtInTopLatitude3},
                     {"right", window.txtInRightLongitudeDegree, window.txtInRightLongitude3}};
        EXPECT_EQ(corners.Keys(), (std::vector<std::string>{"bottom", "left", "top", "right"}));
        for (const auto& box : boxes) {
            SCOPED_TRACE(box.key);
            EXPECT_EQ(corners[box.key].Keys(), (std::vector<std::string>{"value", "degree", "dms"}));
            EXPECT_EQ(corners[box.key]["degree"].text, box.degree.Text());
            EXPECT_EQ(corners[box.key]["dms"].text, box.dms.Text());
            EXPECT_EQ(corners[box.key]["value"].number, std::stod(box.degree.Text()));
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
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 4u) << run.out;
    std::vector<JsonValue> reports;
    for (const std::string& line : lines) {
        const auto json = ParseJson(line);
        ASSERT_TRUE(json) << line;
        reports.push_back(*json);
    }
    EXPECT_EQ(reports[0].Keys(), (std::vector<std::string>{"path", "error"}));
    EXPECT_EQ(reports[0]["error"].text, "This file is not BMP.");
    EXPECT_FALSE(reports[1].Has("error"));
    // The window still shows the size of a picture whose header form it does not know.
    EXPECT_EQ(reports[2].Keys(), (std::vector<std::string>{"path", "fileSize", "error"}));
    EXPECT_EQ(reports[2]["fileSize"].number, static_cast<double>(v5.size()));
    EXPECT_EQ(reports[3]["error"].text, "Failed to Open File.");
    EXPECT_FALSE(std::filesystem::exists(missing)) << "loading must not create a missing picture";
}

TEST(InfoCommand, JsonStaysParseableForAnyFileName) {
    TempFolder folder;
    const std::vector<std::pair<std::string, std::string>> names = {
        // file name, and how the report spells it
        {"quote\"and\\backslash(1,2,3,4).bmp", "quote\"and\\backslash(1,2,3,4).bmp"},
        {"line\nbreak\tand\x01control.bmp", "line\nbreak\tand\x01control.bmp"},
        {"東京(35.6,139.6,35.7,139.8).bmp", "東京(35.6,139.6,35.7,139.8).bmp"},
        // Not UTF-8: the stray byte is reported as U+FFFD.
        {"latin1-\xE9t\xE9.bmp", "latin1-\xEF\xBF\xBDt\xEF\xBF\xBD.bmp"},
        {"cut-\xE6\x9D.bmp", "cut-\xEF\xBF\xBD\xEF\xBF\xBD.bmp"},
    };
    std::vector<std::string> args = {"info", "--json"};
    for (const auto& name : names) {
        WriteAll(folder.File(name.first), MakeBitmap({}));
        args.push_back(folder.File(name.first));
    }

    const test::BatchRun run = RunBatchInProcess(args);

    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> lines = Lines(run.out);
    ASSERT_EQ(lines.size(), names.size()) << run.out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const auto json = ParseJson(lines[i]);
        ASSERT_TRUE(json) << lines[i];
        EXPECT_EQ((*json)["path"].text, folder.File(names[i].second));
    }
    EXPECT_EQ(ParseJson(lines[2])->operator[]("name").text, "東京");
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
