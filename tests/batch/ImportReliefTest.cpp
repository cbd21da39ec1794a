// Elevations imported as shaded relief: each result is checked against what a person gets from
// gdalwarp onto the import's grid and gdaldem hillshade of that, both run here through GDAL's API.

#include "BatchTestSupport.h"
#include "GeoPictures.h"
#include "geoimport/Importer.h"

#include <gdal.h>
#include <gdal_utils.h>
#include <cpl_string.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace kartivo {
namespace {

using geoimport::ImportError;
using geoimport::Relief;
using namespace test;

std::string Exact(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

template <auto Make, typename Options>
Options* AppOptions(const std::vector<std::string>& args) {
    CPLStringList list;
    for (const std::string& a : args) list.AddString(a.c_str());
    return Make(list.List(), nullptr);
}

// gdalwarp onto the plan's grid, then gdaldem hillshade of that at its defaults (azimuth 315,
// altitude 45; the grid is in metres, so no vertical scale for elevations in metres); its nodata 0
// shown white.
Decoded GdaldemReference(const std::string& source, const geoimport::ImportPlan& plan, const std::string& resampling,
                         const std::string& scale) {
    GDALWarpAppOptions* warpOptions = AppOptions<GDALWarpAppOptionsNew, GDALWarpAppOptions>(
        {"-of", "MEM", "-t_srs", "EPSG:3857", "-r", resampling, "-te", Exact(plan.originX),
         Exact(plan.originY - plan.height * plan.pixelHeight), Exact(plan.originX + plan.width * plan.pixelWidth),
         Exact(plan.originY), "-tr", Exact(plan.pixelWidth), Exact(plan.pixelHeight)});
    GDALDatasetH in = GDALOpen(source.c_str(), GA_ReadOnly);
    GDALDatasetH warped = GDALWarp("", nullptr, 1, &in, warpOptions, nullptr);
    GDALWarpAppOptionsFree(warpOptions);
    EXPECT_NE(warped, nullptr) << CPLGetLastErrorMsg();
    GDALDEMProcessingOptions* demOptions =
        AppOptions<GDALDEMProcessingOptionsNew, GDALDEMProcessingOptions>({"-of", "MEM", "-s", scale});
    GDALDatasetH shaded = GDALDEMProcessing("", warped, "hillshade", nullptr, demOptions, nullptr);
    GDALDEMProcessingOptionsFree(demOptions);
    EXPECT_NE(shaded, nullptr) << CPLGetLastErrorMsg();
    Decoded d = Decode(shaded);
    GDALClose(shaded);
    GDALClose(warped);
    GDALClose(in);
    for (std::uint8_t& p : d.pixels) p = p == 0 ? 255 : p;
    return d;
}

// Hills and valleys, with a hole of nodata and a border of it on the right.
double Hills(int x, int y) {
    if ((x >= 12 && x < 17 && y >= 9 && y < 13) || x % 20000 >= 19990) return -9999;
    return 1600 + 1500 * std::sin(x * 0.21) * std::cos(y * 0.17) + 3.5 * x - 2 * y;
}

// The bitmap's rows, top first, as bytes of one band.
Pixels GreyRows(const Bytes& bitmap, int width, int height) {
    const std::size_t pixelsAt = 54 + 256 * 4;
    const std::size_t rowSize = (std::size_t(width) + 3) / 4 * 4;
    Pixels rows;
    for (int r = height - 1; r >= 0; --r) {
        rows.insert(rows.end(), bitmap.begin() + pixelsAt + r * rowSize, bitmap.begin() + pixelsAt + r * rowSize + width);
    }
    return rows;
}

TEST(ImportRelief, EqualsGdalwarpThenGdaldemHillshadeOnItsGrid) {
    const struct {
        const char* name;
        Source source;
        geoimport::ImportOptions options;
        const char* resampling;
        std::string scale = "1";  // gdaldem's -s
    } cases[] = {
        {"Int16 in degrees", {.crs = "EPSG:4326", .geoTransform = {10.5, 0.2 / 60, 0, 46.6, 0, -0.15 / 50},
                              .width = 60, .height = 50, .bands = 1, .type = GDT_Int16, .clear = -9999,
                              .elevation = Hills}, {.relief = Relief::Grey}, "near"},
        // Rounded back to whole numbers after resampling, as gdalwarp writes an Int16 band.
        {"Int16 in degrees, bilinear", {.crs = "EPSG:4326", .geoTransform = {10.5, 0.2 / 60, 0, 46.6, 0, -0.15 / 50},
                                        .width = 60, .height = 50, .bands = 1, .type = GDT_Int16, .clear = -9999,
                                        .elevation = Hills},
         {.resampling = geoimport::Resampling::Bilinear, .relief = Relief::Grey}, "bilinear"},
        // Feet of elevation over metres of the grid.
        {"Float32 in feet in UTM", {.crs = "EPSG:32632", .geoTransform = {650000, 90, 0, 5160000, 0, -90},
                                    .width = 50, .height = 40, .bands = 1, .type = GDT_Float32, .clear = -9999,
                                    .elevation = Hills, .unit = "ft"},
         {.relief = Relief::Grey}, "near", Exact(1 / 0.3048)},
        // Copied, three strips of 209 rows, 209 and 32: each strip's first and last rows are
        // shaded from the rows beside it.
        {"Float32 in Web Mercator, copied over strips",
         {.crs = "EPSG:3857", .geoTransform = {1180000, 30, 0, 5850000, 0, -30}, .width = 20000, .height = 450,
          .bands = 1, .type = GDT_Float32, .clear = -9999, .elevation = Hills},
         {.relief = Relief::Grey}, "near"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string source = folder.File("dem.tif");
        MakePicture(c.source, source);
        const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(source, c.options);
        ASSERT_TRUE(prepared.job) << prepared.status.message;
        const geoimport::ImportPlan plan = prepared.job->Parts().front();
        ASSERT_EQ(prepared.job->Write({folder.File("out.bmp")}).error, ImportError::None);
        EXPECT_EQ(plan.bitCount, 8);

        const Decoded reference = GdaldemReference(source, plan, c.resampling, c.scale);
        ASSERT_EQ(reference.width, plan.width);
        ASSERT_EQ(reference.height, plan.height);
        const Pixels shaded = GreyRows(ReadAll(folder.File("out.bmp")), plan.width, plan.height);
        std::size_t differing = 0;
        for (std::size_t i = 0; i < shaded.size(); ++i) differing += shaded[i] != reference.pixels[i];
        EXPECT_EQ(differing, 0u);
        // Neither all white nor all one shade: a relief was shaded at all.
        EXPECT_GT(std::count(shaded.begin(), shaded.end(), 255), plan.width);
        EXPECT_GT(std::count_if(shaded.begin(), shaded.end(), [](std::uint8_t p) { return p < 120; }), 20);
    }
}

// With color, the shade darkens a ramp by height: green at the band's lowest value, white at
// its highest; the command line takes the word after --relief. A cancel leaves nothing.
TEST(ImportRelief, ColourLaysTheShadeOverGreenLowAndWhiteHigh) {
    TempFolder folder;
    const std::string source = folder.File("dem.tif");
    // Rising to the east between two plateaus, the lowest and the highest, flat from north to south.
    MakePicture({.crs = "EPSG:32632", .geoTransform = {650000, 90, 0, 5160000, 0, -90}, .width = 50, .height = 40,
                 .bands = 1, .type = GDT_Float32, .clear = -9999,
                 .elevation = [](int x, int) { return 100.0 + 40 * std::clamp(x, 5, 45); }},
                source);
    const std::vector<std::string> before = FolderEntries(folder.Path());
    const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(source, {.relief = Relief::Colour});
    ASSERT_TRUE(prepared.job) << prepared.status.message;
    EXPECT_EQ(prepared.job->Write({folder.File("c.bmp")}, [](double) { return false; }).error, ImportError::Canceled);
    EXPECT_EQ(FolderEntries(folder.Path()), before);

    const BatchRun grey = RunBatchInProcess({"import", "--relief", "-o", folder.File("g.bmp"), source});
    const BatchRun coloured = RunBatchInProcess({"import", "--relief", "color", "-o", folder.File("c.bmp"), source});
    ASSERT_EQ(grey.status + coloured.status, 0) << grey.err << coloured.err;
    const Decoded shade = DecodeFile(grey.out.substr(0, grey.out.find('\n')));
    const Decoded colour = DecodeFile(coloured.out.substr(0, coloured.out.find('\n')));
    ASSERT_EQ(colour.bands, 3);
    ASSERT_EQ(colour.width, shade.width);
    const std::size_t plane = std::size_t(colour.width) * colour.height;
    const std::size_t row = std::size_t(colour.height / 2) * colour.width;
    const auto at = [&](const Decoded& d, int x, int band) { return int(d.pixels[band * plane + row + x]); };
    int west = 0;
    while (west + 1 < shade.width && at(shade, west, 0) == 255) ++west;
    int east = shade.width - 1;
    while (east > 0 && at(shade, east, 0) == 255) --east;
    ASSERT_LT(west, east);
    const std::array<int, 3> green{46, 120, 60};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(at(colour, west, c), (green[c] * at(shade, west, 0) + 127) / 255) << c;
        EXPECT_EQ(at(colour, east, c), at(shade, east, 0)) << c;
    }
    // Halfway up, tan turning brown.
    const int middle = (west + east) / 2;
    EXPECT_GT(at(colour, middle, 0), at(colour, middle, 1));
    EXPECT_GT(at(colour, middle, 1), at(colour, middle, 2));
}

}  // namespace
}  // namespace kartivo
