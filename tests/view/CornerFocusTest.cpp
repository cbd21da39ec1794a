#include "ViewFixture.h"
#include "geo/CoordinateText.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <functional>

namespace kartivo::test {
namespace {

// The window with a picture and a map data file loaded, so that both buttons can be pressed.
class WindowWithFiles : public ViewFixture {
public:
    void SetUp() override {
        ViewFixture::SetUp();
        picture_ = folder_.File("Map(35,139,36,140).bmp");
        WriteAll(picture_, MakeBitmap({.width = 4, .height = 8}));
        mapData_ = folder_.File("map.mbx");
        WriteAll(mapData_, Bytes(200, 0xAA));
        form_.LoadInputMap(picture_);
        form_.SetMapDataFile(mapData_);
        otherMapData_ = folder_.File("other.mbx");
        WriteAll(otherMapData_, Bytes(200, 0xBB));
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
            if (!cornerBoxes && form_.ValidateHandler(*control)) continue;
            state.push_back(control->Name() + "=" + control->Text() + "#" + std::to_string(control->ListIndex()) +
                            (control->Enabled() ? "" : " disabled"));
        }
        state.push_back("dialogs " + std::to_string(ui_.openRequests.size() + ui_.saveRequests.size()));
        state.push_back("messages " + std::to_string(ui_.boxes.shown.size()));
        state.push_back("shortcut " + std::to_string(shortcutRuns_));
        state.push_back(std::string("popup ") + (QApplication::activePopupWidget() ? "open" : "closed"));
        state.push_back("output " + std::to_string(std::filesystem::exists(folder_.File("Map(35,139,36,140)_.bmp"))));
        state.push_back("map data " + std::to_string(ReadAll(mapData_) == Bytes(200, 0xAA)));
        return state;
    }

    std::string picture_;
    std::string mapData_;
    std::string otherMapData_;
    int shortcutRuns_ = 0;
    TempFolder folder_;
};

class LeavingACornerBox;

// One way of taking the focus out of a corner box, or of acting elsewhere while it has it.
struct Way {
    const char* name;
    std::function<void(LeavingACornerBox&)> act;
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

void ClickOn(LeavingACornerBox& test, const char* name) {
    test.Click(test.window_->Widget(name));
}

const Way Ways[] = {
    {"Tab", [](LeavingACornerBox& t) { t.Key(Qt::Key_Tab); }},
    {"ShiftTab", [](LeavingACornerBox& t) { t.Key(Qt::Key_Backtab, Qt::ShiftModifier); }},
    {"ClickOnABox", [](LeavingACornerBox& t) { ClickOn(t, "txtName"); }},
    {"ClickOnMake", [](LeavingACornerBox& t) { ClickOn(t, "cmdMake"); }},
    {"ClickOnWriteInformations", [](LeavingACornerBox& t) { ClickOn(t, "cmdWriteAmbuloData"); }},
    {"RightClickOnABox", [](LeavingACornerBox& t) { t.Click(t.window_->Widget("txtName"), Qt::RightButton); }},
    {"DoubleClickOnAPathBox", [](LeavingACornerBox& t) { t.DoubleClick(t.window_->Widget("txtInFilePathData")); }},
    {"WheelOverTheLayerList", [](LeavingACornerBox& t) { t.Wheel(t.window_->Widget("cboLayer"), -1); }},
    {"MenuByMouse",
     [](LeavingACornerBox& t) {
         QMenuBar* bar = t.window_->menuBar();
         const QPoint at = bar->mapTo(t.window_.get(), bar->actionGeometry(bar->actions().front()).center());
         QTest::mouseClick(t.window_->windowHandle(), Qt::LeftButton, Qt::NoModifier, at);
     }},
    {"MenuByAltF",
     [](LeavingACornerBox& t) {
         // Without a mnemonic in the menu's title Alt+F only types an "f", as in any text box.
         QAction* file = t.window_->menuBar()->actions().front();
         if (!file->text().contains('&')) file->setText("&" + file->text());
         t.Key(Qt::Key_F, Qt::AltModifier);
     }},
    {"AltAlone", [](LeavingACornerBox& t) { t.Key(Qt::Key_Alt); }},
    {"KeyboardShortcut", [](LeavingACornerBox& t) { t.Key(Qt::Key_M, Qt::ControlModifier); }},
    {"Drop", [](LeavingACornerBox& t) { t.DropOn("fraAmbulo", {20, 20}, {QString::fromStdString(t.otherMapData_)}); }},
};

std::string WayName(const testing::TestParamInfo<Way>& way) {
    return way.param.name;
}

INSTANTIATE_TEST_SUITE_P(EveryWay, LeavingACornerBox, testing::ValuesIn(Ways), WayName);

using CommandKeys = WindowWithFiles;

// Make disables its button while it runs; the focus still ends where it was, so a second Space
// repeats the command instead of pressing the next control.
TEST_F(CommandKeys, SpaceTwiceOnAButtonRunsItsCommandTwiceAndNothingElse) {
    const std::string output = folder_.File("Map(35,139,36,140)_.bmp");
    for (const char* name : {"cmdMake", "cmdWriteAmbuloData"}) {
        QWidget* button = window_->Widget(name);
        button->setFocus();
        for (int press = 0; press < 2; ++press) {
            std::filesystem::remove(output);
            WriteAll(mapData_, Bytes(200, 0xAA));
            const std::string layer = form_.cboLayer.Text();
            const std::string mapName = form_.txtName.Text();
            Key(Qt::Key_Space);
            const bool made = std::filesystem::exists(output);
            const bool written = ReadAll(mapData_) != Bytes(200, 0xAA);
            EXPECT_EQ(made, name == std::string("cmdMake")) << name << " press " << press;
            EXPECT_EQ(written, name == std::string("cmdWriteAmbuloData")) << name << " press " << press;
            EXPECT_TRUE(button->hasFocus()) << name << " press " << press;
            EXPECT_EQ(form_.cboLayer.Text(), layer);
            EXPECT_EQ(form_.txtName.Text(), mapName);
        }
    }
    EXPECT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();
}

}  // namespace
}  // namespace kartivo::test
