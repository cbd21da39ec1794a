#include "BatchTestSupport.h"
#include "geo/ControlPoints.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <map>

namespace kartivo {
namespace {

using namespace test;

const std::string Picture = "Tokyo(35.6,139.6,35.7,139.8).bmp";

// Every file in the folder with its bytes.
std::map<std::string, Bytes> Snapshot(const TempFolder& folder) {
    std::map<std::string, Bytes> files;
    for (const std::string& name : FolderEntries(folder.Path())) files[name] = ReadAll(folder.File(name));
    return files;
}

// A refused command line exits with 2, a refused file with 1 while the others go on; neither
// touches any file. Help and the version go to standard output.
TEST(CommandLine, RefusesWithAReasonAndLeavesEveryFileAsItWas) {
    const struct {
        int status;
        std::vector<std::string> args;  // "PIC" stands for a good picture; files are in the folder
        std::string message;
    } cases[] = {
        {2, {}, "Usage: kartivo-batch COMMAND"},
        {2, {"frobnicate", "PIC"}, "unknown command \"frobnicate\""},
        {2, {"info"}, "info needs at least one picture"},
        {2, {"info", "--json=yes", "PIC"}, "option --json takes no value"},
        {2, {"make"}, "make needs at least one picture"},
        {2, {"make", "--bogus", "PIC"}, "unknown option \"--bogus\""},
        {2, {"make", "PIC", "--height"}, "option --height needs a value"},
        {2, {"make", "--height", "5", "--height", "6", "PIC"}, "option --height is given more than once"},
        // Counts are never rounded, signed, trimmed or read in exponent form.
        {2, {"make", "--height", "0", "PIC"}, "--height takes a whole positive number of rows, not \"0\""},
        {2, {"make", "--height", "1.5", "PIC"}, "--height takes a whole positive number of rows, not \"1.5\""},
        {2, {"make", "--height", "-1", "PIC"}, "--height takes a whole positive number"},
        {2, {"make", "--height", "+3", "PIC"}, "--height takes a whole positive number"},
        {2, {"make", "--height", " 5", "PIC"}, "--height takes a whole positive number"},
        {2, {"make", "--height", "", "PIC"}, "--height takes a whole positive number"},
        {2, {"make", "--corners", "35,139,36", "PIC"}, "--corners takes four values"},
        {2, {"make", "--corners", "35,139,abc,140", "PIC"}, "\"abc\" is not a latitude"},
        {2, {"make", "--corners", "35,181,36,140", "PIC"}, "\"181\" is not a longitude"},
        {2, {"make", "--corners", "35,139,36,181°", "PIC"}, "\"181°\" is not a longitude"},
        // Compared as the boxes hold them, ten decimals.
        {2, {"make", "--corners", "35.00000000001,139,35.00000000004,140", "PIC"}, "TOP must lie above BOTTOM"},
        {2, {"make", "--corners", "35,139.00000000001,36,139.00000000004", "PIC"}, "RIGHT beyond LEFT"},
        {2, {"make", "--lat", "35.6", "PIC"}, "--lat takes two latitudes"},
        {2, {"make", "--lat", "35.70000000001,35.70000000004", "PIC"}, "--lat: TOP must lie above BOTTOM"},
        {2, {"make", "--dpi", "72,72,72", "PIC"}, "--dpi takes one or two whole positive numbers"},
        {2, {"make", "--dpi", "-1", "PIC"}, "--dpi takes one or two whole positive numbers"},
        {2, {"make", "--dpi", "96,1e3", "PIC"}, "--dpi takes one or two whole positive numbers"},
        {2, {"make", "--dpi", "96x", "PIC"}, "--dpi takes one or two whole positive numbers"},
        {2, {"make", "--dpi", "72,54546085", "PIC"}, "that a bitmap header can hold, not \"72,54546085\""},
        {2, {"make", "-o", "out.bmp", "PIC", "PIC"}, "-o names the output of one picture"},
        {2, {"import", "-o", "maps/.bmp", "PIC"}, "-o takes a name ending in .bmp"},  // no name before it
        {2, {"import", "--relief=shaded", "PIC"}, "--relief takes grey or color, not \"shaded\""},
        {2, {"write-info", "--name", "X", "--corners", "1,2,3,4"}, "write-info takes exactly one map data file"},
        {2, {"write-info", "area.mbx", "--corners", "1,2,3,4"}, "write-info needs --name"},
        {2, {"write-info", "area.mbx", "--name", "X"}, "write-info needs --corners"},
        {2, {"write-info", "area.mbx", "--name", "X", "--corners", "1,2,3,4", "--layer", "5"}, "--layer takes 1, 2"},
        {2, {"write-info", "area.mbx", "--name", "T\xE4l", "--corners", "1,2,3,4"}, "--name takes a text in UTF-8"},
        // A tile source is judged before anything is asked of it; T stands for a good template.
        {2, {"info", "--tiles", "T", "--zoom", "3"}, "--tiles needs the area to fetch: --box BOTTOM,LEFT,TOP,RIGHT"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4"}, "and --zoom Z, a zoom level from 0 to 22"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "23"}, "--zoom takes a zoom level from 0 to 22, not \"23\""},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "-1"}, "--zoom takes a zoom level"},
        {2, {"info", "--tiles", "T", "--box", "3,2,3,4", "--zoom", "3"}, "--box: TOP must lie above BOTTOM and RIGHT differ"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,2", "--zoom", "3"}, "--box: TOP must lie above BOTTOM and RIGHT differ"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,181", "--zoom", "3"}, "--box: \"181\" is not a longitude"},
        {2, {"info", "--tiles", "T", "--box", "86,2,87,3", "--zoom", "3"}, "beyond 85.0511 degrees"},
        {2, {"info", "--tiles", "https://127.0.0.1/{z}/{x}.png", "--box", "1,2,3,4", "--zoom", "3"}, "by {x} and {y}"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "3", "--max-tiles", "0"}, "--max-tiles takes a whole positive"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "22", "--rate", "0"}, "--rate takes a positive number"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "3", "--user-agent", ""}, "--user-agent takes a text"},
        {2, {"import", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "3", "--attribution", "a\nb"}, "--attribution takes one line"},
        {2, {"info", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "3", "PIC"}, "describes the tile area alone"},
        {2, {"info", "--zoom", "3", "PIC"}, "--zoom goes with --tiles"},
        {2, {"import", "--box", "1,2,3", "PIC"}, "--box takes four values"},  // without --tiles it crops
        {2, {"import", "--tiles", "T", "--box", "1,2,3,4", "--zoom", "3", "PIC"}, "imports the tile area alone"},
        {0, {"info", "--tiles", "T", "--box", "35°36' 00.0000'',139,35.7,139.8", "--zoom", "9", "--rate", "0.5"},
         "tiles              2\n  cached             0 of them\n  tile columns       453 to 454\n"},
        {1, {"info", "plain_.bmp"}, "plain_.bmp: This file is not BMP."},
        {1, {"info", "gone.bmp"}, "gone.bmp: Failed to Open File. (No such file or directory)"},
        {1, {"make", "plain.bmp"}, "its file name carries no corners"},
        {1, {"make", "rle(35.6,139.6,35.7,139.8).bmp"}, "its compression is RLE8 (RunLength 8 bits/pixel)"},
        {1, {"make", "Flat(35,139,35,140).bmp"}, "do not have the top above the bottom"},
        // The window shows 54546085 dpi, which no longer fits once turned back into pixels per metre.
        {1, {"make", "dense(35.6,139.6,35.7,139.8).bmp"}, "a resolution is too large for a bitmap header"},
        // The boxes keep ten decimals, which round this one to the pole.
        {1, {"make", "--corners", "-89.99999999996,1,0,2", "--lat", "-1,0", "PIC"}, "beyond 90"},
        // A second run over a folder meets the outputs of the first among the pictures.
        {1, {"make", "--corners", "35,139,36,140", "plain.bmp", "plain_.bmp"}, "_.bmp is one of the pictures given"},
        // The window's alarm box as one line, without its buttons.
        {1, {"make", "-o", "missing/out.bmp", "PIC"}, "Code=76:No such file or directory\nkartivo-batch: "},
        {1, {"write-info", "gone.mbx", "--name", "X", "--corners", "1,2,3,4"}, "gone.mbx: the file could not be opened (No such file or directory)"},
        {1, {"write-info", "area.MBX", "--name", "X", "--corners", "1,2,3,4"}, "its extension must be exactly \"mbx\""},
        {0, {"-h"}, "Usage: kartivo-batch COMMAND"},
        {0, {"make", "--help", "--height", "ten"}, "Usage: kartivo-batch make"},
        {0, {"--version"}, "kartivo-batch " KARTIVO_VERSION_EXPECTED "\n"},
    };
    TempFolder folder;
    const Bytes good = MakeBitmap({});
    for (const std::string& name : {Picture, std::string("plain.bmp"), std::string("Flat(35,139,35,140).bmp")}) {
        WriteAll(folder.File(name), good);
    }
    WriteAll(folder.File("rle(35.6,139.6,35.7,139.8).bmp"), MakeBitmap({.bitCount = 8, .compression = 1}));
    WriteAll(folder.File("dense(35.6,139.6,35.7,139.8).bmp"), MakeBitmap({.xPelsPerMeter = 2147483647}));
    WriteAll(folder.File("plain_.bmp"), Bytes{'n', 'o'});
    WriteAll(folder.File("area.mbx"), Bytes(200, 7));
    WriteAll(folder.File("area.MBX"), Bytes(200, 7));
    const std::map<std::string, Bytes> before = Snapshot(folder);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        std::vector<std::string> args;
        for (const std::string& arg : c.args) {
            if (arg == "T") {
                args.push_back("http://127.0.0.1:9/{z}/{x}/{y}.png");
                continue;
            }
            const std::string name = arg == "PIC" ? Picture : arg;
            const bool file = name.ends_with(".bmp") || name.ends_with(".mbx") || name.ends_with(".MBX");
            args.push_back(file ? folder.File(name) : name);
        }
        const test::BatchRun run = RunBatchInProcess(args);

        EXPECT_EQ(run.status, c.status);
        EXPECT_NE((c.status == 0 ? run.out : run.err).find(c.message), std::string::npos) << run.out << run.err;
        EXPECT_EQ(c.status == 0 ? run.err : run.out, "");
        EXPECT_TRUE(Snapshot(folder) == before) << testing::PrintToString(FolderEntries(folder.Path()));
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
    EXPECT_EQ(JsonLines(run.out).size(), 2u);
    EXPECT_NE(run.out.find("\n{\"path\":\"-dashed.bmp\","), std::string::npos) << run.out;
    EXPECT_EQ(withoutDoubleDash.status, 2);
    EXPECT_NE(withoutDoubleDash.err.find("unknown option \"-dashed.bmp\""), std::string::npos);
    EXPECT_EQ(made.status, 0) << made.err;
    EXPECT_TRUE(std::filesystem::exists(folder.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")));
}

TEST(Program, ExitStatusTellsAllDoneSomeFailedOrUsage) {
    TempFolder folder;
    const std::string good = folder.File(Picture);
    const std::string refused = folder.File("notes.bmp");
    WriteAll(good, MakeBitmap({}));
    WriteAll(refused, test::Bytes{'n', 'o'});

    const test::BatchRun allDone = test::RunBatchProgram({"info", "--json", good}, folder);
    EXPECT_EQ(allDone.status, 0) << allDone.err;
    EXPECT_EQ(JsonLines(allDone.out).size(), 1u);

    const test::BatchRun someFailed = test::RunBatchProgram({"make", refused, good}, folder);
    EXPECT_EQ(someFailed.status, 1);
    EXPECT_EQ(someFailed.out, "");
    // Standard error is a file here, so no progress line comes with the message.
    EXPECT_EQ(someFailed.err, "kartivo-batch: " + refused + ": This file is not BMP.\n");
    EXPECT_TRUE(std::filesystem::exists(folder.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")));

    const test::BatchRun usage = test::RunBatchProgram({"make", "--lat", "1", good}, folder);
    EXPECT_EQ(usage.status, 2);
    EXPECT_NE(usage.err.find("Try \"kartivo-batch make --help\"."), std::string::npos) << usage.err;

    // Past a file-size limit the run fails with the reason rather than being ended silently.
    WriteAll(good, MakeBitmap({.width = 100, .height = 100}));
    rlimit earlier{};
    getrlimit(RLIMIT_FSIZE, &earlier);
    const rlimit limited{8192, earlier.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
    const test::BatchRun tooLarge = test::RunBatchProgram({"make", "-o", folder.File("big.bmp"), good}, folder);
    setrlimit(RLIMIT_FSIZE, &earlier);
    EXPECT_EQ(tooLarge.status, 1);
    EXPECT_NE(tooLarge.err.find("File too large"), std::string::npos) << tooLarge.err;
}

// Memory running out ends the run with its reason and a failure, not an abort: a .points file
// of 16 MiB beside a picture, read with 16 MiB of address space in all.
TEST(Program, RunningOutOfMemoryIsSaidAndFails) {
    TempFolder folder;
    const std::string picture = folder.File(Picture);
    WriteAll(picture, MakeBitmap({}));
    const auto run = [&] { return test::RunBatchProgram({"info", picture}, folder, 0, rlim_t{16} << 20); };
    if (const test::BatchRun plain = run(); plain.status != 0) {
        GTEST_SKIP() << "this build cannot run in 16 MiB (the sanitizers need more): " << plain.err;
    }
    std::string text = "mapX,mapY,sourceX,sourceY,enable\n";
    text.resize(MostPointsFileBytes, '#');
    WriteAll(PointsPathFor(picture), test::Bytes(text.begin(), text.end()));
    const test::BatchRun outOfMemory = run();
    EXPECT_EQ(outOfMemory.status, 1);
    EXPECT_EQ(outOfMemory.err, "kartivo-batch: out of memory; the command was stopped\n");
}

// With no file left to load the converter, a Japanese name is refused rather than written as
// "??"; an ASCII name needs no converter.
TEST(Program, ANameTheConverterCannotTakeIsRefusedWithItsReason) {
    TempFolder folder;
    const std::string path = folder.File("area.mbx");
    const Bytes existing(200, 7);
    const auto run = [&](const std::string& name) {
        WriteAll(path, existing);
        return test::RunBatchProgram({"write-info", path, "--name", name, "--corners", "1,2,3,4"}, folder, 4);
    };
    const test::BatchRun ascii = run("Tokyo");
    if (ascii.status != 0) {
        GTEST_SKIP() << "this build cannot run with four open files (the sanitizers need more): " << ascii.err;
    }
    const test::BatchRun japanese = run("東京");
    EXPECT_EQ(japanese.status, 1);
    EXPECT_NE(japanese.err.find(path + ": the map name cannot be converted to Shift-JIS ("), std::string::npos)
        << japanese.err;
    EXPECT_EQ(ReadAll(path), existing);
}

}  // namespace
}  // namespace kartivo
