// kartivo-batch stopped part-way through a large Make, by a signal it can handle and by one it
// cannot: the output path holds the older file or the complete new one, nothing else.

#include "BatchTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace kartivo {
namespace {

using test::Bytes;
using test::TempFolder;

const std::string Tokyo = "Tokyo(35.6,139.6,35.7,139.8).bmp";

pid_t StartMake(const std::string& input, const std::string& output) {
    return test::StartBatchProgram({"make", "-o", output, input}, "/dev/null", "/dev/null");
}

std::vector<std::string> TemporaryFiles(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const std::string& name : test::FolderEntries(folder)) {
        if (name.starts_with(".") && name.ends_with(".tmp")) found.push_back(name);
    }
    return found;
}

// Waits until the child's temporary file exists (true), or the child has ended (false).
bool WaitForTemporaryFile(pid_t child, const std::filesystem::path& folder) {
    for (;;) {
        if (!TemporaryFiles(folder).empty()) return true;
        if (waitpid(child, nullptr, WNOHANG) == child) return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

class Interrupt : public testing::Test {
protected:
    void SetUp() override {
        test::WriteAll(input_, test::MakeBitmap({.width = 3000, .height = 3000, .bitCount = 24}));
        const std::string reference = folder_.File("reference.bmp");
        ASSERT_EQ(test::RunBatchProgram({"make", "-o", reference, input_}, scratch_).status, 0);
        made_ = test::ReadAll(reference);
        std::filesystem::remove(reference);
    }

    TempFolder folder_;
    TempFolder scratch_;
    const std::string input_ = folder_.File(Tokyo);
    const std::string output_ = folder_.File("out.bmp");
    const Bytes older_ = Bytes(5000, 0xEE);
    Bytes made_;
};

TEST_F(Interrupt, ASignalWhileTheTemporaryFileIsOpenRemovesItAndKeepsTheOlderOutput) {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(signalNumber);
        test::WriteAll(output_, older_);
        const pid_t child = StartMake(input_, output_);
        ASSERT_GT(child, 0);
        ASSERT_TRUE(WaitForTemporaryFile(child, folder_.Path())) << "the Make ended before it could be stopped";
        kill(child, signalNumber);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        const Bytes now = test::ReadAll(output_);
        // The signal may come just after the rename; then the whole new picture is there.
        EXPECT_TRUE(now == older_ || now == made_);
        if (WIFSIGNALED(status)) {
            EXPECT_EQ(WTERMSIG(status), signalNumber) << "the program ends as the signal would end it";
        }
        if (signalNumber != SIGKILL) {
            EXPECT_EQ(TemporaryFiles(folder_.Path()), std::vector<std::string>{});
        }
        for (const std::string& name : TemporaryFiles(folder_.Path())) std::filesystem::remove(folder_.Path() / name);
        EXPECT_EQ(test::FolderEntries(folder_.Path()), (std::vector<std::string>{Tokyo, "out.bmp"}));
    }
}

}  // namespace
}  // namespace kartivo
