#include "common/File.h"
#include "common/ReplacementFile.h"
#include "tools/BatchCommands.h"

#include <cstdio>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

bool StandardErrorIsTerminal() { return isatty(STDERR_FILENO) != 0; }

}  // namespace

int main(int argc, char** argv) {
    kartivo::IgnoreFileSizeSignal();
    // Ctrl+C, kill or a closed terminal must not leave a half-made output's temporary file.
    kartivo::RemoveReplacementFilesOnSignals();
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    kartivo::batch::Console console{std::cout, std::cerr, StandardErrorIsTerminal()};
    int status = kartivo::batch::ExitSomeFailed;
    try {
        status = kartivo::batch::RunBatch(args, console);
    } catch (const std::bad_alloc&) {
        // Every size the commands take from a file is checked before it is allocated; what is
        // left (a machine short of memory) ends the run with a reason, not an abort.
        console.err << kartivo::batch::ProgramName << ": out of memory; the command was stopped\n";
    }
    console.out.flush();
    // A report that never reached its reader (a full disk, a closed pipe) is a failure too.
    if (!console.out && status == kartivo::batch::ExitAllDone) return kartivo::batch::ExitSomeFailed;
    return status;
}
