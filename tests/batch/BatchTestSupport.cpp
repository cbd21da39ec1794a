#include "BatchTestSupport.h"

#include "app/Form1.h"
#include "tools/BatchCommands.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace kartivo::test {

namespace {

std::string ReadText(const std::string& path) {
    const Bytes bytes = ReadAll(path);
    return std::string(bytes.begin(), bytes.end());
}

// The argument in single quotes for the POSIX shell; a quote inside becomes '\''.
std::string ShellQuoted(const std::string& arg) {
    std::string quoted = "'";
    for (const char c : arg) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

}  // namespace

BatchRun RunBatchInProcess(const std::vector<std::string>& args, bool showProgress) {
    std::ostringstream out;
    std::ostringstream err;
    batch::Console console{out, err, showProgress};
    const int status = batch::RunBatch(args, console);
    return {status, out.str(), err.str()};
}

BatchRun RunBatchProgram(const std::vector<std::string>& args, const TempFolder& scratch) {
    const std::string outPath = scratch.File("program-stdout.txt");
    const std::string errPath = scratch.File("program-stderr.txt");
    std::string command = ShellQuoted(KARTIVO_BATCH_PROGRAM);
    for (const std::string& arg : args) command += " " + ShellQuoted(arg);
    command += " >" + ShellQuoted(outPath) + " 2>" + ShellQuoted(errPath) + " </dev/null";
    const int raw = std::system(command.c_str());
    BatchRun run;
#if defined(_WIN32)
    run.status = raw;
#else
    if (WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
#endif
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    std::filesystem::remove(outPath);
    std::filesystem::remove(errPath);
    return run;
}

void ApplyWindowEdits(Form1& form, const std::vector<WindowEdit>& edits) {
    for (const auto& [name, text] : edits) {
        Control* box = form.Find(name);
        if (box == nullptr) {
            ADD_FAILURE() << "the window has no control " << name;
            continue;
        }
        box->SetText(text);
        if (const auto validate = form.ValidateHandler(*box)) {
            EXPECT_TRUE(validate()) << name << ": " << text;
        }
    }
}

}  // namespace kartivo::test
