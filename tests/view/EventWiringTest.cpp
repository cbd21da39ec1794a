#include "ViewFixture.h"

#include <QAction>
#include <QLineEdit>

namespace kartivo::test {
namespace {

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
        const std::size_t opens = ui_.openRequests.size();
        const std::size_t saves = ui_.saveRequests.size();
        if (QAction* action = window_->MenuAction(name)) {
            action->trigger();
        } else {
            DoubleClick(Get<QLineEdit>(name));
        }
        EXPECT_EQ(ui_.closeRequests, dialog == "quit" ? 1 : 0) << name;
        EXPECT_EQ(ui_.openRequests.size(), opens + (dialog == "open")) << name;
        ASSERT_EQ(ui_.saveRequests.size(), saves + (dialog != "open" && dialog != "quit")) << name;
        if (ui_.saveRequests.size() > saves) {
            EXPECT_EQ(ui_.saveRequests.back().title, dialog) << name;
        }
    }
}

}  // namespace
}  // namespace kartivo::test
