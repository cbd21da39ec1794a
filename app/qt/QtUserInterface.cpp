#include "app/qt/QtUserInterface.h"

#include "app/qt/QtProgressDialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QWidget>

#include <algorithm>
#include <utility>
#include <vector>

namespace kartivo::qt {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QString UnbreakablePaths(const QString& text) {
    constexpr char16_t WordJoiner = u'\u2060';
    QStringList lines = text.split('\n');
    for (QString& line : lines) {
        const qsizetype firstSlash = line.indexOf('/');
        if (firstSlash < 0) continue;
        const qsizetype lastSlash = line.lastIndexOf('/');
        // The path starts with the word holding its first "/" and ends with the line, or
        // where a reason follows it after ": ".
        qsizetype start = line.lastIndexOf(' ', firstSlash) + 1;
        qsizetype end = line.indexOf(": ", lastSlash);
        if (end < 0) end = line.size();
        while (end > start && (line[end - 1] == '\r' || line[end - 1] == ' ')) --end;
        QString path;
        for (qsizetype i = start; i < end; ++i) {
            const QChar c = line[i];
            // No break before a mark (it belongs to the letter before) or inside a surrogate pair.
            const bool joins = i > start && !c.isLowSurrogate() && c.category() != QChar::Mark_NonSpacing &&
                               c.category() != QChar::Mark_SpacingCombining && c.category() != QChar::Mark_Enclosing;
            if (joins) path += QChar(WordJoiner);
            path += c == ' ' ? QChar(0x00A0) : c;
        }
        line.replace(start, end - start, path);
    }
    return lines.join('\n');
}

QStringList NameFilters(const std::vector<FileFilter>& filter) {
    QStringList filters;
    for (const FileFilter& item : EffectiveFilter(filter)) {
        const QString description = FromUtf8(item.description);
        const QString pattern = FromUtf8(item.pattern);
        // Qt reads the patterns from the last parentheses; add them unless the description
        // already ends with them, as "BMP(*.bmp)" does.
        filters << (description.endsWith("(" + pattern + ")") ? description : description + " (" + pattern + ")");
    }
    return filters;
}

// Over the window in front (the picture window while points are placed), so that closing the
// box hands the front back to it rather than raising the main window over the scan.
QWidget* QtUserInterface::Owner() const {
    QWidget* active = QApplication::activeWindow();
    return active != nullptr && !keepsFront_ ? active : window_;
}

int QtUserInterface::Run(QDialog& dialog) const {
    const int result = dialog.exec();
    if (keepsFront_ && window_ != nullptr) {
        window_->raise();
        window_->activateWindow();
    }
    return result;
}

void QtUserInterface::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning, FromUtf8(title),
                    UnbreakablePaths(FromUtf8(text)), QMessageBox::Ok, Owner());
    Run(box);
}

// A long prompt (the coordinate systems' one) wraps instead of widening the box past the screen,
// which would put OK and Cancel out of reach.
static void SetUp(QInputDialog& dialog, const std::string& title, const QString& prompt) {
    dialog.setWindowTitle(FromUtf8(title));
    dialog.setLabelText(prompt);
    if (auto* label = dialog.findChild<QLabel*>()) label->setWordWrap(true);
    dialog.setMaximumWidth(dialog.screen()->availableGeometry().width() * 9 / 10);
}

std::optional<std::string> QtUserInterface::AskText(const std::string& prompt, const std::string& title,
                                                   const std::string& initial) {
    QInputDialog dialog(Owner());
    SetUp(dialog, title, FromUtf8(prompt));
    dialog.setTextValue(FromUtf8(initial));
    if (Run(dialog) != QDialog::Accepted) return std::nullopt;
    return dialog.textValue().toStdString();
}

bool QtUserInterface::AskYesNo(const std::string& question, const std::string& title) {
    QMessageBox box(QMessageBox::Question, FromUtf8(title), UnbreakablePaths(FromUtf8(question)),
                    QMessageBox::Yes | QMessageBox::No, Owner());
    return Run(box) == QMessageBox::Yes;
}

std::optional<std::size_t> QtUserInterface::AskChoice(const std::string& question, const std::string& title,
                                                      const std::vector<std::string>& choices) {
    if (choices.size() > 3) return AskFromList(question, title, choices);
    QMessageBox box(QMessageBox::Question, FromUtf8(title), UnbreakablePaths(FromUtf8(question)), QMessageBox::NoButton,
                    Owner());
    // Action buttons, as in the alarm box: they keep the order they are given in on every desktop.
    std::vector<QPushButton*> buttons;
    for (const std::string& choice : choices) {
        buttons.push_back(box.addButton(FromUtf8(choice), QMessageBox::ActionRole));
    }
    box.setEscapeButton(box.addButton(QMessageBox::Cancel));
    if (!buttons.empty()) box.setDefaultButton(buttons.front());
    Run(box);
    const auto chosen = std::find(buttons.begin(), buttons.end(), box.clickedButton());
    if (chosen == buttons.end()) return std::nullopt;
    return static_cast<std::size_t>(chosen - buttons.begin());
}

