#include "app/Form1.h"
#include "app/qt/MainWindow.h"
#include "app/qt/QtUserInterface.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    kartivo::qt::QtUserInterface ui;
    kartivo::Form1 form(ui);
    kartivo::qt::MainWindow window(form);
    ui.SetWindow(&window);
    form.Form_Load();
    window.show();
    return QApplication::exec();
}
