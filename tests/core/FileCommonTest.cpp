#include "common/FileCommon.h"

#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::ScriptedMessageBoxes;
using test::TempFolder;
using enum AlarmAnswer;
using Failure = OpenFailure;

const std::string AbortRetry = "[Abort]---- Cancel Opening File.\r\n[Retry]---- Retry Openning the Same File.\r\n";
const std::string RetryCancel = "[Retry]---- Retry Openning the Same File.\r\n[Cancel]--- Cancel Opening File.";
const std::string IgnoreFile = "[Ignore]--- Make This File and Open It.";
const std::string IgnoreFolder = "[Ignore]--- Make This Folder & File and Open It.";

// Open attempts fail as scripted, for the failures a test run as root cannot provoke on a
// real disk (locked and read-only files).
class FakeFileSystem : public FileSystem {
public:
    std::deque<OpenFailure> failures;  // one per attempt; once used up, attempts succeed
    std::set<std::string> folders{"/"};
    std::set<std::string> refused;  // folders and files that cannot be made
    int attempts = 0;
    std::vector<std::string> created;  // folders and files, in order

    OpenAttempt Open(const std::string&, OpenMode) override {
        ++attempts;
        if (failures.empty()) return {std::make_unique<test::MemoryFile>(), Failure::None, {}};
        const OpenFailure failure = failures.front();
        failures.pop_front();
        return {nullptr, failure, "injected"};
    }
    bool FolderExists(const std::string& path) override { return folders.contains(path); }
    bool CreateFolder(const std::string& path) override { return CreateEmptyFile(path) && folders.insert(path).second; }
    bool CreateEmptyFile(const std::string& path) override {
        if (refused.contains(path)) return false;
        created.push_back(path);
        return true;
    }
};

