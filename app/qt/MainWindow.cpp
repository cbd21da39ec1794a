#include "app/qt/MainWindow.h"

#include "app/Workspace.h"
#include "app/qt/AccessKeys.h"
#include "app/qt/DropTarget.h"
#include "app/qt/FocusGuard.h"
#include "app/qt/Layout.h"
#include "app/qt/PictureWindow.h"
#include "app/qt/ScreenFit.h"
#include "app/qt/TileServerDialog.h"
#include "app/qt/WindowIcon.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStyle>
#include <QStyleOptionFrame>

#include <algorithm>
#include <limits>

namespace kartivo::qt {

namespace {

// Smaller texts would no longer be readable.
constexpr int MinimumTextPixels = 8;
// Kept free between a box that grows and the caption after it.
constexpr int GapTwips = 30;

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

// Captions keep their place but grow where this font needs more room than the original one
// did. Where the room up to the next control is too small (a desktop without the IPA font falls
// back to a wider one), the caption's font gets smaller rather than run under that control.
QRect FitCaption(QLabel& label, const LayoutEntry& entry, QRect rect) {
    const QString text = FromUtf8(entry.caption);
    QFont captionFont = label.font();
    const int room = Pixels(RoomToTheRight(entry));
    while (captionFont.pixelSize() > MinimumTextPixels &&
           QFontMetrics(captionFont).horizontalAdvance(text) + 1 > room) {
        captionFont.setPixelSize(captionFont.pixelSize() - 1);
    }
    if (captionFont != label.font()) label.setFont(captionFont);
    const QFontMetrics metrics(captionFont);
    rect.setWidth(std::max(rect.width(), metrics.horizontalAdvance(text) + 1));
    // A unit shares the line of the value it follows: both centre their text on it, so both
    // texts stand on one baseline.
    if (const LayoutEntry* value = ValueBefore(entry)) {
        const QRect valueRect = PixelRect(*value);
        rect.setTop(valueRect.top());
        rect.setHeight(valueRect.height());
    }
    label.setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    const int grow = metrics.height() - rect.height();
    if (grow > 0) rect.adjust(0, -grow / 2, 0, grow - grow / 2);
    return rect;
}

// The widest form of a text in this font: every digit the font's widest, the wider sign.
QString WidestForm(QString text, const QFontMetrics& metrics) {
    QChar digit = '0';
    for (const QChar candidate : QStringLiteral("123456789")) {
        if (metrics.horizontalAdvance(candidate) > metrics.horizontalAdvance(digit)) digit = candidate;
    }
    const QChar sign = metrics.horizontalAdvance('+') >= metrics.horizontalAdvance('-') ? '+' : '-';
    for (QChar& c : text) {
        if (c.isDigit()) c = digit;
        if (c == '+' || c == '-') c = sign;
    }
    return text;
}

// What a line edit keeps for its text: its contents as the style draws them, less the text
// margins and the two pixels QLineEdit leaves clear on either side. A text that fits there with
// its cursor is shown whole, wherever the cursor stands.
int TextRoom(const QLineEdit& edit) {
    QStyleOptionFrame option;
    option.initFrom(&edit);
    option.lineWidth = edit.style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, &edit);
    const QMargins margins = edit.textMargins();
    return edit.style()->subElementRect(QStyle::SE_LineEditContents, &option, &edit).width() - margins.left() -
           margins.right() - 4;
}

}  // namespace

