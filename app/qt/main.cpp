#include "app/qt/Desktop.h"
#include "app/qt/StartupFiles.h"
#include "common/File.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>

namespace {

constexpr const char* OutOfMemory = "Out of memory: Kartivo stops. Files being written were removed unfinished.";

// Qt carries no exception through its event loop, so memory running out in an event's handler
// is caught where the event is delivered: said, and the program ends with a failure instead of
// an abort. The handler's objects are already unwound, a replacement file's temporary with them.
class Application final : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "kartivo: %s\n", OutOfMemory);
            if (!stopping_) {
                stopping_ = true;
                QMessageBox::critical(nullptr, "Kartivo", OutOfMemory);
                QCoreApplication::exit(EXIT_FAILURE);
            }
            return false;
        }
    }

private:
    bool stopping_ = false;
};

}  // namespace

int main(int argc, char* argv[]) {
    kartivo::IgnoreFileSizeSignal();
    try {
        QCoreApplication::setApplicationName("kartivo");
        QCoreApplication::setApplicationVersion(KARTIVO_VERSION);
        const QStringList files = kartivo::qt::ReadCommandLine(argc, argv);

        auto startingUp = std::make_unique<kartivo::qt::StartupFailureExit>();
        Application app(argc, argv);
        startingUp.reset();
        QGuiApplication::setDesktopFileName(KARTIVO_APP_ID);
        kartivo::qt::Desktop desktop;
        kartivo::qt::OpenGivenFiles(desktop.window, desktop.ui, files);
        return QApplication::exec();
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "kartivo: %s\n", OutOfMemory);
        return EXIT_FAILURE;
    }
}
