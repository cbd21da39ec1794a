#pragma once
// The message boxes the program shows. The window implements them with real dialogs;
// tests answer them from a script.

#include <string>

namespace kartivo {

enum class MessageIcon { Exclamation, Stop };
enum class AlarmButtons { AbortRetryIgnore, RetryCancel };
enum class AlarmAnswer { None, Abort, Retry, Ignore, Cancel };

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box with one OK button.
    virtual void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) = 0;
    // The alarm box: raises the main window, then asks with the stop icon and the given buttons.
    virtual AlarmAnswer ShowAlarmBox(const std::string& text, const std::string& title, AlarmButtons buttons) = 0;
};

}  // namespace kartivo