MainWindow::MainWindow(Workspace& workspace, QWidget* parent)
    : QMainWindow(parent), workspace_(workspace), form_(workspace.form) {
    setWindowTitle("Kartivo");
    setWindowIcon(KartivoIcon());
    QFont font("IPAPGothic");
    font.setPixelSize(11);
    setFont(font);

    client_ = new QWidget;
    client_->setFixedSize(Pixels(ClientWidthTwips), Pixels(ClientHeightTwips));
    // The scroll area has no frame of its own, so where the screen holds the window it looks as
    // drawn; on a smaller screen its content scrolls (see FitToScreen).
    auto* scroller = new QScrollArea(this);
    scroller->setObjectName("clientScroller");
    scroller->setFrameShape(QFrame::NoFrame);
    // Not a stop for Tab, and a click on it is no click on a control: no corner box is left.
    scroller->setFocusPolicy(Qt::NoFocus);
    scroller->setWidget(client_);
    setCentralWidget(scroller);
    BuildMenu();
    BuildFrames();
    FitCornerBoxes();
    FitSizeLabels();
    SetTabOrder();
    BindModel();
    ConnectEvents();
    // Corner boxes are left only through their check; see FocusGuard for where it watches.
    new FocusGuard(form_, this);
    workspace_.onShowPicture = [this] { OpenPictureWindow(); };
    workspace_.tiles.onChanged = [this] {
        if (tileDialog_ != nullptr) tileDialog_->Follow();
        if (pictureWindow_ != nullptr) pictureWindow_->Follow();
    };
    FitToScreen(*this, client_->size());
}

// The models outlive the window: nothing of theirs may call into it afterwards.
MainWindow::~MainWindow() {
    workspace_.onShowPicture = nullptr;
    workspace_.picture.onChanged = nullptr;
    workspace_.georeferencing.onChanged = nullptr;
    workspace_.tiles.onChanged = nullptr;
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
    // Access keys exist only in the Qt captions; the model's texts keep their words.
    const QStringList menus = WithAccessKeys({FromUtf8(form_.mnuFile.Text()), ViewMenuText});
    QMenu* file = menuBar()->addMenu(menus[0]);
    file->setObjectName("mnuFile");
    std::vector<std::pair<std::string, std::string>> items;  // name and caption
    for (const Control* item : {&form_.mnuFileOpenInFile, &form_.mnuFileSelectOutFile, &form_.mnuFileSelectAmbuloFile}) {
        items.emplace_back(item->Name(), item->Text());
    }
    if (Form1::ImportAvailable()) {
        items.emplace_back(form_.mnuFileImportPicture.Name(), form_.mnuFileImportPicture.Text());
        // Georeferencing by control points ends in the import, so it follows it.
        items.emplace_back("mnuFileGeoreferencePicture", GeoreferenceMenuText);
        items.emplace_back("mnuFileTileServer", TileServerMenuText);
    }
    for (const Control* item : {&form_.mnuFileNop0, &form_.mnuFileQuit}) items.emplace_back(item->Name(), item->Text());
    QStringList captions;
    for (const auto& [name, caption] : items) captions << FromUtf8(caption);
    const QStringList shown = WithAccessKeys(captions);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const auto& [name, caption] = items[i];
        QAction* action = caption == "-" ? file->addSeparator() : file->addAction(shown[static_cast<qsizetype>(i)]);
        action->setObjectName(FromUtf8(name));
        actions_[name] = action;
    }
    if (QAction* georeference = MenuAction("mnuFileGeoreferencePicture")) {
        connect(georeference, &QAction::triggered, this, [this] { workspace_.GeoreferencePicture(); });
    }
    if (QAction* tiles = MenuAction("mnuFileTileServer")) {
        connect(tiles, &QAction::triggered, this, [this] { OpenTileDialog(); });
    }
    QMenu* view = menuBar()->addMenu(menus[1]);
    view->setObjectName("mnuView");
    QAction* showPicture = view->addAction(WithAccessKeys({ShowPictureText}).first());
    showPicture->setObjectName("mnuViewShowPicture");
    actions_["mnuViewShowPicture"] = showPicture;
    connect(showPicture, &QAction::triggered, this, [this] { workspace_.ShowPicture(); });
}

