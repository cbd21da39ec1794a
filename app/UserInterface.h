#pragma once
// Everything the window model asks of the person in front of it: message boxes, the alarm
// box, file dialogs, the busy pointer and closing the window. The Qt view implements it;
// tests script it.

#include "common/FileDialog.h"
#include "common/MessageBox.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kartivo {

// A modal progress dialog with a Cancel button, closed when the object goes.
class ProgressDialog {
public:
    virtual ~ProgressDialog() = default;
    // Shows how far the work is, from 0 to 1; false once the person has pressed Cancel.
    virtual bool Advance(double fraction) = 0;
};

class UserInterface : public MessageBoxes, public FileDialogs {
public:
    virtual void SetBusyPointer(bool busy) = 0;
    // Closes the main window, which ends the program.
    virtual void CloseWindow() = 0;
    // A line of text the person types, starting from initial; nothing when they cancel.
    virtual std::optional<std::string> AskText(const std::string& prompt, const std::string& title,
                                               const std::string& initial) {
        (void)prompt;
        (void)title;
        (void)initial;
        return std::nullopt;
    }
    // A question answered Yes (true) or No.
    virtual bool AskYesNo(const std::string& question, const std::string& title) {
        (void)question;
        (void)title;
        return false;
    }
    // A question answered by one of choices, each a button's caption, or Cancel; the first is
    // the default, taken by Enter. The index of the one chosen; nothing when they cancel.
    virtual std::optional<std::size_t> AskChoice(const std::string& question, const std::string& title,
                                                 const std::vector<std::string>& choices) {
        (void)question;
        (void)title;
        (void)choices;
        return std::nullopt;
    }
    // Texts kept between runs of the program under a name (its settings); nothing is kept where
    // there is nowhere to keep them.
    virtual std::vector<std::string> ReadKept(const std::string& name) {
        (void)name;
        return {};
    }
    virtual void Keep(const std::string& name, const std::vector<std::string>& texts) {
        (void)name;
        (void)texts;
    }
    // A progress dialog for long work; nothing where there is no one to show it to.
    virtual std::unique_ptr<ProgressDialog> ShowProgress(const std::string& text, const std::string& title) {
        (void)text;
        (void)title;
        return nullptr;
    }
};

}  // namespace kartivo
