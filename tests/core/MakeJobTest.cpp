#include "bitmap/MakeJob.h"

#include "FaultyFileSystem.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <thread>
#include <tuple>

#include <sys/mount.h>
#include <sys/stat.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::FailingStep;
using test::TempFolder;
using Names = std::vector<std::string>;

MakeRequest RequestFor(const Bytes& picture) {
    MakeRequest request = RequestFromHeaders(RecognizeBitmap(picture));
    request.inBottomLatitude = request.outBottomLatitude = 35;
    request.inTopLatitude = 36;
    request.outTopLatitude = 35.8;
    request.outputRows = request.inputRows;
    request.xPelsPerMeter = request.yPelsPerMeter = 3780;
    return request;
}

// An input picture written into a fresh folder, and where its output goes.
struct Picture {
    explicit Picture(std::int32_t width, std::int32_t height, const std::string& outputName = "out.bmp")
        : input(folder.File("in.bmp")), output(folder.File(outputName)),
          picture(test::MakeBitmap({.width = width, .height = height})) {
        test::WriteAll(input, picture);
    }
    MakeResult Run(MessageBoxes& boxes, FileSystem& files, const std::string& to = {}) const {
        return RunMake(RequestFor(picture), RecognizeBitmap(picture), input, to.empty() ? output : to, boxes, files);
    }
    TempFolder folder;
    std::string input;
    std::string output;
    Bytes picture;
};

// What Make must write for picture, made in memory.
Bytes Expected(const Bytes& picture) {
    test::MemoryFile input(picture);
    test::MemoryFile output;
    EXPECT_EQ(Resample(RequestFor(picture), input, output), MakeError::None);
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
    const Picture s(100, 200);
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
            std::filesystem::remove(s.output);
            if (hadOutput) {
                test::WriteAll(s.output, older);
                ASSERT_EQ(chmod(s.output.c_str(), 0604), 0);
            }
            test::FaultyFileSystem files(c.step, c.write);
            test::ScriptedMessageBoxes boxes;
            const MakeResult result = s.Run(boxes, files);
            const std::string text = MakeResultText(result, s.input, s.output);
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_EQ(test::FolderEntries(s.folder.Path()),
                      (hadOutput || !c.reason ? Names{"in.bmp", "out.bmp"} : Names{"in.bmp"}));
            if (!c.reason) {
                EXPECT_EQ(result.outcome, MakeOutcome::Done) << text;
                EXPECT_EQ(test::ReadAll(s.output), Expected(s.picture));
                EXPECT_EQ(Bits(s.output), hadOutput ? 0604u : 0640u);
                continue;
            }
            EXPECT_NE(result.outcome, MakeOutcome::Done);
            EXPECT_NE(text.find(s.output), std::string::npos) << text;
            EXPECT_NE(text.find(c.reason), std::string::npos) << text;
            if (hadOutput) {
                EXPECT_EQ(test::ReadAll(s.output), older);
            }
        }
    }
    umask(earlierMask);
}

// Ignore on a missing folder makes the folder and nothing else, so a failed Make leaves no
// empty output there.
TEST(RunMake, IgnoringAMissingFolderMakesOnlyTheFolder) {
    const Picture s(10, 20, "new/out.bmp");
    test::FaultyFileSystem files(FailingStep::Write, 1);
    test::ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Ignore};
    EXPECT_EQ(s.Run(boxes, files).outcome, MakeOutcome::Failed);
    ASSERT_EQ(boxes.shown.size(), 1U);
    EXPECT_TRUE(std::filesystem::is_directory(s.folder.File("new")));
    EXPECT_TRUE(std::filesystem::is_empty(s.folder.File("new")));
}