void MainWindow::OpenPictureWindow() {
    if (pictureWindow_ == nullptr) {
        pictureWindow_ = new PictureWindow(workspace_.picture, workspace_.georeferencing, workspace_.tiles, this);
        workspace_.picture.onChanged = [this] { pictureWindow_->Follow(); };
        workspace_.georeferencing.onChanged = [this] { pictureWindow_->Follow(); };
        if (onPictureWindow) onPictureWindow(pictureWindow_);
    }
    pictureWindow_->show();
    pictureWindow_->raise();
    pictureWindow_->activateWindow();
}

// Modeless, so that the picture window's look at the source stays in reach while it is open;
// over this window rather than in its middle, since the picture window stands beside it.
void MainWindow::OpenTileDialog() {
    if (tileDialog_ == nullptr) {
        tileDialog_ = new TileServerDialog(workspace_.tiles, this);
        tileDialog_->move(geometry().topLeft() + QPoint(0, menuBar()->height()));
    }
    workspace_.tiles.Open();
    tileDialog_->show();
    tileDialog_->raise();
    tileDialog_->activateWindow();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (pictureWindow_ != nullptr) pictureWindow_->close();
    if (tileDialog_ != nullptr) tileDialog_->close();
    QMainWindow::closeEvent(event);
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
        case WidgetKind::Button: {
            auto* button = new QPushButton(parent);
            // Enter presses a focused button as Space does. The window is no dialog and has no
            // default button, so Enter anywhere else presses none.
            button->setAutoDefault(true);
            widget = button;
            inputs.push_back(widget);
            break;
        }
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
            rect = FitCaption(*static_cast<QLabel*>(widget), entry, rect);
        }
        widget->setGeometry(rect);
        widgets_[std::string(entry.name)] = widget;
        if (widget->focusPolicy() != Qt::NoFocus) widget->installEventFilter(this);
    }
    // Stacking: captions at the bottom, the drop targets over them, the input controls on top.
    for (DropTarget* target : dropTargets) target->raise();
    for (QWidget* input : inputs) input->raise();
}

// A corner box shows its longest text whole, sign first: the box grows into the free room to
// its right, and where that is not enough (a wider font than the one the window was drawn
// with), its font gets smaller. Boxes of one column keep one font and one width.
void MainWindow::FitCornerBoxes() {
    std::map<std::pair<int, int>, std::vector<const LayoutEntry*>> columns;
    for (const LayoutEntry& entry : WindowLayout()) {
        const Control* control = form_.Find(std::string(entry.name));
        if (control != nullptr && !form_.LongestCornerText(*control).empty()) {
            columns[{entry.left, entry.width}].push_back(&entry);
        }
    }
    for (const auto& [place, entries] : columns) {
        auto* first = static_cast<QLineEdit*>(Widget(entries.front()->name));
        const int designed = first->width();
        const int inset = designed - TextRoom(*first);
        int largest = std::numeric_limits<int>::max();
        for (const LayoutEntry* entry : entries) largest = std::min(largest, Pixels(RoomToTheRight(*entry) - GapTwips));
        largest = std::max(largest, designed);
        QFont font = first->font();
        int width = designed;
        for (;;) {
            const QFontMetrics metrics(font);
            int need = 0;
            for (const LayoutEntry* entry : entries) {
                const QString text = FromUtf8(form_.LongestCornerText(*form_.Find(std::string(entry->name))));
                need = std::max(need, metrics.horizontalAdvance(WidestForm(text, metrics)) + 1);  // and the cursor
            }
            width = std::clamp(need + inset, designed, largest);
            if (need + inset <= largest || font.pixelSize() <= MinimumTextPixels) break;
            font.setPixelSize(font.pixelSize() - 1);
        }
        for (const LayoutEntry* entry : entries) {
            QWidget* box = Widget(entry->name);
            if (font != box->font()) box->setFont(font);
            box->resize(width, box->height());
        }
    }
}

