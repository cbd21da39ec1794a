#include <QApplication>
#include <QThreadPool>

#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // The view tests never need a display, also when CTest lists them.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Qt's own worker threads may still hand the main thread a queued call as the tests end;
    // delivered here, it is not left behind for the leak checker when the application goes.
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    return result;
}
