#include "ViewFixture.h"
#include "app/qt/AccessKeys.h"
#include "app/qt/Layout.h"
#include "app/qt/QtUserInterface.h"
#include "app/qt/StartupFiles.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <filesystem>
#include <functional>
#include <tuple>

namespace kartivo::test {
namespace {

using WindowLayoutTest = ViewFixture;

TEST_F(WindowLayoutTest, EveryControlOfTheLayoutIsBuiltInsideItsFrameAndFollowsTheModel) {
    EXPECT_EQ(window_->windowTitle(), "Kartivo");
    const QImage icon = window_->windowIcon().pixmap(32).toImage();
    EXPECT_TRUE(!icon.isNull() && icon.pixelColor(16, 16).alpha() != 0);
    // Where the screen holds the window, it keeps its drawn size.
    EXPECT_EQ(window_->minimumSize(), window_->maximumSize());
    EXPECT_EQ(window_->centralWidget()->size(), QSize(400, 646));
    int units = 0;
    for (const qt::LayoutEntry& entry : qt::WindowLayout()) {
        const QWidget* widget = window_->Widget(entry.name);
        ASSERT_NE(widget, nullptr) << entry.name;
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry())) << entry.name;
        // A unit stands on the line of the value it follows.
        if (const qt::LayoutEntry* value = qt::ValueBefore(entry)) {
            ++units;
            const QWidget* valueWidget = window_->Widget(value->name);
            EXPECT_TRUE(valueWidget->parentWidget() == widget->parentWidget() &&
                        valueWidget->geometry().center().y() == widget->geometry().center().y())
                << entry.name;
        }
    }
    EXPECT_EQ(units, 20);  // "byte", "pixel", "bit", "dpi" in both frames and the eight "°="
    EXPECT_FALSE(Get<QPushButton>("cmdMake")->isEnabled());
    form_.cmdMake.SetEnabled(true);
    EXPECT_TRUE(Get<QPushButton>("cmdMake")->isEnabled());
    form_.cboLayer.SetListIndex(2);
    EXPECT_EQ(Get<QComboBox>("cboLayer")->currentText(), "Layer3");
}

// Alt+F opens it: see the focus tests.
TEST_F(WindowLayoutTest, MenuHoldsItsItemsInOrder) {
    QMenu* file = window_->menuBar()->actions().first()->menu();
    QStringList captions;
    for (QAction* action : file->actions()) captions << (action->isSeparator() ? "-" : action->text());
    QStringList expected{"&Open Input BMP File", "&Select Output BMP File", "Select &Ambulo2 File"};
    if (Form1::ImportAvailable()) expected << "&Import Georeferenced Picture...";
    EXPECT_EQ(captions, expected + QStringList({"-", "&Quit"}));
}

// Tab walks the whole order, skipping the disabled controls.
TEST_F(WindowLayoutTest, TabFollowsTheOrderSkippingDisabledControls) {
    QStringList expected;
    for (const std::string_view name : qt::TabOrder()) {
        if (window_->Widget(name)->isEnabled()) expected << QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    }
    ASSERT_EQ(expected.front(), "txtInBottomLatitudeDegree");
    Get<QWidget>("txtInBottomLatitudeDegree")->setFocus();
    QStringList visited;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        visited << QApplication::focusWidget()->objectName();
        Key(Qt::Key_Tab);
    }
    EXPECT_EQ(visited, expected);
    // Tab selects a box's text up to its end; a box left shows it from the start again.
    for (const QString& name : visited) {
        const auto* box = Get<QLineEdit>(name.toUtf8().constData());
        EXPECT_TRUE(box == nullptr || box->hasFocus() || box->cursorPosition() == 0) << name.toStdString();
    }
}

// The alarm box as Qt shows it, answered once it is up.
class QtDialogs : public ViewFixture {
public:
    void SetUp() override {
        ViewFixture::SetUp();
        qtUi_.SetWindow(window_.get());
    }
    // The box is up once its own event loop runs.
    void WhenShown(const std::function<void(QWidget*)>& answer) {
        QTimer::singleShot(0, window_.get(), [answer] { answer(QApplication::activeModalWidget()); });
    }
    qt::QtUserInterface qtUi_;
};

TEST_F(QtDialogs, TheAlarmBoxBringsTheWindowBackAndTellsTheButtonPressed) {
    const std::tuple<AlarmButtons, QMessageBox::StandardButton, AlarmAnswer> rows[] = {
        {AlarmButtons::AbortRetryIgnore, QMessageBox::Abort, AlarmAnswer::Abort},
        {AlarmButtons::AbortRetryIgnore, QMessageBox::Ignore, AlarmAnswer::Ignore},
        {AlarmButtons::RetryCancel, QMessageBox::Cancel, AlarmAnswer::Cancel},
    };
    for (const auto& [buttons, press, answer] : rows) {
        window_->showMinimized();
        WhenShown([press = press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            QAbstractButton* button = box != nullptr ? box->button(press) : nullptr;
            if (button != nullptr) {
                button->click();
            } else {
                static_cast<QDialog*>(modal)->done(-1);
            }
        });
        EXPECT_EQ(qtUi_.ShowAlarmBox("Cannot open.", "Kartivo Alarm", buttons), answer);
        EXPECT_FALSE(window_->isMinimized());
    }
}

