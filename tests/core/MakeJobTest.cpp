#include "bitmap/MakeJob.h"

#include "FaultyFileSystem.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>
#include <string>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::FailingStep;
using test::TempFolder;
using Names = std::vector<std::string>;

MakeRequest RequestFor(const BitmapHeaders& headers) {
    MakeRequest request = RequestFromHeaders(headers);
    request.inBottomLatitude = request.outBottomLatitude = 35;
    request.inTopLatitude = 36;
    request.outTopLatitude = 35.8;
    request.outputRows = request.inputRows;
    request.xPelsPerMeter = request.yPelsPerMeter = 3780;
    return request;
}

BitmapHeaders HeadersOf(const Bytes& picture) { return RecognizeBitmap(picture); }

// What Make must write for picture, made in memory.
Bytes Expected(const Bytes& picture) {
    test::MemoryFile input(picture);
    test::MemoryFile output;
    EXPECT_EQ(Resample(RequestFor(HeadersOf(picture)), input, output), MakeError::None);
    return output.Bytes();
}

std::uint32_t Bits(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0);
    return status.st_mode & 0777;
}

// Each step of writing fails in turn, over an older output and where there was none; the
// last case fails nothing and the output takes the older one's permission bits, or the umask's.
TEST(RunMake, AFailingStepLeavesTheOlderOutputAndNoTemporaryFile) {
    TempFolder folder;
    const std::string input = folder.File("in.bmp");
    const std::string output = folder.File("out.bmp");
    const Bytes picture = test::MakeBitmap({.width = 100, .height = 200, .bitCount = 24});
    test::WriteAll(input, picture);
    const Bytes older(777, 0xEE);
    const struct {
        FailingStep step;
        int write;
        const char* reason;
    } cases[] = {
        {FailingStep::Write, 1, "No space left on device"}, {FailingStep::Write, 2, "No space left on device"},
        {FailingStep::Sync, 0, "Input/output error"},       {FailingStep::Close, 0, "Input/output error"},
        {FailingStep::Rename, 0, "Input/output error"},     {FailingStep::None, 0, nullptr},
    };
    const mode_t earlierMask = umask(027);
    for (const auto& c : cases) {
        for (const bool hadOutput : {true, false}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.step)) + "/" + std::to_string(c.write) +
                         (hadOutput ? " over an older output" : " with no output yet"));
            std::filesystem::remove(output);
            if (hadOutput) {
                test::WriteAll(output, older);
                ASSERT_EQ(chmod(output.c_str(), 0604), 0);
            }
            test::FaultyFileSystem files(c.step, c.write);
            test::ScriptedMessageBoxes boxes;
            const MakeResult result = RunMake(RequestFor(HeadersOf(picture)), HeadersOf(picture), input, output,
                                              boxes, files);
            const std::string text = MakeResultText(result, input, output);
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_EQ(test::FolderEntries(folder.Path()),
                      (hadOutput || !c.reason ? Names{"in.bmp", "out.bmp"} : Names{"in.bmp"}));
            if (!c.reason) {
                EXPECT_EQ(result.outcome, MakeOutcome::Done) << text;
                EXPECT_EQ(test::ReadAll(output), Expected(picture));
                EXPECT_EQ(Bits(output), hadOutput ? 0604u : 0640u);
                continue;
            }
            EXPECT_NE(result.outcome, MakeOutcome::Done);
            EXPECT_NE(text.find(output), std::string::npos) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
            if (hadOutput) {
                EXPECT_EQ(test::ReadAll(output), older);
            }
        }
    }
    umask(earlierMask);
}

