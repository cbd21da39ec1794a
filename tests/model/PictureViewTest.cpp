#include "app/Workspace.h"

#include "ModelTestSupport.h"
#include "bitmap/BitmapPixels.h"
#include "common/FileCommon.h"
#include "geo/CoordinateText.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kartivo {
namespace {

using test::TempFolder;
using test::TestBitmap;

class PictureViewTest : public testing::Test {
protected:
    // A picture whose name carries its corners; its rows show their stored index as colour.
    std::string Picture(const std::string& name, TestBitmap spec) {
        const std::string path = folder.File(name);
        test::WriteAll(path, test::MakeBitmap(spec));
        return path;
    }

    // The picture pixel under a viewport position.
    std::pair<double, double> PixelAt(double x, double y) const {
        return {view.Left() + x / view.Scale(), view.Top() + y / view.Scale()};
    }
    // The viewport position of a picture pixel's centre.
    std::pair<double, double> CentreOf(double column, double row) const {
        return {(column + 0.5 - view.Left()) * view.Scale(), (row + 0.5 - view.Top()) * view.Scale()};
    }

    TempFolder folder;
    test::ScriptedUserInterface ui;
    Workspace workspace{ui};
    Form1& form = workspace.form;
    PictureView& view = workspace.picture;
    int changes = 0;
};

TEST_F(PictureViewTest, ReadsOnlyOnceShownAndFollowsEveryLoad) {
    view.onChanged = [this] { ++changes; };
    form.Form_Load();
    form.LoadInputMap(Picture("First(10,20,30,40).bmp", {.width = 40, .height = 30}));
    EXPECT_EQ(changes, 0);  // nobody looks: nothing read
    view.SetViewport(400, 300);
    view.Show();
    EXPECT_EQ(view.Message(), "");
    EXPECT_EQ(view.ShownWidth(), 40);
    EXPECT_EQ(view.Title(), "Kartivo Picture - First(10,20,30,40).bmp");
    EXPECT_DOUBLE_EQ(view.Scale(), 10);  // fitted

    form.LoadInputMap(Picture("Second.bmp", {.width = 8, .height = -5}));
    EXPECT_EQ(view.ShownHeight(), 5);
    EXPECT_EQ(view.Title(), "Kartivo Picture - Second.bmp");
    EXPECT_GT(changes, 1);

    const std::string text = folder.File("text.bmp");
    test::WriteAll(text, {'h', 'e', 'l', 'l', 'o'});
    form.LoadInputMap(text);
    EXPECT_EQ(view.Message(), "Cannot show " + text + ": it is not a BMP picture.");
    EXPECT_TRUE(view.Images().empty());
    form.LoadInputMap(folder.File("gone.bmp"));
    EXPECT_EQ(view.Message(), "Cannot show " + folder.File("gone.bmp") + ": No such file or directory.");
}

TEST_F(PictureViewTest, ThePointerReadsTheCornersAtTheCornerPixelsAndZoomKeepsItsPoint) {
    form.Form_Load();
    form.LoadInputMap(Picture("Map(10,20,30,40).bmp", {.width = 210, .height = 110}));
    view.SetViewport(630, 330);
    view.Show();
    const auto textAt = [this](double column, double row) {
        const auto [x, y] = CentreOf(column, row);
        return view.PointerText(x, y);
    };
    EXPECT_EQ(textAt(0, 0), "+30.0000000000 +20.0000000000    " + DegreeToDmsText(30) + " " + DegreeToDmsText(20));
    EXPECT_EQ(textAt(209, 109).substr(0, 29), "+10.0000000000 +40.0000000000");
    EXPECT_EQ(view.PointerText(-1, 5), "");
    // Anywhere on a pixel the pointer reads its centre, zoomed out or in: the top-left pixel's
    // outer corner is still the corner boxes' +30 / +20.
    for (const double zoom : {1.0, 4.0}) {
        view.ZoomAt(0, 0, zoom);
        const auto [x, y] = CentreOf(0, 0);
        for (const double off : {-0.49, 0.0, 0.49}) {
            EXPECT_EQ(view.PointerText(x + off * view.Scale(), y + off * view.Scale()).substr(0, 29),
                      "+30.0000000000 +20.0000000000") << zoom << " " << off;
        }
    }
    view.Fit();

    // Each grid line lies on the pixel whose reading is nearest its round value.
    std::vector<std::string> labels;
    for (const GridLine& line : view.Grid()) {
        labels.push_back(line.label);
        const auto readAt = [&](double shift) {
            const auto [x, y] = line.latitude ? CentreOf(100, line.position - 0.5 + shift)
                                              : CentreOf(line.position - 0.5 + shift, 50);
            return std::stod(view.PointerText(x, y).substr(line.latitude ? 0 : 15, 14));
        };
        const double value = std::stod(line.label.substr(0, line.label.find(DegreeSign)));
        const double inward = line.position < (line.latitude ? 55 : 105) ? 1 : -1;
        const double halfPixel = std::fabs(readAt(inward) - readAt(0)) / 2;
        EXPECT_LE(std::fabs(readAt(0) - value), halfPixel * (1 + 1e-9)) << line.label;
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"+10°00'", "+15°00'", "+20°00'", "+25°00'", "+30°00'", "+20°00'",
                                                "+25°00'", "+30°00'", "+35°00'", "+40°00'"}));

    for (const double factor : {2.0, 1.5, 0.5}) {
        const auto before = PixelAt(100, 70);
        view.ZoomAt(100, 70, factor);
        const auto after = PixelAt(100, 70);
        EXPECT_NEAR(after.first, before.first, 1e-9) << factor;
        EXPECT_NEAR(after.second, before.second, 1e-9) << factor;
    }
    // The keys zoom around the middle of the view.
    const auto middle = PixelAt(315, 165);
    view.ZoomIn();
    EXPECT_NEAR(PixelAt(315, 165).first, middle.first, 1e-9);
    EXPECT_NEAR(PixelAt(315, 165).second, middle.second, 1e-9);
    view.OneToOne();
    EXPECT_DOUBLE_EQ(view.Scale(), 1);
    view.PanBy(-1e6, -1e6);  // a picture smaller than the window stays in its middle
    EXPECT_DOUBLE_EQ(view.Left(), (210 - 630) / 2.0);
}

