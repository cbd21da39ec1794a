#pragma once
// Running kartivo-batch in the tests: in-process with captured streams, or as the built
// program with its output in files.

#include "TestSupport.h"

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace kartivo {
class Form1;
}

namespace kartivo::test {

struct BatchRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The commands in this process; showProgress stands for standard error being a terminal.
BatchRun RunBatchInProcess(const std::vector<std::string>& args, bool showProgress = false);

// The built program, its standard output and error going to files in scratch (never a
// terminal).
BatchRun RunBatchProgram(const std::vector<std::string>& args, const TempFolder& scratch);

// A control of the window and the text a person types into it.
using WindowEdit = std::pair<std::string, std::string>;
// Types each text into its control; a corner box then runs its handler, as leaving it does.
void ApplyWindowEdits(Form1& form, const std::vector<WindowEdit>& edits);


}  // namespace kartivo::test
