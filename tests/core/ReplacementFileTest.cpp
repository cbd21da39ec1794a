#include "common/ReplacementFile.h"

#include "FaultyFileSystem.h"
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

// The two parts of a picture split at 180 degrees land as a pair or not at all: a failure of
// the second flush or the second rename leaves both older parts (or no part), also where the
// file system has no hard links to keep the older ones by.
TEST(ReplacementFile, FilesCommittedTogetherLandAsAPairOrNotAtAll) {
    using test::FailingStep;
    const struct {
        FailingStep step;
        int firstFailing;
        bool lands;
    } cases[] = {{FailingStep::None, 1, true}, {FailingStep::Sync, 2, false}, {FailingStep::Rename, 2, false}};
    for (const auto& c : cases) {
        for (const bool older : {true, false}) {
            for (const bool hardLinks : {true, false}) {
                SCOPED_TRACE(testing::Message() << int(c.step) << " older " << older << " links " << hardLinks);
                TempFolder folder;
                const std::string west = folder.File("m_west.bmp"), east = folder.File("m_east.bmp");
                if (older) test::WriteAll(west, Bytes(10, 1)), test::WriteAll(east, Bytes(10, 2));
                test::FaultyFileSystem files(c.step);
                files.firstFailing = c.firstFailing;
                files.hardLinks = hardLinks;
                ReplacementFile first(west, {}, files), second(east, {}, files);
                ASSERT_TRUE(first.File().Write(Bytes(3, 7)) && second.File().Write(Bytes(4, 8)));
                ReplacementFile* const both[] = {&first, &second};
                const ReplacementFile* failed = ReplacementFile::CommitTogether(both);
                ASSERT_EQ(failed, c.lands ? nullptr : &second);
                if (failed) {
                    EXPECT_EQ(failed->Error(), (c.step == FailingStep::Sync ? "Cannot write " : "Cannot replace ") + east +
                                                   ": Input/output error");
                }
                if (c.lands || older) {
                    EXPECT_EQ(test::ReadAll(west), c.lands ? Bytes(3, 7) : Bytes(10, 1));
                    EXPECT_EQ(test::ReadAll(east), c.lands ? Bytes(4, 8) : Bytes(10, 2));
                    EXPECT_EQ(test::FolderEntries(folder.Path()), (Names{"m_east.bmp", "m_west.bmp"}));
                } else {
                    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
                }
            }
        }
    }
}

// A termination signal while the parts are flushed removes them all; one during the renames
// waits until both have landed.
TEST(ReplacementFile, ASignalFindsNoPartOrEveryPartLanded) {
    using test::FailingStep;
    for (const auto& [step, firstFailing, lands] :
         {std::tuple{FailingStep::Sync, 2, false}, {FailingStep::Rename, 1, true}, {FailingStep::Rename, 2, true}}) {
        SCOPED_TRACE(testing::Message() << int(step) << " " << firstFailing);
        TempFolder folder;
        const std::string west = folder.File("m_west.bmp"), east = folder.File("m_east.bmp");
        test::WriteAll(west, Bytes(10, 1));
        test::WriteAll(east, Bytes(10, 2));
        const auto commitAndStop = [&] {
            RemoveReplacementFilesOnSignals();
            test::FaultyFileSystem files(step);
            files.firstFailing = firstFailing;
            files.signalNumber = SIGTERM;
            ReplacementFile first(west, {}, files), second(east, {}, files);
            first.File().Write(Bytes(3, 7));
            second.File().Write(Bytes(4, 8));
            ReplacementFile* const both[] = {&first, &second};
            ReplacementFile::CommitTogether(both);
            std::exit(0);
        };
        EXPECT_EXIT(commitAndStop(), testing::KilledBySignal(SIGTERM), "");
        EXPECT_EQ(test::ReadAll(west), lands ? Bytes(3, 7) : Bytes(10, 1));
        EXPECT_EQ(test::ReadAll(east), lands ? Bytes(4, 8) : Bytes(10, 2));
        EXPECT_EQ(test::FolderEntries(folder.Path()), (Names{"m_east.bmp", "m_west.bmp"}));
    }
}

// In a folder others may write to, the temporary file can be swapped for a link before the
// rename; the name is checked against the handle written, and nothing is renamed.
TEST(ReplacementFile, ATemporaryFileSwappedForALinkIsNotRenamed) {
    TempFolder folder;
    const std::string target = folder.File("out.bmp"), theirs = folder.File("theirs.bmp");
    test::WriteAll(target, Bytes(10, 1));
    test::WriteAll(theirs, Bytes(10, 5));
    ReplacementFile file(target);
    ASSERT_TRUE(file.File().Write(Bytes(3, 7)));
    const std::string temporary = folder.File(test::FolderEntries(folder.Path()).front());
    std::filesystem::rename(temporary, folder.File("moved"));
    std::filesystem::create_symlink(theirs, temporary);
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(file.Error(), "Cannot replace " + target +
                                ": Its temporary file was replaced by another file meanwhile; nothing was renamed");
    EXPECT_EQ(test::ReadAll(target), Bytes(10, 1));
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(target)));
    EXPECT_EQ(test::ReadAll(theirs), Bytes(10, 5));
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
    IgnoreFileSizeSignal();
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
