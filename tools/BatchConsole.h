#pragma once
// Where kartivo-batch reports: results on standard output, errors and the progress line on
// standard error, and the message boxes of the shared file code answered without a person.

#include "common/MessageBox.h"

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

namespace kartivo::batch {

inline constexpr const char* ProgramName = "kartivo-batch";

enum ExitStatus : int {
    ExitAllDone = 0,
    ExitSomeFailed = 1,  // the other files were still processed
    ExitUsage = 2,       // the command line was refused; nothing was touched
};

struct Console {
    std::ostream& out;
    std::ostream& err;
    // A progress line only makes sense where a person watches: main sets this when standard
    // error is a terminal.
    bool showProgress = false;
};

class Reporter {
public:
    explicit Reporter(Console& console) : console_(console) {}
    ~Reporter() { EndProgress(); }
    Reporter(const Reporter&) = delete;
    Reporter& operator=(const Reporter&) = delete;

    // "kartivo-batch: subject: text" on its own line; subject names the file concerned.
    void Error(std::string_view subject, std::string_view text);
    // "[done/total] name", rewritten in place.
    void Progress(std::size_t done, std::size_t total, std::string_view name);
    void EndProgress();

private:
    Console& console_;
    bool progressShown_ = false;
};

// The alarm boxes that opening a file may raise, answered for a run nobody watches: the text
// goes to standard error, and the answer is always the one that gives up. Retrying would
// loop forever, and the other answer creates files or folders nobody asked for.
class ReportingMessageBoxes final : public MessageBoxes {
public:
    explicit ReportingMessageBoxes(Reporter& reporter) : reporter_(reporter) {}
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    AlarmAnswer ShowAlarmBox(const std::string& text, const std::string& title, AlarmButtons buttons) override;

private:
    Reporter& reporter_;
};

// The alarm box text on one line, without the lines that explain its buttons.
std::string AlarmTextForConsole(std::string_view text);

}  // namespace kartivo::batch
