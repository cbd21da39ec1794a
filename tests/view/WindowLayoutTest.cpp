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
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>

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
    form_.cboLayer.SetListIndex(2);
    EXPECT_EQ(Get<QComboBox>("cboLayer")->currentText(), "Layer3");
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

// The buttons stand on the screen in the order the text names them (pressed by their place
// there, -1 for Escape), and the answer is the one pressed.
TEST_F(QtDialogs, TheAlarmBoxBringsTheWindowBackAndTellsTheButtonPressed) {
    const std::tuple<AlarmButtons, int, AlarmAnswer, QStringList> rows[] = {
        {AlarmButtons::AbortRetryIgnore, 0, AlarmAnswer::Abort, {"Abort", "Retry", "Ignore"}},
        {AlarmButtons::AbortRetryIgnore, 1, AlarmAnswer::Retry, {"Abort", "Retry", "Ignore"}},
        {AlarmButtons::AbortRetryIgnore, 2, AlarmAnswer::Ignore, {"Abort", "Retry", "Ignore"}},
        {AlarmButtons::AbortRetryIgnore, -1, AlarmAnswer::Abort, {"Abort", "Retry", "Ignore"}},
        {AlarmButtons::RetryCancel, 1, AlarmAnswer::Cancel, {"Retry", "Cancel"}},
    };
    for (const auto& [buttons, press, answer, order] : rows) {
        window_->showMinimized();
        WhenShown([press = press, order = order](QWidget* box) {
            QList<QPushButton*> shown = box->findChildren<QPushButton*>();
            std::ranges::sort(shown, {}, [box](QPushButton* b) { return b->mapTo(box, QPoint(0, 0)).x(); });
            QStringList texts;
            for (QPushButton* button : shown) texts << button->text().remove('&');
            EXPECT_EQ(texts, order);
            if (press < 0) QTest::keyClick(box->windowHandle(), Qt::Key_Escape);
            if (press >= 0) QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {}, shown[press]->mapTo(box, QPoint(4, 4)));
        });
        EXPECT_EQ(qtUi_.ShowAlarmBox("Cannot open.", "Kartivo Alarm", buttons), answer) << press;
        EXPECT_FALSE(window_->isMinimized());
    }
}

// A question's Yes is true, its No false.
TEST_F(QtDialogs, AQuestionTellsTheAnswer) {
    for (const bool yes : {true, false}) {
        WhenShown([yes](QWidget* box) {
            static_cast<QMessageBox*>(box)->button(yes ? QMessageBox::Yes : QMessageBox::No)->click();
        });
        EXPECT_EQ(qtUi_.AskYesNo("Use the points?", "Georeference"), yes);
    }
}

// A prompt as long as the coordinate systems' one wraps and fits the screen, OK in reach.
TEST_F(QtDialogs, ALongPromptFitsTheScreen) {
    WhenShown([](QWidget* box) {
        EXPECT_TRUE(box->screen()->availableGeometry().contains(box->frameGeometry()));
        EXPECT_GT(box->width(), 200) << "wrapped, not squeezed";
        QTest::keyClick(box->windowHandle(), Qt::Key_Return);
    });
    std::string prompt;
    for (int i = 0; i < 60; ++i) prompt += "coordinates ";
    EXPECT_EQ(qtUi_.AskText(prompt, "Georeference", "EPSG:4326"), "EPSG:4326");
}

// Many long choices come as a list that fits the screen; the arrows and Enter pick one.
TEST_F(QtDialogs, ManyChoicesComeAsAList) {
    WhenShown([](QWidget* box) {
        EXPECT_TRUE(box->screen()->availableGeometry().contains(box->frameGeometry()));
        for (int i = 0; i < 3; ++i) QTest::keyClick(box->windowHandle(), Qt::Key_Down);
        QTest::keyClick(box->windowHandle(), Qt::Key_Return);
    });
    std::vector<std::string> choices;
    for (int i = 0; i < 6; ++i) choices.push_back("[1x2160x4320] picture " + std::to_string(i) + std::string(150, 'x'));
    EXPECT_EQ(qtUi_.AskChoice("Which one?", "Import", choices), 3U);
}

