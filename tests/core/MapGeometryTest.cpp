#include "bitmap/MapGeometry.h"

#include "TestSupport.h"

#include <cmath>
#include <tuple>

namespace kartivo {
namespace {

// The band's end rows and every preview row are the rows Make copies, counted from the picture's
// top, for every output height.
TEST(MapGeometryTest, BandAndPreviewShowTheRowsMakeCopies) {
    for (const RowMapping& m : test::Mappings()) {
        SCOPED_TRACE(test::Describe(m));
        const test::Rows made = test::ExpectedRows(m);
        // Past the end (of an empty output) there is no row.
        const auto fromTop = [&](std::size_t i) { return i >= made.size() || made[i] == BlankRow ? BlankRow : m.inputRows - 1 - made[i]; };
        const OutputBand band = PlaceOutputBand(m);
        EXPECT_EQ(std::tuple(band.bottomRow.value_or(BlankRow), band.topRow.value_or(BlankRow)), std::tuple(fromTop(0), fromTop(made.size() - 1)));
        for (const std::int32_t shown : {0, 1, 4, 9, 20}) {
            test::Rows want(static_cast<std::size_t>(shown));
            for (std::size_t j = 0; j < want.size(); ++j) want[j] = fromTop(made.size() - 1 - std::size_t((j + 0.5) * made.size() / shown));
            EXPECT_EQ(PreviewRows(m, shown), want) << shown << " preview rows";
        }
    }
}

// Row centres lie at the corners' latitudes and evenly spaced in Mercator ordinate between (the
// middle row of 0..60 at 35.26...), column centres at the corners' longitudes; a position comes
// back from its coordinates, also outside the picture (y -3 lies at 85 degrees north). The
// output band's edges lie at the centres of the rows of its latitudes, and nowhere on an input
// of one row.
TEST(MapGeometryTest, PositionsFollowTheRowsMakeTakes) {
    const MercatorPicture even({-60, 10, 60, 20}, 11, 5), north({0, -20, 60, -10}, 3, 3);
    const std::tuple<double, double> cases[] = {
        {even.LatitudeAt(0.5), 60}, {even.LatitudeAt(4.5), -60}, {even.LatitudeAt(2.5), 0}, {north.LatitudeAt(0.5), 60},
        {north.LatitudeAt(1.5), 35.2643896827546}, {even.LongitudeAt(0.5), 10}, {north.LongitudeAt(2.5), -10},
        {north.YAt(north.LatitudeAt(-3)), -3}, {north.YAt(north.LatitudeAt(2.25)), 2.25}, {even.XAt(even.LongitudeAt(-1.5)), -1.5},
        {PlaceOutputBand({-60, 60, 0, 60, 5, 2}).bottomY, 2.5}, {PlaceOutputBand({-60, 60, 0, 60, 5, 2}).topY, 0.5},
        {std::isfinite(PlaceOutputBand({0, 60, 0, 60, 1, 2}).bottomY), 0}};
    for (const auto& [got, want] : cases) EXPECT_NEAR(got, want, 1e-12);
    // Two rows are the fewest that place latitudes.
    EXPECT_TRUE(MercatorPicture({-60, 10, 60, 20}, 2, 2).Valid());
    EXPECT_FALSE(MercatorPicture({-60, 10, 60, 20}, 2, 1).Valid());
}

// From, to, pixels a degree and least spacing, then the lines wanted: the first and the step in
// minutes, and how many. 5' lie exactly 5 pixels apart at 60 a degree, and are just too close
// for 5.01, as 10' are for 10.01; many 1' lines from a negative start; the coarsest step; none
// that fit, no scale, a value that is not a number, and too many lines to draw.
TEST(MapGeometryTest, GridLinesTakeTheFinestStepThatFits) {
    const std::tuple<double, double, double, double, int, int, int> cases[] = {
        {35, 36, 60, 5, 2100, 5, 13}, {36, 35, 60, 5.01, 2100, 10, 7}, {-0.51, 10, 60, 1, -30, 1, 631}, {-50, 50, 1, 44.9, -2700, 2700, 3},
        {0, 1, 60, 10.01, 0, 15, 5}, {0, 90, 1, 45.1, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0}, {NAN, 1, 60, 1, 0, 0, 0}, {0, 1e12, 60, 1, 0, 0, 0}};
    for (const auto& [from, to, pixelsPerDegree, minSpacing, firstMinute, stepMinutes, count] : cases) {
        std::vector<double> want;
        for (int i = 0; i < count; ++i) want.push_back((firstMinute + i * stepMinutes) / 60.0);
        EXPECT_EQ(GridLines(from, to, pixelsPerDegree, minSpacing), want) << from << ".." << to << " at " << minSpacing;
    }
}

}  // namespace
}  // namespace kartivo
