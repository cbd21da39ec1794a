#include "bitmap/Resample.h"

#include "bitmap/MakeJob.h"
#include "common/DataConvert.h"
#include "FaultyFileSystem.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <filesystem>
#include <map>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include <sys/mount.h>
#include <sys/stat.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::FailingStep;
using test::MemoryFile;
using test::Rows;
using test::TestBitmap;
using Names = std::vector<std::string>;

constexpr std::int32_t B = BlankRow;
MakeRequest RequestFor(const Bytes& picture, const RowMapping& m) {
    MakeRequest request = RequestFromHeaders(RecognizeBitmap(picture));
    std::tie(request.inBottomLatitude, request.inTopLatitude, request.outBottomLatitude, request.outTopLatitude,
             request.outputRows) =
        std::tie(m.inBottomLatitude, m.inTopLatitude, m.outBottomLatitude, m.outTopLatitude, m.outputRows);
    request.xPelsPerMeter = request.yPelsPerMeter = 3780;
    return request;
}

// Make's streaming block: no single read may be larger unless one row is.
constexpr std::size_t BlockBytes = std::size_t{4} << 20;

// An input that checks how it is read: forward only, in reads no larger than largest, and
// without seeking to where it already is among the rows (the first one may follow the colour table).
struct ForwardOnlyFile : MemoryFile {
    ForwardOnlyFile(test::Bytes bytes, std::size_t most, std::uint64_t from)
        : MemoryFile(std::move(bytes)), largest(most), pixels(from) {}
    bool Seek(std::uint64_t offset) override {
        EXPECT_TRUE(offset > position || (offset == position && offset <= pixels)) << position << " to " << offset;
        position = offset;
        return MemoryFile::Seek(offset);
    }
    bool Read(std::span<std::uint8_t> buffer) override {
        EXPECT_LE(buffer.size(), largest);
        position += buffer.size();
        return MemoryFile::Read(buffer);
    }
    std::size_t largest;
    std::uint64_t pixels;
    std::uint64_t position = 0;
};

// Rows fall where the map makers' fifteen-digit pi puts them: here the double nearest pi would
// give the top output row input row 333.
TEST(ResampleTest, RowsFallWhereTheFifteenDigitPiPutsThem) {
    Rows chosen;
    WalkOutputRows({0, 60, 0, 24.392526029812533, 1001, 2}, WalkOrder::BottomFirst, [&](std::int32_t, std::int32_t in) {
        chosen.push_back(in);
        return true;
    });
    EXPECT_EQ(chosen, (Rows{0, 334}));
}

// Every output row holds exactly its chosen input row (a blank one zeros), and nothing follows
// the last, whichever way the input is stored; the headers and colour table are the input's, with
// the output's height.
void ExpectCopies(TestBitmap spec, const RowMapping& m) {
    const Rows chosen = test::ExpectedRows(m);
    const std::size_t rowSize = test::RowSize(spec.width, spec.bitCount);
    for (const bool topDown : {false, true}) {
        if (topDown && spec.os2) continue;  // the core form has no top-down rows
        SCOPED_TRACE(test::Describe(m) << ", width " << spec.width << (topDown ? ", top-down" : ""));
        spec.height = topDown ? -m.inputRows : m.inputRows;
        const Bytes picture = test::MakeBitmap(spec);
        const MakeRequest request = RequestFor(picture, m);
        const auto pixels = static_cast<std::size_t>(request.inputPixelOffset);
        ForwardOnlyFile input(picture, std::max(BlockBytes, rowSize), pixels);
        MemoryFile output;
        ASSERT_EQ(Resample(request, input, output), MakeError::None);
        spec.height = m.outputRows;
        Bytes want = test::MakeBitmap(spec);
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            const std::uint8_t marker = test::RowMarker(topDown ? m.inputRows - 1 - chosen[i] : chosen[i]);
            std::fill_n(want.begin() + std::ptrdiff_t(pixels + i * rowSize), rowSize, chosen[i] == B ? 0 : marker);
        }
        const Bytes& out = output.Bytes();
        const auto differs = std::mismatch(out.begin(), out.end(), want.begin(), want.end()).first - out.begin();
        EXPECT_TRUE(out == want) << "first difference in output row " << (differs - std::ptrdiff_t(pixels)) / std::ptrdiff_t(rowSize);
    }
}

