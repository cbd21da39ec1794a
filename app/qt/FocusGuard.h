#pragma once
// Keeps a corner box from being left, or passed over, without its check.

#include <QObject>
#include <QPointer>

#include <functional>

class QEvent;
class QFocusEvent;
class QWheelEvent;
class QWidget;

namespace kartivo {
class Form1;
}

namespace kartivo::qt {

// Watches every event the application receives and lets one that would take the focus out of
// the focused corner box, or act on another control, go on only when the model's check of that
// box accepts; on refusal the event is dropped, so the focus stays and nothing else acts. The
// window still scrolls: its scroll bars never leave the box, and a refused wheel turn goes to
// the scroll area under it instead of the control. Also tells the model which control has the
// window's focus: the window keeps it while another window holds the keyboard, and a click
// there still presses what it lands on.
//
// It filters the application rather than the widgets: Qt hands the focus to a clicked or wheeled
// widget before that widget's own filters see the press, and keyboard shortcuts are delivered
// to actions, not to widgets. Seen where the platform delivers them, at the window, events are
// recognised by class (a press, a wheel turn, a drop, a shortcut, a focus key) instead of by
// listing every way a control may act.
class FocusGuard : public QObject {
public:
    FocusGuard(Form1& form, QWidget* window);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // True when the event, as delivered to watched, would move the focus out of the focused
    // widget or make another control act.
    bool ActsElsewhere(QObject* watched, QEvent* event) const;

    // Focus moves that no event announced beforehand (the menu bar taking the keyboard after
    // Alt, a setFocus from code) are checked as they begin; Qt cannot cancel them, so on
    // refusal the focus is handed back as soon as it arrives.
    bool GuardFocusMove(QObject* watched, QFocusEvent* event);
    void HandBack();
    // Hands a wheel turn that a refusal stopped to the scroll area under it.
    void ScrollInstead(const QWheelEvent& wheel);

    Form1& form_;
    QWidget* window_;
    QPointer<QWidget> refusedBox_;
    bool handingBack_ = false;
};

// Runs a command and gives the focus back to the control that had it when the command began:
// a button disabled while its command runs passes the focus on, and a second press of Space
// would then press whatever came next.
void RunKeepingFocus(const std::function<void()>& command);

}  // namespace kartivo::qt
