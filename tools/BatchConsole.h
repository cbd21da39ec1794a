#pragma once
// Where kartivo-batch reports: results on standard output, errors and the progress line on
// standard error, and the message boxes of the shared file code answered without a person.

#include "common/MessageBox.h"

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string>
#include <string_view>

namespace kartivo::batch {

inline constexpr const char* ProgramName = "kartivo-batch";

enum ExitStatus : int {
    ExitAllDone = 0,
    ExitSomeFailed = 1,  // the other files were still processed
    ExitUsage = 2,       // the command line was refused; nothing was touched
};

// Passes text on to another stream with what a terminal would obey in it made visible: the
// control characters but the line end (ESC as \x1b), DEL, the C1 controls as UTF-8 encodes them
// (U+009B, CSI to many terminals, as \xc2\x9b) and bytes that are no UTF-8 at all (a lone 0x9b
// is CSI to a terminal in Latin-1). Well-formed UTF-8 passes as it is. File names, the names in
// a WKT, GDAL's messages and the lines of a .points file all reach the terminal in reports; one
// of them could otherwise move the cursor, retitle the window or hide the line before it.
class TerminalSafeBuffer final : public std::streambuf {
public:
    explicit TerminalSafeBuffer(std::streambuf* target) : target_(target) {}
    ~TerminalSafeBuffer() override;
    TerminalSafeBuffer(const TerminalSafeBuffer&) = delete;
    TerminalSafeBuffer& operator=(const TerminalSafeBuffer&) = delete;

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    bool Put(unsigned char c);
    bool Pass(std::string_view bytes);
    bool Escape(std::string_view bytes);
    bool EndSequence();

    std::streambuf* target_;
    std::string begun_;      // a UTF-8 sequence whose last bytes are still to come
    std::size_t missing_ = 0;
};

// Where the commands write: every report goes through a TerminalSafeBuffer, so no text read
// from a file reaches the terminal as it is; JSON carries control characters as \u escapes and
// passes unchanged.
class Console {
public:
    // A progress line only makes sense where a person watches: main sets terminalWatched when
    // standard error is a terminal.
    Console(std::ostream& standardOutput, std::ostream& standardError, bool terminalWatched);
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

private:
    TerminalSafeBuffer outBuffer_;
    TerminalSafeBuffer errBuffer_;
    std::ostream safeOut_{&outBuffer_};
    std::ostream safeErr_{&errBuffer_};

public:
    std::ostream& out = safeOut_;
    std::ostream& err = safeErr_;
    // Standard error as it is, for the progress line's own control sequence alone.
    std::ostream& terminal;
    const bool showProgress;
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
