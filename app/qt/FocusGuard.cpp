#include "app/qt/FocusGuard.h"

#include "app/Form1.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollArea>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>
#include <QWindow>

#include <optional>

namespace kartivo::qt {

namespace {

// Where an event that carries a position lands in its window; nothing for other events.
std::optional<QPointF> PositionOf(const QEvent* event) {
    if (event->isSinglePointEvent()) return static_cast<const QSinglePointEvent*>(event)->position();
    if (event->type() == QEvent::Drop) return static_cast<const QDropEvent*>(event)->position();
    if (event->type() == QEvent::ContextMenu) return QPointF(static_cast<const QContextMenuEvent*>(event)->pos());
    return std::nullopt;
}

}  // namespace

FocusGuard::FocusGuard(Form1& form, QWidget* window) : QObject(window), form_(form), window_(window) {
    qApp->installEventFilter(this);
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        // A refused box whose focus was cleared, with no new owner to take it from.
        if (now == nullptr && refusedBox_ != nullptr) {
            HandBack();
            return;
        }
        // The window's own focus, not the application's: while a dialog or another program holds
        // the keyboard, the window keeps the box that had it, and a click or a drop arriving here
        // still leaves that box.
        const QWidget* focus = window_->focusWidget();
        form_.SetActiveControl(focus != nullptr ? form_.Find(focus->objectName().toStdString()) : nullptr);
    });
}

bool FocusGuard::ActsElsewhere(QObject* watched, QEvent* event) const {
    // The box being left is the window's focus, which it keeps while it does not hold the
    // keyboard: without a window manager, a click does not take the keyboard back from another
    // window, yet it presses the button under it.
    QWidget* focus = window_->focusWidget();
    if (focus == nullptr) return false;
    QWindow* const window = window_->windowHandle();
    switch (event->type()) {
    case QEvent::Shortcut:
        // A shortcut acts wherever its action lives, without the focus moving; this window's
        // shortcuts fire only while it holds the keyboard, those of a dialog are the dialog's.
        if (QApplication::activeWindow() != window_) return false;
        return watched != focus && !(watched->isWidgetType() && focus->isAncestorOf(static_cast<QWidget*>(watched)));
    case QEvent::KeyPress: {
        // Other keys go to the focused box itself; these two move the focus along the chain.
        const int key = static_cast<QKeyEvent*>(event)->key();
        return watched == window && (key == Qt::Key_Tab || key == Qt::Key_Backtab);
    }
    case QEvent::Drop:
    case QEvent::Wheel:
    case QEvent::MouseButtonDblClick:  // Qt counts it as an update of a press, yet it gives focus
        break;
    case QEvent::ContextMenu:
        // From the keyboard it opens the focused box's own menu.
        if (static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) return false;
        break;
    default:
        // Presses of every pointer kind (mouse buttons, touches, pens); moves and releases
        // follow a press that was let through, or act on nothing.
        if (!event->isPointerEvent() || !static_cast<QPointerEvent*>(event)->isBeginEvent()) return false;
        break;
    }
    // Pointer events, wheel turns and drops are judged once, where they reach the window, and
    // only there: Qt has not moved the focus yet, and the widget under the pointer is known.
    if (watched != window) return false;
    const std::optional<QPointF> at = PositionOf(event);
    QWidget* target = at ? window_->childAt(at->toPoint()) : nullptr;
    if (target == nullptr) target = window_;
    // A scroll bar only moves the view: the box is not left, whatever it holds.
    if (qobject_cast<QScrollBar*>(target) != nullptr) return false;
    return target != focus && !focus->isAncestorOf(target);
}

void FocusGuard::ScrollInstead(const QWheelEvent& wheel) {
    QWidget* target = window_->childAt(wheel.position().toPoint());
    while (target != nullptr && qobject_cast<QAbstractScrollArea*>(target) == nullptr) target = target->parentWidget();
    if (target == nullptr) return;
    QWidget* viewport = static_cast<QAbstractScrollArea*>(target)->viewport();
    QWheelEvent turn(viewport->mapFrom(window_, wheel.position()), wheel.globalPosition(), wheel.pixelDelta(),
                     wheel.angleDelta(), wheel.buttons(), wheel.modifiers(), wheel.phase(), wheel.inverted(),
                     wheel.source(), wheel.pointingDevice());
    QApplication::sendEvent(viewport, &turn);
}

bool FocusGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusAboutToChange || event->type() == QEvent::FocusIn) {
        return GuardFocusMove(watched, static_cast<QFocusEvent*>(event));
    }
    // Inside an open menu or list the decision was taken when it opened.
    if (QApplication::activePopupWidget() != nullptr) return false;
    if (!ActsElsewhere(watched, event)) return false;
    if (form_.LeaveActiveControl()) return false;
    // The window still scrolls: the wheel turns the scroll area it lands in, not the control.
    if (event->type() == QEvent::Wheel) ScrollInstead(*static_cast<QWheelEvent*>(event));
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        drop->setDropAction(Qt::IgnoreAction);
        drop->ignore();
    }
    return true;
}

bool FocusGuard::GuardFocusMove(QObject* watched, QFocusEvent* event) {
    if (handingBack_) return false;
    if (event->type() == QEvent::FocusIn) {
        // The move a refusal could not stop has arrived: hand the focus straight back, before
        // the new owner hears of it.
        if (refusedBox_ == nullptr || watched == refusedBox_ || !watched->isWidgetType()) return false;
        HandBack();
        return true;
    }
    // Only moves the person makes leave the box. A popup or another window takes the keyboard
    // for a while and gives it back; code that moves the focus (giving it back after a command,
    // a window being torn down) knows what it does.
    switch (event->reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::MenuBarFocusReason:
        break;
    default:
        return false;
    }
    if (watched != QApplication::focusWidget() || form_.LeaveActiveControl()) return false;
    refusedBox_ = static_cast<QWidget*>(watched);
    return false;
}

void FocusGuard::HandBack() {
    const QPointer<QWidget> box = refusedBox_;
    refusedBox_ = nullptr;
    if (box == nullptr) return;
    handingBack_ = true;
    box->setFocus(Qt::OtherFocusReason);
    handingBack_ = false;
}

void RunKeepingFocus(const std::function<void()>& command) {
    const QPointer<QWidget> focus = QApplication::focusWidget();
    command();
    if (focus != nullptr && focus->isEnabled() && focus->isVisible() && !focus->hasFocus()) {
        focus->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace kartivo::qt
