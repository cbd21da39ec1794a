#include "bitmap/TileGrid.h"
#include "bitmap/TileRequest.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <tuple>

namespace kartivo {
namespace {

using Window = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
using Tiles = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;

Window WindowOf(const TileArea& a) { return {a.left, a.top, a.width, a.height}; }
Tiles TilesOf(const TileArea& a) { return {a.firstTileX, a.lastTileX, a.firstTileY, a.lastTileY}; }

// A box one hair across a place lands on the tile every slippy map puts that place in; boxes
// not on grid lines grow outward to whole pixels, boxes on them (or within 1e-6 pixel) do not.
TEST(TileGrid, CutsTheBoxOutwardToWholePixelsAndKnownTiles) {
    const double hair = 1e-7;
    // Tokyo's city hall is tile 909/403 at zoom 10 (pixel 232792.39, 103219.13).
    const double pyTokyo = PixelYAtLatitude(10, 35.6895);
    const struct {
        int zoom;
        MapCorners box;
        Window window;
        Tiles tiles;
    } cases[] = {
        {10, {35.6895 - hair, 139.6917 - hair, 35.6895 + hair, 139.6917 + hair}, {232792, 103219, 1, 1}, {909, 909, 403, 403}},
        {0, {-85.1, -180, 85.1, 180}, {0, 0, 256, 256}, {0, 0, 0, 0}},
        {2, {-85.1, -180, 85.1, 180}, {0, 0, 1024, 1024}, {0, 3, 0, 3}},
        // Just north-east of the equator and Greenwich: zoom 1's tile 1/0, its first row above 256.
        {1, {0.001, 0.001, 0.002, 0.002}, {256, 255, 1, 1}, {1, 1, 0, 0}},
        {1, {-0.002, -0.002, -0.001, -0.001}, {255, 256, 1, 1}, {0, 0, 1, 1}},
        // The western half of zoom 0 between the equator and the first row above it: on grid lines.
        {0, {0, -180, LatitudeAtPixelY(0, 127), 0}, {0, 127, 128, 1}, {0, 0, 0, 0}},
        // Widened: 0.07 and 128.07 columns become 0 and 129; rows either side of the equator.
        {0, {-0.0001, -179.9, 0.0001, 0.1}, {0, 127, 129, 2}, {0, 0, 0, 0}},
        // An edge 5e-7 pixel outside a grid line is on it; 1e-4 pixel outside is not.
        {10, {LatitudeAtPixelY(10, 103300 + 5e-7), LongitudeAtPixelX(10, 232700 - 5e-7),
              LatitudeAtPixelY(10, 103200 - 5e-7), LongitudeAtPixelX(10, 232800 + 5e-7)},
         {232700, 103200, 100, 100}, {908, 909, 403, 403}},
        {10, {LatitudeAtPixelY(10, 103300 + 1e-4), LongitudeAtPixelX(10, 232700 - 1e-4),
              LatitudeAtPixelY(10, 103200 - 1e-4), LongitudeAtPixelX(10, 232800 + 1e-4)},
         {232699, 103199, 102, 102}, {908, 909, 403, 403}},
    };
    EXPECT_NEAR(pyTokyo, 103219.13, 0.01);
    for (const auto& c : cases) {
        const TileCut cut = CutTileArea(c.zoom, c.box);
        SCOPED_TRACE(c.zoom);
        ASSERT_EQ(cut.error, TileCutError::None);
        ASSERT_EQ(cut.parts.size(), 1u);
        EXPECT_EQ(WindowOf(cut.parts[0]), c.window);
        EXPECT_EQ(TilesOf(cut.parts[0]), c.tiles);
        EXPECT_EQ(cut.parts[0].part, "");
    }
    EXPECT_EQ(CutTileArea(2, {-85.1, -180, 85.1, 180}).TileCount(), 16);
    EXPECT_EQ(CutTileArea(22, {-85.1, -180, 85.1, 180}).TileCount(), std::int64_t{1} << 44);
}

// The grid's own rows end at 85.0511 degrees: a box beyond is cut there and says so; a box
// wholly beyond, or with no area, or corners no place has, gives no area at all.
TEST(TileGrid, CutsAtTheGridsEdgeAndRefusesBoxesWithoutArea) {
    const TileCut north = CutTileArea(3, {80, 10, 89, 20});
    ASSERT_EQ(north.error, TileCutError::None);
    EXPECT_TRUE(north.cutAtGridEdge);
    EXPECT_EQ(north.parts[0].top, 0);
    const TileCut south = CutTileArea(3, {-90, 10, -80, 20});
    EXPECT_TRUE(south.cutAtGridEdge);
    EXPECT_EQ(south.parts[0].top + south.parts[0].height, WorldPixels(3));
    EXPECT_FALSE(CutTileArea(3, {-85.05, 10, 85.05, 20}).cutAtGridEdge);
    // The corner pixels' centres of the whole world at zoom 0.
    const MapCorners world = CutTileArea(0, {-90, -180, 90, 180}).parts.at(0).corners;
    EXPECT_NEAR(world.top, 84.9901001802348, 1e-12);
    EXPECT_NEAR(world.bottom, -84.9901001802348, 1e-12);
    EXPECT_DOUBLE_EQ(world.left, -179.296875);
    EXPECT_DOUBLE_EQ(world.right, 179.296875);

    const std::pair<MapCorners, TileCutError> refused[] = {
        {{85.06, 10, 89, 20}, TileCutError::BeyondGrid},
        {{-89, 10, -85.06, 20}, TileCutError::BeyondGrid},
        {{10, 10, 10, 20}, TileCutError::Empty},
        {{10, 20, 11, 20}, TileCutError::Empty},
        {{11, 10, 10, 20}, TileCutError::Empty},
        {{10, 180, 11, -180}, TileCutError::Empty},
        {{10, 10, 91, 20}, TileCutError::BadCorner},
        {{-90.5, 10, 11, 20}, TileCutError::BadCorner},
        {{10, -180.5, 11, 20}, TileCutError::BadCorner},
        {{10, 10, 11, 180.5}, TileCutError::BadCorner},
        {{NAN, 10, 11, 20}, TileCutError::BadCorner},
    };
    for (const auto& [box, error] : refused) {
        EXPECT_EQ(CutTileArea(3, box).error, error) << box.bottom << " " << box.left << " " << box.top << " " << box.right;
    }
    EXPECT_EQ(CutTileArea(-1, {10, 10, 11, 20}).error, TileCutError::ZoomOutOfRange);
    EXPECT_EQ(CutTileArea(23, {10, 10, 11, 20}).error, TileCutError::ZoomOutOfRange);
    EXPECT_EQ(CutTileArea(22, {10, 10, 11, 20}).error, TileCutError::None);
}

// A box whose left lies east of its right crosses 180 degrees: a west part to the square's right
// edge, an east part from its left edge, as the import names its parts; a part of no column
// (a box from 180 itself) is none, and the other then needs no name.
TEST(TileGrid, SplitsABoxAcross180IntoWestAndEastParts) {
    const TileCut cut = CutTileArea(1, {50, 170, 60, -170});
    ASSERT_EQ(cut.parts.size(), 2u);
    EXPECT_EQ(cut.parts[0].part, "_west");
    EXPECT_EQ(cut.parts[1].part, "_east");
    EXPECT_EQ(std::tuple(cut.parts[0].left, cut.parts[0].width), std::tuple(497, 15));
    EXPECT_EQ(std::tuple(cut.parts[1].left, cut.parts[1].width), std::tuple(0, 15));
    EXPECT_EQ(cut.parts[0].top, cut.parts[1].top);
    EXPECT_EQ(cut.parts[0].height, cut.parts[1].height);
    EXPECT_EQ(TilesOf(cut.parts[0]), Tiles(1, 1, 0, 0));
    EXPECT_EQ(TilesOf(cut.parts[1]), Tiles(0, 0, 0, 0));
    EXPECT_EQ(cut.TileCount(), 2);
    EXPECT_DOUBLE_EQ(cut.parts[0].corners.right, 180 - 180.0 / 512);
    EXPECT_DOUBLE_EQ(cut.parts[1].corners.left, -180 + 180.0 / 512);

    // An east part of one column is a part.
    EXPECT_EQ(CutTileArea(1, {50, 170, 60, -179.9}).parts.at(1).width, 1);
    for (const MapCorners& box : {MapCorners{50, 180, 60, -170}, MapCorners{50, 170, 60, -180}}) {
        const TileCut one = CutTileArea(1, box);
        ASSERT_EQ(one.parts.size(), 1u);
        EXPECT_EQ(one.parts[0].part, "");
        EXPECT_EQ(one.parts[0].width, 15);
    }
}

// The corners are the corner pixels' centres: taken back through the grid they land on them
// to 1e-6 pixel at every zoom, next to the grid's edge too.
TEST(TileGrid, CornersAreTheCornerPixelsCentres) {
    const MapCorners boxes[] = {{35.6, 139.6, 35.7, 139.8}, {-33.9, 151.1, -33.8, 151.3}, {84.9, -10, 85.05, 10},
                                {-85.05, 179.9, -84.9, -179.9}};
    for (const int zoom : {0, 5, 14, 18, 22}) {
        for (const MapCorners& box : boxes) {
            for (const TileArea& a : CutTileArea(zoom, box).parts) {
                SCOPED_TRACE(std::to_string(zoom) + a.part + " " + std::to_string(box.bottom));
                EXPECT_NEAR(PixelXAtLongitude(zoom, a.corners.left), double(a.left) + 0.5, 1e-6);
                EXPECT_NEAR(PixelXAtLongitude(zoom, a.corners.right), double(a.left + a.width) - 0.5, 1e-6);
                EXPECT_NEAR(PixelYAtLatitude(zoom, a.corners.top), double(a.top) + 0.5, 1e-6);
                EXPECT_NEAR(PixelYAtLatitude(zoom, a.corners.bottom), double(a.top + a.height) - 0.5, 1e-6);
            }
        }
    }
}

// Bing's own example: tile 3/5 at level 3 is 213. TMS counts rows from the bottom.
TEST(TileGrid, FillsTemplatesWithColumnRowZoomAndQuadkey) {
    EXPECT_EQ(Quadkey({3, 3, 5}), "213");
    EXPECT_EQ(Quadkey({0, 0, 0}), "");
    EXPECT_EQ(Quadkey({22, (1 << 22) - 1, 0}), std::string(22, '1'));
    EXPECT_EQ(FillTileTemplate("https://127.0.0.1/{z}/{x}/{y}.png?q={q}&tms={-y}&s={s}", {3, 3, 5}),
              "https://127.0.0.1/3/3/5.png?q=213&tms=2&s={s}");
    EXPECT_EQ(FillTileTemplate("file:///t/{z}/{x}{-y}{", {22, 4194303, 0}), "file:///t/22/41943034194303{");
}

// What the window and the batch tool both refuse before any tile is asked for.
TEST(TileRequest, RefusesSourcesZoomsAndLimitsNoFetchCanUse) {
    const auto with = [](auto change) {
        TileRequest request{.source = "http://127.0.0.1:9/{z}/{x}/{y}.png", .zoom = 12};
        change(request);
        return CheckTileRequest(request);
    };
    EXPECT_EQ(with([](TileRequest&) {}), TileRequestError::None);
    EXPECT_EQ(DefaultUserAgent().rfind("Kartivo/", 0), 0u);
    const std::pair<std::function<void(TileRequest&)>, TileRequestError> cases[] = {
        {[](TileRequest& r) { r.source = ""; }, TileRequestError::NoSource},
        {[](TileRequest& r) { r.source = "https://127.0.0.1/{z}/{x}.png"; }, TileRequestError::TemplateWithoutTile},
        {[](TileRequest& r) { r.source = "https://127.0.0.1/{z}/{y}/{-y}.png"; }, TileRequestError::TemplateWithoutTile},
        {[](TileRequest& r) { r.source = "file:///t/{z}/{x}/{-y}.png"; }, TileRequestError::None},
        {[](TileRequest& r) { r.source = "http://127.0.0.1/{q}.jpeg"; }, TileRequestError::None},
        {[](TileRequest& r) { r.source = "https://{s}.t/{z}/{x}/{y}.png"; }, TileRequestError::UnknownPlaceholder},
        {[](TileRequest& r) { r.source = "https://127.0.0.1/{z}/{x}/{y"; }, TileRequestError::UnknownPlaceholder},
        // Not a template: GDAL judges it when it opens it.
        {[](TileRequest& r) { r.source = "WMTS:https://127.0.0.1/caps.xml"; }, TileRequestError::None},
        {[](TileRequest& r) { r.source = "/maps/area.mbtiles"; }, TileRequestError::None},
        {[](TileRequest& r) { r.zoom = 23; }, TileRequestError::ZoomOutOfRange},
        {[](TileRequest& r) { r.zoom = -1; }, TileRequestError::ZoomOutOfRange},
        {[](TileRequest& r) { r.zoom = 0; }, TileRequestError::None},
        {[](TileRequest& r) { r.zoom = 22; }, TileRequestError::None},
        {[](TileRequest& r) { r.maxTiles = 1; }, TileRequestError::None},
        {[](TileRequest& r) { r.rate = 0.25; }, TileRequestError::None},
        {[](TileRequest& r) { r.userAgent = "My maps (me@example.org)"; }, TileRequestError::None},
        {[](TileRequest& r) { r.maxTiles = 0; }, TileRequestError::MaxTilesNotPositive},
        {[](TileRequest& r) { r.rate = 0; }, TileRequestError::RateNotPositive},
        {[](TileRequest& r) { r.rate = NAN; }, TileRequestError::RateNotPositive},
        {[](TileRequest& r) { r.rate = INFINITY; }, TileRequestError::RateNotPositive},
        {[](TileRequest& r) { r.userAgent = ""; }, TileRequestError::UserAgentEmptyOrControl},
        {[](TileRequest& r) { r.userAgent = "a\r\nX-Injected: 1"; }, TileRequestError::UserAgentEmptyOrControl},
        {[](TileRequest& r) { r.userAgent = "a\x7f"; }, TileRequestError::UserAgentEmptyOrControl},
        {[](TileRequest& r) { r.attribution = "© Example Maps"; }, TileRequestError::None},
        {[](TileRequest& r) { r.attribution = "a\nZoom: 3"; }, TileRequestError::AttributionControl},
    };
    for (const auto& [change, error] : cases) EXPECT_EQ(with(change), error);
}

// Seconds cut, not rounded: a note never claims a time not yet reached.
TEST(TileRequest, TimestampsAreUtcInIsoForm) {
    using namespace std::chrono;
    EXPECT_EQ(UtcTimestamp(sys_days{2024y / February / 29} + 23h + 59min + 59s + 999ms), "2024-02-29T23:59:59Z");
    EXPECT_EQ(UtcTimestamp(system_clock::time_point{}), "1970-01-01T00:00:00Z");
}

}  // namespace
}  // namespace kartivo
