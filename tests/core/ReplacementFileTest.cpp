#include "common/ReplacementFile.h"

#include "FaultyFileSystem.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace kartivo {
namespace {

using test::Bytes;
using test::TempFolder;

// What a failed write leaves behind is pinned where the pictures are made; here, the link.
TEST(ReplacementFile, ReplacesTheFileALinkPointsToAndKeepsTheLink) {
    TempFolder folder;
    const std::string target = folder.File("picture.bmp");
    const std::string link = folder.File("link.bmp");
    const Bytes newer(20, 2);
    test::WriteAll(target, Bytes(10, 1));
    std::filesystem::create_symlink(target, link);
    ReplacementFile kept(link);
    ASSERT_TRUE(kept.IsOpen()) << kept.Error();
    EXPECT_EQ(std::filesystem::path(kept.TemporaryPath()).parent_path(), folder.Path());
    ASSERT_TRUE(kept.File().Write(newer));
    ASSERT_TRUE(kept.Commit()) << kept.Error();
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::ReadAll(target), newer);
    EXPECT_EQ(test::FolderEntries(folder.Path()), (std::vector<std::string>{"link.bmp", "picture.bmp"}));
}

TEST(ReplacementFile, AFolderThatIsNotThereIsNamedAndNotMadeAndLongNamesFit) {
    TempFolder folder;
    const std::string target = folder.File("missing/picture.bmp");
    ReplacementFile file(target);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Error(), "Cannot make " + target + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(folder.File("missing")));

    // The longest name a folder takes still leaves room for the temporary file's.
    const std::string longest = folder.File(std::string(251, 'n') + ".bmp");
    ReplacementFile made(longest);
    ASSERT_TRUE(made.IsOpen()) << made.Error();
    EXPECT_TRUE(made.Commit()) << made.Error();
    EXPECT_TRUE(std::filesystem::exists(longest));
}

// The older file's permission bits are part of what is replaced; a new file that cannot take
// them is not put in its place.
TEST(ReplacementFile, AFileThatCannotKeepThePermissionsReplacesNothing) {
    TempFolder folder;
    const std::string target = folder.File("picture.bmp");
    test::WriteAll(target, Bytes(10, 1));
    test::FaultyFileSystem files(test::FailingStep::Permissions);
    ReplacementFile file(target, files);
    ASSERT_TRUE(file.File().Write(Bytes(20, 2)));
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Error(), "Cannot keep the permissions of " + target + ": Operation not permitted");
    EXPECT_EQ(test::ReadAll(target), Bytes(10, 1));
    EXPECT_EQ(test::FolderEntries(folder.Path()), std::vector<std::string>{"picture.bmp"});
}

}  // namespace
}  // namespace kartivo
