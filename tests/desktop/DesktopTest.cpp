// The window on a real X display with a window manager (openbox): which window the desktop puts
// in front and where it puts them, which the offscreen platform cannot show. Run by
// run-under-openbox.sh; the person's dialogs are real ones, answered as they come up.
#include "TestSupport.h"
#include "app/qt/Desktop.h"
#include "app/qt/PictureWindow.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include <deque>

#include <gtest/gtest.h>

namespace kartivo::test {
namespace {

// The client windows from bottom to top, as the window manager stacks them.
std::vector<WId> Stacking() {
    QProcess xprop;
    xprop.start("xprop", {"-root", "_NET_CLIENT_LIST_STACKING"});
    xprop.waitForFinished();
    const QString text = QString::fromUtf8(xprop.readAllStandardOutput());
    std::vector<WId> order;
    for (const QString& id : text.section('#', 1).split(',', Qt::SkipEmptyParts)) {
        order.push_back(id.trimmed().toULongLong(nullptr, 16));
    }
    return order;
}

// Types the answers into the prompts as they come up and closes every message box.
class Answerer {
public:
    explicit Answerer(std::deque<QString> answers) : answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
        timer_.start(50);
    }
    std::vector<QString> messages;

private:
    void Step() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* prompt = qobject_cast<QInputDialog*>(modal); prompt != nullptr && !answers_.empty()) {
            prompt->setTextValue(answers_.front());
            answers_.pop_front();
            prompt->accept();
        } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.push_back(box->text());
            box->accept();
        }
    }
    std::deque<QString> answers_;
    QTimer timer_;
};

void Settle() {
    for (int i = 0; i < 20; ++i) {
        QTest::qWait(25);
        QApplication::processEvents();
    }
}

TEST(Desktop, PlacingPointsKeepsThePictureWindowInFrontAndBesideTheMainWindow) {
    if (!Form1::ImportAvailable()) GTEST_SKIP() << "built without the import";
    TempFolder folder;
    const std::string scan = folder.File("scan.bmp");
    WriteAll(scan, MakeBitmap({.width = 300, .height = 200}));
    qt::Desktop desktop;
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&desktop.window));
    desktop.workspace.StartGeoreferencing(scan);
    qt::PictureWindow* pictures = desktop.window.Picture();
    ASSERT_NE(pictures, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pictures));
    Settle();
    EXPECT_FALSE(pictures->frameGeometry().intersects(desktop.window.frameGeometry()));

    // A refused latitude is said in a box and asked again; then the point is placed, and the
    // picture window is still the one in front.
    Answerer answers({"abc", "35.5", "139.5"});
    QWidget* canvas = pictures->Canvas()->viewport();
    QTest::mouseClick(pictures->windowHandle(), Qt::LeftButton, Qt::NoModifier,
                      canvas->mapTo(pictures, canvas->rect().center()));
    EXPECT_EQ(desktop.workspace.georeferencing.Points().size(), 1U);
    EXPECT_EQ(answers.messages.size(), 1U);
    // The desktop takes its time on a busy machine; a window that stays behind never gets there.
    const bool inFront = QTest::qWaitFor([&] {
        const std::vector<WId> stacking = Stacking();
        return QGuiApplication::focusWindow() == pictures->windowHandle() && !stacking.empty() &&
               stacking.back() == pictures->winId();
    }, 5000);
    EXPECT_TRUE(inFront) << "the main window came to the front";
}

}  // namespace
}  // namespace kartivo::test
