#include "FaultyFileSystem.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <tuple>

namespace kartivo::test {
namespace {

class MakeCommand : public testing::Test {
protected:
    void SetUp() override { form_.Form_Load(); }

    // Loads a picture whose file name carries the corners 35..36 N, 139..140 E.
    std::string Load(Form1& form, const TestBitmap& spec, const std::string& name = "Map(35,139,36,140).bmp") {
        const std::string path = folder_.File(name);
        WriteAll(path, MakeBitmap(spec));
        form.LoadInputMap(path);
        return path;
    }

    void Leave(Control& box, const std::string& text) {
        ASSERT_TRUE(LeaveBox(form_, box, text)) << box.Name() << " " << text;
    }

    std::string Output() const { return form_.txtOutFilePathData.Text(); }

    ScriptedUserInterface ui_;
    TempFolder folder_;
    Form1 form_{ui_};
};

TEST_F(MakeCommand, WritesTheChosenRowsWithTheResolutionOfItsBoxes) {
    Load(form_, {.width = 3, .height = 4, .bitCount = 24, .xPelsPerMeter = 2835, .yPelsPerMeter = 11811});
    Leave(form_.txtOutBottomLatitudeDegree, "35.2");
    Leave(form_.txtOutTopLatitudeDegree, "35.8");
    form_.txtResolutionHeightData.SetText("96");
    form_.cmdMake_Click();

    EXPECT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();
    const Bytes out = ReadAll(Output());
    ASSERT_EQ(out.size(), 54U + 4 * 12);
    EXPECT_EQ(out[38] + 256 * out[39], 2835);  // 72 dpi
    EXPECT_EQ(out[42] + 256 * out[43], 3780);  // 96 dpi
    // The first input row lies below the output range; rows 1, 1, 2, 2 follow.
    EXPECT_EQ((std::vector{out[54], out[66], out[78], out[90]}), (std::vector{RowMarker(1), RowMarker(1), RowMarker(2), RowMarker(2)}));
    EXPECT_EQ(ui_.busyChanges, (std::vector<bool>{true, false}));
    EXPECT_TRUE(form_.cmdMake.Enabled()) << "the button comes back after the work";

    // A picture stored top row first: the caption shows the header, the box the rows.
    Load(form_, {.width = 3, .height = -4, .bitCount = 24}, "Top(35,139,36,140).bmp");
    EXPECT_EQ(form_.lblImageHeightData.Text(), "-4");
    EXPECT_EQ(form_.txtImageHeightData.Text(), "4");
    form_.cmdMake_Click();
    EXPECT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();
    EXPECT_EQ(ReadAll(Output()).size(), 54U + 4 * 12);
}

TEST_F(MakeCommand, RefusalsNameTheProblemAndWriteNothing) {
    // What is changed after loading, and a part of the text shown.
    const std::tuple<const char*, TestBitmap, std::function<void(Form1&)>, const char*> cases[] = {
        {"height not a number", {}, [](Form1& f) { f.txtImageHeightData.SetText("ten"); }, "is not a whole number"},
        {"resolution too large", {}, [](Form1& f) { f.txtResolutionWidthData.SetText("1e9"); }, "too large"},
        {"depth the list lacks", {.bitCount = 2}, [](Form1&) {}, "colour depth differs"},
        {"width not the input's", {}, [](Form1& f) { f.txtImageWidthData.SetText("7"); }, "width or colour depth"},
        {"input path names another picture", {}, [](Form1& f) { f.txtInFilePathData.SetText(f.txtInFilePathData.Text() + ".other"); },
         "is not the picture that was loaded"},
        // Reported with the system's reason, and never made anew.
        {"input vanished", {}, [](Form1& f) { std::filesystem::remove(f.txtInFilePathData.Text()); },
         "Could not Open Input File! (/"},
    };
    for (const auto& [what, spec, change, message] : cases) {
        SCOPED_TRACE(what);
        ScriptedUserInterface ui;
        Form1 form(ui);
        form.Form_Load();
        // Another picture beside the input, for the row that names it, and an older output.
        WriteAll(Load(form, spec) + ".other", MakeBitmap({.width = 5}));
        const std::string output = form.txtOutFilePathData.Text();
        WriteAll(output, Bytes(10, 0xEE));
        change(form);
        const std::string input = form.txtInFilePathData.Text();
        const auto state = [&input, &output] {
            std::vector<std::optional<Bytes>> files;
            for (const std::string& path : {input, output}) files.push_back(std::filesystem::exists(path) ? std::optional(ReadAll(path)) : std::nullopt);
            return files;
        };
        const auto before = state();
        form.cmdMake_Click();
        ASSERT_EQ(ui.boxes.shown.size(), 1U);
        EXPECT_NE(ui.boxes.shown[0].text.find(message), std::string::npos) << ui.boxes.shown[0].text;
        EXPECT_EQ(ui.boxes.shown[0].title, "Kartivo Alarm");
        EXPECT_EQ(ui.boxes.shown[0].icon, MessageIcon::Stop);
        EXPECT_EQ(state(), before) << "the input or the older output changed";
    }
}

// The input's open is refused once the picture is loaded: the person is asked once, and the
// reason is named.
class RefusingFileSystem : public FaultyFileSystem {
public:
    using FaultyFileSystem::FaultyFileSystem;
    std::string refused;
    OpenAttempt Open(const std::string& path, OpenMode mode) override {
        if (path == refused) return {nullptr, OpenFailure::PermissionDenied, "Permission denied"};
        return FaultyFileSystem::Open(path, mode);
    }
};

TEST_F(MakeCommand, FailuresNameTheReasonAndKeepTheOlderOutput) {
    RefusingFileSystem files;
    Form1 form(ui_, files);
    form.Form_Load();
    const std::string input = Load(form, {.width = 3, .height = 4, .bitCount = 24});
    const std::string output = form.txtOutFilePathData.Text();
    WriteAll(output, Bytes(300, 0xEE));
    files.refused = input;
    ui_.boxes.answers = {AlarmAnswer::Cancel};
    form.cmdMake_Click();
    ASSERT_EQ(ui_.boxes.shown.size(), 2U);
    EXPECT_TRUE(ui_.boxes.shown[0].alarm);
    EXPECT_NE(ui_.boxes.shown[1].text.find("Could not Open Input File! (" + input + ": Permission denied)"), std::string::npos);
    EXPECT_EQ(ReadAll(output), Bytes(300, 0xEE));
    EXPECT_TRUE(ui_.busyChanges.empty() && form.cmdMake.Enabled());
}

TEST_F(MakeCommand, TheOutputDialogProposesTheCurrentPathAndAsksNothing) {
    form_.txtOutFilePathData.SetText("/maps/Tokyo_.bmp");
    form_.txtOutFilePathData_DblClick();
    EXPECT_EQ(form_.txtOutFilePathData.Text(), "/maps/Tokyo_.bmp") << "cancelling keeps the path";
    const FileDialogRequest& request = ui_.saveRequests.at(0);
    EXPECT_EQ(request.initialFolder + "|" + request.initialFileName, "/maps|/maps/Tokyo_.bmp");
    EXPECT_EQ(request.flags & DialogOverwritePrompt, 0U) << "no overwrite question";
}

class MapDataCommand : public MakeCommand {
protected:
    // Input and output rectangle 35..36 N, 139..140 E, the output narrowed, and a map data file.
    std::string Prepare(Form1& form) {
        for (auto [box, text] : {std::pair{&form.txtInBottomLatitudeDegree, "35"}, std::pair{&form.txtInTopLatitudeDegree, "36"},
                                 std::pair{&form.txtInLeftLongitudeDegree, "139"}, std::pair{&form.txtInRightLongitudeDegree, "140"},
                                 std::pair{&form.txtOutTopLatitudeDegree, "35.658"}, std::pair{&form.txtOutRightLongitudeDegree, "139.745"},
                                 std::pair{&form.txtOutBottomLatitudeDegree, "-33.86"}}) {
            EXPECT_TRUE(LeaveBox(form, *box, text)) << text;
        }
        const std::string path = folder_.File("area.mbx");
        WriteAll(path, Bytes(300, 0xFF));
        form.SetMapDataFile(path);
        return path;
    }
};

TEST_F(MapDataCommand, PatchesTheFieldsAndNothingElse) {
    const std::string path = Prepare(form_);
    form_.txtName.SetText("Tokyo");
    EXPECT_EQ(form_.cboLayer.Text(), "Layer1");
    form_.cboLayer.SetListIndex(4);  // beyond the four layers: none is selected
    EXPECT_EQ(form_.cboLayer.ListIndex(), -1);
    form_.cboLayer.SetListIndex(2);
    ASSERT_TRUE(form_.cmdWriteAmbuloData.Enabled());
    form_.cmdWriteAmbuloData_Click();
    EXPECT_TRUE(ui_.boxes.shown.empty());
    Bytes expected(300, 0xFF);
    for (const auto& [at, text, size] : {std::tuple{8, "Tokyo", 28}, std::tuple{40, "35.658000000000", 15}, std::tuple{72, "139.00000000000", 15},
                                         std::tuple{104, "-33.86000000000", 15}, std::tuple{136, "139.74500000000", 15}}) {
        std::memset(expected.data() + at, 0, size);
        std::memcpy(expected.data() + at, text, std::strlen(text));
    }
    expected[173] = 3;
    EXPECT_EQ(ReadAll(path), expected);
}

// A failed write keeps the file; a file gone since it was chosen is not made anew as a head with
// nothing behind it. Either way the person is told why.
TEST_F(MapDataCommand, FailuresAreReportedAndNoFileIsMadeOrLost) {
    const std::pair<FailingStep, const char*> cases[] = {
        {FailingStep::Write, "the fields could not be written, the file was left as it was (No space left on device)"},
        {FailingStep::None, "the file could not be opened (No such file or directory)"},  // removed first
    };
    for (const auto& [step, reason] : cases) {
        const bool remove = step == FailingStep::None;
        ScriptedUserInterface ui;
        FaultyFileSystem files(step, 1);
        Form1 form(ui, files);
        form.Form_Load();
        const std::string path = Prepare(form);
        if (remove) std::filesystem::remove(path);
        form.cmdWriteAmbuloData_Click();
        ASSERT_EQ(ui.boxes.shown.size(), 1U);
        EXPECT_EQ(ui.boxes.shown[0].text, "Could not write " + path + ": " + reason + ".");
        EXPECT_EQ(std::filesystem::exists(path) ? std::optional(ReadAll(path)) : std::nullopt,
                  remove ? std::nullopt : std::optional(Bytes(300, 0xFF)));
    }
}

// Cancel, an upper-case extension and a first dropped file that is not mbx all keep the path.
TEST_F(MapDataCommand, OnlyLowerCaseMbxPathsAreTaken) {
    const std::string mbx = Prepare(form_);
    const std::string upper = folder_.File("area.MBX");
    WriteAll(upper, {});
    form_.txtlblAmbuloFilePath.SetText("Text1");
    ui_.dialogAnswers = {upper, "", mbx};
    for (const std::string& expected : std::vector<std::string>{"Text1", "Text1", mbx}) {
        form_.txtlblAmbuloFilePath_DblClick();
        EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), expected);
    }
    EXPECT_EQ(ui_.saveRequests[0].initialFileName, "Text1");
    form_.lblDragAmbulo_OLEDragDrop({upper, folder_.File("second.mbx")});
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), mbx) << "only the first dropped file counts, and it is not mbx";
    form_.txtlblAmbuloFilePath.SetText("Text1");
    form_.lblDragAmbulo_OLEDragDrop({mbx, upper});
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), mbx);
}

}  // namespace
}  // namespace kartivo::test
