#pragma once
// kartivo-batch: what loading a picture shows, Make and Write Informations, run from a
// terminal or a script over many files at once, on the same core code as the window.

#include "tools/BatchConsole.h"

#include <string>
#include <vector>

namespace kartivo::batch {

// Runs one command line, given without the program's own name, and returns its exit status.
int RunBatch(const std::vector<std::string>& args, Console& console);

}  // namespace kartivo::batch
