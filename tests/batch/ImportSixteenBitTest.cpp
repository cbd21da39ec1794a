// 16-bit colours made bytes, and the colours picked by their bands' interpretation: each result
// against gdal_translate -ot Byte -scale of the same picture, run through GDAL's own API.

#include "BatchTestSupport.h"
#include "GeoPictures.h"
#include "geoimport/Importer.h"

#include <gdal_utils.h>
#include <cpl_string.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kartivo {
namespace {

using namespace test;
using geoimport::ScaleRule;

const std::array<double, 6> Tokyo3857{15540300, 750, 0, 4273000, 0, -1000};
const std::array<double, 6> Tokyo4326{139.60, 0.3 / 40, 0, 35.80, 0, -0.3 / 30};

// gdal_translate -ot Byte -b BAND... -scale_N LOW HIGH 0 255 for each band with its bounds.
Decoded Translated(const std::string& path, const std::vector<int>& bands,
                   const std::vector<geoimport::ScaleBounds>& bounds, const std::string& output = "",
                   const char* format = "MEM") {
    CPLStringList args;
    for (const char* a : {"-of", format, "-ot", "Byte"}) args.AddString(a);
    for (std::size_t i = 0; i < bands.size(); ++i) {
        args.AddString("-b");
        args.AddString(std::to_string(bands[i]).c_str());
        args.AddString(("-scale_" + std::to_string(i + 1)).c_str());
        for (const double v : {bounds.at(i).low, bounds.at(i).high, 0.0, 255.0}) args.AddString(std::to_string(v).c_str());
    }
    GDALTranslateOptions* options = GDALTranslateOptionsNew(args.List(), nullptr);
    GDALDatasetH in = GDALOpen(path.c_str(), GA_ReadOnly);
    GDALDatasetH out = GDALTranslate(output.c_str(), in, options, nullptr);
    GDALTranslateOptionsFree(options);
    EXPECT_NE(out, nullptr) << CPLGetLastErrorMsg();
    Decoded d = Decode(out);
    GDALClose(out);
    GDALClose(in);
    return d;
}

geoimport::ImportPlan Import(const std::string& path, const geoimport::ImportOptions& options,
                             const std::string& output) {
    const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(path, options);
    EXPECT_TRUE(prepared.job) << prepared.status.message;
    if (!prepared.job) return {};
    EXPECT_EQ(prepared.job->Write({output}).error, geoimport::ImportError::None);
    return prepared.job->Parts().front();
}

// Values at the edges of rounding (128 is 0.498 of a step, 129 0.502) and spread over every band's
// range, different per band so that bands taken in another order show.
std::uint16_t ScanValue(int b, int x, int y) {
    static constexpr std::uint16_t Edges[] = {0, 128, 129, 385, 386, 32767, 32768, 65406, 65407, 65535};
    if (y == 0) return Edges[std::size_t(x + b) % std::size(Edges)];
    return static_cast<std::uint16_t>((x * 2477 + y * 911 + b * 20011) % 65536);
}

std::uint16_t CompositeValue(int b, int x, int y) {
    return static_cast<std::uint16_t>(200 * b + (x * 37 + y * 53) % 3000);
}

TEST(ImportSixteenBit, ColoursAreScaledAsGdalTranslateScalesThem) {
    const std::vector<GDALColorInterp> rgbn{GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_Undefined};
    struct Case {
        const char* name;
        Source source;
        geoimport::ValueScaling scaling;
        ScaleRule rule;
        std::vector<int> bands;  // the picture's colours, red first
        std::vector<std::string> leftOut = {};
        int alpha = 0;  // the alpha band, scaled over its whole range
    };
    const std::vector<Case> cases{
        // A flatbed scanner's 48-bit picture uses the whole range.
        {"scan", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 40, .height = 30, .type = GDT_UInt16,
                  .value = ScanValue}, {}, ScaleRule::Full, {1, 2, 3}},
        // A composite of 12 bits stretched per band; the undefined fourth band is left out.
        {"composite", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 40, .height = 30, .bands = 4,
                       .type = GDT_UInt16, .interpretations = rgbn, .creationOptions = {"NBITS=12"},
                       .value = CompositeValue}, {}, ScaleRule::Stretch, {1, 2, 3}, {"band 4 (undefined)"}},
        // Blue declared first: the colours follow the declaration, not the order.
        {"declared", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 40, .height = 30, .bands = 4,
                      .type = GDT_UInt16, .interpretations = {GCI_Undefined, GCI_BlueBand, GCI_GreenBand, GCI_RedBand},
                      .value = ScanValue}, {.rule = ScaleRule::Range, .low = 1000, .high = 60000}, ScaleRule::Range,
                      {4, 3, 2}, {"band 1 (undefined)"}},
        // 16-bit transparency: clear, half and opaque.
        {"alpha", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 40, .height = 30, .bands = 4,
                   .type = GDT_UInt16, .alpha = true, .value = [](int b, int x, int y) {
                       return b < 4 ? ScanValue(b, x, y) : std::uint16_t(x == 5 ? 0 : x == 6 ? 32896 : 65535); }},
         {}, ScaleRule::Full, {1, 2, 3}, {}, 4},
        // Values under 4096 without NBITS are stretched too; one grey band, some pixels clear.
        {"grey", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 40, .height = 30, .bands = 1,
                  .type = GDT_UInt16, .clear = 7, .value = [](int, int x, int y) {
                      return std::uint16_t(x == 3 ? 7 : 100 + x * 90 + y); }}, {}, ScaleRule::Stretch, {1}},
        {"forced full", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 40, .height = 30,
                         .type = GDT_UInt16, .value = CompositeValue}, {.rule = ScaleRule::Full}, ScaleRule::Full,
                         {1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string path = folder.File("picture.tif");
        MakePicture(c.source, path);
        const std::string output = folder.File("out.bmp");
        const geoimport::ImportPlan plan = Import(path, {.scale = c.scaling}, output);
        EXPECT_EQ(plan.scaleRule, c.rule);
        EXPECT_EQ(plan.leftOut, c.leftOut);
        ASSERT_EQ(plan.scaleBounds.size(), c.bands.size());
        std::vector<int> bands = c.bands;
        std::vector<geoimport::ScaleBounds> bounds = plan.scaleBounds;
        if (c.alpha != 0) {
            bands.push_back(c.alpha);
            bounds.push_back({0, 65535});
        }
        const Decoded expected = Translated(path, bands, bounds);
        const Decoded bitmap = DecodeFile(output);
        ASSERT_EQ(bitmap.width, expected.width);
        const std::size_t plane = std::size_t(expected.width) * expected.height;
        std::size_t differ = 0;
        for (std::size_t i = 0; i < plane; ++i) {
            const bool clear = c.source.clear && c.source.value(1, int(i % 40), int(i / 40)) == *c.source.clear;
            for (int colour = 0; colour < 3; ++colour) {
                const int a = clear ? 0 : c.alpha != 0 ? expected.pixels[3 * plane + i] : 255;
                const int v = expected.pixels[(c.bands.size() == 3 ? colour : 0) * plane + i];
                const auto want = std::uint8_t((v * a + 255 * (255 - a) + 127) / 255);
                const std::uint8_t got = bitmap.palette.empty() ? bitmap.pixels[colour * plane + i]
                                                                : std::uint8_t(bitmap.palette[bitmap.pixels[i]][colour]);
                differ += got != want;
            }
        }
        EXPECT_EQ(differ, 0u);
        if (c.rule == ScaleRule::Full) {
            // value * 255 / 65535, rounded: the first row's values at the edges of a step.
            for (int x = 0; x < 10; ++x) {
                const int v = c.source.value(1, x, 0);
                EXPECT_EQ(expected.pixels[x], (v * 255 + 32767) / 65535) << v;
            }
        }
        // The picture window shows what the import writes.
        auto shown = geoimport::TheImporter().OpenPixels(path);
        ASSERT_TRUE(shown);
        const auto read = shown->Read({0, 0, 40, 30}, 1);
        if (c.scaling.rule == ScaleRule::Auto) {
            const Decoded written = DecodeFile(output);
            for (std::size_t i = 0; i < plane; i += 37) {
                const std::uint32_t rgb = read.picture.pixels.at(i) & 0xffffffu;
                const std::size_t at = written.palette.empty() ? 0 : written.pixels[i];
                const int red = written.palette.empty() ? written.pixels[i] : written.palette[at][0];
                EXPECT_EQ(int(rgb >> 16), red) << i;
            }
        }
    }
}

