#include "common/ReplacementFile.h"
#include "tools/BatchCommands.h"

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace

int main(int argc, char** argv) {
    // Ctrl+C, kill or a closed terminal must not leave a half-made output's temporary file.
    kartivo::RemoveReplacementFilesOnSignals();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    kartivo::batch::Console console{std::cout, std::cerr, StandardErrorIsTerminal()};
    const int status = kartivo::batch::RunBatch(args, console);
    std::cout.flush();
    // A report that never reached its reader (a full disk, a closed pipe) is a failure too.
    if (!std::cout && status == kartivo::batch::ExitAllDone) return kartivo::batch::ExitSomeFailed;
    return status;
}
