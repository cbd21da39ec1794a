#pragma once
// The person's side of the window model, with Qt's message boxes, file dialogs and cursor.

#include "app/UserInterface.h"

#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

namespace kartivo::qt {

class QtUserInterface : public UserInterface {
public:
    // The owner of every box and dialog; set once the main window exists. A window that keeps
    // the front (the picture window, whose prompts come one after another while points are
    // placed) owns every dialog and is brought back in front as each closes: the desktop would
    // otherwise hand the front to whichever window it likes.
    void SetWindow(QWidget* window, bool keepsFront = false) {
        window_ = window;
        keepsFront_ = keepsFront;
    }

    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    AlarmAnswer ShowAlarmBox(const std::string& text, const std::string& title, AlarmButtons buttons) override;
    std::string ShowOpenDialog(const FileDialogRequest& request) override;
    std::string ShowSaveDialog(const FileDialogRequest& request) override;
    std::optional<std::string> AskText(const std::string& prompt, const std::string& title,
                                       const std::string& initial) override;
    bool AskYesNo(const std::string& question, const std::string& title) override;
    std::optional<std::size_t> AskChoice(const std::string& question, const std::string& title,
                                         const std::vector<std::string>& choices) override;
    void SetBusyPointer(bool busy) override;
    void CloseWindow() override;
    std::unique_ptr<ProgressDialog> ShowProgress(const std::string& text, const std::string& title) override;
    // In the program's settings, Qt's for the user and the program's name (~/.config/kartivo/).
    std::vector<std::string> ReadKept(const std::string& name) override;
    void Keep(const std::string& name, const std::vector<std::string>& texts) override;

private:
    std::string RunFileDialog(const FileDialogRequest& request, bool save);
    QWidget* Owner() const;
    // Runs a dialog to its end; a window that keeps the front is brought back in front.
    int Run(QDialog& dialog) const;
    std::optional<std::size_t> AskFromList(const std::string& question, const std::string& title,
                                           const std::vector<std::string>& choices);

    QWidget* window_ = nullptr;
    bool keepsFront_ = false;
};

// The text as a box shows it: each path in it is one run no line break falls into (a word
// joiner between its characters, its spaces no-break ones); the rest wraps as before.
QString UnbreakablePaths(const QString& text);

// The Qt name filters of a filter text: pairs of description and pattern, each followed by NUL.
QStringList NameFilters(const std::vector<FileFilter>& filter);

}  // namespace kartivo::qt