// A choice's captions stand in their order; Enter takes the first, Escape cancels.
TEST_F(QtDialogs, AChoiceTakesTheFirstOnEnter) {
    const std::pair<int, std::optional<std::size_t>> rows[] = {{Qt::Key_Return, 0}, {Qt::Key_Escape, {}}, {-1, 1}};
    for (const auto& [key, answer] : rows) {
        WhenShown([key = key](QWidget* box) {
            QList<QPushButton*> shown = box->findChildren<QPushButton*>();
            std::ranges::sort(shown, {}, [box](QPushButton* b) { return b->mapTo(box, QPoint(0, 0)).x(); });
            QStringList texts;
            for (QPushButton* button : shown) texts << button->text().remove('&');
            const qsizetype keep = texts.indexOf("Keep numbers");
            EXPECT_TRUE(texts.indexOf("Convert") >= 0 && texts.indexOf("Convert") < keep) << texts.join('|').toStdString();
            if (key >= 0) QTest::keyClick(box->windowHandle(), Qt::Key(key));
            if (key < 0) QTest::mouseClick(box->windowHandle(), Qt::LeftButton, {}, shown[keep]->mapTo(box, QPoint(4, 4)));
        });
        EXPECT_EQ(qtUi_.AskChoice("Convert them?", "Georeference", {"Convert", "Keep numbers"}), answer) << key;
    }
}

// A path in a box's text wraps as a whole, however narrow the box: long, spaced, Japanese.
TEST_F(QtDialogs, ABoxBreaksNoPathAcrossLines) {
    const QString path = "/home/kartivo/地図 データ/a-rather-long-folder-name/another/folder/with/more/levels/"
                         "Tokyo(35.6,139.6,35.7,139.8).bmp";
    QStringList lines;
    WhenShown([&lines](QWidget* box) {
        auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        QTextLayout layout(label->text(), label->font());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(label->contentsRect().width());
            lines << label->text().mid(line.textStart(), line.textLength()).remove(QChar(0x2060)).replace(QChar(0xA0), ' ');
        }
        layout.endLayout();
        static_cast<QDialog*>(box)->done(-1);
    });
    qtUi_.ShowAlarmBox("Cannot Open " + path.toStdString() + "\r\nby Error Code=53:No such file or directory",
                       "Kartivo Alarm", AlarmButtons::AbortRetryIgnore);
    EXPECT_TRUE(std::ranges::any_of(lines, [&path](const QString& line) { return line.contains(path); })) << lines.join('|').toStdString();
    // A reason after the path wraps as before.
    EXPECT_EQ(qt::UnbreakablePaths("a\n/x y/z: why not").remove(QChar(0x2060)), "a\n/x\u00A0y/z: why not");
    // Blanks and a carriage return after a path end it; they are not part of it.
    EXPECT_EQ(qt::UnbreakablePaths("at /x y/z \r\nb").remove(QChar(0x2060)), "at /x\u00A0y/z \r\nb");
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
                        dialog->defaultSuffix() == (save ? "bmp" : "") && dialog->viewMode() == QFileDialog::List &&
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
    std::vector<std::pair<const char*, std::string>> rows = {  // the dialog: "open", a save dialog's title, or "quit"
        {"mnuFileOpenInFile", "open"},   {"mnuFileSelectOutFile", "Output BMP File"}, {"mnuFileSelectAmbuloFile", mapData},
        {"txtInFilePathData", "open"},   {"txtOutFilePathData", "Output BMP File"},   {"txtlblAmbuloFilePath", mapData},
        {"mnuFileQuit", "quit"},
    };
    if (Form1::ImportAvailable()) rows.emplace(rows.end() - 1, "mnuFileImportPicture", "open");  // before Quit
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

