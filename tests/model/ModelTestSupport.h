#pragma once
// A scripted stand-in for the person at the window: answers dialogs from queues and records
// every message shown.

#include "TestSupport.h"
#include "app/Form1.h"
#include "app/UserInterface.h"

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
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
    std::optional<std::string> AskText(const std::string& prompt, const std::string&,
                                       const std::string& initial) override {
        asked.push_back(prompt);
        filledIn.push_back(initial);
        if (textAnswers.empty()) return std::nullopt;
        std::optional<std::string> answer = textAnswers.front();
        textAnswers.pop_front();
        return answer;
    }
    bool AskYesNo(const std::string& question, const std::string&) override {
        asked.push_back(question);
        if (onAsk) onAsk();
        const bool yes = !yesNoAnswers.empty() && yesNoAnswers.front();
        if (!yesNoAnswers.empty()) yesNoAnswers.pop_front();
        return yes;
    }
    std::optional<std::size_t> AskChoice(const std::string& question, const std::string&,
                                         const std::vector<std::string>&) override {
        asked.push_back(question);
        if (choiceAnswers.empty()) return std::nullopt;
        const std::optional<std::size_t> answer = choiceAnswers.front();
        choiceAnswers.pop_front();
        return answer;
    }
    void CloseWindow() override { ++closeRequests; }
    // A progress dialog whose Cancel is pressed at the first step when asked to; none otherwise.
    std::unique_ptr<ProgressDialog> ShowProgress(const std::string& text, const std::string&) override {
        progressTexts.push_back(text);
        struct Cancelled final : ProgressDialog {
            bool Advance(double) override { return false; }
        };
        return cancelAtFirstStep ? std::make_unique<Cancelled>() : nullptr;
    }
    std::vector<std::string> ReadKept(const std::string& name) override { return kept[name]; }
    void Keep(const std::string& name, const std::vector<std::string>& texts) override { kept[name] = texts; }

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
    std::deque<std::optional<std::string>> textAnswers;  // nothing stands for Cancel
    std::deque<bool> yesNoAnswers;                       // No once they run out
    std::deque<std::optional<std::size_t>> choiceAnswers;  // nothing stands for Cancel, as once they run out
    std::vector<std::string> asked;                      // every question and prompt, in order
    std::vector<std::string> filledIn;                   // the text each prompt came with, in order
    std::function<void()> onAsk;                         // while a question is up
    bool cancelAtFirstStep = false;
    std::vector<std::string> progressTexts;  // what each progress dialog said, in order
    std::map<std::string, std::vector<std::string>> kept;  // the settings kept between runs

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

// A picture with corners in its name loaded, and a map data file chosen, in folder: every
// command has what it needs. Their paths.
inline std::pair<std::string, std::string> LoadPictureAndMapData(Form1& form, const TempFolder& folder) {
    const std::string picture = folder.File("Map(35,139,36,140).bmp"), mapData = folder.File("map.mbx");
    WriteAll(picture, MakeBitmap({.width = 4, .height = 8}));
    WriteAll(mapData, Bytes(200, 0xAA));
    form.LoadInputMap(picture);
    form.SetMapDataFile(mapData);
    return {picture, mapData};
}

}  // namespace kartivo::test