// The 2nd and 98th percentile from GDAL's histogram: values 0 to 99, each as often, put 2 % of
// them at or below 1 and 98 % at or below 97; nodata (here 99) is no value of the picture.
TEST(ImportSixteenBit, StretchTakesThePercentilesOfEachBand) {
    TempFolder folder;
    const std::string path = folder.File("composite.tif");
    // The third band holds one value, which keeps a step of one.
    MakePicture({.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 100, .height = 50, .type = GDT_UInt16,
                 .value = [](int b, int x, int) { return std::uint16_t(b < 3 ? x * b : 500); }}, path);
    const auto prepared = geoimport::TheImporter().Prepare(path, {});
    ASSERT_TRUE(prepared.job) << prepared.status.message;
    const auto& bounds = prepared.job->Parts()[0].scaleBounds;
    ASSERT_EQ(bounds.size(), 3u);
    for (int b = 0; b < 2; ++b) {
        EXPECT_EQ(bounds[b].low, 1.0 * (b + 1));
        EXPECT_EQ(bounds[b].high, 97.0 * (b + 1));
    }
    EXPECT_EQ(bounds[2].low, 500.0);
    EXPECT_EQ(bounds[2].high, 501.0);
    MakePicture({.crs = "EPSG:3857", .geoTransform = Tokyo3857, .width = 100, .height = 50, .bands = 1,
                 .type = GDT_UInt16, .clear = 0, .value = [](int, int x, int) { return std::uint16_t(x); }}, path);
    const auto cleared = geoimport::TheImporter().Prepare(path, {});
    ASSERT_TRUE(cleared.job);
    // 99 values, 1 to 99: 2 % of 4950 is 99 pixels, reached at 2; 98 % at 98.
    EXPECT_EQ(cleared.job->Parts()[0].scaleBounds.at(0).low, 2.0);
    EXPECT_EQ(cleared.job->Parts()[0].scaleBounds.at(0).high, 98.0);
}