// Both walk orders visit every output row once, in their order, with the plain computation's
// input row; Make then copies exactly those rows (narrow rows, many to a block).
TEST(ResampleTest, RowChoiceMatchesThePlainComputation) {
    ASSERT_EQ(test::ExpectedRows(test::AccumulatedLatitude).back(), 767438);
    for (const RowMapping& m : test::Mappings()) {
        SCOPED_TRACE(test::Describe(m));
        for (const WalkOrder order : {WalkOrder::BottomFirst, WalkOrder::TopFirst}) {
            const bool up = order == WalkOrder::BottomFirst;
            Rows ins;
            std::int32_t next = up ? 0 : m.outputRows - 1;
            EXPECT_TRUE(WalkOutputRows(m, order, [&](std::int32_t out, std::int32_t in) {
                EXPECT_EQ(out, next);
                next += up ? 1 : -1;
                ins.insert(up ? ins.end() : ins.begin(), in);
                return true;
            }));
            EXPECT_EQ(ins, test::ExpectedRows(m));
            // A visit that says stop ends the walk at once.
            int calls = 0;
            EXPECT_EQ(WalkOutputRows(m, order, [&](std::int32_t, std::int32_t) { return ++calls < 2; }), m.outputRows < 2);
            EXPECT_EQ(calls, std::min(2, m.outputRows));
        }
        if (m.inputRows >= 2 && m.inputRows < 256) ExpectCopies({.width = 3}, m);  // row markers repeat after 256
    }
}

// Rows of 1.2 MB go three to a block, so stored rows sit first, inside and last in a block,
// runs cross from one block to the next and rows passed over are skipped with seeks. Rows of
// 4.5 MB are larger than a block: one is read at a time and none is gathered for writing.
TEST(ResampleTest, RowsCrossingBlockEdgesAreCopiedWhole) {
    const std::pair<std::int32_t, RowMapping> cases[] = {
        {400000, {35, 36, 35, 36, 10, 10}}, {400000, {35, 36, 35, 36, 10, 4}}, {400000, {35, 36, 35, 36, 10, 14}},
        {400000, {35, 36, 34.9, 36.1, 10, 12}}, {400000, {35, 36, 35.3, 35.7, 10, 3}},
        {1500000, {35, 36, 35, 36, 2, 3}}, {1500000, {35, 36, 34, 37, 3, 6}},
    };
    for (const auto& [width, m] : cases) ExpectCopies({.width = width}, m);
}

// What Resample writes for picture, made in memory.
Bytes Made(const MakeRequest& request, const Bytes& picture) {
    MemoryFile input(picture);
    MemoryFile output;
    EXPECT_EQ(Resample(request, input, output), MakeError::None);
    return output.Bytes();
}

// Bytes that differ from one place to the next, so a table taken from the wrong place shows.
Bytes Pattern(std::size_t size) {
    Bytes bytes(size);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{5});
    return bytes;
}

// Colour tables (three bytes an entry in the core form), masks, and a gap after the table all
// reach the output unchanged.
TEST(ResampleTest, BytesBetweenHeadersAndPixelsAreCarriedOver) {
    const TestBitmap pictures[] = {
        {.bitCount = 8, .clrUsed = 256, .clrImportant = 3, .colorTable = Pattern(1024)},
        {.bitCount = 8, .os2 = true, .colorTable = Pattern(768)},
        {.bitCount = 8, .clrUsed = 256, .colorTable = Pattern(1500)},
        {.width = 3, .bitCount = 16, .compression = 3, .colorTable = {0x00, 0xF8, 0, 0, 0xE0, 0x07, 0, 0, 0x1F, 0, 0, 0}},
    };
    for (const TestBitmap& picture : pictures) ExpectCopies(picture, {0, 60, 0, 60, 7, 7});
}

