#include "tools/BatchConsole.h"

#include "common/Utf8.h"

#include <algorithm>
#include <ostream>

namespace kartivo::batch {

namespace {

// Carriage return, then erase to the end of the line: the terminal line is free again.
constexpr const char* ClearLine = "\r\x1b[K";

}  // namespace

TerminalSafeBuffer::~TerminalSafeBuffer() {
    // A sequence the text ended in the middle of is no character.
    Escape(begun_);
}

bool TerminalSafeBuffer::Pass(std::string_view bytes) {
    return target_->sputn(bytes.data(), static_cast<std::streamsize>(bytes.size())) ==
           static_cast<std::streamsize>(bytes.size());
}

bool TerminalSafeBuffer::Escape(std::string_view bytes) {
    static constexpr char Digits[] = "0123456789abcdef";
    bool written = true;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const char escaped[] = {'\\', 'x', Digits[byte >> 4], Digits[byte & 0xf]};
        written = Pass({escaped, sizeof escaped}) && written;
    }
    return written;
}

bool TerminalSafeBuffer::EndSequence() {
    const Utf8Sequence sequence = ReadUtf8Sequence(begun_);
    const bool shown = sequence.wellFormed && sequence.length == begun_.size() && sequence.codePoint >= 0xA0;
    const bool written = shown ? Pass(begun_) : Escape(begun_);
    begun_.clear();
    missing_ = 0;
    return written;
}

bool TerminalSafeBuffer::Put(unsigned char c) {
    if (missing_ > 0) {
        if ((c & 0xC0) == 0x80) {
            begun_.push_back(static_cast<char>(c));
            return --missing_ > 0 || EndSequence();
        }
        // Cut short: the bytes so far are no character, and c starts afresh.
        if (!EndSequence()) return false;
    }
    const char byte = static_cast<char>(c);
    if (c == '\n' || (c >= 0x20 && c < 0x7F)) return Pass({&byte, 1});
    if (c >= 0xC2 && c <= 0xF4) {
        begun_.assign(1, byte);
        missing_ = c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
        return true;
    }
    return Escape({&byte, 1});
}

TerminalSafeBuffer::int_type TerminalSafeBuffer::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return Put(static_cast<unsigned char>(traits_type::to_char_type(c))) ? c : traits_type::eof();
}

std::streamsize TerminalSafeBuffer::xsputn(const char* text, std::streamsize count) {
    std::string_view rest(text, static_cast<std::size_t>(count));
    while (!rest.empty()) {
        // Plain text goes on in one piece; only what needs a look goes byte by byte.
        const std::size_t plain = missing_ > 0 ? 0
                                               : static_cast<std::size_t>(std::find_if(rest.begin(), rest.end(), [](char c) {
                                                     const auto byte = static_cast<unsigned char>(c);
                                                     return byte != '\n' && (byte < 0x20 || byte >= 0x7F);
                                                 }) - rest.begin());
        if (plain > 0) {
            if (!Pass(rest.substr(0, plain))) return count - static_cast<std::streamsize>(rest.size());
            rest.remove_prefix(plain);
            continue;
        }
        if (!Put(static_cast<unsigned char>(rest.front()))) return count - static_cast<std::streamsize>(rest.size());
        rest.remove_prefix(1);
    }
    return count;
}

int TerminalSafeBuffer::sync() { return target_->pubsync(); }

Console::Console(std::ostream& standardOutput, std::ostream& standardError, bool terminalWatched)
    : outBuffer_(standardOutput.rdbuf()), errBuffer_(standardError.rdbuf()), terminal(standardError),
      showProgress(terminalWatched) {}

void Reporter::Error(std::string_view subject, std::string_view text) {
    EndProgress();
    console_.err << ProgramName << ": ";
    if (!subject.empty()) console_.err << subject << ": ";
    console_.err << text << '\n';
}

void Reporter::Progress(std::size_t done, std::size_t total, std::string_view name) {
    if (!console_.showProgress) return;
    console_.terminal << ClearLine << std::flush;
    console_.err << '[' << done << '/' << total << "] " << name << std::flush;
    progressShown_ = true;
}

void Reporter::EndProgress() {
    if (!progressShown_) return;
    console_.terminal << ClearLine << std::flush;
    progressShown_ = false;
}

std::string AlarmTextForConsole(std::string_view text) {
    // The button lines follow the message after a blank line and each starts with "[".
    if (const std::size_t buttons = text.find("\r\n["); buttons != std::string_view::npos) {
        text = text.substr(0, buttons);
    }
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            line += ' ';
            ++i;
        } else {
            line += text[i];
        }
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

void ReportingMessageBoxes::ShowMessage(const std::string& text, const std::string&, MessageIcon) {
    reporter_.Error({}, AlarmTextForConsole(text));
}

AlarmAnswer ReportingMessageBoxes::ShowAlarmBox(const std::string& text, const std::string&, AlarmButtons buttons) {
    reporter_.Error({}, AlarmTextForConsole(text));
    return buttons == AlarmButtons::RetryCancel ? AlarmAnswer::Cancel : AlarmAnswer::Abort;
}

}  // namespace kartivo::batch