// The File menu as the keyboard meets it: Alt+F opens it, Down walks its items in their order
// past the separator, and each item's underlined letter, typed into the open menu, runs that
// item and no other.
TEST_F(EventWiring, TheFileMenuIsWalkedAndRunByKeys) {
    const std::string mapData = "Output Ambuloフルカラー地図データ File";
    std::vector<std::tuple<QString, Qt::Key, std::string>> items = {  // caption, its letter, the dialog as above
        {"&Open Input BMP File", Qt::Key_O, "open"},
        {"&Select Output BMP File", Qt::Key_S, "Output BMP File"},
        {"Select &Ambulo2 File", Qt::Key_A, mapData},
    };
    if (Form1::ImportAvailable()) {
        items.emplace_back("&Import Georeferenced Picture...", Qt::Key_I, "open");
        items.emplace_back("&Georeference Picture...", Qt::Key_G, "open");
        items.emplace_back("&Map from Tile Server...", Qt::Key_M, "tiles");  // a dialog of its own
    }
    items.emplace_back("&Quit", Qt::Key_Q, "quit");
    const auto openMenu = [this] {
        Key(Qt::Key_F, Qt::AltModifier);
        return qobject_cast<QMenu*>(QApplication::activePopupWidget());
    };

    QMenu* menu = openMenu();
    ASSERT_NE(menu, nullptr);
    if (menu->activeAction() == nullptr) QTest::keyClick(menu->windowHandle(), Qt::Key_Down);
    QStringList walked;
    for (std::size_t i = 0; i <= items.size() && menu->activeAction() != nullptr; ++i) {
        walked << menu->activeAction()->text();
        QTest::keyClick(menu->windowHandle(), Qt::Key_Down);
    }
    QStringList expected;
    for (const auto& item : items) expected << std::get<0>(item);
    expected << std::get<0>(items.front());  // the walk goes round to the first item again
    EXPECT_EQ(walked, expected);
    QTest::keyClick(menu->windowHandle(), Qt::Key_Escape);

    for (const auto& [caption, letter, dialog] : items) {
        ui_.openRequests.clear();
        ui_.saveRequests.clear();
        ui_.closeRequests = 0;
        menu = openMenu();
        ASSERT_NE(menu, nullptr) << caption.toStdString();
        QTest::keyClick(menu->windowHandle(), letter);
        const std::string what = caption.toStdString();
        const bool noFileDialog = dialog == "quit" || dialog == "tiles";
        EXPECT_EQ(ui_.closeRequests, dialog == "quit" ? 1 : 0) << what;
        EXPECT_EQ(ui_.openRequests.size() + ui_.saveRequests.size(), noFileDialog ? 0U : 1U) << what;
        EXPECT_EQ(ui_.saveRequests.empty() ? "open" : ui_.saveRequests[0].title, noFileDialog ? "open" : dialog) << what;
        if (dialog == "tiles") {
            EXPECT_TRUE(window_->findChild<QDialog*>("tileServerDialog")->isVisible());
        }
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << what;
    }
}

// Enter and keypad Enter press a focused button as Space does; in a text box they press none.
TEST_F(EventWiring, EnterPressesTheFocusedButtonOnly) {
    const std::tuple<const char*, Qt::Key, Qt::KeyboardModifiers, const char*> rows[] = {
        {"cmdMake", Qt::Key_Return, Qt::NoModifier, "cmdMake"},
        {"cmdMake", Qt::Key_Enter, Qt::KeypadModifier, "cmdMake"},
        {"cmdWriteAmbuloData", Qt::Key_Return, Qt::NoModifier, "cmdWriteAmbuloData"},
        {"cmdWriteAmbuloData", Qt::Key_Enter, Qt::KeypadModifier, "cmdWriteAmbuloData"},
        {"txtName", Qt::Key_Return, Qt::NoModifier, ""},
    };
    for (const auto& [focused, key, modifiers, pressed] : rows) {
        // Each press may leave its button disabled, as a command that finds nothing to do does.
        for (Control* button : {&form_.cmdMake, &form_.cmdWriteAmbuloData}) button->SetEnabled(true);
        std::string clicked;
        QObject counter;
        for (const char* name : {"cmdMake", "cmdWriteAmbuloData"}) {
            QObject::connect(Get<QPushButton>(name), &QPushButton::clicked, &counter, [&clicked, name] { clicked += name; });
        }
        window_->Widget(focused)->setFocus();
        Key(key, modifiers);
        EXPECT_EQ(clicked, pressed) << focused << " " << key;
    }
}

