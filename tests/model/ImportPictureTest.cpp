// Importing a georeferenced picture from the window: the menu item, a drop on "In", the save
// dialog's proposal, the progress dialog's Cancel and the loading of the result.

#include "GeoPictures.h"
#include "ModelTestSupport.h"
#include "TestSupport.h"
#include "app/Form1.h"
#include "bitmap/FileNameConvention.h"
#include "common/PathParts.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace kartivo::test {
namespace {

// A progress dialog whose Cancel is pressed at the first step when asked to.
class ProgressUserInterface : public ScriptedUserInterface {
public:
    std::unique_ptr<ProgressDialog> ShowProgress(const std::string&, const std::string&) override {
        struct Progress final : ProgressDialog {
            bool cancel = false;
            bool Advance(double) override { return !cancel; }
        };
        auto progress = std::make_unique<Progress>();
        progress->cancel = cancelAtFirstStep;
        return progress;
    }
    bool cancelAtFirstStep = false;
};

class ImportPicture : public testing::Test {
protected:
    void SetUp() override {
        form_.Form_Load();
        // Tokyo in Web Mercator: copied as it is.
        MakePicture({.crs = "EPSG:3857", .geoTransform = {15540300, 750, 0, 4273000, 0, -1000}}, source_);
    }

    TempFolder folder_;
    const std::string source_ = folder_.File("Tokyo.tif");
    ProgressUserInterface ui_;
    Form1 form_{ui_};
};

TEST_F(ImportPicture, MenuAndDropProposeTheNamedBitmapAndLoadIt) {
    for (const bool drop : {false, true}) {
        SCOPED_TRACE(drop ? "dropped on In" : "from the menu");
        const std::vector<std::string> before = FolderEntries(folder_.Path());
        if (drop) {
            ui_.dialogAnswers = {"", folder_.File("dropped.bmp")};
            form_.lblDragIn_OLEDragDrop({source_});  // declined in the save dialog
            EXPECT_EQ(FolderEntries(folder_.Path()), before);
            form_.lblDragIn_OLEDragDrop({source_});
        } else {
            ui_.dialogAnswers = {source_, folder_.File("menu.bmp")};
            form_.mnuFileImportPicture_Click();
        }
        const FileDialogRequest& save = ui_.saveRequests.back();
        const FileNameCorners proposed = ReadFileNameConvention(save.initialFileName);
        EXPECT_TRUE(proposed.name == "Tokyo" && proposed.corners) << save.initialFileName;
        EXPECT_EQ(GetParentFolderName(save.initialFileName), folder_.Path().string());

        // Loaded as if dropped on "In": the output path and the picture's properties follow.
        EXPECT_EQ(form_.txtInFilePathData.Text() + " " + form_.lblImageWidthData.Text() + " " + form_.lblColorDepthData.Text(),
                  folder_.File(drop ? "dropped.bmp" : "menu.bmp") + " 40 24");
        EXPECT_TRUE(ui_.MessageTexts().empty()) << ui_.MessageTexts().front();
    }
}

TEST_F(ImportPicture, CancelAndRefusalsLeaveNothing) {
    const std::string plain = folder_.File("plain.tif");
    MakePicture({.georeferenced = false}, plain);
    const std::vector<std::string> before = FolderEntries(folder_.Path());

    ui_.cancelAtFirstStep = true;
    ui_.dialogAnswers = {source_, folder_.File("out.bmp")};
    form_.mnuFileImportPicture_Click();
    EXPECT_TRUE(ui_.MessageTexts().empty()) << "Cancel is the person's own choice";
    EXPECT_EQ(form_.txtInFilePathData.Text(), "");

    ui_.dialogAnswers = {plain};
    form_.mnuFileImportPicture_Click();
    ASSERT_EQ(ui_.MessageTexts().size(), 1u);
    EXPECT_NE(ui_.MessageTexts().back().find("no georeference"), std::string::npos) << ui_.MessageTexts().back();

    // A picture without a georeference dropped on "In" is loaded, and refused, as before.
    form_.lblDragIn_OLEDragDrop({plain});
    EXPECT_EQ(ui_.MessageTexts().back(), "This file is not BMP.");

    EXPECT_EQ(FolderEntries(folder_.Path()), before);
    EXPECT_EQ(ui_.saveRequests.size(), 1u);
}

}  // namespace
}  // namespace kartivo::test