// Zoomed in past the overview, the part in view is read again at the zoom's own step, and a
// small move within what was read reads nothing.
TEST_F(PictureViewTest, ZoomedInTheRowsInViewAreReadAtTheirOwnStep) {
    form.Form_Load();
    form.LoadInputMap(Picture("Big.bmp", {.width = 400, .height = 300}));
    view.SetViewport(100, 75);
    view.Show();
    ASSERT_EQ(view.Images().size(), 1U);  // the overview, every 4th row and column
    view.OneToOne();
    const std::vector<ViewImage> images = view.Images();
    ASSERT_EQ(images.size(), 2U);
    const ViewImage& detail = images[1];
    EXPECT_EQ(detail.columns, detail.area.right - detail.area.left) << "one sample per pixel";
    EXPECT_TRUE(detail.area.left <= view.Left() && detail.area.right >= view.Left() + 100);
    EXPECT_TRUE(detail.area.top <= view.Top() && detail.area.bottom >= view.Top() + 75);
    // Each row shows its stored row's marker: row r from the top is stored row 299 - r.
    const auto row = static_cast<std::int32_t>(detail.area.top) + 3;
    EXPECT_EQ(detail.pixels[3 * static_cast<std::size_t>(detail.columns)] & 0xff, test::RowMarker(299 - row));
    view.PanBy(-5, -5);
    EXPECT_EQ(view.Images()[1].pixels, detail.pixels) << "nothing read again";
    view.PanBy(-100, -100);
    EXPECT_NE(view.Images()[1].area.left, detail.area.left);
    // At half size every second pixel is read, of the part in view.
    view.ZoomAt(50, 37.5, 0.5 / view.Scale());
    const ViewImage half = view.Images().back();
    EXPECT_EQ(half.columns * 2, half.area.right - half.area.left);
    EXPECT_TRUE(half.area.left <= view.Left() && half.area.right >= view.Left() + 200);
    EXPECT_TRUE(half.area.top <= view.Top() && half.area.bottom >= view.Top() + 150);
    for (int i = 0; i < 40; ++i) view.ZoomIn();
    EXPECT_DOUBLE_EQ(view.Scale(), 32) << "32 screen pixels a pixel at the most";
    const double centreX = view.Left() + 50 / view.Scale(), centreY = view.Top() + 37.5 / view.Scale();
    view.ZoomOut();
    EXPECT_LT(view.Scale(), 32);
    EXPECT_NEAR(view.Left() + 50 / view.Scale(), centreX, 1e-9) << "zoomed out around the middle of the view";
    EXPECT_NEAR(view.Top() + 37.5 / view.Scale(), centreY, 1e-9);
}

