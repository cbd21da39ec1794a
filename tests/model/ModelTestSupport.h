#pragma once
// A scripted stand-in for the person at the window: answers dialogs from queues and records
// every message shown.

#include "TestSupport.h"
#include "app/Form1.h"
#include "app/UserInterface.h"

#include <deque>
#include <string>
#include <vector>

namespace kartivo::test {

class ScriptedUserInterface : public UserInterface {
public:
    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override {
        boxes.ShowMessage(text, title, icon);
    }
    AlarmAnswer ShowAlarmBox(const std::string& text, const std::string& title, AlarmButtons buttons) override {
        return boxes.ShowAlarmBox(text, title, buttons);
    }
    std::string ShowOpenDialog(const FileDialogRequest& request) override { return Answer(openRequests, request); }
    std::string ShowSaveDialog(const FileDialogRequest& request) override { return Answer(saveRequests, request); }
    void SetBusyPointer(bool busy) override { busyChanges.push_back(busy); }
    void CloseWindow() override { ++closeRequests; }

    // Texts shown so far, in order.
    std::vector<std::string> MessageTexts() const {
        std::vector<std::string> texts;
        for (const auto& shown : boxes.shown) texts.push_back(shown.text);
        return texts;
    }

    ScriptedMessageBoxes boxes;
    std::deque<std::string> dialogAnswers;  // "" stands for Cancel
    std::vector<FileDialogRequest> openRequests, saveRequests;
    std::vector<bool> busyChanges;
    int closeRequests = 0;

private:
    std::string Answer(std::vector<FileDialogRequest>& requests, const FileDialogRequest& request) {
        requests.push_back(request);
        if (dialogAnswers.empty()) return {};
        std::string path = dialogAnswers.front();
        dialogAnswers.pop_front();
        return path;
    }
};

// Types text into a corner box and leaves it: the box's handler decides, as when the focus moves.
inline bool LeaveBox(Form1& form, Control& box, const std::string& text) {
    box.SetText(text);
    return form.ValidateHandler(box)();
}

}  // namespace kartivo::test
