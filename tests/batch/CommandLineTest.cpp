#include "BatchTestSupport.h"

#include <gtest/gtest.h>

namespace kartivo {
namespace {

using namespace test;

const std::string Picture = "Tokyo(35.6,139.6,35.7,139.8).bmp";

// Every usage error leaves the files alone and exits with 2.
TEST(CommandLine, RefusesAUsageErrorBeforeTouchingAnyFile) {
    const struct {
        std::vector<std::string> args;  // "PIC" stands for a good picture, "MAP" for a map data file
        std::string message;
    } cases[] = {
        {{}, "Usage: kartivo-batch COMMAND"},
        {{"frobnicate", "PIC"}, "unknown command \"frobnicate\""},
        {{"info"}, "info needs at least one picture"},
        {{"info", "--json=yes", "PIC"}, "option --json takes no value"},
        {{"make"}, "make needs at least one picture"},
        {{"make", "--bogus", "PIC"}, "unknown option \"--bogus\""},
        {{"make", "PIC", "--height"}, "option --height needs a value"},
        {{"make", "--height", "5", "--height", "6", "PIC"}, "option --height is given more than once"},
        {{"make", "--height", "ten", "PIC"}, "--height takes a whole number"},
        {{"make", "--height", "0", "PIC"}, "--height takes a whole number of rows other than 0"},
        {{"make", "--corners", "35,139,36", "PIC"}, "--corners takes four values"},
        {{"make", "--corners", "35,139,abc,140", "PIC"}, "\"abc\" is not a latitude"},
        {{"make", "--corners", "35,181,36,140", "PIC"}, "\"181\" is not a longitude"},
        {{"make", "--corners", "36,139,35,140", "PIC"}, "TOP must lie above BOTTOM"},
        // Compared as the boxes hold them, ten decimals.
        {{"make", "--corners", "35.00000000001,139,35.00000000004,140", "PIC"}, "TOP must lie above BOTTOM"},
        {{"make", "--corners", "35,139.00000000001,36,139.00000000004", "PIC"}, "RIGHT beyond LEFT"},
        {{"make", "--lat", "35.6", "PIC"}, "--lat takes two latitudes"},
        {{"make", "--lat", "35.70000000001,35.70000000004", "PIC"}, "--lat: TOP must lie above BOTTOM"},
        {{"make", "--dpi", "1e300", "PIC"}, "--dpi takes one or two numbers"},
        {{"make", "--dpi", "72,72,72", "PIC"}, "--dpi takes one or two numbers"},
        {{"make", "-o", "out.bmp", "PIC", "PIC"}, "-o names the output of one picture"},
        {{"write-info", "--name", "X", "--corners", "1,2,3,4"}, "write-info takes exactly one map data file"},
        {{"write-info", "MAP", "--corners", "1,2,3,4"}, "write-info needs --name"},
        {{"write-info", "MAP", "--name", "X"}, "write-info needs --corners"},
        {{"write-info", "MAP", "--name", "X", "--corners", "3,2,1,4"}, "TOP must lie above BOTTOM"},
        {{"write-info", "MAP", "--name", "X", "--corners", "1,2,3,4", "--layer", "5"}, "--layer takes 1, 2, 3 or 4"},
    };
    TempFolder folder;
    WriteAll(folder.File(Picture), MakeBitmap({}));
    WriteAll(folder.File("area.mbx"), test::Bytes(200, 7));
    for (const auto& c : cases) {
        std::vector<std::string> args;
        std::string shown;
        for (const std::string& arg : c.args) {
            args.push_back(arg == "PIC" ? folder.File(Picture) : arg == "MAP" ? folder.File("area.mbx") : arg);
            shown += " " + arg;
        }
        SCOPED_TRACE("kartivo-batch" + shown);

        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{Picture, "area.mbx"}));
        EXPECT_EQ(test::ReadAll(folder.File("area.mbx")), test::Bytes(200, 7));
    }
}

// Options stand anywhere; "--" ends them; a bare name has no folder in front, and its output
// goes beside it rather than into the root folder.
TEST(CommandLine, TakesOptionsAnywhereDashedNamesAfterADoubleDashAndBareNames) {
    TempFolder folder;
    WriteAll(folder.File(Picture), MakeBitmap({}));
    WriteAll(folder.File("-dashed.bmp"), MakeBitmap({}));
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    const test::BatchRun run = RunBatchInProcess({"info", Picture, "--json", "--", "-dashed.bmp"});
    const test::BatchRun withoutDoubleDash = RunBatchInProcess({"info", "-dashed.bmp"});
    const test::BatchRun made = RunBatchInProcess({"make", Picture, "--dpi", "96"});
    std::filesystem::current_path(previous);

    EXPECT_EQ(run.status, 0) << run.err;
    const std::vector<test::Json> lines = test::JsonLines(run.out);
    ASSERT_EQ(lines.size(), 2u) << run.out;
    EXPECT_EQ(lines[1]["path"], "-dashed.bmp");
    EXPECT_EQ(withoutDoubleDash.status, 2);
    EXPECT_NE(withoutDoubleDash.err.find("unknown option \"-dashed.bmp\""), std::string::npos);
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(std::filesystem::exists(folder.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")));
}

TEST(CommandLine, HelpAndVersionGoToStandardOutput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-h"}, "Usage: kartivo-batch COMMAND"},
        {{"info", "--help"}, "Usage: kartivo-batch info"},
        {{"make", "--help", "--height", "ten"}, "Usage: kartivo-batch make"},
        {{"--version"}, "kartivo-batch " KARTIVO_VERSION_EXPECTED "\n"},
    };
    for (const auto& [args, start] : cases) {
        SCOPED_TRACE(args.front());
        const test::BatchRun run = RunBatchInProcess(args);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.out.rfind(start, 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST(Program, ExitStatusTellsAllDoneSomeFailedOrUsage) {
    TempFolder folder;
    TempFolder scratch;
    const std::string good = folder.File(Picture);
    const std::string refused = folder.File("notes.bmp");
    WriteAll(good, MakeBitmap({}));
    WriteAll(refused, test::Bytes{'n', 'o'});

    const test::BatchRun allDone = test::RunBatchProgram({"info", "--json", good}, scratch);
    EXPECT_EQ(allDone.status, 0);
    EXPECT_EQ(test::JsonLines(allDone.out).size(), 1u) << allDone.out;
    EXPECT_EQ(allDone.err, "");

    const test::BatchRun someFailed = test::RunBatchProgram({"make", refused, good}, scratch);
    EXPECT_EQ(someFailed.status, 1);
    EXPECT_EQ(someFailed.out, "");
    // Standard error is a file here, so no progress line comes with the message.
    EXPECT_EQ(someFailed.err, "kartivo-batch: " + refused + ": This file is not BMP.\n");
    EXPECT_TRUE(std::filesystem::exists(folder.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")));

    const test::BatchRun usage = test::RunBatchProgram({"make", "--lat", "1", good}, scratch);
    EXPECT_EQ(usage.status, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_NE(usage.err.find("Try \"kartivo-batch make --help\"."), std::string::npos) << usage.err;
}

}  // namespace
}  // namespace kartivo
