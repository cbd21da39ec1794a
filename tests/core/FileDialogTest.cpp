#include "common/FileDialog.h"

#include <gtest/gtest.h>

#include <tuple>

namespace kartivo {
namespace {

// What the dialogs do with the flags they are given: with none, an open dialog lists only files
// that exist and a save dialog asks before replacing one; flags of the caller's own replace
// those defaults rather than adding to them. An empty filter lists every file.
TEST(FileDialog, PassedFlagsReplaceTheDefaults) {
    const std::tuple<std::uint32_t, bool, bool, bool> cases[] = {  // flags, save, must exist, asks to overwrite
        {0, false, true, false},
        {0, true, false, true},
        {DialogNoChangeDir, true, false, false},
        {DialogNoChangeDir, false, false, false},
        {DialogFileMustExist | DialogNoChangeDir, false, true, false},
    };
    for (const auto& [flags, save, mustExist, asks] : cases) {
        const std::uint32_t effective = EffectiveFlags(flags, save);
        EXPECT_EQ((effective & DialogFileMustExist) != 0, mustExist) << flags << (save ? " save" : " open");
        EXPECT_EQ((effective & DialogOverwritePrompt) != 0, asks) << flags << (save ? " save" : " open");
        EXPECT_EQ(effective & flags, flags) << "the caller's own flags stay";
    }
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
