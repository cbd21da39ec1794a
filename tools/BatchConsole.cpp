#include "tools/BatchConsole.h"

#include <ostream>

namespace kartivo::batch {

namespace {

// Carriage return, then erase to the end of the line: the terminal line is free again.
constexpr const char* ClearLine = "\r\x1b[K";

}  // namespace

void Reporter::Error(std::string_view subject, std::string_view text) {
    EndProgress();
    console_.err << ProgramName << ": ";
    if (!subject.empty()) console_.err << subject << ": ";
    console_.err << text << '\n';
}

void Reporter::Progress(std::size_t done, std::size_t total, std::string_view name) {
    if (!console_.showProgress) return;
    console_.err << ClearLine << '[' << done << '/' << total << "] " << name << std::flush;
    progressShown_ = true;
}

void Reporter::EndProgress() {
    if (!progressShown_) return;
    console_.err << ClearLine << std::flush;
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
