#include "bitmap/MakeJob.h"

#include "FaultyFileSystem.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include <sys/mount.h>
#include <sys/stat.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::FailingStep;
using test::TempFolder;

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

std::set<std::string> Names(const TempFolder& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

std::uint32_t Bits(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(stat(path.c_str(), &status), 0);
    return status.st_mode & 0777;
}

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
        {FailingStep::Rename, 0, "Input/output error"},
    };
    for (const auto& c : cases) {
        for (const bool hadOutput : {true, false}) {
            SCOPED_TRACE(std::to_string(static_cast<int>(c.step)) + "/" + std::to_string(c.write) +
                         (hadOutput ? " over an older output" : " with no output yet"));
            std::filesystem::remove(output);
            if (hadOutput) test::WriteAll(output, older);
            test::FaultyFileSystem files(c.step, c.write);
            test::ScriptedMessageBoxes boxes;
            const MakeResult result = RunMake(RequestFor(HeadersOf(picture)), HeadersOf(picture), input, output,
                                              boxes, files);
            EXPECT_NE(result.outcome, MakeOutcome::Done);
            const std::string text = MakeResultText(result, input, output);
            EXPECT_NE(text.find(output), std::string::npos) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
            EXPECT_EQ(std::filesystem::exists(output), hadOutput);
            if (hadOutput) {
                EXPECT_EQ(test::ReadAll(output), older);
            }
            const std::set<std::string> left = hadOutput ? std::set<std::string>{"in.bmp", "out.bmp"}
                                                         : std::set<std::string>{"in.bmp"};
            EXPECT_EQ(Names(folder), left);
            EXPECT_TRUE(boxes.shown.empty());
        }
    }
}

TEST(RunMake, TheReplacementKeepsTheOlderPermissionsAndANewOutputGetsTheUmasks) {
    TempFolder folder;
    const std::string input = folder.File("in.bmp");
    const std::string output = folder.File("out.bmp");
    const Bytes picture = test::MakeBitmap({.width = 5, .height = 9, .bitCount = 24});
    test::WriteAll(input, picture);
    const mode_t earlierMask = umask(027);
    test::ScriptedMessageBoxes boxes;
    for (const bool hadOutput : {false, true}) {
        if (hadOutput) {
            test::WriteAll(output, Bytes(10000, 1));
            ASSERT_EQ(chmod(output.c_str(), 0604), 0);
        }
        const MakeResult result = RunMake(RequestFor(HeadersOf(picture)), HeadersOf(picture), input, output, boxes,
                                          DefaultFileSystem());
        EXPECT_EQ(result.outcome, MakeOutcome::Done) << MakeResultText(result, input, output);
        EXPECT_EQ(test::ReadAll(output), Expected(picture));
        EXPECT_EQ(Bits(output), hadOutput ? 0604u : 0640u);
    }
    umask(earlierMask);
    EXPECT_EQ(Names(folder), (std::set<std::string>{"in.bmp", "out.bmp"}));
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
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(disk)) names.insert(entry.path().filename().string());
    umount2(disk.c_str(), MNT_DETACH);

    EXPECT_EQ(result.outcome, MakeOutcome::Failed);
    EXPECT_NE(text.find("Cannot write " + output + ": No space left on device"), std::string::npos) << text;
    EXPECT_TRUE(olderKept);
    EXPECT_EQ(names, std::set<std::string>{"out.bmp"});
}

}  // namespace
}  // namespace kartivo
