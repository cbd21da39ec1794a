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

std::vector<std::string> TemporaryFiles(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const std::string& name : test::FolderEntries(folder)) {
        if (name.starts_with(".") && name.ends_with(".tmp")) found.push_back(name);
    }
    return found;
}

TEST(Interrupt, ASignalWhileTheTemporaryFileIsOpenRemovesItAndKeepsTheOlderOutput) {
    TempFolder folder;
    TempFolder scratch;
    const std::string input = folder.File(Tokyo);
    const std::string output = folder.File("out.bmp");
    test::WriteAll(input, test::MakeBitmap({.width = 3000, .height = 3000}));
    ASSERT_EQ(test::RunBatchProgram({"make", "-o", output, input}, scratch).status, 0);
    const Bytes made = test::ReadAll(output);
    const Bytes older(5000, 0xEE);
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(signalNumber);
        test::WriteAll(output, older);
        const pid_t child = test::StartBatchProgram({"make", "-o", output, input}, "/dev/null", "/dev/null");
        ASSERT_GT(child, 0);
        // Until the temporary file is there, or the child has ended.
        while (TemporaryFiles(folder.Path()).empty() && waitpid(child, nullptr, WNOHANG) != child) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_FALSE(TemporaryFiles(folder.Path()).empty()) << "the Make ended before it could be stopped";
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const Bytes now = test::ReadAll(output);
        // The signal may come just after the rename; then the whole new picture is there.
        EXPECT_TRUE(now == older || now == made);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), signalNumber) << "the program ends as the signal would end it";
        }
        if (signalNumber != SIGKILL) {
            EXPECT_EQ(TemporaryFiles(folder.Path()), std::vector<std::string>{});
        }
        for (const std::string& name : TemporaryFiles(folder.Path())) std::filesystem::remove(folder.Path() / name);
        EXPECT_EQ(test::FolderEntries(folder.Path()), (std::vector<std::string>{Tokyo, "out.bmp"}));
    }
}

}  // namespace
}  // namespace kartivo
