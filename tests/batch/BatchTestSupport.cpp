#include "BatchTestSupport.h"

#include "tools/BatchCommands.h"

#include <sstream>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kartivo::test {

BatchRun RunBatchInProcess(const std::vector<std::string>& args, bool showProgress) {
    std::ostringstream out;
    std::ostringstream err;
    batch::Console console{out, err, showProgress};
    const int status = batch::RunBatch(args, console);
    return {status, out.str(), err.str()};
}

pid_t StartBatchProgram(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
                        int openFileLimit, rlim_t addressSpaceLimit) {
    std::vector<char*> argv{const_cast<char*>(KARTIVO_BATCH_PROGRAM)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child != 0) return child;
    // Only async-signal-safe calls from here to exec.
    const int in = open("/dev/null", O_RDONLY);
    const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    // Whatever the test runner left open is not the program's to use.
    close_range(3, ~0U, 0);
    if (openFileLimit > 0) {
        const rlimit limit{static_cast<rlim_t>(openFileLimit), static_cast<rlim_t>(openFileLimit)};
        setrlimit(RLIMIT_NOFILE, &limit);
    }
    if (addressSpaceLimit > 0) {
        const rlimit limit{addressSpaceLimit, addressSpaceLimit};
        setrlimit(RLIMIT_AS, &limit);
    }
    execv(KARTIVO_BATCH_PROGRAM, argv.data());
    _exit(127);
}

BatchRun RunBatchProgram(const std::vector<std::string>& args, const TempFolder& scratch, int openFileLimit,
                         rlim_t addressSpaceLimit) {
    const std::string outPath = scratch.File("program-stdout.txt");
    const std::string errPath = scratch.File("program-stderr.txt");
    const pid_t child = StartBatchProgram(args, outPath, errPath, openFileLimit, addressSpaceLimit);
    int raw = 0;
    const bool ended = child > 0 && waitpid(child, &raw, 0) == child && WIFEXITED(raw);
    const Bytes out = ReadAll(outPath);
    const Bytes err = ReadAll(errPath);
    return {ended ? WEXITSTATUS(raw) : -1, std::string(out.begin(), out.end()), std::string(err.begin(), err.end())};
}

std::vector<Json> JsonLines(const std::string& text) {
    std::vector<Json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
    return lines;
}

}  // namespace kartivo::test
