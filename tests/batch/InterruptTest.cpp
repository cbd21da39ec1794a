// kartivo-batch stopped part-way through a large Make, by a signal it can handle and by one it
// cannot: the output path holds the older file or the complete new one, nothing else.

#include "BatchTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

namespace kartivo {
namespace {

using namespace test;

const std::string Tokyo = "Tokyo(35.6,139.6,35.7,139.8).bmp";

TEST(Interrupt, ASignalWhileTheTemporaryFileIsOpenRemovesItAndKeepsTheOlderOutput) {
    TempFolder folder;
    TempFolder scratch;
    const std::string input = folder.File(Tokyo);
    const std::string output = folder.File("out.bmp");
    WriteAll(input, MakeBitmap({.width = 3000, .height = 3000}));
    ASSERT_EQ(RunBatchProgram({"make", "-o", output, input}, scratch).status, 0);
    const Bytes made = ReadAll(output);
    const Bytes older(5000, 0xEE);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(signalNumber);
        WriteAll(output, older);
        const pid_t child = StartBatchProgram({"make", "-o", output, input}, "/dev/null", "/dev/null");
        // Until the temporary file is there beside the two, or the child has ended.
        while (FolderEntries(folder.Path()).size() < 3 && waitpid(child, nullptr, WNOHANG) != child) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_EQ(FolderEntries(folder.Path()).size(), 3u) << "the Make ended before it could be stopped";
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const Bytes now = ReadAll(output);
        // The signal may come just after the rename; then the whole new picture is there.
        EXPECT_TRUE(now == older || now == made);
        // The program ends as the signal would end it.
        EXPECT_TRUE(!WIFSIGNALED(status) || WTERMSIG(status) == signalNumber) << status;
        // Nothing can remove the temporary file after SIGKILL.
        for (const std::string& name : FolderEntries(folder.Path())) {
            if (signalNumber == SIGKILL && name.ends_with(".tmp")) std::filesystem::remove(folder.Path() / name);
        }
        EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{Tokyo, "out.bmp"}));
    }
}

// The handler knows only the temporary files still open; those of finished outputs must make
// room, or a long run over a folder is no longer cleaned up after its first few dozen pictures.
TEST(Interrupt, ASignalLateInALongRunStillRemovesTheTemporaryFile) {
    TempFolder folder;
    std::vector<std::string> args = {"make"};
    for (int i = 0; i < 40; ++i) {
        args.push_back(folder.File("S" + std::to_string(i) + Tokyo));
        WriteAll(args.back(), MakeBitmap({.width = 4, .height = 4}));
    }
    args.push_back(folder.File(Tokyo));
    WriteAll(args.back(), MakeBitmap({.width = 3000, .height = 3000}));
    const pid_t child = StartBatchProgram(args, "/dev/null", "/dev/null");
    const auto lastOneStarted = [&] {
        for (const std::string& name : FolderEntries(folder.Path())) {
            if (name.starts_with("." + Tokyo.substr(0, 5))) return true;
        }
        return false;
    };
    while (!lastOneStarted() && waitpid(child, nullptr, WNOHANG) != child) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(lastOneStarted()) << "the run ended before it could be stopped";
    kill(child, SIGTERM);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    EXPECT_FALSE(lastOneStarted());
}

}  // namespace
}  // namespace kartivo