// A drag that its drop would ignore is refused while it moves, so the pointer tells the person.
TEST_F(EventWiring, EachFrameTakesOnlyTheDragsItsDropActsOn) {
    TempFolder folder;
    for (const char* name : {"Tokyo(35.6,139.6,35.7,139.8).bmp", "scan.dib"}) WriteAll(folder.File(name), MakeBitmap({}));
    for (const char* name : {"broken.BMP", "notes.txt", "area.mbx"}) WriteAll(folder.File(name), Bytes{'n', 'o'});
    std::vector<std::tuple<const char*, QStringList, bool>> rows = {
        // A bitmap by its name or first bytes; loading tells what is wrong with a broken one.
        {"fraIn", {"Tokyo(35.6,139.6,35.7,139.8).bmp"}, true}, {"fraIn", {"scan.dib"}, true}, {"fraIn", {"broken.BMP"}, true},
        {"fraIn", {"notes.txt", "scan.dib"}, false}, {"fraIn", {"area.mbx"}, false},  // only the first file counts
        // A missing map data file is told by the write.
        {"fraAmbulo", {"area.mbx", "notes.txt"}, true}, {"fraAmbulo", {"/nowhere/other.mbx"}, true},
        {"fraAmbulo", {"Tokyo(35.6,139.6,35.7,139.8).bmp"}, false}, {"fraAmbulo", {"area.MBX"}, false},
    };
    if (Form1::ImportAvailable()) {  // with and without a world file
        rows.insert(rows.end(), {{"fraIn", {"geo.png"}, true}, {"fraIn", {"plain.png"}, false}});
    }
    for (const char* name : {"geo.png", "plain.png"}) QImage(8, 8, QImage::Format_RGB32).save(QString::fromStdString(folder.File(name)));
    for (const auto& [name, text] : {std::pair<const char*, std::string_view>{"geo.pgw", "0.01\n0\n0\n-0.01\n139.6\n35.7\n"},
                                     {"geo.prj", R"(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],)"
                                                 R"(PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]])"}}) {
        WriteAll(folder.File(name), Bytes(text.begin(), text.end()));
    }
    for (const auto& [frame, names, taken] : rows) {
        QStringList paths;
        for (const QString& name : names) paths << (name.startsWith('/') ? name : QString::fromStdString(folder.File(name.toStdString())));
        EXPECT_EQ(DropOn(frame, {20, 20}, paths, false), taken) << frame << " " << names.join(' ').toStdString();
    }
}

using StartupFiles = ViewFixture;

// Files named on the command line reach the window through the drop targets' own handlers; a
// map data file alone leaves the In frame alone. Names that cannot be opened are told in one
// box and stand in no path box.
TEST_F(StartupFiles, TheFirstPictureAndTheFirstMapDataFileOpenAsDropsAndMissingOnesAreTold) {
    TempFolder folder;
    const std::string picture = folder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 6, .height = 3}));
    WriteAll(folder.File("area.mbx"), Bytes(200, 0));
    std::filesystem::create_directory(folder.File("folder.mbx"));
    // Relative names are taken from the current folder, as a terminal gives them.
    const QString before = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(folder.Path().string()));
    // A mistyped name first: it is left out, and no file of that name appears.
    qt::OpenGivenFiles(*window_, ui_, {"mistyped.bmp", "Tokyo(35.6,139.6,35.7,139.8).bmp", "folder.mbx", "area.mbx",
                                       QString::fromStdString(picture), "/elsewhere/other.mbx"});
    QDir::setCurrent(before);
    EXPECT_FALSE(std::filesystem::exists(folder.File("mistyped.bmp")));

    EXPECT_EQ(form_.txtInFilePathData.Text() + form_.lblImageWidthData.Text(), picture + "6");
    EXPECT_EQ(form_.txtlblAmbuloFilePath.Text(), folder.File("area.mbx"));
    ASSERT_EQ(ui_.boxes.shown.size(), 1U);
    EXPECT_EQ(ui_.boxes.shown[0].text, "Cannot open\n" + folder.File("mistyped.bmp") + ": No such file or directory\n" +
                                           folder.File("folder.mbx") + ": Is a directory\n" +
                                           "/elsewhere/other.mbx: No such file or directory");
}

// The program as a terminal without a display runs it: what needs no window is answered and
// ends the run; the rest fails with a message, never with a crash.
TEST(ProgramWithoutDisplay, AnswersItsOptionsAndOtherwiseFailsWithAMessage) {
    // The text expected in standard output, or with a failure in standard error.
    const struct { QStringList args; int status; const char* out; } cases[] = {
        {{"--help"}, 0, "Usage: "},
        {{"--help-all"}, 0, "--qmljsdebugger"},  // with Qt's options
        {{"--version"}, 0, "kartivo "},
        // Qt's window options are passed over, values and all, and the real mistake is named.
        {{"-style", "fusion", "--bogus", "map.bmp"}, 1, "Unknown option 'bogus'."},
        {{}, 1, "kartivo: "},
    };
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
    for (const auto& c : cases) {
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(KARTIVO_PROGRAM, c.args);
        ASSERT_TRUE(program.waitForFinished(30000)) << c.args.join(' ').toStdString();
        const QString out = program.readAllStandardOutput(), err = program.readAllStandardError();
        EXPECT_TRUE(program.exitStatus() == QProcess::NormalExit && program.exitCode() == c.status) << program.exitCode();
        EXPECT_TRUE((c.status == 0 ? out : err).contains(c.out)) << c.args.join(' ').toStdString() << out.toStdString() << err.toStdString();
    }
}

}  // namespace
}  // namespace kartivo::test
