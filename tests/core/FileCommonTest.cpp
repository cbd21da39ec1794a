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

namespace kartivo {
namespace {

using test::Bytes;
using test::MemoryFile;
using test::ScriptedMessageBoxes;
using test::TempFolder;

const std::string AbortLine = "[Abort]---- Cancel Opening File.";
const std::string RetryLine = "[Retry]---- Retry Openning the Same File.";
const std::string CancelLine = "[Cancel]--- Cancel Opening File.";
const std::string IgnoreFileLine = "[Ignore]--- Make This File and Open It.";
const std::string IgnoreFolderLine = "[Ignore]--- Make This Folder & File and Open It.";

// A file system whose open attempts fail in a scripted way, for the failures a test run as
// root cannot provoke on a real disk (locked and read-only files).
class FakeFileSystem : public FileSystem {
public:
    std::deque<OpenFailure> failures;  // one per attempt; once used up, attempts succeed
    std::set<std::string> folders;
    bool createFolderFails = false;
    bool createFileFails = false;

    int attempts = 0;
    std::vector<std::int16_t> numbers;  // the file number of every attempt
    std::vector<std::string> createdFolders;
    std::vector<std::string> createdFiles;

    OpenAttempt Open(const std::string&, OpenMode, std::int16_t number, bool) override {
        ++attempts;
        numbers.push_back(number);
        if (!failures.empty()) {
            const OpenFailure failure = failures.front();
            failures.pop_front();
            if (failure != OpenFailure::None) return {nullptr, failure, "injected"};
        }
        return {std::make_unique<MemoryFile>(Bytes{}, number), OpenFailure::None, {}};
    }
    bool FolderExists(const std::string& path) override { return folders.contains(path); }
    bool CreateFolder(const std::string& path) override {
        if (createFolderFails) return false;
        createdFolders.push_back(path);
        folders.insert(path);
        return true;
    }
    bool CreateEmptyFile(const std::string& path) override {
        if (createFileFails) return false;
        createdFiles.push_back(path);
        return true;
    }
};

std::string Text(OpenFailure failure) { return std::to_string(static_cast<int>(failure)); }

// ---- Alarm flows over a scripted file system ----

TEST(OpenFileWithRetry, RetryAfterEachHandledFailureOpensTheFile) {
    const struct {
        OpenFailure failure;
        OpenMode mode;
        AlarmButtons buttons;
    } cases[] = {
        {OpenFailure::FileNotFound, OpenInput, AlarmButtons::AbortRetryIgnore},
        {OpenFailure::PathNotFound, OpenBinary, AlarmButtons::AbortRetryIgnore},
        {OpenFailure::PermissionDenied, OpenBinary, AlarmButtons::RetryCancel},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Text(c.failure));
        FakeFileSystem files;
        files.failures = {c.failure, c.failure};
        ScriptedMessageBoxes boxes;
        boxes.answers = {AlarmAnswer::Retry, AlarmAnswer::Retry};

        const OpenResult result = OpenFileWithRetry("/maps/a.bmp", c.mode, QuietNone, boxes, {}, files);

        ASSERT_TRUE(result);
        EXPECT_EQ(result.file->Number(), result.code);
        EXPECT_EQ(files.attempts, 3);
        // Every attempt of one call uses the same file number.
        EXPECT_EQ(std::set<std::int16_t>(files.numbers.begin(), files.numbers.end()).size(), 1u);
        EXPECT_EQ(files.numbers.front(), result.code);
        ASSERT_EQ(boxes.shown.size(), 2u);
        EXPECT_EQ(boxes.shown[0].buttons, c.buttons);
        EXPECT_EQ(boxes.shown[0].title, "Kartivo Alarm");
        EXPECT_EQ(boxes.shown[0].icon, MessageIcon::Stop);
        EXPECT_TRUE(files.createdFiles.empty());
    }
}

TEST(OpenFileWithRetry, GivingUpOrStayingQuietReturnsTheCodeOfTheFailure) {
    const struct {
        OpenFailure failure;
        AlarmAnswer answer;
        QuietSelector quiet;
        std::int16_t expected;
        std::size_t boxesShown = 1;
    } cases[] = {
        {OpenFailure::PathNotFound, AlarmAnswer::Abort, QuietNone, -1},
        {OpenFailure::PathNotFound, AlarmAnswer::Abort, QuietFileNotFound, -1},
        {OpenFailure::FileNotFound, AlarmAnswer::Abort, QuietNone, -2},
        {OpenFailure::FileNotFound, AlarmAnswer::Abort, QuietPathNotFound, -2},
        // The quiet selector never silences a refused permission.
        {OpenFailure::PermissionDenied, AlarmAnswer::Cancel, QuietNone, -3},
        {OpenFailure::PermissionDenied, AlarmAnswer::Cancel, QuietFileNotFound, -3},
        {OpenFailure::PermissionDenied, AlarmAnswer::Cancel, QuietPathNotFound, -3},
        {OpenFailure::PermissionDenied, AlarmAnswer::None, QuietNone, -3},
        // A three-button box answered with something it does not offer.
        {OpenFailure::FileNotFound, AlarmAnswer::Cancel, QuietNone, 0},
        {OpenFailure::PathNotFound, AlarmAnswer::None, QuietNone, 0},
        {OpenFailure::FileNotFound, AlarmAnswer::None, QuietFileNotFound, 0, 0},
        {OpenFailure::PathNotFound, AlarmAnswer::None, QuietPathNotFound, 0, 0},
        {OpenFailure::Other, AlarmAnswer::None, QuietNone, 0, 0},
        {OpenFailure::Other, AlarmAnswer::None, QuietFileNotFound, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Text(c.failure) + " quiet " + std::to_string(static_cast<int>(c.quiet)));
        FakeFileSystem files;
        files.failures = {c.failure};
        ScriptedMessageBoxes boxes;
        if (c.boxesShown) boxes.answers = {c.answer};

        const OpenResult result = OpenFileWithRetry("/maps/a.bmp", OpenInput, c.quiet, boxes, {}, files);

        EXPECT_EQ(result.code, c.expected);
        EXPECT_EQ(result.file, nullptr);
        EXPECT_FALSE(result);
        EXPECT_EQ(files.attempts, 1);
        EXPECT_EQ(boxes.shown.size(), c.boxesShown);
        EXPECT_TRUE(files.createdFiles.empty());
        EXPECT_TRUE(files.createdFolders.empty());
    }
}

TEST(OpenFileWithRetry, KeepsAskingWhilePermissionIsRefused) {
    FakeFileSystem files;
    files.failures = {OpenFailure::PermissionDenied, OpenFailure::PermissionDenied, OpenFailure::PermissionDenied};
    ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Retry, AlarmAnswer::Retry, AlarmAnswer::Cancel};