// A file size shows every digit of the largest a bitmap can have in any font: the label grows to
// the right and its unit moves along, as far as the frame has room.
void MainWindow::FitSizeLabels() {
    for (const auto& [value, unit] : {std::pair{"lblFileSizeData", "lblFileSizeUnit"}, {"lblOutFileSize", "Label13"}}) {
        auto* label = static_cast<QLabel*>(Widget(value));
        QWidget* after = Widget(unit);
        const int need = label->fontMetrics().horizontalAdvance("2147483647") + 2 * label->margin() + 1;
        const int gap = after->x() - label->geometry().right() - 1;
        const int frameRight = label->parentWidget()->width() - Pixels(60);
        const int grown = std::min(need, frameRight - gap - after->width() - label->x());
        if (grown <= label->width()) continue;
        label->resize(grown, label->height());
        after->move(label->geometry().right() + 1 + gap, after->y());
    }
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
        {"cmdMake", [this] { RunKeepingFocus([this] { form_.cmdMake_Click(); }); }},
        {"cmdWriteAmbuloData", [this] { RunKeepingFocus([this] { form_.cmdWriteAmbuloData_Click(); }); }},
    };
    for (const auto& [name, handler] : clicks) {
        if (QAction* action = MenuAction(name)) connect(action, &QAction::triggered, this, handler);
        if (auto* button = qobject_cast<QPushButton*>(Widget(name))) connect(button, &QPushButton::clicked, this, handler);
    }
    doubleClicks_ = {
        {"txtInFilePathData", [this] { form_.txtInFilePathData_DblClick(); }},
        {"txtOutFilePathData", [this] { form_.txtOutFilePathData_DblClick(); }},
        {"txtlblAmbuloFilePath", [this] { form_.txtlblAmbuloFilePath_DblClick(); }},
        // The frame's surface outside its controls: the drop target lies over all of it.
        {"lblDragIn", [this] { workspace_.ShowPicture(); }},
    };
    Widget("lblDragIn")->installEventFilter(this);
    const auto toPaths = [](const QStringList& dropped) {
        std::vector<std::string> paths;
        for (const QString& path : dropped) paths.push_back(path.toStdString());
        return paths;
    };
    auto* in = static_cast<DropTarget*>(Widget("lblDragIn"));
    in->onDrop = [this, toPaths](const QStringList& dropped) { form_.lblDragIn_OLEDragDrop(toPaths(dropped)); };
    in->takes = [](const QStringList& dropped) { return Form1::TakesInputDrop(dropped.first().toStdString()); };
    auto* ambulo = static_cast<DropTarget*>(Widget("lblDragAmbulo"));
    ambulo->onDrop = [this, toPaths](const QStringList& dropped) { form_.lblDragAmbulo_OLEDragDrop(toPaths(dropped)); };
    ambulo->takes = [](const QStringList& dropped) { return Form1::TakesMapDataDrop(dropped.first().toStdString()); };
    for (const auto& [frame, target] : {std::pair{"fraIn", in}, {"fraAmbulo", ambulo}}) {
        for (QWidget* control : Widget(frame)->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (control != target) target->Cover(control);
        }
    }
}

void MainWindow::Mirror(const Control& control) {
    QWidget* widget = Widget(control.Name());
    if (widget == nullptr) return;
    widget->setEnabled(control.Enabled());
    widget->setToolTip(FromUtf8(control.ToolTip()));
    const QString text = FromUtf8(control.Text());
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // Leave the person's cursor alone when the model only echoes what was typed.
        // A text the program writes is shown from its start, sign included.
        if (edit->text() != text) {
            edit->setText(text);
            edit->setCursorPosition(0);
        }
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

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // A box that is left shows its text from the start again, sign first: Tab selects all and
    // leaves the cursor at the end, and a long path would stay scrolled there. A popup, the
    // menu bar or another window only borrows the focus.
    if (event->type() == QEvent::FocusOut) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* edit = qobject_cast<QLineEdit*>(watched);
        if (edit != nullptr && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::MenuBarFocusReason) {
            edit->setCursorPosition(0);
        }
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