// A save dialog asks before replacing a file only when the request says so.
TEST_F(QtDialogs, FileDialogsFollowTheRequest) {
    const std::tuple<bool, std::uint32_t, bool, QFileDialog::FileMode> rows[] = {
        {true, DialogNoChangeDir, false, QFileDialog::AnyFile},
        {true, DialogOverwritePrompt | DialogFileMustExist, true, QFileDialog::ExistingFile},
        {false, 0, false, QFileDialog::ExistingFile},
    };
    for (const auto& [save, flags, confirms, mode] : rows) {
        FileDialogRequest request = OutputFileRequest("BMP", "bmp");
        request.flags = flags;
        WhenShown([&, save = save, confirms = confirms, mode = mode](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            EXPECT_TRUE(dialog != nullptr && dialog->fileMode() == mode &&
                        dialog->acceptMode() == (save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen) &&
                        dialog->defaultSuffix() == (save ? "bmp" : "") &&
                        (!save || dialog->testOption(QFileDialog::DontConfirmOverwrite) != confirms))
                << flags;
            static_cast<QDialog*>(modal)->done(QDialog::Rejected);
        });
        EXPECT_EQ(save ? qtUi_.ShowSaveDialog(request) : qtUi_.ShowOpenDialog(request), "");
    }
}

TEST(AccessKeys, EachCaptionGetsAFreeLetterPreferablyAtAWordStart) {
    const struct {
        QStringList captions;
        QStringList shown;
    } cases[] = {
        {{"ab", "Ba", "bac"}, {"&ab", "&Ba", "ba&c"}},  // taken letters count without case
        {{"R&D"}, {"&R&&D"}},                            // an "&" of the caption stays visible
        {{"地図", "aa", "Aa"}, {"地図", "&aa", "Aa"}},   // no letter a keyboard types, or none free
    };
    for (const auto& c : cases) EXPECT_EQ(qt::WithAccessKeys(c.captions), c.shown) << c.captions.join('|').toStdString();
}

TEST(NameFilters, ShowEachPairOnceAndAllFilesForAnEmptyFilter) {
    EXPECT_EQ(qt::NameFilters({}), QStringList{"All(*.*)"});
    EXPECT_EQ(qt::NameFilters({{"BMP(*.bmp)", "*.bmp"}}), QStringList{"BMP(*.bmp)"});
    EXPECT_EQ(qt::NameFilters({{"Maps", "*.mbx"}, {"BMP(*.bmp)", "*.bmp"}}), (QStringList{"Maps (*.mbx)", "BMP(*.bmp)"}));
}

using EventWiring = ViewFixture;

// Every menu item and double click reaches its handler: each opens its own dialog or quits.
TEST_F(EventWiring, MenuItemsAndDoubleClicksReachTheirHandlers) {
    const std::string mapData = "Output Ambuloフルカラー地図データ File";
    const std::pair<const char*, std::string> rows[] = {  // the dialog: "open", a save dialog's title, or "quit"
        {"mnuFileOpenInFile", "open"},   {"mnuFileSelectOutFile", "Output BMP File"}, {"mnuFileSelectAmbuloFile", mapData},
        {"txtInFilePathData", "open"},   {"txtOutFilePathData", "Output BMP File"},   {"txtlblAmbuloFilePath", mapData},
#ifdef KARTIVO_IMPORT
        {"mnuFileImportPicture", "open"},
#endif
        {"mnuFileQuit", "quit"},
    };
    for (const auto& [name, dialog] : rows) {
        ui_.openRequests.clear();
        ui_.saveRequests.clear();
        if (QAction* action = window_->MenuAction(name)) {
            action->trigger();
        } else {
            DoubleClick(Get<QLineEdit>(name));
        }
        EXPECT_EQ(ui_.closeRequests, dialog == "quit" ? 1 : 0) << name;
        EXPECT_EQ(ui_.openRequests.size() + ui_.saveRequests.size(), dialog == "quit" ? 0U : 1U) << name;
        EXPECT_EQ(ui_.saveRequests.empty() ? "open" : ui_.saveRequests[0].title, dialog == "quit" ? "open" : dialog) << name;
    }
}

using StartupFiles = ViewFixture;

// Files named on the command line reach the window through the drop targets' own handlers; a
// map data file alone leaves the In frame alone.
TEST_F(StartupFiles, TheFirstPictureAndTheFirstMapDataFileOpenAsDrops) {
    qt::OpenGivenFiles(*window_, {"/nowhere/map.mbx"});
    EXPECT_EQ(form_.txtInFilePathData.Text() + "|" + form_.txtlblAmbuloFilePath.Text(), "|/nowhere/map.mbx");
    TempFolder folder;
    const std::string picture = folder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 6, .height = 3}));
    WriteAll(folder.File("area.mbx"), Bytes(200, 0));
    // Relative names are taken from the current folder, as a terminal gives them.
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder.Path().string()));
    // A mistyped name first: it is left out, and no file of that name appears.
    qt::OpenGivenFiles(*window_, {"mistyped.bmp", "Tokyo(35.6,139.6,35.7,139.8).bmp", "area.mbx",
                                  QString::fromStdString(picture), "/elsewhere/other.mbx"});
    QDir::setCurrent(before);
    EXPECT_FALSE(std::filesystem::exists(folder.File("mistyped.bmp")));

    EXPECT_EQ(form_.txtInFilePathData.Text() + form_.lblImageWidthData.Text(), picture + "6");
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), folder.File("area.mbx"));
    EXPECT_TRUE(ui_.boxes.shown.empty());
}

}  // namespace
}  // namespace kartivo::test
