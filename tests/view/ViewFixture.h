#pragma once
// A real window over a scripted person, shown on Qt's offscreen platform.

#include "ModelTestSupport.h"
#include "TestSupport.h"
#include "app/Form1.h"
#include "app/qt/MainWindow.h"

#include <QApplication>
#include <QTest>
#include <QWindow>
#include <QWidget>

#include <gtest/gtest.h>

namespace kartivo::test {

class ViewFixture : public testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<qt::MainWindow>(form_);
        form_.Form_Load();
        window_->show();
        QApplication::processEvents();
    }

    template <typename T>
    T* Get(const char* name) {
        auto* widget = qobject_cast<T*>(window_->Widget(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    // A click as the window system delivers it: to the window, at the widget's centre.
    void Click(QWidget* widget) {
        const QPoint at = widget->mapTo(window_.get(), widget->rect().center());
        QTest::mouseClick(window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
        QApplication::processEvents();
    }

    ScriptedUserInterface ui_;
    Form1 form_{ui_};
    std::unique_ptr<qt::MainWindow> window_;
};

}  // namespace kartivo::test
