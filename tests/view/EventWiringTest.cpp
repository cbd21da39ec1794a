#include "ViewFixture.h"

#include <QAction>
#include <QLineEdit>

namespace kartivo::test {
namespace {

using EventWiring = ViewFixture;

// Every menu item and double click reaches its handler: each opens its own dialog or quits.
TEST_F(EventWiring, MenuItemsAndDoubleClicksReachTheirHandlers) {
    const struct {
        const char* name;
        bool menu;
        const char* dialog;  // "open", or the save dialog's title; nullptr for Quit
    } rows[] = {
        {"mnuFileOpenInFile", true, "open"},
        {"mnuFileSelectOutFile", true, "Output BMP File"},
        {"mnuFileSelectAmbuloFile", true, "Output Ambuloフルカラー地図データ File"},
#ifdef KARTIVO_IMPORT
        {"mnuFileImportPicture", true, "open"},
#endif
        {"txtInFilePathData", false, "open"},
        {"txtOutFilePathData", false, "Output BMP File"},
        {"txtlblAmbuloFilePath", false, "Output Ambuloフルカラー地図データ File"},
        {"mnuFileQuit", true, nullptr},
    };
    for (const auto& row : rows) {
        const std::size_t opens = ui_.openRequests.size();
        const std::size_t saves = ui_.saveRequests.size();
        if (row.menu) {
            QAction* action = window_->MenuAction(row.name);
            ASSERT_NE(action, nullptr) << row.name;
            action->trigger();
        } else {
            DoubleClick(Get<QLineEdit>(row.name));
        }
        if (row.dialog == nullptr) {
            EXPECT_EQ(ui_.closeRequests, 1) << row.name;
        } else if (std::string(row.dialog) == "open") {
            EXPECT_EQ(ui_.openRequests.size(), opens + 1) << row.name;
        } else {
            ASSERT_EQ(ui_.saveRequests.size(), saves + 1) << row.name;
            EXPECT_EQ(ui_.saveRequests.back().title, row.dialog) << row.name;
        }
    }
}

}  // namespace
}  // namespace kartivo::test
