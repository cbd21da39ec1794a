// Importing a georeferenced picture from the window: the menu item, a drop on "In", the save
// dialog's proposal, the progress dialog's Cancel and the loading of the result.

#include "FaultyFileSystem.h"
#include "GeoPictures.h"
#include "ModelTestSupport.h"
#include "TestSupport.h"
#include "app/Workspace.h"
#include "geoimport/Importer.h"
#include "bitmap/FileNameConvention.h"
#include "common/NumberText.h"
#include "common/PathParts.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kartivo::test {
namespace {

class ImportPicture : public testing::Test {
protected:
    void SetUp() override {
        form_.Form_Load();
        // Tokyo in Web Mercator: copied as it is.
        MakePicture({.crs = "EPSG:3857", .geoTransform = {15540300, 750, 0, 4273000, 0, -1000}}, source_);
    }

    // The window's import, as the workspace hands it to the georeferencing.
    kartivo::ImportByPoints ImportByPoints() {
        return [this](const std::string& picture, const std::vector<ControlPoint>& points, PointTransform transform,
                      const std::string& crsWkt) { return form_.ImportPicture(picture, points, transform, crsWkt); };
    }

    TempFolder folder_;
    const std::string source_ = folder_.File("Tokyo.tif");
    ScriptedUserInterface ui_;
    Workspace workspace_{ui_};
    Form1& form_ = workspace_.form;
};

// Declined in the save dialog, nothing is written; then the named bitmap is proposed beside the
// source and loaded as if dropped on "In".
TEST_F(ImportPicture, ADropProposesTheNamedBitmapAndLoadsIt) {
    const std::vector<std::string> before = FolderEntries(folder_.Path());
    ui_.dialogAnswers = {"", folder_.File("dropped.bmp")};
    form_.lblDragIn_OLEDragDrop({source_});
    EXPECT_EQ(FolderEntries(folder_.Path()), before);
    form_.lblDragIn_OLEDragDrop({source_});
    const std::string proposal = ui_.saveRequests.back().initialFileName;
    const FileNameCorners proposed = ReadFileNameConvention(proposal);
    EXPECT_TRUE(proposed.name == "Tokyo" && proposed.corners && GetParentFolderName(proposal) == folder_.Path().string()) << proposal;
    EXPECT_EQ(form_.txtInFilePathData.Text() + " " + form_.lblImageWidthData.Text() + " " + form_.lblColorDepthData.Text(),
              folder_.File("dropped.bmp") + " 40 24");
    EXPECT_TRUE(ui_.MessageTexts().empty()) << ui_.MessageTexts().front();
    EXPECT_EQ(ui_.busyChanges.back(), false) << "the pointer is no longer busy";
}

// A file of several pictures offers them; Cancel imports none, and the one picked is imported
// beside the file and loaded.
TEST_F(ImportPicture, AFileOfSubdatasetsImportsThePicturePicked) {
    const std::string nc = folder_.File("two.nc");
    MakeNetcdf(nc, false);
    ui_.choiceAnswers = {std::nullopt, 1};
    ui_.dialogAnswers = {folder_.File("picked.bmp")};
    EXPECT_FALSE(form_.ImportPicture(nc));
    EXPECT_TRUE(ui_.saveRequests.empty());
    form_.lblDragIn_OLEDragDrop({nc});
    ASSERT_EQ(ui_.saveRequests.size(), 1u);
    EXPECT_EQ(GetParentFolderName(ui_.saveRequests[0].initialFileName), folder_.Path().string());
    EXPECT_EQ(form_.txtInFilePathData.Text(), folder_.File("picked.bmp"));
    const auto green = geoimport::TheImporter().Prepare("NETCDF:\"" + nc + "\":green", {});
    ASSERT_TRUE(green.job);
    ASSERT_EQ(green.job->Write({folder_.File("green.bmp")}).error, geoimport::ImportError::None);
    EXPECT_EQ(DecodeFile(folder_.File("picked.bmp")).pixels, DecodeFile(folder_.File("green.bmp")).pixels);
}

// A picture across 180 degrees: the west part is saved where asked and loaded, the east part
// beside it under its own name, and the message names both.
TEST_F(ImportPicture, APictureAcross180IsSavedInTwoPartsAndTheWestOneLoaded) {
    const std::string across = folder_.File("Bering.tif");
    MakePicture({.crs = "EPSG:4326", .geoTransform = {179, 0.05, 0, 60, 0, -0.05}}, across);
    ui_.dialogAnswers = {folder_.File("west.bmp")};
    form_.lblDragIn_OLEDragDrop({across});
    EXPECT_EQ(ReadFileNameConvention(ui_.saveRequests.back().initialFileName).name, "Bering_west");
    EXPECT_EQ(form_.txtInFilePathData.Text(), folder_.File("west.bmp"));
    ASSERT_EQ(ui_.MessageTexts().size(), 1u);
    const std::string message = ui_.MessageTexts().back();
    const std::size_t east = message.find(folder_.File("Bering_east("));
    ASSERT_NE(east, std::string::npos) << message;
    EXPECT_NE(message.find(folder_.File("west.bmp")), std::string::npos) << message;
    EXPECT_TRUE(std::filesystem::exists(message.substr(east, message.find(".bmp", east) + 4 - east))) << message;
}

// From the menu: Cancel in the progress dialog, then a picture without a georeference.
TEST_F(ImportPicture, CancelAndRefusalsLeaveNothing) {
    const std::string plain = folder_.File("plain.tif");
    MakePicture({.georeferenced = false}, plain);
    const std::vector<std::string> before = FolderEntries(folder_.Path());

    ui_.cancelAtFirstStep = true;
    ui_.dialogAnswers = {source_, folder_.File("out.bmp"), plain};
    form_.mnuFileImportPicture_Click();
    EXPECT_TRUE(ui_.MessageTexts().empty()) << "Cancel is the person's own choice";
    EXPECT_EQ(form_.txtInFilePathData.Text(), "");
    form_.mnuFileImportPicture_Click();
    ASSERT_EQ(ui_.MessageTexts().size(), 1u);
    EXPECT_NE(ui_.MessageTexts().back().find("no georeference"), std::string::npos) << ui_.MessageTexts().back();
    // Offered points instead and taken up, the scan opens for them; nothing is said.
    ui_.yesNoAnswers = {true};
    EXPECT_FALSE(form_.ImportPicture(plain));
    EXPECT_EQ(ui_.MessageTexts().size(), 1u);
    EXPECT_TRUE(workspace_.georeferencing.Active());

    // Dropped on "In", it is loaded, and refused, as before.
    form_.lblDragIn_OLEDragDrop({plain});
    EXPECT_EQ(ui_.MessageTexts().back(), "This file is not BMP.");
    EXPECT_EQ(FolderEntries(folder_.Path()), before);
    EXPECT_EQ(ui_.saveRequests.size(), 1u);
}

// Elevations are offered as shaded relief: declined, nothing is written or said; taken in
// colours, the relief is saved as 24-bit and loaded.
TEST_F(ImportPicture, ElevationsAreOfferedAsShadedRelief) {
    const std::string dem = folder_.File("dem.tif");
    MakePicture({.crs = "EPSG:3857", .geoTransform = {15540300, 750, 0, 4273000, 0, -1000}, .bands = 1,
                 .type = GDT_Float32}, dem);
    const std::vector<std::string> before = FolderEntries(folder_.Path());
    ui_.choiceAnswers = {2, 1};
    ui_.dialogAnswers = {folder_.File("relief.bmp")};
    EXPECT_FALSE(form_.ImportPicture(dem));
    EXPECT_EQ(FolderEntries(folder_.Path()), before);
    EXPECT_TRUE(form_.ImportPicture(dem));
    EXPECT_TRUE(ui_.MessageTexts().empty()) << ui_.MessageTexts().front();
    EXPECT_NE(ui_.asked.at(1).find(dem + " holds elevations"), std::string::npos) << ui_.asked.at(1);
    EXPECT_EQ(form_.txtInFilePathData.Text() + " " + form_.lblColorDepthData.Text(), folder_.File("relief.bmp") + " 24");
}

// The picture window shows a picture the window cannot load, as GDAL reads it, without the
// corners of the bitmap loaded before it.
TEST_F(ImportPicture, ThePictureWindowShowsAPictureOnlyGdalReads) {
    PictureView& view = workspace_.picture;
    const std::string before = folder_.File("Before(35,139,36,140).bmp");
    WriteAll(before, MakeBitmap({}));
    form_.LoadInputMap(before);
    form_.LoadInputMap(source_);
    view.SetViewport(80, 60);
    view.Show();
    ASSERT_EQ(view.Message(), "");
    const std::vector<ViewImage> images = view.Images();
    ASSERT_EQ(images.size(), 1U);
    const Decoded decoded = DecodeFile(source_);
    const auto first = [&](int band) { return std::uint32_t{decoded.pixels[static_cast<std::size_t>(band * 40 * 30)]}; };
    EXPECT_EQ(images[0].pixels[0], 0xff000000u | first(0) << 16 | first(1) << 8 | first(2));
    EXPECT_FALSE(view.Band());
    EXPECT_EQ(view.PointerText(40, 30), "");
}

// A scan the import refuses is offered for points; points typed by the corner boxes' rules are
// fitted at every change, kept beside it, offered again, and warp it to the corners its own
// georeference would have given.
TEST_F(ImportPicture, AScanGetsItsGeoreferenceFromPointsPlacedInTheWindow) {
    const std::array<double, 6> placed{139.0, 0.01, 0, 36.0, 0, -0.01};
    const std::string scan = folder_.File("scan.tif");
    MakePicture({.crs = "EPSG:4326", .geoTransform = placed}, folder_.File("original.tif"));
    MakePicture({.georeferenced = false}, scan);
    std::string offered;
    form_.offerGeoreference = [&offered](const std::string& path) { return offered = path, true; };
    EXPECT_FALSE(form_.ImportPicture(scan));
    EXPECT_EQ(offered, scan);
    EXPECT_TRUE(ui_.MessageTexts().empty());

    PictureView& view = workspace_.picture;
    Georeferencing& points = workspace_.georeferencing;
    points.Start(scan);
    EXPECT_TRUE(points.Active());
    ui_.textAnswers = {"91", std::nullopt, "35.9", std::nullopt, "+35°54' 00.0000''", "139.1", "35°48' N", "139.3 N",
                       "139.3E", "35.75", "139.35"};
    for (const auto& [column, row] : {std::pair{5.0, 5.0}, {10.0, 10.0}, {10.0, 10.0}, {30.0, 20.0}, {35.0, 25.0}}) {
        points.AddAt(column, row);
    }
    // A refused text is asked for again, filled in to be mended, until it is read or cancelled.
    EXPECT_EQ(ui_.MessageTexts(), (std::vector<std::string>{
                                      "\"91\" is beyond 90°: a latitude lies from -90 to 90.",
                                      "\"139.3 N\" is not a longitude: N and S mark a latitude.",
                                  }));
    ASSERT_EQ(ui_.filledIn.size(), 11U);
    EXPECT_EQ(ui_.filledIn[1] + "|" + ui_.filledIn[8], "91|139.3 N");
    EXPECT_EQ(ui_.asked[7], ui_.asked[8]);
    ASSERT_EQ(points.Points().size(), 3U) << "cancelled points are not added";
    EXPECT_TRUE(FileExists(PointsPathFor(scan))) << "every edit is kept beside the scan";
    EXPECT_EQ(points.Rows()[1][0] + " " + points.Rows()[1][3] + " " + points.Rows()[1][4], "2 +35.800000 +139.300000");
    EXPECT_NEAR(points.Points()[0].mapY, 35.9, 1e-12);  // typed as DMS
    EXPECT_EQ(points.Points()[0].column + points.Points()[0].mapX, 10 + 139.1);
    EXPECT_TRUE(points.CanGeoreference());
    EXPECT_NEAR(points.Fit().rms, 0, 1e-6);
    EXPECT_EQ(points.Summary(), "RMS 0.00 px over 3 points");
    // The pointer's place through the fit: 0.01 degrees a pixel from 139 east, 36 north.
    EXPECT_EQ(points.PositionText(20, 15), "Column 20.0, row 15.0    +35.8500000000 +139.2000000000");
    points.SetTransform(PointTransform::Polynomial2);
    EXPECT_FALSE(points.CanGeoreference());
    points.SetTransform(PointTransform::Polynomial1);
    points.Remove(0);
    EXPECT_FALSE(points.CanGeoreference());
    ASSERT_TRUE(points.Undo());
    EXPECT_EQ(points.PointNear(31, 20.5, 2), 1U);
    EXPECT_FALSE(points.PointNear(20, 20, 2));
    ui_.textAnswers = {"35.91", "139.1", std::nullopt};
    points.Edit(points.Points().size());  // no such point: nothing is asked
    points.Edit(0);
    EXPECT_NE(ui_.asked.back().find("of point 1,"), std::string::npos) << ui_.asked.back();
    points.Edit(0);  // cancelled: nothing changes
    EXPECT_NEAR(points.Points()[0].mapY, 35.91, 1e-12);
    points.SetEnabled(2, false);
    EXPECT_EQ(points.Rows()[2][5] + points.Rows()[0][6], "no") << "without a fit no residual is shown";
    points.SetEnabled(1, false);
    EXPECT_EQ(points.Summary().substr(0, 39), "Cannot georeference with 1 point: the p");
    ASSERT_TRUE(points.Undo() && points.Undo() && points.Undo());

    ui_.dialogAnswers = {folder_.File("placed.bmp")};
    ASSERT_TRUE(points.Georeference());
    const auto original = geoimport::TheImporter().Prepare(folder_.File("original.tif"), {});
    ASSERT_TRUE(original.job);
    const auto expected = original.job->Parts()[0].corners;
    const auto name = ReadFileNameConvention(ui_.saveRequests.back().initialFileName).corners;
    ASSERT_TRUE(name);
    EXPECT_NEAR(name->bottom, expected.bottom, 1e-6);
    EXPECT_NEAR(name->right, expected.right, 1e-6);
    EXPECT_EQ(form_.txtInFilePathData.Text(), folder_.File("placed.bmp"));
    EXPECT_FALSE(points.Active()) << "the window's own picture took the scan's place";

    Georeferencing again(view, ui_, ImportByPoints());
    ui_.yesNoAnswers = {true};
    again.Start(scan);
    EXPECT_EQ(again.Points(), points.Points()) << "the points kept beside the scan come back";

    // Rows written upwards put every point above the scan: said, and nothing is fitted; a point
    // moved onto it fits the set, and the others are named.
    std::vector<ControlPoint> upwards = points.Points();
    for (ControlPoint& p : upwards) p.row = -p.row;
    const std::string text = WritePointsText({points.System().wkt, upwards}, {});
    WriteAll(PointsPathFor(scan), Bytes(text.begin(), text.end()));
    ui_.yesNoAnswers = {true};
    std::string behind;
    ui_.onAsk = [&] { behind = again.Summary(); };
    again.Start(scan);
    ui_.onAsk = nullptr;
    EXPECT_EQ(behind.substr(0, 33), "Cannot georeference with 0 points") << "no last fit behind the question";
    EXPECT_FALSE(again.CanGeoreference());
    EXPECT_EQ(again.Summary().substr(0, 105), "Cannot georeference with 3 points: every enabled point lies outside the "
                                              "picture (40 x 30 pixels): points ");
    again.MoveTo(0, 10, 10);
    EXPECT_TRUE(again.CanGeoreference());
    EXPECT_EQ(again.Summary().substr(again.Summary().find(';')),
              "; points 2 (column 30, row -20) and 3 (column 35, row -25) lie outside the picture (40 x 30 pixels).");
}

// Points typed as easting and northing in a map projection named once for the set place the scan
// where its own georeference does; the system is kept with them. A file from a georeferencer
// that names no system asks for it; one not used is not overwritten by the next edit.
TEST_F(ImportPicture, PointsInAMapProjectionNamedForTheSet) {
    const std::array<double, 6> utm{371000, 675, 0, 3963000, 0, -1100};
    const std::string scan = folder_.File("scan.tif");
    MakePicture({.crs = "EPSG:32654", .geoTransform = utm}, folder_.File("original.tif"));
    MakePicture({.georeferenced = false}, scan);
    PictureView& view = workspace_.picture;
    Georeferencing& points = workspace_.georeferencing;
    points.Start(scan);
    EXPECT_TRUE(points.System().geographic);
    ui_.textAnswers = {"EPSG:4978", "no such system", "EPSG:2227", "EPSG:4326", "EPSG:32654"};
    EXPECT_FALSE(points.ChooseSystem());
    EXPECT_FALSE(points.ChooseSystem());
    ASSERT_TRUE(points.ChooseSystem());
    ASSERT_TRUE(points.ChooseSystem());
    ASSERT_TRUE(points.Undo());
    EXPECT_EQ(points.SystemSummary(), "NAD83 / California zone 3 (ftUS): easting, northing in US survey feet");
    ASSERT_TRUE(points.ChooseSystem());
    ASSERT_EQ(ui_.MessageTexts().size(), 2U);
    EXPECT_NE(ui_.MessageTexts()[0].find("neither latitude and longitude"), std::string::npos) << ui_.MessageTexts()[0];
    EXPECT_EQ(points.SystemSummary(), "WGS 84 / UTM zone 54N: easting, northing in metres");
    EXPECT_EQ(points.ColumnTitles()[3] + points.ColumnTitles()[4], "EastingNorthing");

    const auto at = [&utm](double column, double row) {
        return std::pair{GeneralNumberText(utm[0] + column * utm[1]), GeneralNumberText(utm[3] + row * utm[5])};
    };
    ui_.textAnswers = {"371000", "3963000x", "35°36'"};
    points.AddAt(0, 0);
    ASSERT_EQ(ui_.MessageTexts().size(), 4U);
    EXPECT_EQ(ui_.MessageTexts()[2], "\"3963000x\" is not a number of metres.");
    EXPECT_EQ(ui_.MessageTexts()[3], "\"35°36'\" is not a number of metres.") << "DMS is no northing";
    EXPECT_EQ(ui_.filledIn.back(), "35°36'") << "asked again until cancelled";
    EXPECT_TRUE(points.Points().empty());
    for (const auto& [column, row] : {std::pair{0.0, 0.0}, {40.0, 0.0}, {0.0, 30.0}, {25.5, 12.5}}) {
        ui_.textAnswers = {at(column, row).first, at(column, row).second};
        points.AddAt(column, row);
    }
    // Off by far but disabled, a fifth point is no one's worst; where every enabled point is
    // met, none is.
    ui_.textAnswers = {at(10, 10).first, "3900000"};
    points.AddAt(10, 10);
    points.SetEnabled(4, false);
    EXPECT_FALSE(points.Worst());
    ASSERT_EQ(points.Points().size(), 5U);
    EXPECT_EQ(points.Points()[1].mapX, 371000 + 40 * 675);
    EXPECT_EQ(points.Rows()[2][3] + " " + points.Rows()[2][4], "371000.00 3930000.00");
    EXPECT_NEAR(points.Fit().rms, 0, 1e-6);
    ui_.dialogAnswers = {folder_.File("placed.bmp")};
    ASSERT_TRUE(points.Georeference());
    const auto original = geoimport::TheImporter().Prepare(folder_.File("original.tif"), {});
    ASSERT_TRUE(original.job);
    const MapCorners expected = original.job->Parts()[0].corners;
    const auto name = ReadFileNameConvention(ui_.saveRequests.back().initialFileName).corners;
    ASSERT_TRUE(name);
    for (const auto side : {&MapCorners::bottom, &MapCorners::left, &MapCorners::top, &MapCorners::right}) {
        EXPECT_NEAR((*name).*side, expected.*side, 1e-6);
    }
    EXPECT_EQ(ui_.saveRequests.back().title, "Save Georeferenced Picture");

    // Kept with its system and transform, the set comes back without a question; the next scan
    // is looked for where this one lies.
    points.SetTransform(PointTransform::Polynomial2);
    Georeferencing again(view, ui_, ImportByPoints());
    ui_.yesNoAnswers = {true};
    ui_.asked.clear();
    again.Start(scan);
    EXPECT_EQ(again.Points(), points.Points());
    EXPECT_EQ(again.System().name, "WGS 84 / UTM zone 54N");
    EXPECT_EQ(again.Transform(), PointTransform::Polynomial2);
    EXPECT_EQ(ui_.asked.size(), 1U);
    ui_.dialogAnswers = {""};
    again.ChoosePicture();
    EXPECT_EQ(ui_.openRequests.back().initialFolder, GetParentFolderName(scan));

    // Written without a system: asked, and the answer is the points' system.
    const std::string kept = PointsPathFor(scan);
    const std::string bare = WritePointsText({"", points.Points()}, {});
    WriteAll(kept, Bytes(bare.begin(), bare.end()));
    ui_.yesNoAnswers = {true, true};
    ui_.textAnswers = {"EPSG:32654", std::nullopt};
    again.Start(scan);
    EXPECT_NE(ui_.asked.back().find("name no coordinate system"), std::string::npos) << ui_.asked.back();
    EXPECT_EQ(again.Points(), points.Points());
    EXPECT_FALSE(again.System().geographic);
    // Asked and cancelled: nothing is used, and the next edit leaves the file as it was.
    WriteAll(kept, Bytes(bare.begin(), bare.end()));
    again.Start(scan);
    EXPECT_TRUE(again.Points().empty());
    ui_.textAnswers = {"35.6", "139.6"};
    again.AddAt(1, 1);
    EXPECT_EQ(again.Points().size(), 1U);
    EXPECT_EQ(ReadAll(kept), Bytes(bare.begin(), bare.end()));
}

// Named another system, points typed in latitude and longitude are converted, each keeping its
// place, or keep their numbers; either is one Undo. A point the new system cannot take refuses
// the conversion whole; the same system again asks nothing.
TEST_F(ImportPicture, ANewSystemConvertsThePointsOrKeepsTheirNumbers) {
    const std::string scan = folder_.File("scan.tif");
    MakePicture({.georeferenced = false}, scan);
    Georeferencing& points = workspace_.georeferencing;
    points.Start(scan);
    ui_.textAnswers = {"25.52", "-78.49", "25.52", "-78.45", "25.49", "-78.49", "25.508", "-78.463"};
    for (const auto& [column, row] : {std::pair{0.0, 0.0}, {40.0, 0.0}, {0.0, 30.0}, {25.0, 12.0}}) {
        points.AddAt(column, row);
    }
    const std::vector<ControlPoint> typed = points.Points();
    const PointFit fit = points.Fit();
    ASSERT_GT(fit.rms, 0.5);
    ui_.asked.clear();
    // The points lie on the far side of the Earth for an orthographic view centred at 100 degrees east.
    ui_.textAnswers = {"+proj=ortho +lon_0=100 +datum=WGS84", "EPSG:32618", "EPSG:32618", "EPSG:32618", "EPSG:4326",
                       "EPSG:32618"};
    ui_.choiceAnswers = {0, std::nullopt, 0, 0, 1};
    EXPECT_FALSE(points.ChooseSystem());
    ASSERT_EQ(ui_.MessageTexts().size(), 1U);
    EXPECT_NE(ui_.MessageTexts()[0].find("point 1 to the new system: "), std::string::npos) << ui_.MessageTexts()[0];
    EXPECT_FALSE(points.ChooseSystem()) << "cancelled";
    EXPECT_EQ(ui_.asked.size(), 4U) << "each system is followed by the question";
    EXPECT_EQ(points.Points(), typed);
    EXPECT_TRUE(points.System().geographic);

    ASSERT_TRUE(points.ChooseSystem());
    EXPECT_EQ(points.System().name, "WGS 84 / UTM zone 18N");
    // gdaltransform -s_srs EPSG:4326 -t_srs EPSG:32618 of -78.49 25.52
    EXPECT_NEAR(points.Points()[0].mapX, 149184.446426468, 1e-6);
    EXPECT_NEAR(points.Points()[0].mapY, 2827135.55459383, 1e-6);
    // A polynomial fitted in metres misses by a little else than one fitted in degrees: the
    // projection curves over the scan. Read as metres, the degrees would miss by nothing.
    EXPECT_NEAR(points.Fit().rms, fit.rms, 0.01);
    for (std::size_t i = 0; i < typed.size(); ++i) {
        EXPECT_NEAR(points.Fit().residuals[i].metres, fit.residuals[i].metres, 0.01 * fit.residuals[i].metres) << i;
    }
    const std::vector<ControlPoint> converted = points.Points();
    EXPECT_FALSE(points.ChooseSystem()) << "the same system";
    EXPECT_EQ(ui_.asked.size(), 7U);
    ASSERT_TRUE(points.ChooseSystem());
    for (std::size_t i = 0; i < typed.size(); ++i) {
        EXPECT_NEAR(points.Points()[i].mapX, typed[i].mapX, 1e-9) << i;
        EXPECT_NEAR(points.Points()[i].mapY, typed[i].mapY, 1e-9) << i;
    }
    ASSERT_TRUE(points.Undo());
    EXPECT_EQ(points.Points(), converted);
    ASSERT_TRUE(points.Undo());
    EXPECT_EQ(points.Points(), typed);
    EXPECT_TRUE(points.System().geographic);

    ASSERT_TRUE(points.ChooseSystem());
    EXPECT_NE(ui_.asked.back().find("in WGS 84. Convert them to WGS 84 / UTM zone 18N"), std::string::npos);
    EXPECT_EQ(points.Points(), typed);
    EXPECT_EQ(points.Rows()[0][3] + " " + points.Rows()[0][4], "-78.49 25.52");
    ASSERT_TRUE(points.Undo() && points.Undo());
    EXPECT_TRUE(points.System().geographic);
    EXPECT_EQ(points.Points().size(), 3U) << "no step was left by the refusal or the Cancel";
}

// A folder that takes no file: the points stay in the window, the failure is said once and no
// file is left half-written beside the scan.
// The points kept beside a scan never take the place of the scan or of a file GDAL reads with
// it, by whatever link their name leads there.
TEST_F(ImportPicture, ThePointsNeverReplaceTheScan) {
    const std::string scan = folder_.File("scan.tif"), aux = scan + ".aux.xml", kept = PointsPathFor(scan);
    MakePicture({.georeferenced = false}, scan);
    const std::string pam = "<PAMDataset><Metadata><MDI key=\"k\">v</MDI></Metadata></PAMDataset>";
    WriteAll(aux, Bytes(pam.begin(), pam.end()));
    std::filesystem::create_directory_symlink(folder_.Path(), folder_.File("via"));
    const std::vector<std::pair<std::string, std::function<void()>>> links{
        {scan, [&] { std::filesystem::create_symlink(scan, kept); }},
        {scan, [&] { std::filesystem::create_hard_link(scan, kept); }},
        {aux, [&] { std::filesystem::create_symlink(folder_.File("via/scan.tif.aux.xml"), kept); }},
    };
    for (const auto& [target, link] : links) {
        std::filesystem::remove(kept);
        link();
        const Bytes before = ReadAll(target);
        PictureView view(form_);
        Georeferencing points(view, ui_, ImportByPoints());
        ui_.yesNoAnswers = {false};
        ui_.textAnswers = {"35.8", "139.6", "35.7", "139.7", "35.7", "139.6"};
        points.Start(scan);
        for (const double at : {1.0, 20.0, 30.0}) points.AddAt(at, at * at / 40);
        ui_.dialogAnswers = {folder_.File("placed.bmp")};
        EXPECT_FALSE(points.Georeference());
        EXPECT_EQ(ReadAll(target), before);
        ASSERT_FALSE(ui_.MessageTexts().empty());
        EXPECT_EQ(ui_.MessageTexts().back(), "Cannot make " + kept + ": It is one of the files being read.");
    }
}

TEST_F(ImportPicture, PointsThatCannotBeKeptAreSaidOnce) {
    const std::string scan = folder_.File("scan.tif");
    MakePicture({.georeferenced = false}, scan);
    PictureView view(form_);
    FaultyFileSystem refusing(FailingStep::Rename);
    Georeferencing points(view, ui_, ImportByPoints(), refusing);
    points.Start(scan);
    const std::vector<std::string> before = FolderEntries(folder_.Path());
    ui_.textAnswers = {"35.8", "139.6", "35.7", "139.7"};
    points.AddAt(1, 1);
    points.AddAt(20, 20);
    points.SetTransform(PointTransform::ThinPlateSpline);  // kept beside the points: not said again
    EXPECT_EQ(points.Points().size(), 2U);
    ASSERT_EQ(ui_.MessageTexts().size(), 1U);
    EXPECT_NE(ui_.MessageTexts()[0].find("Input/output error"), std::string::npos) << ui_.MessageTexts()[0];
    EXPECT_EQ(FolderEntries(folder_.Path()), before);
}

}  // namespace
}  // namespace kartivo::test
