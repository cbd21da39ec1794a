#include "app/qt/MainWindow.h"

#include "app/Form1.h"
#include "app/qt/DropTarget.h"
#include "app/qt/Layout.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>
#include <QEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>

namespace kartivo::qt {

namespace {

int Pixels(int twips) {
    return (twips + TwipsPerPixel / 2) / TwipsPerPixel;
}

QRect PixelRect(const LayoutEntry& entry) {
    return QRect(Pixels(entry.left), Pixels(entry.top), Pixels(entry.width), Pixels(EntryHeight(entry)));
}

QString FromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

MainWindow::MainWindow(Form1& form, QWidget* parent) : QMainWindow(parent), form_(form) {
    setWindowTitle("Kartivo");
    QFont font("IPAPGothic");
    font.setPixelSize(11);
    setFont(font);

    client_ = new QWidget(this);
    client_->setFixedSize(Pixels(ClientWidthTwips), Pixels(ClientHeightTwips));
    setCentralWidget(client_);
    BuildMenu();
    BuildFrames();
    SetTabOrder();
    BindModel();
    ConnectEvents();
    // Clicks are watched on the window itself, where they arrive before the focus moves.
    winId();
    windowHandle()->installEventFilter(this);
    // The window keeps the size it was drawn at.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

QWidget* MainWindow::Widget(std::string_view name) const {
    const auto it = widgets_.find(name);
    return it == widgets_.end() ? nullptr : it->second;
}

QAction* MainWindow::MenuAction(std::string_view name) const {
    const auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::BuildMenu() {
    QMenu* file = menuBar()->addMenu(FromUtf8(form_.mnuFile.Text()));
    file->setObjectName("mnuFile");
    for (Control* item : {&form_.mnuFileOpenInFile, &form_.mnuFileSelectOutFile, &form_.mnuFileSelectAmbuloFile,
                          &form_.mnuFileImportPicture, &form_.mnuFileNop0, &form_.mnuFileQuit}) {
        if (item == &form_.mnuFileImportPicture && !Form1::ImportAvailable()) continue;
        QAction* action = item->Text() == "-" ? file->addSeparator() : file->addAction(FromUtf8(item->Text()));
        action->setObjectName(FromUtf8(item->Name()));
        actions_[item->Name()] = action;
    }
}

void MainWindow::BuildFrames() {
    std::vector<QWidget*> inputs;
    std::vector<DropTarget*> dropTargets;
    for (const LayoutEntry& entry : WindowLayout()) {
        QWidget* parent = entry.frame.empty() ? client_ : Widget(entry.frame);
        QWidget* widget = nullptr;
        switch (entry.kind) {
        case WidgetKind::Frame:
            widget = new QGroupBox(parent);
            break;
        case WidgetKind::Caption:
        case WidgetKind::UnitCaption:
            widget = new QLabel(FromUtf8(entry.caption), parent);
            break;
        case WidgetKind::DataLabel:
            widget = new QLabel(parent);
            break;
        case WidgetKind::TextBox:
            widget = new QLineEdit(parent);
            inputs.push_back(widget);
            break;
        case WidgetKind::ComboBox: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            widget = combo;
            inputs.push_back(widget);
            break;
        }
        case WidgetKind::Button:
            widget = new QPushButton(parent);
            inputs.push_back(widget);
            break;
        case WidgetKind::DropTarget: {
            auto* target = new DropTarget(parent);
            dropTargets.push_back(target);
            widget = target;
            break;
        }
        }
        widget->setObjectName(FromUtf8(entry.name));
        QRect rect = PixelRect(entry);
        if (entry.kind == WidgetKind::Caption || entry.kind == WidgetKind::UnitCaption) {
            // Captions keep their place but grow where this font needs more room than the
            // original one did, so no caption is ever cut off.
            const QFontMetrics metrics(font());
            rect.setWidth(std::max(rect.width(), metrics.horizontalAdvance(FromUtf8(entry.caption)) + 1));
            rect.setHeight(std::max(rect.height(), metrics.height()));
        }
        widget->setGeometry(rect);
        widgets_[std::string(entry.name)] = widget;
        if (widget->focusPolicy() != Qt::NoFocus) widget->installEventFilter(this);
    }
    // Stacking: captions at the bottom, the drop targets over them, the input controls on top.
    for (DropTarget* target : dropTargets) target->raise();
    for (QWidget* input : inputs) input->raise();
}

void MainWindow::SetTabOrder() {
    const auto& order = TabOrder();
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(Widget(order[i]), Widget(order[i + 1]));
    }
}

void MainWindow::BindModel() {
    for (Control* control : form_.Controls()) {
        QWidget* widget = Widget(control->Name());
        if (widget == nullptr) continue;
        control->onUpdate = [this](const Control& changed) { Mirror(changed); };
        Mirror(*control);
        ConnectUserEdits(*control, widget);
    }
}

void MainWindow::ConnectEvents() {
    // Menu items and buttons: the model's click handlers.
    const std::pair<const char*, std::function<void()>> clicks[] = {
        {"mnuFileOpenInFile", [this] { form_.mnuFileOpenInFile_Click(); }},
        {"mnuFileSelectOutFile", [this] { form_.mnuFileSelectOutFile_Click(); }},
        {"mnuFileSelectAmbuloFile", [this] { form_.mnuFileSelectAmbuloFile_Click(); }},
        {"mnuFileImportPicture", [this] { form_.mnuFileImportPicture_Click(); }},
        {"mnuFileQuit", [this] { form_.mnuFileQuit_Click(); }},
        {"cmdMake", [this] { form_.cmdMake_Click(); }},
        {"cmdWriteAmbuloData", [this] { form_.cmdWriteAmbuloData_Click(); }},
    };
    for (const auto& [name, handler] : clicks) {
        if (QAction* action = MenuAction(name)) connect(action, &QAction::triggered, this, handler);
        if (auto* button = qobject_cast<QPushButton*>(Widget(name))) connect(button, &QPushButton::clicked, this, handler);
    }
    doubleClicks_ = {
        {"txtInFilePathData", [this] { form_.txtInFilePathData_DblClick(); }},
        {"txtOutFilePathData", [this] { form_.txtOutFilePathData_DblClick(); }},
        {"txtlblAmbuloFilePath", [this] { form_.txtlblAmbuloFilePath_DblClick(); }},
    };
    const auto toPaths = [](const QStringList& dropped) {
        std::vector<std::string> paths;
        for (const QString& path : dropped) paths.push_back(path.toStdString());
        return paths;
    };
    static_cast<DropTarget*>(Widget("lblDragIn"))->onDrop = [this, toPaths](const QStringList& dropped) {
        form_.lblDragIn_OLEDragDrop(toPaths(dropped));
    };
    static_cast<DropTarget*>(Widget("lblDragAmbulo"))->onDrop = [this, toPaths](const QStringList& dropped) {
        form_.lblDragAmbulo_OLEDragDrop(toPaths(dropped));
    };
}

void MainWindow::Mirror(const Control& control) {
    QWidget* widget = Widget(control.Name());
    if (widget == nullptr) return;
    widget->setEnabled(control.Enabled());
    const QString text = FromUtf8(control.Text());
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // Leave the person's cursor alone when the model only echoes what was typed.
        if (edit->text() != text) edit->setText(text);
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        const QSignalBlocker block(combo);
        QStringList items;
        for (const std::string& item : control.Items()) items << FromUtf8(item);
        QStringList current;
        for (int i = 0; i < combo->count(); ++i) current << combo->itemText(i);
        if (current != items) {
            combo->clear();
            combo->addItems(items);
        }
        combo->setCurrentIndex(control.ListIndex());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QPushButton*>(widget)) {
        button->setText(text);
    } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
        frame->setTitle(text);
    }
}

