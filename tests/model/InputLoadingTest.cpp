#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "common/DataConvert.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <tuple>

namespace kartivo::test {
namespace {

class InputLoading : public testing::Test {
protected:
    void SetUp() override { form_.Form_Load(); }

    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = folder_.File(name);
        WriteAll(path, bytes);
        return path;
    }

    // The captions of the seven property labels.
    std::vector<std::string> Labels() const {
        return {form_.lblFileSizeData.Text(),    form_.lblImageWidthData.Text(),      form_.lblImageHeightData.Text(),
                form_.lblColorDepthData.Text(),  form_.lblCompressionData.Text(),     form_.lblResolutionWidthData.Text(),
                form_.lblResolutionHeightData.Text()};
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
    TempFolder folder_;
};

TEST_F(InputLoading, AWindowsPictureFillsTheLabelsAndTheOutputFields) {
    const Bytes bytes = MakeBitmap({.width = 800, .height = 600, .bitCount = 24, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811});
    const std::string path = Write("plain.bmp", bytes);
    std::vector<std::string> sizes;
    form_.lblOutFileSize.onUpdate = [&sizes](const Control& c) { sizes.push_back(c.Text()); };

    form_.LoadInputMap(path);

    EXPECT_TRUE(ui_.boxes.shown.empty());
    EXPECT_EQ(form_.txtInFilePathData.Text() + "|" + form_.txtOutFilePathData.Text(), path + "|" + folder_.File("plain_.bmp"));
    std::vector<std::string> shown{"800", "600", "24", "RGB (無圧縮)", "72", "300"};
    EXPECT_EQ((std::vector{form_.txtImageWidthData.Text(), form_.txtImageHeightData.Text(), form_.cboColorDepthData.Text(),
                           form_.cboCompressionData.Text(), form_.txtResolutionWidthData.Text(), form_.txtResolutionHeightData.Text()}),
              shown);
    shown.insert(shown.begin(), std::to_string(bytes.size()));
    EXPECT_EQ(Labels(), shown);
    // Width (depth still 1, height 0), then height, then depth each recompute it at once.
    EXPECT_EQ(sizes, (std::vector<std::string>{"54", "60054", "1440054"}));
    EXPECT_EQ(form_.lblOutFileSize.Text(), std::to_string(2400 * 600 + 54));
}

TEST_F(InputLoading, AnOs2PictureShowsNoDataAndCaptionsWithoutAnEntryKeepTheSelection) {
    form_.LoadInputMap(Write("a.bmp", MakeBitmap({.bitCount = 24})));
    form_.LoadInputMap(Write("Tokyo.bmp", MakeBitmap({.width = 5, .height = 3, .bitCount = 2, .os2 = true})));
    EXPECT_TRUE(ui_.boxes.shown.empty());
    const auto labels = Labels();
    EXPECT_EQ(std::vector(labels.begin() + 1, labels.end()), (std::vector<std::string>{"5", "3", "2", "No Data", "No Data", "No Data"}));
    EXPECT_EQ(form_.cboColorDepthData.Text(), "24");
    EXPECT_EQ(form_.cboCompressionData.ListIndex(), 0);
    EXPECT_EQ(form_.txtResolutionWidthData.Text(), "No Data");
}

TEST_F(InputLoading, RefusedFilesSayWhyAndKeepWhatTheyMust) {
    form_.LoadInputMap(Write("good.bmp", MakeBitmap({.width = 7, .height = 9})));
    const auto before = Labels();
    const std::string text = Write("notes.txt", {'h', 'e', 'l', 'l', 'o'});
    form_.LoadInputMap(text);
    EXPECT_EQ(ui_.MessageTexts().back(), "This file is not BMP.");
    EXPECT_TRUE(ui_.boxes.shown.back().title == "Kartivo" && ui_.boxes.shown.back().icon == MessageIcon::Exclamation);
    EXPECT_EQ(form_.txtInFilePathData.Text() + "|" + form_.txtOutFilePathData.Text(), text + "|" + folder_.File("notes_.txt"));
    EXPECT_EQ(Labels(), before);
    EXPECT_EQ(form_.inputHeaders.file.bytes[0], 'h') << "the headers of the last file read are kept";

    Bytes v4 = MakeBitmap({});
    v4[14] = 108;
    form_.LoadInputMap(Write("v4.bmp", v4));
    EXPECT_EQ(ui_.MessageTexts().back(), "Could not define file type (OS/2 or Windows).");
    auto expected = before;
    expected[0] = std::to_string(v4.size());
    EXPECT_EQ(Labels(), expected) << "only the file size changes";
}

// A cancelled dialog loads nothing; a missing file is reported with the system's reason and never
// made; Abort on a missing folder ends with a message.
TEST_F(InputLoading, MissingFilesAndFolders) {
    form_.mnuFileOpenInFile_Click();
    EXPECT_EQ(form_.txtInFilePathData.Text(), "") << "a cancelled dialog loads nothing";
    const std::string path = folder_.File("new.bmp");
    form_.LoadInputMap(path);
    EXPECT_FALSE(std::filesystem::exists(path));
    ui_.boxes.answers = {AlarmAnswer::Abort};
    form_.LoadInputMap(folder_.File("no/such/map.bmp"));
    ASSERT_EQ(ui_.boxes.shown.size(), 3U);
    EXPECT_EQ(ui_.boxes.shown[0].text, "Failed to Open File.\r\n" + path + ": No such file or directory");
    EXPECT_TRUE(ui_.boxes.shown[1].alarm);
    EXPECT_EQ(ui_.boxes.shown[2].text, "Failed to Open File.");
    EXPECT_EQ(form_.txtOutFilePathData.Text(), folder_.File("no/such/map_.bmp"));
}

// The name and corners of a file name; a corner its box refuses leaves that box as it was.
TEST_F(InputLoading, FileNamesGiveTheNameAndCorners) {
    const std::pair<const char*, const char*> cases[] = {  // file; name, bottom, left, top and right shown
        {"Tokyo.bmp", "Text1|+0.0000000000|+0.0000000000|+0.0000000000|+0.0000000000"},
        {"My Map (35.6,139.6,35.7,139.8).bmp", "My Map |+35.6000000000|+139.6000000000|+35.7000000000|+139.8000000000"},
        {"Tokyo(95,139.6,35.7,139.8).bmp", "Tokyo|+0.0000000000|+139.6000000000|+35.7000000000|+139.8000000000"},
    };
    for (const auto& [file, shown] : cases) {
        ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        form.LoadInputMap(Write(file, MakeBitmap({})));
        EXPECT_EQ(form.txtName.Text() + "|" + form.txtInBottomLatitudeDegree.Text() + "|" + form.txtInLeftLongitudeDegree.Text() +
                      "|" + form.txtInTopLatitudeDegree.Text() + "|" + form.txtInRightLongitudeDegree.Text(), shown);
    }
}

TEST_F(InputLoading, OutputSizeFollowsTheBoxesAndTheInputsPixelOffset) {
    const std::tuple<const char*, const char*, const char*, std::int32_t, const char*> cases[] = {  // width, height, depth, offset
        {"100", "100", "24", 1078, "31078"},  // a 256-entry colour table before the input's pixels
        {"5", "3", "4", 0, "12"},
        {"10", "", "16", 0, "No Data"},            // a box emptied while typing
        {"100000", "100000", "32", 0, "No Data"},  // beyond 32 bits
    };
    for (const auto& [width, height, depth, offBits, shown] : cases) {
        LongToBytes(offBits, form_.inputHeaders.file.bytes, bfOffBitsOffset);
        form_.txtImageWidthData.SetText(width);
        form_.cboColorDepthData.SelectText(depth);
        form_.txtImageHeightData.SetText(height);
        EXPECT_EQ(form_.lblOutFileSize.Text(), shown) << width << "x" << height << "x" << depth;
    }
}

}  // namespace
}  // namespace kartivo::test
