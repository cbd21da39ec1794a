#include "ViewFixture.h"

#include <QPushButton>

#include <filesystem>

namespace kartivo::test {
namespace {

class EndToEnd : public ViewFixture {
public:
    // Clicks into a box, types over its text and leaves it with Tab, all through the window.
    void TypeInto(const char* name, const QString& text) {
        Click(window_->Widget(name));
        Type(text);
        Key(Qt::Key_Tab);
    }

    TempFolder folder_;
};

// The typical run: drop a picture, narrow the output, make it.
TEST_F(EndToEnd, DropNarrowMakeAndWriteInformations) {
    const std::string picture = folder_.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(picture, MakeBitmap({.width = 5, .height = 12, .bitCount = 24}));

    // Over the "File Size" caption, and two files at once: the first is loaded.
    DropOn("fraIn", {20, 45}, {QString::fromStdString(picture), "/nowhere/second.bmp"});
    // The frame's boxes stay above the drop target and keep working.
    TypeInto("txtOutBottomLatitude3", QString::fromUtf8("35°38' 00''"));
    TypeInto("txtOutTopLatitudeDegree", "35.68");
    TypeInto("txtImageHeightData", "9");
    ASSERT_TRUE(Get<QPushButton>("cmdMake")->isEnabled());
    Click(Get<QPushButton>("cmdMake"));
    ASSERT_TRUE(ui_.boxes.shown.empty()) << ui_.MessageTexts().front();
    EXPECT_EQ(ReadAll(folder_.File("Tokyo(35.6,139.6,35.7,139.8)_.bmp")).size(), 54U + 9 * 16);
    EXPECT_EQ(form_.txtOutBottomLatitudeDegree.Text(), "+35.6333333333");
    // The window is torn down with a refused text in the focused box: no check may hold it.
    Click(window_->Widget("txtOutTopLatitudeDegree"));
    Type("95");
}

}  // namespace
}  // namespace kartivo::test