void MainWindow::ConnectUserEdits(Control& control, QWidget* widget) {
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textEdited, this,
                [&control](const QString& text) { control.SetText(text.toStdString()); });
    } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        connect(combo, &QComboBox::activated, this, [&control](int index) { control.SetListIndex(index); });
    }
}

bool MainWindow::LeaveFocusedCornerBox(QWidget* target) {
    QWidget* focused = QApplication::focusWidget();
    if (focused == nullptr || focused == target) return true;
    Control* box = form_.Find(focused->objectName().toStdString());
    if (box == nullptr) return true;
    const auto validate = form_.ValidateHandler(*box);
    return !validate || validate();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        const int key = static_cast<QKeyEvent*>(event)->key();
        // A refused corner box keeps the focus: the Tab never reaches the focus chain.
        if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !LeaveFocusedCornerBox(nullptr)) return true;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        // Seen on the window before Qt hands the focus to the clicked widget: a click on
        // another control first leaves the corner box, and on refusal does nothing at all,
        // so a button is not pressed either.
        if (watched == windowHandle()) {
            QWidget* target = childAt(static_cast<QMouseEvent*>(event)->position().toPoint());
            while (target != nullptr && target->focusPolicy() == Qt::NoFocus) target = target->parentWidget();
            if (target != nullptr && target->isEnabled() && !LeaveFocusedCornerBox(target)) return true;
        }
        break;
    default:
        break;
    }
    if (event->type() == QEvent::MouseButtonDblClick) {
        const auto it = doubleClicks_.find(watched->objectName().toStdString());
        if (it != doubleClicks_.end()) {
            it->second();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace kartivo::qt