// The band covers exactly the rows Make copies first and last, and the preview is Make's
// output row for row.
TEST_F(PictureViewTest, BandAndPreviewAreWhatMakeWrites) {
    form.Form_Load();
    const std::string input = Picture("Band(0,10,50,20).bmp", {.width = 16, .height = 40});
    form.LoadInputMap(input);
    view.SetViewport(1600, 800);
    view.Show();
    ASSERT_TRUE(test::LeaveBox(form, form.txtOutBottomLatitudeDegree, "12.5"));
    ASSERT_TRUE(test::LeaveBox(form, form.txtOutTopLatitudeDegree, "44"));
    form.txtImageHeightData.SetText("57");
    form.txtOutFilePathData.SetText(folder.File("out.bmp"));
    form.cmdMake_Click();
    OpenAttempt made = DefaultFileSystem().Open(folder.File("out.bmp"), OpenMode::OpenInput);
    ASSERT_TRUE(made.file);
    const PixelLayoutResult layout = ReadPixelLayout(*made.file);
    const ReducedPictureResult output = ReadReducedPicture(*made.file, layout.layout, {0, 0, 16, 57}, 1);
    ASSERT_EQ(output.error, PixelReadError::None);

    // The output's rows are the input's rows: its first and last name the band's edges.
    const auto rowOf = [](std::uint32_t pixel) {
        for (int stored = 0; stored < 40; ++stored) {
            if (test::RowMarker(stored) == (pixel & 0xff)) return 39 - stored;
        }
        return -1;
    };
    const auto band = view.Band();
    ASSERT_TRUE(band);
    EXPECT_EQ(band->top, rowOf(output.picture.pixels.front()));
    EXPECT_EQ(band->bottom, rowOf(output.picture.pixels.back()) + 1);
    EXPECT_DOUBLE_EQ(band->left, 0);
    EXPECT_DOUBLE_EQ(band->right, 16);

    view.SetPreview(true);
    EXPECT_FALSE(view.Band());
    const auto images = view.Images();
    ASSERT_EQ(images.size(), 1U);
    ASSERT_EQ(images[0].rows, 57);
    EXPECT_TRUE(std::equal(output.picture.pixels.begin(), output.picture.pixels.end(), images[0].pixels));
    const auto [x, y] = CentreOf(0, 56);  // the output's rows lie at its latitudes
    EXPECT_EQ(view.PointerText(x, y).substr(0, 14), "+12.5000000000");
    EXPECT_EQ(view.PointerText(CentreOf(0, 0).first, CentreOf(0, 0).second).substr(0, 14), "+44.0000000000");
    for (const GridLine& line : view.Grid()) {  // the preview's lines lie at their latitudes too
        if (!line.latitude) continue;
        const auto [gx, gy] = CentreOf(0, line.position - 0.5);
        const double read = std::stod(view.PointerText(gx, gy).substr(0, 14));
        EXPECT_NEAR(read, std::stod(line.label.substr(0, line.label.find(DegreeSign))), (44 - 12.5) / 56) << line.label;
    }
    EXPECT_EQ(view.BandNote(), "");

    // A height too large to walk row by row (a typo) is not previewed.
    form.txtImageHeightData.SetText("16777217");
    ASSERT_TRUE(test::LeaveBox(form, form.txtOutTopLatitudeDegree, "44"));
    view.SetPreview(true);
    EXPECT_FALSE(view.Previewing());
    view.SetPreview(false);
    form.txtImageHeightData.SetText("57");

    // Out longitudes only go into the map data file: the band stays whole, the lines apart.
    view.SetPreview(false);
    ASSERT_TRUE(test::LeaveBox(form, form.txtOutLeftLongitudeDegree, "12.5"));
    ASSERT_EQ(view.OutLongitudes().size(), 2U);
    EXPECT_NEAR(view.OutLongitudes()[0], 2.5 * 15 / 10 + 0.5, 1e-9);  // the column whose centre is 12.5
    EXPECT_DOUBLE_EQ(view.Band()->right, 16);
    EXPECT_NE(view.BandNote().find("+12.5000000000 and +20.0000000000, other than the +10"), std::string::npos);

    // A scan, a bitmap one too, is shown as it is whatever the preview: it has no output.
    view.SetPreview(true);
    view.ShowPicture(Picture("scan.bmp", {.width = 30, .height = 20}));
    EXPECT_FALSE(view.PreviewAvailable());
    EXPECT_EQ(view.ShownHeight(), 20);
    EXPECT_FALSE(view.Images().empty());
    EXPECT_FALSE(view.Band());
    EXPECT_EQ(view.PointerText(1, 1), "");
    EXPECT_EQ(view.BandNote(), "Preview Output shows the window's input picture only.");
}

}  // namespace
}  // namespace kartivo
