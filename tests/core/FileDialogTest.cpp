#include "common/FileDialog.h"

#include <gtest/gtest.h>

namespace kartivo {
namespace {

TEST(FileDialog, FillsInTheDefaultsTheDialogsUse) {
    EXPECT_EQ(EffectiveFlags(0, false), 0x1804U | 0x880020U);
    EXPECT_EQ(EffectiveFlags(0, true), 0x8806U | 0x880020U);
    EXPECT_EQ(EffectiveFlags(0x400, true), 0x400U | 0x880020U) << "passed flags replace the defaults";
    EXPECT_EQ(EffectiveFilter({}), (std::vector<FileFilter>{{"All(*.*)", "*.*"}}));
}

TEST(FileDialog, OutputRequestsNameTheirTypeInFilterAndTitle) {
    const FileDialogRequest request = OutputFileRequest("Ambuloフルカラー地図データ", "mbx");
    EXPECT_EQ(EffectiveFilter(request.filter), (std::vector<FileFilter>{{"Ambuloフルカラー地図データ(*.mbx)", "*.mbx"}}));
    EXPECT_EQ(request.title, "Output Ambuloフルカラー地図データ File");
    EXPECT_EQ(request.defaultExtension, "mbx");
}

}  // namespace
}  // namespace kartivo
