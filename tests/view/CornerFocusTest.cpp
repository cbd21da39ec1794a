#include "ViewFixture.h"
#include "geo/CoordinateText.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

#include <filesystem>
#include <fstream>
#include <functional>

namespace kartivo::test {
namespace {

// The window with a picture and a map data file loaded, so that both buttons can be pressed.
class WindowWithFiles : public ViewFixture {
public:
    void SetUp() override {
        ViewFixture::SetUp();
        WriteAll(picture_, MakeBitmap({.width = 4, .height = 8}));
        WriteAll(mapData_, Bytes(200, 0xAA));
        form_.LoadInputMap(picture_);
        form_.SetMapDataFile(mapData_);
        auto* shortcut = new QAction(window_.get());
        shortcut->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
        window_->addAction(shortcut);
        QObject::connect(shortcut, &QAction::triggered, [this] { ++shortcutRuns_; });
        QApplication::processEvents();
    }

    // Everything another control could change, and with corner boxes, the boxes too.
    std::vector<std::string> State(bool cornerBoxes = true) {
        std::vector<std::string> state;
        for (const Control* control : form_.Controls()) {
            if (cornerBoxes || !form_.ValidateHandler(*control)) {
                state.push_back(control->Name() + "=" + control->Text() + "#" + std::to_string(control->ListIndex()) +
                                (control->Enabled() ? "" : " disabled"));
            }
        }
        // Dialogs, messages, shortcuts, popups, an output made, the map data file written.
        state.push_back(std::to_string(ui_.openRequests.size() + ui_.saveRequests.size()) + std::to_string(ui_.boxes.shown.size()) +
                        std::to_string(shortcutRuns_) + std::to_string(QApplication::activePopupWidget() != nullptr) +
                        std::to_string(std::filesystem::exists(folder_.File("Map(35,139,36,140)_.bmp"))) +
                        std::to_string(ReadAll(mapData_) == Bytes(200, 0xAA)));
        return state;
    }

