#pragma once
// Running kartivo-batch in the tests: in-process with captured streams, or as the built
// program with its output in files.

#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <sys/resource.h>
#include <sys/types.h>
#include <string>
#include <vector>

namespace kartivo::test {

struct BatchRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The commands in this process; showProgress stands for standard error being a terminal.
BatchRun RunBatchInProcess(const std::vector<std::string>& args, bool showProgress = false);

// Starts the built program with its standard output and error going to those files (never a
// terminal) and nothing else open; openFileLimit > 0 caps the files it may hold open at once,
// addressSpaceLimit > 0 the bytes of memory it may map.
pid_t StartBatchProgram(const std::vector<std::string>& args, const std::string& outPath, const std::string& errPath,
                        int openFileLimit = 0, rlim_t addressSpaceLimit = 0);
// Runs it to its end, its streams through files left in scratch.
BatchRun RunBatchProgram(const std::vector<std::string>& args, const TempFolder& scratch, int openFileLimit = 0,
                         rlim_t addressSpaceLimit = 0);

// The info reports, their members in written order.
using Json = nlohmann::ordered_json;
// Each line of the text as JSON; a line that does not parse throws, which fails the test.
std::vector<Json> JsonLines(const std::string& text);

}  // namespace kartivo::test
