#include "common/ReplacementFile.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::TempFolder;
using Names = std::vector<std::string>;

std::uint32_t BitsOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Nobody else may read the new content before it is whole, whatever the umask; a new file gets
// the umask's bits with the rename (an older file's bits are pinned where Make fails).
TEST(ReplacementFile, IsPrivateUntilCommitted) {
    TempFolder folder;
    const mode_t earlierMask = umask(0);
    ReplacementFile file(folder.File("out.bmp"));
    ASSERT_TRUE(file.IsOpen() && file.File().Write(Bytes(20, 2))) << file.Error();
    const Names names = test::FolderEntries(folder.Path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(BitsOf(folder.File(names[0])), 0600u);
    EXPECT_TRUE(file.Commit());
    umask(earlierMask);
    EXPECT_EQ(BitsOf(folder.File("out.bmp")), 0666u);
}

// Finishing one replacement leaves the others on the list a signal cleans up.
TEST(ReplacementFile, ASignalRemovesEveryTemporaryFileStillOpen) {
    TempFolder folder;
    const auto replaceAndStop = [&] {
        RemoveReplacementFilesOnSignals();
        ReplacementFile first(folder.File("a.bmp")), second(folder.File("b.bmp")), third(folder.File("c.bmp"));
        second.Discard();
        raise(SIGTERM);
    };
    EXPECT_EXIT(replaceAndStop(), testing::KilledBySignal(SIGTERM), "");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

// A link is followed as the kernel follows one: its target is replaced and the link kept, a
// dangling one gets its target made. What is not a file is never replaced; a missing folder is
// not made; the longest name a folder takes leaves room for the temporary file's.
TEST(ReplacementFile, FollowsLinksAndRefusesWhatIsNotAFile) {
    TempFolder folder;
    const auto at = [&](const std::string& name) { return folder.File(name); };
    test::WriteAll(at("picture.bmp"), Bytes(10, 1));
    std::filesystem::create_symlink("picture.bmp", at("link.bmp"));
    std::filesystem::create_symlink(at("made.bmp"), at("dangling.bmp"));
    std::filesystem::create_symlink("/dev/null", at("null.bmp"));
    std::filesystem::create_directory(at("folder.bmp"));
    ASSERT_EQ(mkfifo(at("fifo.bmp").c_str(), 0600), 0);
    const std::string longest = std::string(251, 'n') + ".bmp";
    const std::pair<std::string, std::string> cases[] = {
        {"link.bmp", "picture.bmp"}, {"dangling.bmp", "made.bmp"},
        {"null.bmp", "It is a device, not a file"}, {"folder.bmp", "Is a directory"},
        {"fifo.bmp", "It is a FIFO, not a file"}, {"folder.bmp/", "Is a directory"},
        {"missing/out.bmp", "No such file or directory"},  // named, and not made
        {longest, longest},
    };
    for (const auto& [name, replaced] : cases) {
        ReplacementFile file(at(name));
        const bool opened = file.IsOpen() && file.File().Write(Bytes(3, 9)) && file.Commit();
        if (replaced.ends_with(".bmp")) {
            EXPECT_TRUE(opened) << name << ": " << file.Error();
            EXPECT_EQ(test::ReadAll(at(replaced)), Bytes(3, 9)) << name;
        } else {
            EXPECT_FALSE(file.Commit()) << name;
            EXPECT_EQ(file.Error(), "Cannot make " + at(name) + ": " + replaced);
        }
    }
    EXPECT_TRUE(std::filesystem::is_fifo(at("fifo.bmp")) && std::filesystem::is_empty(at("folder.bmp")));
    for (const char* link : {"dangling.bmp", "link.bmp", "null.bmp"}) EXPECT_TRUE(std::filesystem::is_symlink(at(link)));
    EXPECT_EQ(test::FolderEntries(folder.Path()).size(), 8u) << "a temporary file or a missing folder was left";
}

// In a folder everyone may write to (/tmp), a link another user planted must not send the
// write to a file of ours; the kernel refuses to follow such a link, and so do we. A link of our
// own, or of the folder's owner, is followed.
TEST(ReplacementFile, RefusesALinkAnotherUserPlantedInASharedFolder) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to make a link owned by another user";
    TempFolder folder;
    const std::string shared = folder.File("shared"), mine = folder.File("mine.bmp"), link = shared + "/out.bmp";
    std::filesystem::create_directory(shared);
    std::filesystem::create_symlink(mine, link);
    // Shared means sticky and open to everyone; either alone is not.
    for (const auto& [mode, owner] : {std::pair{01777, 65534u}, {01777, geteuid()}, {0777, 65534u}, {01755, 65534u}}) {
        test::WriteAll(mine, Bytes(10, 1));
        chmod(shared.c_str(), mode);
        ASSERT_EQ(lchown(link.c_str(), owner, owner), 0);
        ReplacementFile file(link);
        const bool followed = owner == geteuid() || mode != 01777;
        EXPECT_EQ(file.IsOpen() && file.File().Write(Bytes(3, 9)) && file.Commit(), followed) << mode << " " << owner;
        EXPECT_EQ(file.Error(), followed ? "" : "Cannot make " + link + ": It is a symbolic link that another user "
                                                                       "owns in a folder everyone may write to");
        EXPECT_EQ(test::ReadAll(mine), followed ? Bytes(3, 9) : Bytes(10, 1));
    }
    EXPECT_EQ(test::FolderEntries(shared), Names{"out.bmp"});
}

// An input put under the target's name after the start -- a hard link to it -- is found on the
// handles right before the rename, and nothing is replaced.
TEST(ReplacementFile, AnInputThatTookTheTargetsNameMeanwhileIsKept) {
    TempFolder folder;
    const std::string input = folder.File("in.bmp");
    const std::string target = folder.File("out.bmp");
    test::WriteAll(input, Bytes(10, 1));
    ReplacementFile file(target, {*IdentityOfPath(input)});
    ASSERT_TRUE(file.IsOpen()) << file.Error();
    ASSERT_TRUE(file.File().Write(Bytes(20, 2)));
    std::filesystem::create_hard_link(input, target);
    EXPECT_FALSE(file.Commit());
    EXPECT_TRUE(file.TargetIsInput());
    EXPECT_EQ(file.Error(), "Cannot replace " + target + ": It is one of the files being read");
    EXPECT_EQ(test::ReadAll(input), Bytes(10, 1));
    EXPECT_EQ(test::FolderEntries(folder.Path()), (Names{"in.bmp", "out.bmp"}));
}

// A file-size limit (ulimit -f) would end the program without a word; it is a failed write
// with its reason instead, and nothing is left behind.
TEST(ReplacementFile, AFileSizeLimitIsAFailedWrite) {
    TempFolder folder;
    rlimit earlier{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &earlier), 0);
    rlimit limited = earlier;
    limited.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    ReplacementFile file(folder.File("out.bmp"));
    const bool written = file.IsOpen() && file.File().Write(Bytes(10000, 2));
    const std::string error = file.WriteError();
    file.Discard();
    setrlimit(RLIMIT_FSIZE, &earlier);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "Cannot write " + folder.File("out.bmp") + ": File too large");
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

}  // namespace
}  // namespace kartivo