// The input reached through another name is refused before anything is opened; a copy of it
// is another picture.
TEST(RunMake, TheInputUnderAnotherNameIsRefused) {
    const Picture s(4, 4);
    const auto at = [&](const char* name) { return s.folder.File(name); };
    std::filesystem::create_hard_link(s.input, at("hard.bmp"));
    std::filesystem::create_symlink(s.input, at("soft.bmp"));
    std::filesystem::copy_file(s.input, at("copy.bmp"));
    std::filesystem::create_directory(at("sub"));
    // gone.bmp exists under neither spelling, yet both name one place; a copy is another picture.
    const std::tuple<std::string, std::string, bool> cases[] = {
        {s.input, at("hard.bmp"), true},   {s.input, at("soft.bmp"), true},  {s.input, at("sub/../in.bmp"), true},
        {at("gone.bmp"), at("./gone.bmp"), true}, {s.input, at("copy.bmp"), false}, {s.input, at("new.bmp"), false},
    };
    for (const auto& [input, output, same] : cases) EXPECT_EQ(IsSamePicture(input, output), same) << output;
    test::ScriptedMessageBoxes boxes;
    EXPECT_EQ(s.Run(boxes, DefaultFileSystem(), at("hard.bmp")).outcome, MakeOutcome::SameFile);
    EXPECT_EQ(test::ReadAll(s.input), s.picture);
}

// The path is switched between two pictures of different heights while Make runs again and
// again with the first one's headers: each run copies that picture whole or refuses.
TEST(RunMake, AnInputReplacedMeanwhileGivesARefusalOrTheWholePicture) {
    const Picture s(40, 60);
    const TempFolder& folder = s.folder;
    test::WriteAll(folder.File("first"), s.picture);
    test::WriteAll(folder.File("second"), test::MakeBitmap({.width = 40, .height = 90}));
    const Bytes expected = Expected(s.picture);

    std::atomic<bool> stop{false};
    std::thread swapper([&] {
        for (int i = 0; !stop; ++i) {
            std::filesystem::copy_file(folder.File(i % 2 ? "first" : "second"), folder.File("staged"),
                                       std::filesystem::copy_options::overwrite_existing);
            std::filesystem::rename(folder.File("staged"), s.input);
        }
    });
    test::ScriptedMessageBoxes boxes;
    for (int i = 0; i < 300; ++i) {
        const MakeResult result = s.Run(boxes, DefaultFileSystem());
        if (result.outcome == MakeOutcome::Done) {
            ASSERT_EQ(test::ReadAll(s.output), expected) << "run " << i;
        } else {
            ASSERT_EQ(result.outcome, MakeOutcome::InputChanged) << MakeResultText(result, s.input, s.output);
        }
    }
    stop = true;
    swapper.join();
}

TEST(RunMake, AFullDiskLeavesTheOlderOutput) {
    const Picture s(200, 1000, "disk/out.bmp");
    const std::string disk = s.folder.File("disk");
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) {
        GTEST_SKIP() << "a small tmpfs cannot be mounted here (" << std::strerror(errno) << ")";
    }
    const Bytes older(100000, 0xEE);
    test::WriteAll(s.output, older);

    test::ScriptedMessageBoxes boxes;
    const MakeResult result = s.Run(boxes, DefaultFileSystem());
    const std::string text = MakeResultText(result, s.input, s.output);
    const bool olderKept = test::ReadAll(s.output) == older;
    const Names names = test::FolderEntries(disk);
    // A folder that takes no new file: the person is told so, and nothing is written in place.
    std::string readOnlyText;
    if (mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k") == 0) {
        boxes.answers = {AlarmAnswer::Cancel};
        const MakeResult refused = s.Run(boxes, DefaultFileSystem(), disk + "/new.bmp");
        readOnlyText = MakeResultText(refused, s.input, disk + "/new.bmp");
    }
    umount2(disk.c_str(), MNT_DETACH);

    EXPECT_EQ(result.outcome, MakeOutcome::Failed);
    EXPECT_NE(text.find("Cannot write " + s.output + ": No space left on device"), std::string::npos) << text;
    EXPECT_TRUE(olderKept);
    EXPECT_EQ(names, Names{"out.bmp"});
    EXPECT_EQ(readOnlyText, "Could not Open Output File! (" + disk + "/new.bmp: Read-only file system (no new file "
                            "can be made in " + disk + "))");
}

}  // namespace
}  // namespace kartivo
