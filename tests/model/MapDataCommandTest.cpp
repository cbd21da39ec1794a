#include "FaultyFileSystem.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kartivo {
namespace {

using test::Bytes;
using test::ReadAll;
using test::ScriptedUserInterface;
using test::TempFolder;

class MapDataCommand : public testing::Test {
protected:
    void SetUp() override { form_.Form_Load(); }

    // Input and output rectangle 35..36 N, 139..140 E, then the output narrowed.
    void SetCorners(Form1& form) {
        for (auto [box, text] : {std::pair{&form.txtInBottomLatitudeDegree, "35"},
                                 std::pair{&form.txtInTopLatitudeDegree, "36"},
                                 std::pair{&form.txtInLeftLongitudeDegree, "139"},
                                 std::pair{&form.txtInRightLongitudeDegree, "140"},
                                 std::pair{&form.txtOutTopLatitudeDegree, "35.658"},
                                 std::pair{&form.txtOutRightLongitudeDegree, "139.745"},
                                 std::pair{&form.txtOutBottomLatitudeDegree, "-33.86"}}) {
            ASSERT_TRUE(test::LeaveBox(form, *box, text)) << text;
        }
    }

    ScriptedUserInterface ui_;
    TempFolder folder_;
    Form1 form_{ui_};
};

TEST_F(MapDataCommand, PatchesTheFieldsAndNothingElse) {
    const std::string path = folder_.File("area.mbx");
    test::WriteAll(path, Bytes(300, 0xFF));
    SetCorners(form_);
    form_.txtName.SetText("Tokyo");
    form_.cboLayer.SetListIndex(2);
    form_.SetMapDataFile(path);
    ASSERT_TRUE(form_.cmdWriteAmbuloData.Enabled());
    form_.cmdWriteAmbuloData_Click();

    EXPECT_TRUE(ui_.boxes.shown.empty());
    Bytes expected(300, 0xFF);
    const auto put = [&expected](std::size_t at, const char* text, std::size_t size) {
        std::memset(expected.data() + at, 0, size);
        std::memcpy(expected.data() + at, text, std::strlen(text));
    };
    put(8, "Tokyo", 28);
    put(40, "35.658000000000", 15);
    put(72, "139.00000000000", 15);
    put(104, "-33.86000000000", 15);
    put(136, "139.74500000000", 15);
    expected[173] = 3;
    EXPECT_EQ(ReadAll(path), expected);
}

TEST_F(MapDataCommand, AWriteFailureIsReportedAndTheFileKept) {
    const std::string path = folder_.File("area.mbx");
    test::WriteAll(path, Bytes(300, 0xFF));
    test::FaultyFileSystem files(test::FailingStep::Write, 1);
    Form1 form(ui_, files);
    form.Form_Load();
    SetCorners(form);
    form.SetMapDataFile(path);
    form.cmdWriteAmbuloData_Click();
    ASSERT_EQ(ui_.boxes.shown.size(), 1U);
    EXPECT_EQ(ui_.boxes.shown[0].title, "Kartivo Alarm");
    EXPECT_EQ(ui_.boxes.shown[0].text,
              "Could not write " + path + ": the fields could not be written, the file was left as it was "
              "(No space left on device).");
    EXPECT_EQ(ReadAll(path), Bytes(300, 0xFF));
}

TEST_F(MapDataCommand, OnlyLowerCaseMbxPathsAreTaken) {
    const std::string mbx = folder_.File("area.mbx");
    const std::string upper = folder_.File("area.MBX");
    test::WriteAll(mbx, {});
    test::WriteAll(upper, {});
    SetCorners(form_);

    ui_.dialogAnswers = {upper, "", mbx};
    form_.mnuFileSelectAmbuloFile_Click();
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), "Text1");
    form_.txtlblAmbuloFilePath_DblClick();
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), "Text1") << "cancelling keeps the path";
    form_.mnuFileSelectAmbuloFile_Click();
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), mbx);
    EXPECT_TRUE(form_.cmdWriteAmbuloData.Enabled());

    const FileDialogRequest& request = ui_.saveRequests[0];
    EXPECT_EQ(request.title, "Output Ambuloフルカラー地図データ File");
    EXPECT_EQ(request.filter, (std::vector<FileFilter>{{"Ambuloフルカラー地図データ(*.mbx)", "*.mbx"}}));
    EXPECT_NE(request.flags & DialogFileMustExist, 0U);
    EXPECT_EQ(request.initialFileName, "Text1");

    form_.lblDragAmbulo_OLEDragDrop({upper, mbx});
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), mbx) << "a dropped file that is not mbx is ignored";
}

}  // namespace
}  // namespace kartivo
