#include "app/qt/Desktop.h"
#include "app/qt/StartupFiles.h"

#include <QApplication>

#include <memory>

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName("kartivo");
    QCoreApplication::setApplicationVersion(KARTIVO_VERSION);
    const QStringList files = kartivo::qt::ReadCommandLine(argc, argv);

    auto startingUp = std::make_unique<kartivo::qt::StartupFailureExit>();
    QApplication app(argc, argv);
    startingUp.reset();
    QGuiApplication::setDesktopFileName(KARTIVO_APP_ID);
    kartivo::qt::Desktop desktop;
    kartivo::qt::OpenGivenFiles(desktop.window, desktop.ui, files);
    return QApplication::exec();
}