    const OpenResult result = OpenFileWithRetry("/maps/locked.mbx", OpenBinary, QuietNone, boxes, {}, files);

    EXPECT_EQ(result.code, -3);
    EXPECT_EQ(files.attempts, 3);
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2].text,
              "Cannot Open /maps/locked.mbx\r\nby Error Code=70:injected\r\n\r\n" + RetryLine + "\r\n" + CancelLine);
    EXPECT_EQ(boxes.shown[2].buttons, AlarmButtons::RetryCancel);
}

TEST(OpenFileWithRetry, IgnoreOnAMissingFileCreatesItAndOpensIt) {
    FakeFileSystem files;
    files.failures = {OpenFailure::FileNotFound};
    ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Ignore};

    const OpenResult result = OpenFileWithRetry("/maps/new.bmp", OpenInput, QuietNone, boxes, {}, files);

    EXPECT_TRUE(result);
    EXPECT_EQ(files.createdFiles, std::vector<std::string>{"/maps/new.bmp"});
    EXPECT_TRUE(files.createdFolders.empty());
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cannot Open /maps/new.bmp\r\nby Error Code=53:injected\r\n\r\n" + AbortLine +
                                       "\r\n" + RetryLine + "\r\n" + IgnoreFileLine);
}

TEST(OpenFileWithRetry, IgnoreReturnsZeroSilentlyWhenTheFileOrFolderCannotBeMade) {
    const struct {
        const char* name;
        OpenFailure failure;
        bool folderFails;
        bool fileFails;
    } cases[] = {
        {"file after file not found", OpenFailure::FileNotFound, false, true},
        {"folder after path not found", OpenFailure::PathNotFound, true, false},
        {"file after path not found", OpenFailure::PathNotFound, false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeFileSystem files;
        files.folders = {"/"};
        files.failures = {c.failure};
        files.createFolderFails = c.folderFails;
        files.createFileFails = c.fileFails;
        ScriptedMessageBoxes boxes;
        boxes.answers = {AlarmAnswer::Ignore};

        const OpenResult result = OpenFileWithRetry("/maps/new.bmp", OpenBinary, QuietNone, boxes, {}, files);

        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(files.attempts, 1);
        EXPECT_EQ(boxes.shown.size(), 1u);
    }
}

TEST(MakeFolderPath, CreatesMissingParentsFirst) {
    FakeFileSystem files;
    files.folders = {"/", "/maps"};

    EXPECT_TRUE(MakeFolderPath("/maps/japan/tokyo/north", files));

    EXPECT_EQ(files.createdFolders,
              (std::vector<std::string>{"/maps/japan", "/maps/japan/tokyo", "/maps/japan/tokyo/north"}));
}

TEST(MakeFolderPath, RefusesFoldersWithoutAnExistingRoot) {
    const char* cases[] = {
        "",                // no name at all
        "Z:/maps/tokyo",   // a drive that does not exist
        "Z:/",             // the missing drive's root itself
        "maps/tokyo",      // no folder above "maps" to create it in
    };
    for (const char* folder : cases) {
        SCOPED_TRACE(folder);
        FakeFileSystem files;
        files.folders = {"/"};
        EXPECT_FALSE(MakeFolderPath(folder, files));
        EXPECT_TRUE(files.createdFolders.empty());
    }
}

// ---- The real file system ----

TEST(OpenFileWithRetry, MissingFolderShowsTheFullAlarmText) {
    TempFolder temp;
    const std::string path = temp.File("missing") + "/out.bmp";
    ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Abort};

    const OpenResult result = OpenFileWithRetry(path, OpenBinary, QuietNone, boxes);

    EXPECT_EQ(result.code, -1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Cannot Open " + path + "\r\nby Error Code=76:No such file or directory\r\n\r\n" +
                                       AbortLine + "\r\n" + RetryLine + "\r\n" + IgnoreFolderLine);
    EXPECT_EQ(boxes.shown[0].title, "Kartivo Alarm");
    EXPECT_EQ(boxes.shown[0].buttons, AlarmButtons::AbortRetryIgnore);
    EXPECT_FALSE(std::filesystem::exists(temp.File("missing")));
}

