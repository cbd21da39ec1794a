#include "ModelTestSupport.h"
#include "app/Form1.h"
#include "bitmap/PictureLoading.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace kartivo {
namespace {

using test::MakeBitmap;
using test::ScriptedUserInterface;
using test::TempFolder;
using test::WriteAll;

class InputLoading : public testing::Test {
protected:
    void SetUp() override { form_.Form_Load(); }

    std::string Write(const std::string& name, const test::Bytes& bytes) {
        const std::string path = folder_.File(name);
        WriteAll(path, bytes);
        return path;
    }

    // The captions of the seven property labels.
    std::vector<std::string> Labels() const {
        return {form_.lblFileSizeData.Text(),        form_.lblImageWidthData.Text(),
                form_.lblImageHeightData.Text(),     form_.lblColorDepthData.Text(),
                form_.lblCompressionData.Text(),     form_.lblResolutionWidthData.Text(),
                form_.lblResolutionHeightData.Text()};
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
    TempFolder folder_;
};

TEST_F(InputLoading, AWindowsPictureFillsTheLabelsAndTheOutputFields) {
    const test::Bytes bytes = MakeBitmap({.width = 800, .height = 600, .bitCount = 24, .xPelsPerMeter = 2835,
                                          .yPelsPerMeter = 11811});
    const std::string path = Write("plain.bmp", bytes);
    std::vector<std::string> sizes;
    form_.lblOutFileSize.onUpdate = [&sizes](const Control& c) { sizes.push_back(c.Text()); };

    form_.LoadInputMap(path);

    EXPECT_TRUE(ui_.boxes.shown.empty());
    EXPECT_EQ(form_.txtInFilePathData.Text(), path);
    EXPECT_EQ(form_.txtOutFilePathData.Text(), folder_.File("plain_.bmp"));
    EXPECT_EQ(Labels(), (std::vector<std::string>{std::to_string(bytes.size()), "800", "600", "24",
                                                   "RGB (無圧縮)", "72", "300"}));
    EXPECT_EQ(form_.txtImageWidthData.Text(), "800");
    EXPECT_EQ(form_.txtImageHeightData.Text(), "600");
    EXPECT_EQ(form_.cboColorDepthData.Text(), "24");
    EXPECT_EQ(form_.cboCompressionData.ListIndex(), 0);
    EXPECT_EQ(form_.txtResolutionWidthData.Text(), "72");
    EXPECT_EQ(form_.txtResolutionHeightData.Text(), "300");
    // Width (depth still 1, height 0), then height, then depth each recompute it at once.
    EXPECT_EQ(sizes, (std::vector<std::string>{"54", "60054", "1440054"}));
    EXPECT_EQ(form_.lblOutFileSize.Text(), std::to_string(2400 * 600 + 54));
    EXPECT_EQ(form_.txtName.Text(), "Text1") << "no name in this file name";
}

TEST_F(InputLoading, AnOs2PictureShowsNoDataAndKeepsValidSelections) {
    form_.LoadInputMap(Write("Tokyo(35.6,139.6,35.7,139.8).bmp",
                             MakeBitmap({.width = 5, .height = 3, .bitCount = 8, .os2 = true})));
    EXPECT_TRUE(ui_.boxes.shown.empty());
    EXPECT_EQ(form_.lblImageWidthData.Text(), "5");
    EXPECT_EQ(form_.lblColorDepthData.Text(), "8");
    EXPECT_EQ(form_.lblCompressionData.Text(), "No Data");
    EXPECT_EQ(form_.cboColorDepthData.Text(), "8");
    EXPECT_EQ(form_.cboCompressionData.ListIndex(), 0) << "no entry reads No Data: the selection stays";
    EXPECT_EQ(form_.txtResolutionWidthData.Text(), "No Data");
    EXPECT_EQ(form_.txtName.Text(), "Tokyo");
    EXPECT_EQ(form_.txtInBottomLatitudeDegree.Text(), "+35.6000000000");
    EXPECT_EQ(form_.txtOutRightLongitudeDegree.Text(), "+139.8000000000");
}

TEST_F(InputLoading, ADepthWithoutAnEntryKeepsTheSelection) {
    form_.LoadInputMap(Write("a.bmp", MakeBitmap({.bitCount = 24})));
    form_.LoadInputMap(Write("b.bmp", MakeBitmap({.bitCount = 2})));
    EXPECT_EQ(form_.lblColorDepthData.Text(), "2");
    EXPECT_EQ(form_.cboColorDepthData.Text(), "24");
}

TEST_F(InputLoading, RefusedFilesSayWhyAndKeepWhatTheyMust) {
    form_.LoadInputMap(Write("good.bmp", MakeBitmap({.width = 7, .height = 9})));
    const auto before = Labels();

    const std::string text = Write("notes.txt", {'h', 'e', 'l', 'l', 'o'});
    form_.LoadInputMap(text);
    EXPECT_EQ(ui_.MessageTexts().back(), "This file is not BMP.");
    EXPECT_EQ(ui_.boxes.shown.back().title, "Kartivo");
    EXPECT_EQ(ui_.boxes.shown.back().icon, MessageIcon::Exclamation);
    EXPECT_EQ(form_.txtInFilePathData.Text(), text);
    EXPECT_EQ(form_.txtOutFilePathData.Text(), folder_.File("notes_.txt"));
    EXPECT_EQ(Labels(), before);
    EXPECT_EQ(form_.inputHeaders.file.bytes[0], 'h') << "the headers of the last file read are kept";

    test::Bytes v4 = MakeBitmap({});
    v4[14] = 108;
    form_.LoadInputMap(Write("v4.bmp", v4));
    EXPECT_EQ(ui_.MessageTexts().back(), "Could not define file type (OS/2 or Windows).");
    auto expected = before;
    expected[0] = std::to_string(v4.size());
    EXPECT_EQ(Labels(), expected) << "only the file size changes";
}

TEST_F(InputLoading, AMissingFileInAnExistingFolderIsCreatedEmpty) {
    const std::string path = folder_.File("new.bmp");
    form_.LoadInputMap(path);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(std::filesystem::file_size(path), 0U);
    EXPECT_EQ(ui_.MessageTexts(), (std::vector<std::string>{"This file is not BMP."}));
}

TEST_F(InputLoading, AbortOnAMissingFolderEndsWithFailedToOpen) {
    ui_.boxes.answers = {AlarmAnswer::Abort};
    form_.LoadInputMap(folder_.File("no/such/map.bmp"));
    ASSERT_EQ(ui_.boxes.shown.size(), 2U);
    EXPECT_TRUE(ui_.boxes.shown[0].alarm);
    EXPECT_EQ(ui_.boxes.shown[1].text, "Failed to Open File.");
    EXPECT_EQ(form_.txtOutFilePathData.Text(), folder_.File("no/such/map_.bmp"));
}

TEST_F(InputLoading, ProposesTheOutputBesideTheInput) {
    EXPECT_EQ(ProposeOutputPath("/maps/Tokyo.bmp"), "/maps/Tokyo_.bmp");
    EXPECT_EQ(ProposeOutputPath("/maps/Tokyo"), "/maps/Tokyo_.");
    EXPECT_EQ(ProposeOutputPath("/maps/a.b.bmp"), "/maps/a.b_.bmp");
    EXPECT_EQ(ProposeOutputPath("/Tokyo.bmp"), "//Tokyo_.bmp") << "the root already ends in a separator";
    EXPECT_EQ(ProposeOutputPath("Tokyo.bmp"), "Tokyo_.bmp") << "a bare name must not move to the root";
}

TEST_F(InputLoading, FileNamesGiveTheNameAndCorners) {
    const struct {
        const char* file;
        const char* name;              // expected txtName
        std::array<const char*, 4> in; // bottom, left, top, right Degree texts; nullptr: unchanged (zero)
    } cases[] = {
        {"Tokyo.bmp", "Text1", {}},
        {"(35.6,139.6,35.7,139.8).bmp", "Text1", {}},
        {"My Map (35.6,139.6,35.7,139.8).bmp", "My Map ", {"+35.6000000000", "+139.6000000000", "+35.7000000000", "+139.8000000000"}},
        {"Tokyo(35.7,139.8,35.6,139.6).bmp", "Tokyo", {"+35.6000000000", "+139.6000000000", "+35.7000000000", "+139.8000000000"}},
        {"Tokyo(1,2,3).bmp", "Tokyo", {}},
        {"Tokyo(10,20,30).bmp", "Tokyo", {}},
        {"Tokyo(35.6,139.6,35.7,139.8,0).bmp", "Tokyo", {}},
        {"Tokyo(abc,139.6,35.7,139.8).bmp", "Tokyo", {"+0.0000000000", "+139.6000000000", "+35.7000000000", "+139.8000000000"}},
        {"Tokyo(95,139.6,35.7,139.8).bmp", "Tokyo", {"+0.0000000000", "+139.6000000000", "+35.7000000000", "+139.8000000000"}},
        {"Tokyo(-10,-20,10,20).bmp", "Tokyo", {"-10.0000000000", "-20.0000000000", "+10.0000000000", "+20.0000000000"}},
        {"Tokyo(35.6,139.6,35.7,139.8)", "Tokyo", {}},
    };
    for (const auto& c : cases) {
        ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        const std::string path = folder_.File(c.file);
        WriteAll(path, MakeBitmap({}));
        form.LoadInputMap(path);
        EXPECT_EQ(form.txtName.Text(), c.name) << c.file;
        const Control* in[] = {&form.txtInBottomLatitudeDegree, &form.txtInLeftLongitudeDegree,
                               &form.txtInTopLatitudeDegree, &form.txtInRightLongitudeDegree};
        const Control* out[] = {&form.txtOutBottomLatitudeDegree, &form.txtOutLeftLongitudeDegree,
                                &form.txtOutTopLatitudeDegree, &form.txtOutRightLongitudeDegree};
        for (std::size_t k = 0; k < 4; ++k) {
            const std::string expected = c.in[k] != nullptr ? c.in[k] : "+0.0000000000";
            EXPECT_EQ(in[k]->Text(), expected) << c.file << " input corner " << k;
            EXPECT_EQ(out[k]->Text(), expected) << c.file << " output corner " << k;
        }
    }
}

TEST_F(InputLoading, DialogsAndDropsChooseThePicture) {
    const std::string first = Write("first.bmp", MakeBitmap({.width = 3}));
    const std::string second = Write("second.bmp", MakeBitmap({.width = 4}));

    ui_.dialogAnswers = {""};
    form_.mnuFileOpenInFile_Click();
    ASSERT_EQ(ui_.openRequests.size(), 1U);
    EXPECT_EQ(ui_.openRequests[0].filter, (std::vector<FileFilter>{{"BMP(*.bmp)", "*.bmp"}}));
    EXPECT_EQ(ui_.openRequests[0].viewCommand, 28715U);
    EXPECT_EQ(form_.txtInFilePathData.Text(), "") << "cancelling loads nothing";

    ui_.dialogAnswers = {second};
    form_.txtInFilePathData_DblClick();
    EXPECT_EQ(form_.lblImageWidthData.Text(), "4");

    form_.lblDragIn_OLEDragDrop({first, second, "/elsewhere.bmp"});
    EXPECT_EQ(form_.txtInFilePathData.Text(), first);
    EXPECT_EQ(form_.lblImageWidthData.Text(), "3");
}

// Every picture of the public suite loads to exactly one outcome.
TEST_F(InputLoading, EveryBmpSuitePictureLoadsToOneOutcome) {
    const std::filesystem::path suite = KARTIVO_BMPSUITE_DIR;
    if (!std::filesystem::exists(suite)) GTEST_SKIP() << "no picture suite at " << suite;
    int pictures = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(suite)) {
        if (!entry.is_regular_file()) continue;
        ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        form.LoadInputMap(entry.path().string());
        EXPECT_LE(ui.boxes.shown.size(), 1U) << entry.path();
        for (const auto& shown : ui.boxes.shown) EXPECT_FALSE(shown.alarm) << entry.path();
        ++pictures;
    }
    EXPECT_GT(pictures, 50);
}

}  // namespace
}  // namespace kartivo