// Warped, a 16-bit picture becomes what the same picture scaled first becomes: no 16-bit value is
// resampled into another byte. The message names the band left out.
TEST(ImportSixteenBit, AWarpResamplesTheScaledColours) {
    TempFolder folder;
    const std::string path = folder.File("aerial.tif");
    MakePicture({.crs = "EPSG:4326", .geoTransform = Tokyo4326, .width = 40, .height = 30, .bands = 4,
                 .type = GDT_UInt16, .interpretations = {GCI_RedBand, GCI_GreenBand, GCI_BlueBand, GCI_Undefined},
                 .creationOptions = {"NBITS=12"}, .value = CompositeValue}, path);
    for (const char* resampling : {"near", "bilinear"}) {
        SCOPED_TRACE(resampling);
        const std::string output = folder.File(std::string(resampling) + ".bmp");
        const auto plan = Import(path, {.resampling = *geoimport::ResamplingFromName(resampling)}, output);
        const std::string scaledFirst = folder.File("scaled.tif");
        Translated(path, {1, 2, 3}, plan.scaleBounds, scaledFirst, "GTiff");
        const std::string reference = folder.File(std::string(resampling) + "-reference.bmp");
        Import(scaledFirst, {.resampling = *geoimport::ResamplingFromName(resampling)}, reference);
        EXPECT_EQ(ReadAll(output), ReadAll(reference));
    }
    const BatchRun run = RunBatchInProcess({"import", path});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("band 4 (undefined) is none of the picture's colours"), std::string::npos) << run.err;
    const BatchRun info = RunBatchInProcess({"info", path});
    EXPECT_NE(info.out.find("16-bit colours     stretch (2nd to 98th percentile): red 459..2915, green 659..3115"), std::string::npos) << info.out;
}

TEST(ImportSixteenBit, ScaleOptionTakesFullStretchOrARange) {
    struct Case {
        const char* text;
        std::optional<ScaleRule> rule;
        double low = 0, high = 0;
    };
    for (const Case& c : std::vector<Case>{{"full", ScaleRule::Full}, {"stretch", ScaleRule::Stretch},
                                           {"0,65535", ScaleRule::Range, 0, 65535}, {"12.5,4000", ScaleRule::Range, 12.5, 4000},
                                           {"4000,12"}, {"5,5"}, {"-1,5"}, {"1,65536"}, {"1,"}, {",5"}, {"1,2,3"},
                                           {"Full"}, {""}}) {
        const auto scaling = geoimport::ValueScalingFromText(c.text);
        ASSERT_EQ(scaling.has_value(), c.rule.has_value()) << c.text;
        if (!scaling) continue;
        EXPECT_EQ(scaling->rule, *c.rule) << c.text;
        EXPECT_EQ(scaling->low, c.low) << c.text;
        EXPECT_EQ(scaling->high, c.high) << c.text;
    }
}

}  // namespace
}  // namespace kartivo