// Many choices, each perhaps long (a file's pictures as GDAL describes them), would make a row of
// buttons wider than the screen: a list shows them one under another.
std::optional<std::size_t> QtUserInterface::AskFromList(const std::string& question, const std::string& title,
                                                        const std::vector<std::string>& choices) {
    QInputDialog dialog(Owner());
    SetUp(dialog, title, UnbreakablePaths(FromUtf8(question)));
    dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
    QStringList items;
    for (const std::string& choice : choices) items << FromUtf8(choice);
    dialog.setComboBoxItems(items);
    // The first is chosen and the list has the keys, as the first button would in a row.
    auto* list = dialog.findChild<QListView*>();
    if (list != nullptr) {
        list->setCurrentIndex(list->model()->index(0, 0));
        list->setFocus();
    }
    if (Run(dialog) != QDialog::Accepted || list == nullptr || !list->currentIndex().isValid()) return std::nullopt;
    return static_cast<std::size_t>(list->currentIndex().row());
}

AlarmAnswer QtUserInterface::ShowAlarmBox(const std::string& text, const std::string& title, AlarmButtons buttons) {
    if (window_ != nullptr) {
        // The question concerns the main window: bring it back and in front first.
        if (window_->isMinimized()) window_->showNormal();
        window_->show();
        window_->raise();
        window_->activateWindow();
    }
    // The buttons stand in the order the text names them. QMessageBox would sort its standard
    // buttons by role, each desktop its own way; action buttons keep the order they are given
    // in on every desktop, so each is one, under the standard button's text.
    const std::vector<std::pair<QDialogButtonBox::StandardButton, AlarmAnswer>> choices =
        buttons == AlarmButtons::AbortRetryIgnore
            ? std::vector<std::pair<QDialogButtonBox::StandardButton, AlarmAnswer>>{{QDialogButtonBox::Abort, AlarmAnswer::Abort},
                                                                                     {QDialogButtonBox::Retry, AlarmAnswer::Retry},
                                                                                     {QDialogButtonBox::Ignore, AlarmAnswer::Ignore}}
            : std::vector<std::pair<QDialogButtonBox::StandardButton, AlarmAnswer>>{{QDialogButtonBox::Retry, AlarmAnswer::Retry},
                                                                                     {QDialogButtonBox::Cancel, AlarmAnswer::Cancel}};
    QMessageBox box(QMessageBox::Critical, FromUtf8(title), UnbreakablePaths(FromUtf8(text)), QMessageBox::NoButton, window_);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QDialogButtonBox standard;
    std::vector<std::pair<QPushButton*, AlarmAnswer>> shown;
    for (const auto& [which, answer] : choices) {
        const QPushButton* model = standard.addButton(which);
        QPushButton* button = box.addButton(model->text(), QMessageBox::ActionRole);
        button->setIcon(model->icon());
        shown.emplace_back(button, answer);
    }
    // As the platform's own box: the first button is the default, Escape gives up.
    box.setDefaultButton(shown.front().first);
    box.setEscapeButton(shown.back().second == AlarmAnswer::Cancel ? shown.back().first : shown.front().first);
    box.exec();
    for (const auto& [button, answer] : shown) {
        if (box.clickedButton() == button) return answer;
    }
    return AlarmAnswer::None;
}

std::string QtUserInterface::RunFileDialog(const FileDialogRequest& request, bool save) {
    const std::uint32_t flags = EffectiveFlags(request.flags, save);
    QFileDialog dialog(Owner(), FromUtf8(request.title), FromUtf8(request.initialFolder));
    // Qt's own dialog, so the plain list view is honoured on every desktop.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setViewMode(request.viewCommand == ViewCommandList ? QFileDialog::List : QFileDialog::Detail);
    dialog.setNameFilters(NameFilters(request.filter));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode((flags & DialogFileMustExist) != 0 ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, (flags & DialogOverwritePrompt) == 0);
    if (save) {
        dialog.setDefaultSuffix(FromUtf8(request.defaultExtension));
        if (!request.initialFileName.empty()) dialog.selectFile(FromUtf8(request.initialFileName));
    }
    if (Run(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first().toStdString();
}

std::string QtUserInterface::ShowOpenDialog(const FileDialogRequest& request) {
    return RunFileDialog(request, false);
}

std::string QtUserInterface::ShowSaveDialog(const FileDialogRequest& request) {
    return RunFileDialog(request, true);
}

void QtUserInterface::SetBusyPointer(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QApplication::restoreOverrideCursor();
    }
}

std::unique_ptr<ProgressDialog> QtUserInterface::ShowProgress(const std::string& text, const std::string& title) {
    return ShowQtProgress(Owner(), text, title);
}

namespace {

QSettings ProgramSettings() {
    return {QSettings::NativeFormat, QSettings::UserScope, "kartivo", "kartivo"};
}

}  // namespace

std::vector<std::string> QtUserInterface::ReadKept(const std::string& name) {
    std::vector<std::string> texts;
    for (const QString& text : ProgramSettings().value(FromUtf8(name)).toStringList()) texts.push_back(text.toStdString());
    return texts;
}

void QtUserInterface::Keep(const std::string& name, const std::vector<std::string>& texts) {
    QStringList list;
    for (const std::string& text : texts) list << FromUtf8(text);
    ProgramSettings().setValue(FromUtf8(name), list);
}

void QtUserInterface::CloseWindow() {
    if (window_ != nullptr) window_->close();
}

}  // namespace kartivo::qt