    TempFolder folder_;
    std::string picture_ = folder_.File("Map(35,139,36,140).bmp");
    std::string mapData_ = folder_.File("map.mbx");
    int shortcutRuns_ = 0;
};

// One way of taking the focus out of a corner box, or of acting elsewhere while it has it.
struct Way {
    const char* name;
    std::function<void(WindowWithFiles&)> act;
};

class LeavingACornerBox : public WindowWithFiles, public testing::WithParamInterface<Way> {};

// Whatever takes the focus out of a corner box runs its check once; a refusal keeps the focus
// there and lets nothing else act.
TEST_P(LeavingACornerBox, RunsTheCheckOnceAndOnRefusalChangesNothing) {
    QLineEdit* box = Get<QLineEdit>("txtOutTopLatitude3");
    Click(box);
    ASSERT_TRUE(box->hasFocus());
    Type(QString::fromUtf8("91°"));
    ASSERT_EQ(form_.txtOutTopLatitude3.Text(), "91°");
    const auto before = State();
    GetParam().act(*this);
    EXPECT_TRUE(box->hasFocus());
    EXPECT_EQ(State(), before);

    // Seconds with five decimals tell how often the check ran: each run rounds them to four.
    Type(QString::fromUtf8("35°41' 22.22225''"));
    const auto others = State(false);
    GetParam().act(*this);
    EXPECT_TRUE(!box->hasFocus() || State(false) != others) << "nothing happened once the box accepted";
    EXPECT_EQ(form_.txtOutTopLatitudeDegree.Text(), DegreeText(35 + 41 / 60.0 + 22.22225 / 3600));
    EXPECT_EQ(form_.txtOutTopLatitude3.Text(), "+35°41' 22.2223''");
}

const Way Ways[] = {
    {"Tab", [](WindowWithFiles& t) { t.Key(Qt::Key_Tab); }},
    {"ShiftTab", [](WindowWithFiles& t) { t.Key(Qt::Key_Backtab, Qt::ShiftModifier); }},
    {"ClickOnABox", [](WindowWithFiles& t) { t.Click(t.window_->Widget("txtName")); }},
    {"ClickOnMake", [](WindowWithFiles& t) { t.Click(t.window_->Widget("cmdMake")); }},
    {"ClickOnWriteInformations", [](WindowWithFiles& t) { t.Click(t.window_->Widget("cmdWriteAmbuloData")); }},
    {"RightClickOnABox", [](WindowWithFiles& t) { t.Click(t.window_->Widget("txtName"), Qt::RightButton); }},
    {"DoubleClickOnAPathBox", [](WindowWithFiles& t) { t.DoubleClick(t.window_->Widget("txtInFilePathData")); }},
    {"WheelOverTheLayerList", [](WindowWithFiles& t) { t.Wheel(t.window_->Widget("cboLayer"), -1); }},
    {"MenuByMouse", [](WindowWithFiles& t) { t.Click(t.window_->menuBar(), Qt::LeftButton, QPoint(12, 6)); }},
    {"MenuByAltF", [](WindowWithFiles& t) { t.Key(Qt::Key_F, Qt::AltModifier); }},
    {"AltAlone", [](WindowWithFiles& t) { t.Key(Qt::Key_Alt); }},
    {"KeyboardShortcut", [](WindowWithFiles& t) { t.Key(Qt::Key_M, Qt::ControlModifier); }},
    {"Drop", [](WindowWithFiles& t) { t.DropOn("fraAmbulo", {20, 20}, {"/nowhere/other.mbx"}); }},
};

INSTANTIATE_TEST_SUITE_P(EveryWay, LeavingACornerBox, testing::ValuesIn(Ways),
                         [](const testing::TestParamInfo<Way>& way) { return std::string(way.param.name); });

using CommandKeys = WindowWithFiles;

// A click into the refused box itself is its own: it places the cursor there.
TEST_F(CommandKeys, AClickIntoTheRefusedBoxReachesIt) {
    auto* box = Get<QLineEdit>("txtOutTopLatitudeDegree");
    Click(box);
    Type("95");
    Key(Qt::Key_Tab);
    Key(Qt::Key_Home);
    ASSERT_TRUE(box->hasFocus() && box->cursorPosition() == 0);
    Click(box);
    EXPECT_EQ(box->cursorPosition(), 2);
}

// Without a window manager a click does not take the keyboard back from another window, yet it
// presses the button under it: the box the window left focused is still the one being left.
// The other window is one of this program's, or stands for another program's: one that takes no
// focus leaves this program without a focus widget.
TEST_F(CommandKeys, ARefusedBoxStopsClicksAndDropsWhileAnotherWindowHasTheKeyboard) {
    auto* box = Get<QLineEdit>("txtOutTopLatitudeDegree");
    for (const Qt::FocusPolicy policy : {Qt::StrongFocus, Qt::NoFocus}) {
        SCOPED_TRACE(policy == Qt::NoFocus ? "another program's window" : "a window of this program");
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
        Click(box);
        Type("91");
        WriteAll(mapData_, Bytes(200, 0xAA));
        QWidget other;
        other.setFocusPolicy(policy);
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        if (policy != Qt::NoFocus) other.setFocus();
        ASSERT_EQ(QApplication::focusWidget(), policy == Qt::NoFocus ? nullptr : &other);
        const auto before = State();
        Click(window_->Widget("cmdWriteAmbuloData"));
        Click(window_->Widget("cmdMake"));
        // Dropped on a box of the frame, which takes drops for the frame, it is stopped as well.
        DropOn("fraAmbulo", window_->Widget("txtName")->geometry().center(), {"/nowhere/other.mbx"});
        EXPECT_EQ(State(), before);
        EXPECT_EQ(window_->focusWidget(), box);
        // Once the box holds a value it takes, the same click writes the file.
        form_.txtOutTopLatitudeDegree.SetText("35.5");
        Click(window_->Widget("cmdWriteAmbuloData"));
        EXPECT_NE(ReadAll(mapData_), Bytes(200, 0xAA));
        EXPECT_EQ(QApplication::activeWindow(), &other);
    }
}

// Make disables its button while it runs; the focus still ends where it was, so a second Space
// repeats the command instead of pressing the next control.
TEST_F(CommandKeys, SpaceTwiceOnAButtonRunsItsCommandTwiceAndNothingElse) {
    const std::string output = folder_.File("Map(35,139,36,140)_.bmp");
    // The controls alone: the files and message boxes are checked one by one.
    const auto controls = [this] { auto state = State(false); state.pop_back(); return state; };
    for (const std::string name : {"cmdMake", "cmdWriteAmbuloData"}) {
        QWidget* button = window_->Widget(name);
        button->setFocus();
        for (int press = 0; press < 2; ++press) {
            SCOPED_TRACE(name + " press " + std::to_string(press));
            std::filesystem::remove(output);
            WriteAll(mapData_, Bytes(200, 0xAA));
            const auto others = controls();
            Key(Qt::Key_Space);
            EXPECT_EQ(controls(), others) << "another control acted";
            EXPECT_EQ(std::filesystem::exists(output), name == "cmdMake");
            EXPECT_EQ(ReadAll(mapData_) != Bytes(200, 0xAA), name == "cmdWriteAmbuloData");
            EXPECT_TRUE(button->hasFocus());
        }
    }
    EXPECT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();
}

using EndToEnd = WindowWithFiles;

// The typical run: drop a picture, narrow the output, make it.
TEST_F(EndToEnd, DropNarrowAndMake) {
    const std::string picture = folder_.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 5, .height = 12, .bitCount = 24}));
    // Over the "File Size" caption, and two files at once: the first is loaded.
    DropOn("fraIn", {20, 45}, {QString::fromStdString(picture), "/nowhere/second.bmp"});
    // The frame's boxes stay above the drop target; each is typed over and left with Tab.
    for (const auto& [box, text] : {std::pair{"txtOutBottomLatitude3", QString::fromUtf8("35°38' 00''")},
                                    {"txtOutTopLatitudeDegree", QString("35.68")}, {"txtImageHeightData", QString("9")}}) {
        Click(window_->Widget(box));
        Type(text);
        Key(Qt::Key_Tab);
    }
    Click(Get<QPushButton>("cmdMake"));
    ASSERT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();
    EXPECT_EQ(ReadAll(folder_.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")).size(), 54U + 9 * 16);
    EXPECT_EQ(form_.txtOutBottomLatitudeDegree.Text(), "+35.6333333333");
    // Start, load and Make of a bitmap map no GDAL library: the import module stays closed.
    std::ifstream maps("/proc/self/maps");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(maps), {}).find("libgdal"), std::string::npos);
    // The window is torn down with a refused text in the focused box: no check may hold it.
    Click(window_->Widget("txtOutTopLatitudeDegree"));
    Type("95");
}

}  // namespace
}  // namespace kartivo::test
