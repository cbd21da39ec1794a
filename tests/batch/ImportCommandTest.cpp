// The import of georeferenced pictures: test pictures are made here with GDAL's own API, and
// the results are decoded with GDAL too and compared with its own warper's.

#include "BatchTestSupport.h"
#include "GeoPictures.h"
#include "bitmap/FileNameConvention.h"
#include "geoimport/GeoImport.h"

#include <gdal.h>
#include <gdal_utils.h>
#include <cpl_string.h>

#include <gtest/gtest.h>

#include <array>
#include <charconv>
#include <cmath>
#include <numbers>
#include <string_view>

namespace kartivo {
namespace {

using geoimport::ImportError;
using namespace test;

// GDAL's warper on the plan's grid, where the source does not reach left white as the import leaves it.
test::Decoded GdalWarpReference(const std::string& source, const geoimport::ImportPlan& plan) {
    const auto exact = [](double value) {
        char text[32];
        return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
    };
    const std::vector<std::string> args{
        "-of", "MEM", "-t_srs", "EPSG:3857", "-r", "near", "-wo", "INIT_DEST=255", "-te", exact(plan.originX),
        exact(plan.originY - plan.height * plan.pixelHeight), exact(plan.originX + plan.width * plan.pixelWidth),
        exact(plan.originY), "-ts", std::to_string(plan.width), std::to_string(plan.height)};
    CPLStringList list;
    for (const std::string& a : args) list.AddString(a.c_str());
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(list.List(), nullptr);
    GDALDatasetH in = GDALOpen(source.c_str(), GA_ReadOnly);
    GDALDatasetH out = GDALWarp("", nullptr, 1, &in, options, nullptr);
    GDALWarpAppOptionsFree(options);
    EXPECT_NE(out, nullptr) << CPLGetLastErrorMsg();
    const test::Decoded warped = test::Decode(out);
    GDALClose(out);
    GDALClose(in);
    return warped;
}

// Web Mercator metres to latitude and longitude: a sphere of WGS 84's equatorial radius.
std::array<double, 2> ToWgs84(double x, double y) {
    constexpr double Radius = 6378137;
    return {std::atan(std::sinh(y / Radius)) * 180 / std::numbers::pi, x / Radius * 180 / std::numbers::pi};
}

// Over Tokyo: the same area of 40 x 30 pixels in longitude and latitude, and in Web Mercator.
const std::array<double, 6> Tokyo4326{139.60, 0.3 / 40, 0, 35.80, 0, -0.3 / 30};
const std::array<double, 6> Tokyo3857{15540300, 30000.0 / 40, 0, 4273000, 0, -30000.0 / 30};

TEST(ImportCommand, CopiesWebMercatorAndWarpsTheRestAsGdalDoes) {
    for (const bool copied : {true, false}) {
        SCOPED_TRACE(copied ? "copied" : "warped");
        TempFolder folder;
        const std::string source = folder.File("s.tif");
        const std::array<double, 6>& g = copied ? Tokyo3857 : Tokyo4326;
        MakePicture({.crs = copied ? "EPSG:3857" : "EPSG:4326", .geoTransform = g}, source);
        const geoimport::ImportPreparation prepared = geoimport::PrepareImport(source, {});
        ASSERT_TRUE(prepared.job) << prepared.status.message;
        ASSERT_EQ(prepared.job->Write(folder.File("out.bmp")).error, ImportError::None);
        const geoimport::ImportPlan& plan = prepared.job->Plan();
        EXPECT_EQ(plan.warped, !copied);

        // The name carries the centres of the corner pixels: a copy's are the source's own; a
        // grid in degrees keeps the source's top-left edge and drops no row or column.
        const FileNameCorners back = ReadFileNameConvention(plan.proposedPath);
        ASSERT_TRUE(back.corners);
        EXPECT_EQ(*back.name, "s");
        const auto [bottom, left, top, right] = *back.corners;
        if (copied) {
            const auto bottomLeft = ToWgs84(g[0] + g[1] / 2, g[3] + 29.5 * g[5]);
            const auto topRight = ToWgs84(g[0] + 39.5 * g[1], g[3] + g[5] / 2);
            EXPECT_NEAR(bottom, bottomLeft[0], 1e-9);
            EXPECT_NEAR(left, bottomLeft[1], 1e-9);
            EXPECT_NEAR(top, topRight[0], 1e-9);
            EXPECT_NEAR(right, topRight[1], 1e-9);
        } else {
            const auto edge = ToWgs84(plan.originX, plan.originY);
            EXPECT_NEAR(edge[0], g[3], 1e-9);
            EXPECT_NEAR(edge[1], g[0], 1e-9);
            const auto centre = ToWgs84(plan.originX + plan.pixelWidth / 2, plan.originY - plan.pixelHeight / 2);
            EXPECT_NEAR(top, centre[0], 1e-10);
            EXPECT_NEAR(left, centre[1], 1e-10);
            EXPECT_LT(bottom, top);
        }
        const test::Decoded output = DecodeFile(folder.File("out.bmp"));
        const test::Decoded expected = copied ? DecodeFile(source) : GdalWarpReference(source, plan);
        EXPECT_EQ(output.width, expected.width);
        EXPECT_EQ(output.pixels, expected.pixels);
    }
}

// A source GDAL reads without a pixel stored: 26000 x 30000 x 3 bytes pass 2^31 - 1.
constexpr std::string_view HugeSource = R"(<VRTDataset rasterXSize="26000" rasterYSize="30000"><SRS>EPSG:3857</SRS>
<GeoTransform>15540300,1,0,4273000,0,-1</GeoTransform><VRTRasterBand dataType="Byte" band="1"/>
<VRTRasterBand dataType="Byte" band="2"/><VRTRasterBand dataType="Byte" band="3"/></VRTDataset>)";

TEST(ImportCommand, RefusalsSayWhyAndLeaveNothing) {
    using enum ImportError;
    const struct {
        test::Source source;  // unused for TooLarge, which reads the huge source
        geoimport::ImportOptions options;
        ImportError error;
        const char* said;  // a part of the message
    } cases[] = {
        {{.crs = "EPSG:4326", .georeferenced = false}, {}, NoGeoreference, "no georeference"},
        {{.geoTransform = Tokyo4326}, {}, NoCrs, ".prj"},
        {{.geoTransform = Tokyo4326}, {.sourceCrs = "EPSG:999999"}, BadCrsOption, "EPSG:999999"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 1, .type = GDT_UInt16}, {}, NotColours, "UInt16"},
        {{.crs = "EPSG:4326", .geoTransform = {139, 0.01, 0, 89.9, 0, -0.01}}, {}, OutsideMercator, "85.0511"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 1, .palette = true},
         {.resampling = geoimport::Resampling::Bilinear}, NotColours, "nearest"},
        {{}, {}, TooLarge, "2340000054 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        TempFolder folder;
        const std::string source = folder.File("s.tif");
        if (c.error == TooLarge) {
            test::WriteAll(source, test::Bytes(HugeSource.begin(), HugeSource.end()));
        } else {
            MakePicture(c.source, source);
        }
        const std::vector<std::string> before = FolderEntries(folder.Path());
        const geoimport::ImportPreparation prepared = geoimport::PrepareImport(source, c.options);
        EXPECT_FALSE(prepared.job);
        EXPECT_EQ(prepared.status.error, c.error);
        EXPECT_NE(prepared.status.message.find(c.said), std::string::npos) << prepared.status.message;
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
}

TEST(ImportCommand, FailedOrCanceledWritesLeaveNothing) {
    TempFolder folder;
    const std::string source = folder.File("s.tif");
    MakePicture({.crs = "EPSG:4326", .geoTransform = Tokyo4326, .height = 300}, source);
    const std::string output = folder.File("out.bmp");
    WriteAll(output, {1, 2, 3});
    const std::vector<std::string> before = FolderEntries(folder.Path());
    const auto write = [&source](const std::string& to, const geoimport::ImportProgress& progress) {
        const geoimport::ImportPreparation prepared = geoimport::PrepareImport(source, {});
        return prepared.job ? prepared.job->Write(to, progress).error : ImportError::OpenFailed;
    };
    EXPECT_EQ(write(output, [](double) { return false; }), ImportError::Canceled);
    EXPECT_EQ(write(source, {}), ImportError::WriteFailed);
    EXPECT_EQ(write(folder.File("missing/out.bmp"), {}), ImportError::WriteFailed);
    EXPECT_EQ(FolderEntries(folder.Path()), before);
    EXPECT_EQ(ReadAll(output), (Bytes{1, 2, 3}));
}

TEST(ImportCommand, CommandLineImportsAndInfoReportsWhatGdalReads) {
    TempFolder folder;
    const std::string png = folder.File("Tokyo (2020).png");
    MakePicture({.driver = "PNG", .georeferenced = false}, png);
    test::AddWorldFile(png, ".pgw", Tokyo4326, "");
    const std::string tif = folder.File("t.tif");
    MakePicture({.crs = "EPSG:3857", .geoTransform = Tokyo3857}, tif);

    const test::BatchRun refused = RunBatchInProcess({"import", png});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("--srs"), std::string::npos) << refused.err;
    EXPECT_EQ(RunBatchInProcess({"import", "--resampling", "lanczos", png}).status, 2);

    const test::BatchRun imported = RunBatchInProcess({"import", "--srs", "EPSG:4326", png});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const std::string written = imported.out.substr(0, imported.out.find('\n'));
    EXPECT_TRUE(std::filesystem::exists(written));
    // The parentheses of the source's name would end the map name early.
    EXPECT_EQ(ReadFileNameConvention(written).name, "Tokyo [2020]");

    const Json info = JsonLines(RunBatchInProcess({"info", "--json", tif}).out).at(0);
    const Json& gdal = info["gdal"];
    EXPECT_EQ(gdal["format"], "GTiff");
    EXPECT_EQ(gdal["crs"], "EPSG:3857");
    const auto topLeft = ToWgs84(Tokyo3857[0], Tokyo3857[3]);
    EXPECT_NEAR(gdal["corners"]["top"].get<double>(), topLeft[0], 1e-9);
    EXPECT_NEAR(gdal["corners"]["left"].get<double>(), topLeft[1], 1e-9);
    EXPECT_EQ(info["error"], "This file is not BMP.");
}

}  // namespace
}  // namespace kartivo