TEST(OpenFileWithRetry, PlaceholdersInThePathAreFilledLikeTheTemplate) {
    TempFolder temp;
    // "%0%" has already been filled when the path arrives, so it stays; "%1%" and "%2%" do not.
    const std::string path = temp.File("a%0%-%1%-%2%") + "/out.bmp";
    ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Abort};

    OpenFileWithRetry(path, OpenBinary, QuietNone, boxes);

    ASSERT_EQ(boxes.shown.size(), 1u);
    const std::string firstLine = boxes.shown[0].text.substr(0, boxes.shown[0].text.find("\r\n"));
    EXPECT_EQ(firstLine, "Cannot Open " + temp.File("a%0%-76-No such file or directory") + "/out.bmp");
}

TEST(OpenFileWithRetry, IgnoreCreatesEveryMissingFolderAndTheEmptyFile) {
    TempFolder temp;
    const std::string path = temp.File("a") + "/b/c/out.bmp";
    ScriptedMessageBoxes boxes;
    boxes.answers = {AlarmAnswer::Ignore};

    OpenResult result = OpenFileWithRetry(path, OpenBinary, QuietNone, boxes);

    ASSERT_TRUE(result);
    EXPECT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(result.file->Size(), 0u);
    EXPECT_TRUE(result.file->Close());
    EXPECT_TRUE(std::filesystem::is_regular_file(path));
}

TEST(OpenFileWithRetry, MissingFileOnInput) {
    TempFolder temp;
    const std::string path = temp.File("none.bmp");
    {
        SCOPED_TRACE("asked, then aborted");
        ScriptedMessageBoxes boxes;
        boxes.answers = {AlarmAnswer::Abort};
        EXPECT_EQ(OpenFileWithRetry(path, OpenInput, QuietPathNotFound, boxes).code, -2);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_EQ(boxes.shown[0].text.substr(0, boxes.shown[0].text.find("\r\n\r\n")),
                  "Cannot Open " + path + "\r\nby Error Code=53:No such file or directory");
    }
    {
        SCOPED_TRACE("asked, then created");
        ScriptedMessageBoxes boxes;
        boxes.answers = {AlarmAnswer::Ignore};
        OpenResult result = OpenFileWithRetry(path, OpenInput, QuietNone, boxes);
        ASSERT_TRUE(result);
        EXPECT_EQ(result.file->Size(), 0u);
    }
}

