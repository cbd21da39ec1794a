#include "app/Form1.h"
#include "app/qt/MainWindow.h"
#include "app/qt/QtUserInterface.h"
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
    kartivo::qt::QtUserInterface ui;
    kartivo::Form1 form(ui);
    kartivo::qt::MainWindow window(form);
    ui.SetWindow(&window);
    form.Form_Load();
    window.show();
    kartivo::qt::OpenGivenFiles(window, ui, files);
    return QApplication::exec();
}