TEST(ResampleTest, RefusesBeforeTouchingEitherFile) {
    const Bytes picture = test::MakeBitmap({});  // 54 + 4 rows of 12
    const std::tuple<const char*, void (*)(MakeRequest&), MakeError> cases[] = {
        {"two input rows", [](MakeRequest& r) { r.inputRows = 2; }, MakeError::None},
        {"one input row", [](MakeRequest& r) { r.inputRows = 1; }, MakeError::InputTooFewRows},
        {"negative output height", [](MakeRequest& r) { r.outputRows = -1; }, MakeError::NegativeOutputHeight},
        {"input top at 90", [](MakeRequest& r) { r.inTopLatitude = 90; }, MakeError::LatitudeOutOfRange},
        {"output bottom at -90", [](MakeRequest& r) { r.outBottomLatitude = -90; }, MakeError::LatitudeOutOfRange},
        {"output top not a number", [](MakeRequest& r) { r.outTopLatitude = std::nan(""); }, MakeError::LatitudeOutOfRange},
        {"RLE8", [](MakeRequest& r) { r.compression = 1; }, MakeError::CompressedInput},
        {"bit fields are raw rows", [](MakeRequest& r) { r.compression = 3; }, MakeError::None},
        {"one pixel wide", [](MakeRequest& r) { r.width = 1; }, MakeError::None},
        {"no width", [](MakeRequest& r) { r.width = 0; }, MakeError::InvalidPictureSize},
        {"no bits", [](MakeRequest& r) { r.bitCount = 0; }, MakeError::InvalidPictureSize},
        {"output beyond 32 bits", [](MakeRequest& r) { r.outputRows = 200000000; }, MakeError::SizeOverflow},
        {"core beyond 16 bits", [](MakeRequest& r) { r.form = HeaderForm::Os2, r.outputRows = 40000; }, MakeError::SizeOverflow},
        {"pixels in headers", [](MakeRequest& r) { r.inputPixelOffset = 53; }, MakeError::PixelOffsetInsideHeaders},
        {"pixels start one byte late", [](MakeRequest& r) { r.inputPixelOffset = 55; }, MakeError::InputFileTooShort},
    };
    for (const auto& [name, change, error] : cases) {
        SCOPED_TRACE(name);
        MakeRequest request = RequestFor(picture, {35, 36, 35, 36, 4, 4});
        change(request);
        EXPECT_EQ(ValidateMakeRequest(request, picture.size()), error);
        if (error == MakeError::None) continue;

        MemoryFile input(picture);
        MemoryFile output;
        EXPECT_EQ(Resample(request, input, output), error);
        EXPECT_EQ(output.BytesWritten(), 0u);
    }
}

// Writes and seeks fail at every stage: each failure is reported as the file's it came from, and
// only room for the whole picture makes one. What a failure leaves, RunMake discards (below).
TEST(ResampleTest, FailedWritesAndSeeksAreReported) {
    const std::size_t rowSize = 1800000;  // two rows to a block, so rows go out in several writes
    const std::size_t total = 54 + 7 * rowSize;
    for (const bool topDown : {false, true}) {
        const Bytes picture = test::MakeBitmap({.width = 600000, .height = topDown ? -7 : 7});
        const MakeRequest request = RequestFor(picture, {0, 60, 0, 60, 7, 7});
        for (const std::size_t limit : {std::size_t{0}, std::size_t{54}, 54 + 3 * rowSize + 1, total - 1, total}) {
            SCOPED_TRACE(testing::Message() << "fails after " << limit << (topDown ? ", top-down" : ""));
            MemoryFile input(picture);
            MemoryFile output;
            output.failWritesAfter = limit;
            const bool room = limit == total;
            EXPECT_EQ(Resample(request, input, output), room ? MakeError::None : MakeError::OutputWriteFailed);
            if (room) {
                EXPECT_EQ(output.Bytes().size(), total);
            }
        }
        for (const bool inputFails : {true, false}) {
            MemoryFile input(picture);
            MemoryFile output;
            (inputFails ? input : output).failSeek = true;
            EXPECT_EQ(Resample(request, input, output),
                      inputFails ? MakeError::InputReadFailed : MakeError::OutputWriteFailed);
        }
    }
}

// An input picture written into a fresh folder, and where its output goes.
struct Picture {
    explicit Picture(std::int32_t width, std::int32_t height, const std::string& outputName = "out.bmp")
        : input(folder.File("in.bmp")), output(folder.File(outputName)),
          picture(test::MakeBitmap({.width = width, .height = height})),
          request(RequestFor(picture, {35, 36, 35, 35.8, height, height})) {
        test::WriteAll(input, picture);
    }
    MakeResult Run(MessageBoxes& boxes, FileSystem& files, const std::string& to = {}) const {
        return RunMake(request, RecognizeBitmap(picture), input, to.empty() ? output : to, boxes, files);
    }
    test::TempFolder folder;
    std::string input;
    std::string output;
    Bytes picture;
    MakeRequest request;
};

