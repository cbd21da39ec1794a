#pragma once
// A real window over a scripted person, shown on Qt's offscreen platform.

#include "ModelTestSupport.h"
#include "TestSupport.h"
#include "app/Workspace.h"
#include "app/qt/MainWindow.h"

#include <QApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>

#include <optional>

#include <gtest/gtest.h>

namespace kartivo::test {

class ViewFixture : public testing::Test {
public:
    void SetUp() override {
        window_ = std::make_unique<qt::MainWindow>(workspace_);
        form_.Form_Load();
        window_->show();
        // Focus lives only in the active window; a display without a window manager activates
        // nothing by itself.
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }

    template <typename T>
    T* Get(const char* name) {
        return qobject_cast<T*>(window_->Widget(name));
    }

    // Events as the window system delivers them: to the window, at the widget's centre, or to
    // whatever has the focus.
    QPoint CentreOf(QWidget* widget) const { return widget->mapTo(window_.get(), widget->rect().center()); }
    // At a point of the widget, by default its centre.
    void Click(QWidget* widget, Qt::MouseButton button = Qt::LeftButton, std::optional<QPoint> at = {}) {
        QTest::mouseClick(window_->windowHandle(), button, Qt::NoModifier, at ? widget->mapTo(window_.get(), *at) : CentreOf(widget));
        QApplication::processEvents();
    }
    void DoubleClick(QWidget* widget) {
        QTest::mouseDClick(window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, CentreOf(widget));
        QApplication::processEvents();
    }
    void Wheel(QWidget* widget, int notches) {
        const QPointF at = CentreOf(widget);
        QWheelEvent wheel(at, window_->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QSpontaneKeyEvent::setSpontaneous(&wheel);
        QApplication::sendEvent(window_->windowHandle(), &wheel);
        QApplication::processEvents();
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, QWindow* to = nullptr) {
        QTest::keyClick(to != nullptr ? to : window_->windowHandle(), key, modifiers);
    }
    // Replaces the focused box's text as typing does, key by key; in the main window unless to
    // names another.
    void Type(const QString& text, QWindow* to = nullptr) {
        Key(Qt::Key_A, Qt::ControlModifier, to);
        Key(Qt::Key_Delete, Qt::NoModifier, to);
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Click, to != nullptr ? to : window_->windowHandle(),
                                static_cast<Qt::Key>(c.toUpper().unicode()), QString(c), Qt::NoModifier);
        }
    }
    // Drags files over the window to a point of a frame, as a desktop drag does, and drops them
    // there when the window takes the drag. True when it takes it, as it enters and as it moves.
    bool DropOn(const char* frameName, QPoint inFrame, const QStringList& paths, bool drop = true) {
        const QPoint at = window_->Widget(frameName)->mapTo(window_.get(), inFrame);
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDragMoveEvent move(at + QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QDragLeaveEvent leave;
        const auto send = [this](QEvent* event) {
            QSpontaneKeyEvent::setSpontaneous(event);
            QApplication::sendEvent(window_->windowHandle(), event);
        };
        send(&enter);
        send(&move);
        send(drop && enter.isAccepted() ? static_cast<QEvent*>(&dropped) : &leave);
        QApplication::processEvents();
        return enter.isAccepted() && move.isAccepted();
    }

    ScriptedUserInterface ui_;
    Workspace workspace_{ui_};
    Form1& form_ = workspace_.form;
    std::unique_ptr<qt::MainWindow> window_;
};

}  // namespace kartivo::test
