#include "app/Form1.h"
#include "app/qt/MainWindow.h"
#include "app/qt/QtUserInterface.h"
#include "app/qt/StartupFiles.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QCoreApplication::setApplicationName("kartivo");
    QCoreApplication::setApplicationVersion(KARTIVO_VERSION);
    kartivo::qt::AnswerInformationOptions(argc, argv);

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(KARTIVO_APP_ID);
    const QStringList files = kartivo::qt::GivenFiles(QCoreApplication::arguments());
    kartivo::qt::QtUserInterface ui;
    kartivo::Form1 form(ui);
    kartivo::qt::MainWindow window(form);
    ui.SetWindow(&window);
    form.Form_Load();
    window.show();
    kartivo::qt::OpenGivenFiles(window, files);
    return QApplication::exec();
}