TEST(OpenFileWithRetry, BinaryCreatesAMissingFileInAnExistingFolderWithoutAsking) {
    for (const QuietSelector quiet : {QuietNone, QuietPathNotFound, QuietFileNotFound}) {
        SCOPED_TRACE(static_cast<int>(quiet));
        TempFolder temp;
        ScriptedMessageBoxes boxes;

        OpenResult result = OpenFileWithRetry(temp.File("new.mbx"), OpenBinary, quiet, boxes);

        ASSERT_TRUE(result);
        EXPECT_TRUE(boxes.shown.empty());
        EXPECT_TRUE(result.file->Close());
        EXPECT_TRUE(test::ReadAll(temp.File("new.mbx")).empty());
        EXPECT_TRUE(std::filesystem::is_regular_file(temp.File("new.mbx")));
    }
}

TEST(OpenFileWithRetry, AFolderInPlaceOfTheFileFailsSilently) {
    TempFolder temp;
    ScriptedMessageBoxes boxes;
    for (const OpenMode mode : {OpenInput, OpenBinary}) {
        EXPECT_EQ(OpenFileWithRetry(temp.Path().string(), mode, QuietNone, boxes).code, 0);
    }
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(OpenFileWithRetry, FileNumbersAreUniqueAndReusedOnceClosed) {
    TempFolder temp;
    ScriptedMessageBoxes boxes;
    OpenResult first = OpenFileWithRetry(temp.File("1"), OpenBinary, QuietNone, boxes);
    OpenResult second = OpenFileWithRetry(temp.File("2"), OpenBinary, QuietNone, boxes);
    OpenResult third = OpenFileWithRetry(temp.File("3"), OpenBinary, QuietNone, boxes);
    ASSERT_TRUE(first && second && third);
    EXPECT_EQ(std::set<std::int16_t>({first.code, second.code, third.code}).size(), 3u);
    EXPECT_EQ(second.file->Number(), second.code);

    const std::int16_t freed = second.code;
    ASSERT_TRUE(second.file->Close());
    OpenResult fourth = OpenFileWithRetry(temp.File("4"), OpenBinary, QuietNone, boxes);
    EXPECT_EQ(fourth.code, freed);

    // A file that is dropped without Close() also gives its number back.
    const std::int16_t dropped = fourth.code;
    fourth.file.reset();
    EXPECT_EQ(OpenFileWithRetry(temp.File("5"), OpenBinary, QuietNone, boxes).code, dropped);
}

TEST(OpenFile, ReadsWritesSeeksAndResizes) {
    TempFolder temp;
    test::WriteAll(temp.File("data"), {1, 2, 3, 4, 5});
    ScriptedMessageBoxes boxes;
    OpenResult opened = OpenFileWithRetry(temp.File("data"), OpenBinary, QuietNone, boxes);
    ASSERT_TRUE(opened);
    OpenFile& file = *opened.file;

    // Opening for reading and writing keeps what is there.
    EXPECT_EQ(file.Size(), 5u);
    std::array<std::uint8_t, 2> two{};
    ASSERT_TRUE(file.Seek(3));
    EXPECT_TRUE(file.Read(two));
    EXPECT_EQ(two, (std::array<std::uint8_t, 2>{4, 5}));
    EXPECT_FALSE(file.Read(two)) << "a read past the end must fail, not give zeros";

    // Writing right after reading, and reading right after writing.
    ASSERT_TRUE(file.Seek(1));
    EXPECT_TRUE(file.Read(std::span(two).first(1)));
    const std::uint8_t patch[] = {9, 9};
    EXPECT_TRUE(file.Write(patch));
    EXPECT_EQ(file.ReadSome(two), 1u);
    EXPECT_EQ(two[0], 5);

    EXPECT_TRUE(file.Truncate(8));
    EXPECT_EQ(file.Size(), 8u);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(test::ReadAll(temp.File("data")), (Bytes{1, 2, 9, 9, 5, 0, 0, 0}));

    // A closed file refuses everything.
    EXPECT_FALSE(file.Write(patch));
    EXPECT_FALSE(file.Seek(0));
    EXPECT_FALSE(file.Size());
    EXPECT_FALSE(file.Close());
}

TEST(OpenFile, OutputModeEmptiesAndAppendModeKeeps) {
    TempFolder temp;
    const std::uint8_t tail[] = {7};
    for (const auto& [mode, expected] : {std::pair{OpenOutput, Bytes{7}}, std::pair{OpenAppend, Bytes{1, 2, 7}}}) {
        SCOPED_TRACE(static_cast<int>(mode));
        test::WriteAll(temp.File("data"), {1, 2});
        ScriptedMessageBoxes boxes;
        OpenResult opened = OpenFileWithRetry(temp.File("data"), mode, QuietNone, boxes);
        ASSERT_TRUE(opened);
        EXPECT_TRUE(opened.file->Write(tail));
        EXPECT_TRUE(opened.file->Close());
        EXPECT_EQ(test::ReadAll(temp.File("data")), expected);
    }
}

TEST(OpenFile, DroppingAFileStoresWhatWasWritten) {
    TempFolder temp;
    ScriptedMessageBoxes boxes;
    {
        OpenResult opened = OpenFileWithRetry(temp.File("data"), OpenBinary, QuietNone, boxes);
        ASSERT_TRUE(opened);
        const std::uint8_t bytes[] = {4, 2};
        ASSERT_TRUE(opened.file->Write(bytes));
    }
    EXPECT_EQ(test::ReadAll(temp.File("data")), (Bytes{4, 2}));
}

TEST(OpenFile, CloseReportsDataThatCouldNotBeStored) {
    // Writes to /dev/full are buffered and only fail when flushed, which is exactly the case
    // a close that ignored its result would turn into silent success.
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    ScriptedMessageBoxes boxes;
    OpenResult opened = OpenFileWithRetry("/dev/full", OpenBinary, QuietNone, boxes);
    ASSERT_TRUE(opened);
    const std::uint8_t bytes[] = {1, 2, 3};
    opened.file->Write(bytes);
    EXPECT_FALSE(opened.file->Close());
}

// A file this process cannot open for writing, or "" when there is none: a read-only file
// where permissions apply, else a read-only kernel attribute (permissions do not stop root).
std::string UnwritableFile(const TempFolder& temp) {
    const std::string candidate = temp.File("read-only");
    test::WriteAll(candidate, {5, 6, 7});
    std::filesystem::permissions(candidate, std::filesystem::perms::owner_read);
    for (const std::string& path : {candidate, std::string("/sys/devices/system/cpu/online")}) {
        if (!std::filesystem::is_regular_file(path)) continue;
        std::FILE* probe = std::fopen(path.c_str(), "r+b");
        if (!probe) return path;
        std::fclose(probe);
    }
    return {};
}

TEST(OpenFileWithRetry, AFileThatRefusesWritingAsksAndMayFallBackToReading) {
    TempFolder temp;
    const std::string path = UnwritableFile(temp);
    if (path.empty()) GTEST_SKIP() << "no file here refuses writing";
    {
        SCOPED_TRACE("writing required");
        ScriptedMessageBoxes boxes;
        boxes.answers = {AlarmAnswer::Cancel};
        EXPECT_EQ(OpenFileWithRetry(path, OpenBinary, QuietFileNotFound, boxes).code, -3);
        ASSERT_EQ(boxes.shown.size(), 1u);
        EXPECT_NE(boxes.shown[0].text.find("\r\nby Error Code=70:Permission denied\r\n"), std::string::npos);
    }
    {
        SCOPED_TRACE("reading is enough");
        ScriptedMessageBoxes boxes;
        OpenResult opened = OpenFileWithRetry(path, OpenBinary, QuietFileNotFound, boxes, {.readOnlyFallback = true});
        ASSERT_TRUE(opened);
        EXPECT_TRUE(boxes.shown.empty());
        std::array<std::uint8_t, 1> byte{};
        EXPECT_TRUE(opened.file->Read(byte));
        EXPECT_FALSE(opened.file->Write(byte));
    }
}

TEST(MakeFolderPath, OnTheRealFileSystem) {
    TempFolder temp;
    test::WriteAll(temp.File("plain"), {});
    EXPECT_TRUE(MakeFolderPath(temp.Path().string()));
    EXPECT_TRUE(MakeFolderPath(temp.File("x") + "/y/z"));
    EXPECT_TRUE(std::filesystem::is_directory(temp.File("x") + "/y/z"));
    EXPECT_FALSE(MakeFolderPath(temp.File("plain") + "/sub"));
    EXPECT_FALSE(MakeFolderPath(""));
}

}  // namespace
}  // namespace kartivo