TEST(OpenFileWithRetry, AnswersToEachFailure) {
    constexpr int Opened = 1;
    constexpr auto File = Failure::FileNotFound, Path = Failure::PathNotFound, Denied = Failure::PermissionDenied;
    const struct {
        std::deque<OpenFailure> failures; std::deque<AlarmAnswer> answers; QuietSelector quiet; int code, attempts;
        std::vector<std::string> created; std::string text;  // of the first box, when checked
        std::set<std::string> refused = {};
    } cases[] = {
        {{File}, {Retry}, QuietNone, Opened, 2, {}, "53:injected\r\n\r\n" + AbortRetry + IgnoreFile},
        {{Path}, {Retry}, QuietNone, Opened, 2, {}, "76:injected\r\n\r\n" + AbortRetry + IgnoreFolder},
        {{Denied, Denied, Denied}, {Retry, Retry, Cancel}, QuietNone, -3, 3, {}, "70:injected\r\n\r\n" + RetryCancel},
        {{File}, {Ignore}, QuietNone, Opened, 2, {"/maps/a.bmp"}},
        {{Path}, {Ignore}, QuietNone, Opened, 2, {"/maps", "/maps/a.bmp"}},
        {{File}, {Ignore}, QuietNone, 0, 1, {}, {}, {"/maps/a.bmp"}}, {{Path}, {Ignore}, QuietNone, 0, 1, {}, {}, {"/maps"}},
        {{Path}, {Ignore}, QuietNone, 0, 1, {"/maps"}, {}, {"/maps/a.bmp"}},
        // The other kind's quiet selector silences nothing; a refused permission is never silenced.
        {{Path}, {Abort}, QuietFileNotFound, -1, 1, {}}, {{File}, {Abort}, QuietPathNotFound, -2, 1, {}},
        {{Denied}, {Cancel}, QuietPathNotFound, -3, 1, {}}, {{Denied}, {None}, QuietFileNotFound, -3, 1, {}},
        // A three-button box answered with something it does not offer; silent failures.
        {{File}, {Cancel}, QuietNone, 0, 1, {}}, {{Path}, {None}, QuietNone, 0, 1, {}},
        {{File}, {}, QuietFileNotFound, 0, 1, {}}, {{Path}, {}, QuietPathNotFound, 0, 1, {}},
        {{Failure::Other}, {}, QuietNone, 0, 1, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        FakeFileSystem files;
        files.failures = c.failures;
        files.refused = c.refused;
        ScriptedMessageBoxes boxes;
        boxes.answers = c.answers;

        const OpenResult result = OpenFileWithRetry("/maps/a.bmp", OpenBinary, c.quiet, boxes, files);

        EXPECT_EQ(result.code > 0 ? Opened : result.code, c.code);
        EXPECT_EQ(result.file != nullptr, c.code == Opened);
        EXPECT_EQ(files.attempts, c.attempts);
        EXPECT_EQ(files.created, c.created);
        EXPECT_EQ(boxes.shown.size(), c.answers.size());
        EXPECT_EQ(result.asked, !boxes.shown.empty()) << "a caller tells the person only what no box has said";
        if (boxes.shown.empty()) continue;
        EXPECT_EQ(boxes.shown[0].buttons, c.failures[0] == Denied ? AlarmButtons::RetryCancel : AlarmButtons::AbortRetryIgnore);
        EXPECT_EQ(boxes.shown[0].title, "Kartivo Alarm");
        if (!c.text.empty()) {
            EXPECT_EQ(boxes.shown[0].text, "Cannot Open /maps/a.bmp\r\nby Error Code=" + c.text);
        }
    }
}

// Making the folders in order is shown on the disk; here, what cannot be made: no name, a
// missing drive or its root, a name without any folder above it to create it in.
TEST(MakeFolderPath, NeedsAnExistingRoot) {
    for (const char* folder : {"", "Z:/maps/tokyo", "Z:/", "maps/tokyo"}) {
        FakeFileSystem none;
        EXPECT_FALSE(MakeFolderPath(folder, none)) << folder;
        EXPECT_TRUE(none.created.empty()) << folder;
    }
}

// ---- The real file system ----

TEST(OpenFileWithRetry, OnTheRealDisk) {
    const std::string missing = "No such file or directory";
    // name: inside the temporary folder, or absolute; shown: the path as the box shows it.
    const struct {
        const char* name; OpenMode mode; std::deque<AlarmAnswer> answers; int code; std::string reason; const char* shown;
    } cases[] = {
        {"a/b/c/out.bmp", OpenBinary, {Ignore}, 1, "76:" + missing, "a/b/c/out.bmp"},
        {"none.bmp", OpenInput, {Ignore}, 1, "53:" + missing, "none.bmp"},
        {"none.mbx", OpenExisting, {Abort}, -2, "53:" + missing, "none.mbx"},
        {"new.mbx", OpenBinary, {}, 1, "", ""},  // made without asking
        {"", OpenBinary, {}, 0, "", ""},  // a folder in place of the file
        // "%0%" has already been filled when the path arrives, so it stays; "%1%" and "%2%" do not.
        {"a%0%-%1%-%2%/out.bmp", OpenBinary, {Abort}, -1, "76:" + missing, "a%0%-76-No such file or directory/out.bmp"},
        // A folder that refuses new files, even to root: the refusal (whichever), not a missing file.
        {"/sys/kartivo-none", OpenBinary, {Cancel}, -3, "70:", "/sys/kartivo-none"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.name[0] == '/' && !std::filesystem::is_directory("/sys/kernel")) continue;
        TempFolder temp;
        const auto inTemp = [&](const char* name) { return name[0] == '/' ? std::string(name) : temp.File(name); };
        ScriptedMessageBoxes boxes;
        boxes.answers = c.answers;

        OpenResult result = OpenFileWithRetry(inTemp(c.name), c.mode, QuietNone, boxes);

        EXPECT_EQ(result.code > 0 ? 1 : result.code, c.code);
        ASSERT_EQ(boxes.shown.size(), c.answers.size());
        if (!boxes.shown.empty()) {
            EXPECT_TRUE(boxes.shown[0].text.starts_with("Cannot Open " + inTemp(c.shown) + "\r\nby Error Code=" + c.reason))
                << boxes.shown[0].text;
        }
        if (result) {
            EXPECT_TRUE(result.file->Close());
            EXPECT_TRUE(std::filesystem::is_regular_file(inTemp(c.name)));
        } else {
            EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "nothing is made";
        }
    }
}

TEST(OpenFile, ReadsWritesResizesAndGivesItsNumberBack) {
    TempFolder temp;
    ScriptedMessageBoxes boxes;
    const auto open = [&](const char* name) { return OpenFileWithRetry(temp.File(name), OpenBinary, QuietNone, boxes); };
    test::WriteAll(temp.File("data"), {1, 2, 3, 4, 5});
    OpenResult opened = open("data");
    OpenResult second = open("2");
    ASSERT_TRUE(opened && second);
    EXPECT_EQ(opened.code, 1) << "the lowest number nobody holds";
    EXPECT_NE(opened.code, second.code);
    OpenFile& file = *opened.file;

    // Opening for reading and writing keeps what is there; its end is no failure.
    std::array<std::uint8_t, 8> all{};
    EXPECT_TRUE(file.ReadSome(all) == 5u && !file.LastError());
    std::array<std::uint8_t, 2> two{};
    ASSERT_TRUE(file.Seek(3));
    EXPECT_TRUE(file.Read(two));
    EXPECT_FALSE(file.Read(two)) << "a read past the end must fail, not give zeros";

    // A read moves the position the next write starts at.
    ASSERT_TRUE(file.Seek(1));
    EXPECT_TRUE(file.Read(std::span(two).first(1)));
    const std::uint8_t patch[] = {9, 9};
    EXPECT_TRUE(file.Write(patch));

    EXPECT_TRUE(file.Truncate(8));
    EXPECT_EQ(file.Size(), 8u);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(test::ReadAll(temp.File("data")), (Bytes{1, 2, 9, 9, 5, 0, 0, 0}));

    // A closed file refuses everything, and its number goes to the next file.
    EXPECT_EQ(file.ReadSome(two), 0u);
    EXPECT_FALSE(file.Write(patch));
    EXPECT_FALSE(file.Close());
    OpenResult third = open("3");
    EXPECT_EQ(third.code, opened.code);

    // A file dropped without Close() gives its number back and keeps what was written.
    ASSERT_TRUE(third.file->Write(patch));
    third.file.reset();
    EXPECT_EQ(test::ReadAll(temp.File("3")), (Bytes{9, 9}));
    EXPECT_EQ(open("4").code, opened.code);
}

// What is not a file is never opened as one, each with its own reason; reading a FIFO would
// otherwise wait for a writer for ever, and a device would take the bytes meant for a file.
TEST(OpenFileWithRetry, RefusesWhatIsNotAFileWithItsOwnReason) {
    TempFolder temp;
    ASSERT_EQ(mkfifo(temp.File("fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(temp.File("folder"));
    std::filesystem::create_symlink("/dev/full", temp.File("full.mbx"));
    const std::pair<std::string, const char*> cases[] = {
        {temp.File("fifo"), "It is a FIFO, not a file"},
        {temp.File("folder"), "Is a directory"},
        {temp.File("full.mbx"), "It is a device, not a file"},
    };
    for (const auto& [path, reason] : cases) {
        for (const OpenMode mode : {OpenInput, OpenExisting, OpenBinary}) {
            ScriptedMessageBoxes boxes;
            const OpenResult result = OpenFileWithRetry(path, mode, QuietNone, boxes);
            EXPECT_EQ(result.code, 0) << path;
            EXPECT_EQ(result.failure, reason) << path;
            EXPECT_TRUE(boxes.shown.empty());
        }
    }
    EXPECT_TRUE(std::filesystem::is_fifo(temp.File("fifo")));
}

// The reasons a message names: the system's, and our own for what is not a file.
TEST(ErrorDescription, NamesTheReason) {
    const std::pair<std::error_code, const char*> cases[] = {
        {{}, "Unknown error"}, {std::make_error_code(std::errc::no_such_file_or_directory), "No such file or directory"},
        {std::make_error_code(std::errc::file_too_large), "File too large"},
        {std::make_error_code(std::errc::resource_unavailable_try_again), "Resource temporarily unavailable"},
        {FileKindError::Socket, "It is a socket, not a file"}};
    for (const auto& [error, text] : cases) EXPECT_EQ(ErrorDescription(error), text) << error.message();
}

}  // namespace
}  // namespace kartivo
