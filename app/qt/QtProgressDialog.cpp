#include "app/qt/QtProgressDialog.h"

#include <QProgressDialog>
#include <QString>

namespace kartivo::qt {

namespace {

constexpr int Steps = 1000;

class QtProgress final : public ProgressDialog {
public:
    QtProgress(QWidget* owner, const std::string& text, const std::string& title)
        : dialog_(QString::fromStdString(text), QStringLiteral("Cancel"), 0, Steps, owner) {
        dialog_.setWindowTitle(QString::fromStdString(title));
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setAutoReset(false);
        dialog_.setAutoClose(false);
        // A short import finishes before the dialog would only flash.
        dialog_.setMinimumDuration(500);
        dialog_.setValue(0);
    }

    bool Advance(double fraction) override {
        // A modal dialog's setValue lets Qt handle events, so Cancel is seen here.
        dialog_.setValue(static_cast<int>(fraction * Steps));
        return !dialog_.wasCanceled();
    }

private:
    QProgressDialog dialog_;
};

}  // namespace

std::unique_ptr<ProgressDialog> ShowQtProgress(QWidget* owner, const std::string& text, const std::string& title) {
    return std::make_unique<QtProgress>(owner, text, title);
}

}  // namespace kartivo::qt
