#include "FaultyFileSystem.h"
#include "ModelTestSupport.h"
#include "app/Form1.h"

#include <gtest/gtest.h>

#include <cstring>

namespace kartivo {
namespace {

using test::Bytes;
using test::ReadAll;

class MapDataCommand : public testing::Test {
protected:
    // Input and output rectangle 35..36 N, 139..140 E, the output narrowed, and a map data file.
    std::string Prepare(Form1& form) {
        form.Form_Load();
        for (auto [box, text] : {std::pair{&form.txtInBottomLatitudeDegree, "35"}, std::pair{&form.txtInTopLatitudeDegree, "36"},
                                 std::pair{&form.txtInLeftLongitudeDegree, "139"}, std::pair{&form.txtInRightLongitudeDegree, "140"},
                                 std::pair{&form.txtOutTopLatitudeDegree, "35.658"}, std::pair{&form.txtOutRightLongitudeDegree, "139.745"},
                                 std::pair{&form.txtOutBottomLatitudeDegree, "-33.86"}}) {
            EXPECT_TRUE(test::LeaveBox(form, *box, text)) << text;
        }
        const std::string path = folder_.File("area.mbx");
        test::WriteAll(path, Bytes(300, 0xFF));
        form.SetMapDataFile(path);
        return path;
    }

    test::ScriptedUserInterface ui_;
    test::TempFolder folder_;
    Form1 form_{ui_};
};

TEST_F(MapDataCommand, PatchesTheFieldsAndNothingElse) {
    const std::string path = Prepare(form_);
    form_.txtName.SetText("Tokyo");
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

TEST_F(MapDataCommand, AWriteFailureIsReportedAndTheFileKept) {
    test::FaultyFileSystem files(test::FailingStep::Write, 1);
    Form1 form(ui_, files);
    const std::string path = Prepare(form);
    form.cmdWriteAmbuloData_Click();
    ASSERT_EQ(ui_.boxes.shown.size(), 1U);
    EXPECT_EQ(ui_.boxes.shown[0].text, "Could not write " + path + ": the fields could not be written, the file was left as it was "
                                       "(No space left on device).");
    EXPECT_EQ(ReadAll(path), Bytes(300, 0xFF));
}

// Cancel, an upper-case extension and a first dropped file that is not mbx all keep the path.
TEST_F(MapDataCommand, OnlyLowerCaseMbxPathsAreTaken) {
    const std::string mbx = Prepare(form_);
    const std::string upper = folder_.File("area.MBX");
    test::WriteAll(upper, {});
    form_.txtlblAmbuloFilePath.SetText("Text1");
    ui_.dialogAnswers = {upper, "", mbx};
    for (const std::string& expected : std::vector<std::string>{"Text1", "Text1", mbx}) {
        form_.txtlblAmbuloFilePath_DblClick();
        EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), expected);
    }
    const FileDialogRequest& request = ui_.saveRequests[0];
    EXPECT_EQ(request.filter, (std::vector<FileFilter>{{"Ambuloフルカラー地図データ(*.mbx)", "*.mbx"}}));
    EXPECT_NE(request.flags & DialogFileMustExist, 0U);
    EXPECT_EQ(request.initialFileName, "Text1");
    form_.lblDragAmbulo_OLEDragDrop({upper, mbx});
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), mbx) << "only the first dropped file counts, and it is not mbx";
    form_.txtlblAmbuloFilePath.SetText("Text1");
    form_.lblDragAmbulo_OLEDragDrop({mbx, upper});
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), mbx);
}

}  // namespace
}  // namespace kartivo