// Ignore on a missing folder makes the folder and nothing else, so a failed Make leaves no
// empty output there.
TEST(RunMake, IgnoringAMissingFolderMakesOnlyTheFolder) {
    TempFolder folder;
    const std::string input = folder.File("in.bmp");
    const std::string output = folder.File("new/out.bmp");
    const Bytes picture = test::MakeBitmap({.width = 10, .height = 20, .bitCount = 24});
    test::WriteAll(input, picture);
    test::FaultyFileSystem files(FailingStep::Write, 1);
    test::ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Ignore};
    const MakeResult result = RunMake(RequestFor(HeadersOf(picture)), HeadersOf(picture), input, output, boxes, files);
    EXPECT_EQ(result.outcome, MakeOutcome::Failed);
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("new")));
    EXPECT_TRUE(std::filesystem::is_empty(folder.File("new")));
}

// The path is switched between two pictures of different heights while Make runs again and
// again with the first one's headers: each run copies that picture whole or refuses.
TEST(RunMake, AnInputReplacedMeanwhileGivesARefusalOrTheWholePicture) {
    TempFolder folder;
    const std::string input = folder.File("in.bmp");
    const std::string output = folder.File("out.bmp");
    const Bytes first = test::MakeBitmap({.width = 40, .height = 60, .bitCount = 24});
    const Bytes second = test::MakeBitmap({.width = 40, .height = 90, .bitCount = 24});
    test::WriteAll(folder.File("first"), first);
    test::WriteAll(folder.File("second"), second);
    std::filesystem::copy_file(folder.File("first"), input);
    const Bytes expected = Expected(first);

    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        for (int i = 0; !stop; ++i) {
            std::filesystem::copy_file(folder.File(i % 2 ? "first" : "second"), folder.File("staged"),
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::rename(folder.File("staged"), input);
        }
    });
    int made = 0;
    int refused = 0;
    test::ScriptedMessageBoxes boxes;
    for (int i = 0; i < 300; ++i) {
        const MakeResult result =
            RunMake(RequestFor(HeadersOf(first)), HeadersOf(first), input, output, boxes, DefaultFileSystem());
        if (result.outcome == MakeOutcome::Done) {
            ++made;
            ASSERT_EQ(test::ReadAll(output), expected) << "run " << i;
        } else {
            ++refused;
            ASSERT_EQ(result.outcome, MakeOutcome::InputChanged) << MakeResultText(result, input, output);
        }
    }
    stop = true;
    swapper.join();
    EXPECT_EQ(made + refused, 300);
}

TEST(RunMake, AFullDiskLeavesTheOlderOutput) {
    TempFolder folder;
    const std::string disk = folder.File("disk");
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno) << ")";
    }
    const std::string input = folder.File("in.bmp");
    const std::string output = disk + "/out.bmp";
    const Bytes picture = test::MakeBitmap({.width = 200, .height = 1000, .bitCount = 24});
    test::WriteAll(input, picture);
    const Bytes older(100000, 0xEE);
    test::WriteAll(output, older);

    test::ScriptedMessageBoxes boxes;
    const MakeResult result =
        RunMake(RequestFor(HeadersOf(picture)), HeadersOf(picture), input, output, boxes, DefaultFileSystem());
    const std::string text = MakeResultText(result, input, output);
    const bool olderKept = test::ReadAll(output) == older;
    const Names names = test::FolderEntries(disk);
    // A folder that takes no new file: the person is told so, and nothing is written in place.
    std::string readOnlyText;
    if (mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k") == 0) {
        boxes.answers = {AlarmAnswer::Cancel};
        const MakeResult refused = RunMake(RequestFor(HeadersOf(picture)), HeadersOf(picture), input,
                                           disk + "/new.bmp", boxes, DefaultFileSystem());
        readOnlyText = MakeResultText(refused, input, disk + "/new.bmp");
    }
    umount2(disk.c_str(), MNT_DETACH);

    EXPECT_EQ(result.outcome, MakeOutcome::Failed);
    EXPECT_NE(text.find("Cannot write " + output + ": No space left on device"), std::string::npos) << text;
    EXPECT_TRUE(olderKept);
    EXPECT_EQ(names, Names{"out.bmp"});
    EXPECT_EQ(readOnlyText, "Could not Open Output File! (" + disk + "/new.bmp: Read-only file system (no new file "
                            "can be made in " + disk + "))");
}

}  // namespace
}  // namespace kartivo