// Each step of writing fails in turn, over an older output and where there was none; the
// last case fails nothing and the output takes the older one's permission bits, or the umask's.
TEST(RunMake, AFailingStepLeavesTheOlderOutputAndNoTemporaryFile) {
    const Picture s(100, 200);
    const Bytes older(70000, 0xEE);  // longer than the new picture: none of it may stay behind
    const std::tuple<FailingStep, int, const char*> cases[] = {
        {FailingStep::Write, 2, "No space left on device"}, {FailingStep::Sync, 0, "Input/output error"},
        {FailingStep::Rename, 0, "Input/output error"}, {FailingStep::None, 0, nullptr},
        // The older file's bits are part of what is replaced: a file that cannot take them is not put in place.
        {FailingStep::Permissions, 0, "Operation not permitted"},
    };
    const mode_t earlierMask = umask(027);
    for (const auto& [step, write, reason] : cases) {
        for (const bool hadOutput : {true, false}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(step) << "/" << write << (hadOutput ? ", older output" : ""));
            std::filesystem::remove(s.output);
            if (hadOutput) {
                test::WriteAll(s.output, older);
                std::filesystem::permissions(s.output, std::filesystem::perms(0604));
            }
            test::FaultyFileSystem files(step, write);
            test::ScriptedMessageBoxes boxes;
            const std::string text = MakeResultText(s.Run(boxes, files), s.input, s.output);
            EXPECT_TRUE(boxes.shown.empty());
            EXPECT_EQ(files.inputOpens, 1);
            EXPECT_EQ(test::FolderEntries(s.folder.Path()),
                      (hadOutput || !reason ? Names{"in.bmp", "out.bmp"} : Names{"in.bmp"}));
            EXPECT_EQ(test::ReadAll(s.output), reason ? (hadOutput ? older : Bytes{}) : Made(s.request, s.picture));
            if (reason) {
                EXPECT_NE(text.find(s.output + ": " + reason), std::string::npos) << text;
            } else {
                EXPECT_EQ(text, "");
                EXPECT_EQ(std::filesystem::status(s.output).permissions(), std::filesystem::perms(hadOutput ? 0604 : 0640));
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
    EXPECT_TRUE(std::filesystem::is_directory(s.folder.File("new")));
    EXPECT_TRUE(std::filesystem::is_empty(s.folder.File("new")));
}

// Another program flips the output name between a file and a link to the input while Make runs:
// whatever the name denotes when Make starts or replaces it, the input keeps its bytes, and a
// Make that ran through either replaced the name or refused.
TEST(RunMake, TheInputSurvivesAnOutputNameFlippedToIt) {
    const Picture s(8, 8);
    std::atomic<bool> done{false};
    std::thread flipper([&] {
        const std::string link = s.folder.File("link.tmp");
        for (int i = 0; !done; ++i) {
            std::filesystem::remove(link);
            i % 2 == 0 ? std::filesystem::create_symlink(s.input, link) : test::WriteAll(link, Bytes(3, 7));
            std::filesystem::rename(link, s.output);
        }
    });
    std::map<MakeOutcome, int> outcomes;
    for (int round = 0; round < 1000; ++round) {
        test::ScriptedMessageBoxes boxes;
        ++outcomes[s.Run(boxes, DefaultFileSystem()).outcome];
    }
    done = true;
    flipper.join();
    EXPECT_EQ(test::ReadAll(s.input), s.picture);
    EXPECT_EQ(outcomes[MakeOutcome::Done] + outcomes[MakeOutcome::SameFile], 1000);

}

// On a real small disk: a full one keeps the older output and leaves nothing beside it; a
// read-only one takes no new file, and the person is told so.
TEST(RunMake, AFullDiskLeavesTheOlderOutput) {
    const Picture s(200, 1000, "disk/out.bmp");
    const std::string disk = s.folder.File("disk");
    const std::string fresh = disk + "/new.bmp";
    std::filesystem::create_directory(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=256k") != 0) GTEST_SKIP() << "a small tmpfs cannot be mounted here";
    const Bytes older(100000, 0xEE);
    test::WriteAll(s.output, older);
    test::ScriptedMessageBoxes boxes;
    const std::string text = MakeResultText(s.Run(boxes, DefaultFileSystem()), s.input, s.output);
    EXPECT_NE(text.find("failed: Cannot write " + s.output + ": No space left on device"), std::string::npos) << text;
    EXPECT_TRUE(test::ReadAll(s.output) == older);
    EXPECT_EQ(test::FolderEntries(disk), Names{"out.bmp"});
    EXPECT_EQ(mount("tmpfs", disk.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, "size=256k"), 0);
    boxes.answers = {AlarmAnswer::Cancel};
    EXPECT_EQ(MakeResultText(s.Run(boxes, DefaultFileSystem(), fresh), s.input, fresh),
              "Could not Open Output File! (" + fresh + ": Read-only file system (no new file can be made in " + disk + "))");
    umount2(disk.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace kartivo
