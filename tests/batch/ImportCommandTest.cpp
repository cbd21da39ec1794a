// The import of georeferenced pictures: test pictures are made here with GDAL's own API, and
// the results are decoded and checked with GDAL too, against its own transformation and warper.

#include "BatchTestSupport.h"
#include "GeoPictures.h"
#include "bitmap/FileNameConvention.h"
#include "common/PathParts.h"
#include "geo/ControlPoints.h"
#include "geo/CoordinateText.h"
#include "geoimport/Importer.h"

#include <gdal.h>
#include <gdal_utils.h>
#include <ogr_spatialref.h>
#include <cpl_string.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ranges>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include <sys/wait.h>

namespace kartivo {
namespace {

using geoimport::ImportError;
using namespace test;

// GDAL's warper on the same grid and with the same options, its alpha laid over white.
Decoded GdalWarpReference(const std::string& source, const geoimport::ImportPlan& plan,
                          const std::vector<std::string>& extra) {
    const auto exact = [](double value) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", value);
        return std::string(text);
    };
    std::vector<std::string> args{"-of", "MEM", "-t_srs", "EPSG:3857", "-dstalpha", "-r", "near", "-te",
                                  exact(plan.originX), exact(plan.originY - plan.height * plan.pixelHeight),
                                  exact(plan.originX + plan.width * plan.pixelWidth), exact(plan.originY), "-ts",
                                  std::to_string(plan.width), std::to_string(plan.height)};
    args.insert(args.end(), extra.begin(), extra.end());
    CPLStringList list;
    for (const std::string& a : args) list.AddString(a.c_str());
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(list.List(), nullptr);
    GDALDatasetH in = GDALOpen(source.c_str(), GA_ReadOnly);
    GDALDatasetH out = GDALWarp("", nullptr, 1, &in, options, nullptr);
    GDALWarpAppOptionsFree(options);
    EXPECT_NE(out, nullptr) << CPLGetLastErrorMsg();
    Decoded colour = Decode(out, 1, GDALGetRasterCount(out) - 1);
    const Decoded alpha = Decode(out, GDALGetRasterCount(out), 1);
    GDALClose(out);
    GDALClose(in);
    const std::size_t plane = std::size_t(colour.width) * colour.height;
    for (int b = 0; b < colour.bands; ++b) {
        for (std::size_t i = 0; i < plane; ++i) {
            std::uint8_t& c = colour.pixels[b * plane + i];
            const int a = alpha.pixels[i];
            c = static_cast<std::uint8_t>((c * a + 255 * (255 - a) + 127) / 255);
        }
    }
    return colour;
}

std::array<double, 2> ToWgs84(const std::string& crsText, double x, double y) {
    OGRSpatialReference from;
    from.SetFromUserInput(crsText.c_str());
    from.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRSpatialReference to;
    to.importFromEPSG(4326);
    to.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    OGRCoordinateTransformation* t = OGRCreateCoordinateTransformation(&from, &to);
    EXPECT_TRUE(t->Transform(1, &x, &y));
    OGRCoordinateTransformation::DestroyCT(t);
    return {y, x};  // latitude, longitude
}

// Over Tokyo: the same area in longitude and latitude, in Web Mercator and in UTM zone 54N.
const std::array<double, 6> Tokyo4326{139.60, 0.3 / 40, 0, 35.80, 0, -0.3 / 30};
const std::array<double, 6> Tokyo3857{15540300, 30000.0 / 40, 0, 4273000, 0, -30000.0 / 30};
const std::array<double, 6> Tokyo32654{371000, 27000.0 / 40, 0, 3963000, 0, -33000.0 / 30};

geoimport::ImportPlan ImportOrFail(const std::string& path, const geoimport::ImportOptions& options,
                                   const std::string& output) {
    geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(path, options);
    EXPECT_TRUE(prepared.job) << path << ": " << prepared.status.message;
    if (!prepared.job) return {};
    const geoimport::ImportStatus written = prepared.job->Write({output});
    EXPECT_EQ(written.error, ImportError::None) << written.message;
    return prepared.job->Parts().front();
}

// Rows of 60,000 bytes: 279 to a strip of about 16 MiB, so the second strip holds the last 21.
TEST(ImportCommand, APictureTallerThanAStripIsCopiedStripByStrip) {
    TempFolder folder;
    const std::string source = folder.File("wide.tif");
    constexpr int Width = 20000;
    constexpr int Height = 300;
    MakePicture({.crs = "EPSG:3857", .geoTransform = {15540300, 10, 0, 4273000, 0, -10}, .width = Width,
                 .height = Height}, source);
    const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(source, {});
    ASSERT_TRUE(prepared.job) << prepared.status.message;
    const std::string output = folder.File("out.bmp");
    ASSERT_EQ(prepared.job->Write({output}).error, ImportError::None);
    const Decoded decoded = DecodeFile(source);
    const Bytes bitmap = ReadAll(output);
    ASSERT_EQ(bitmap.size(), 54 + std::size_t{Width} * 3 * Height);
    for (const int row : {0, 20, 21, 278, 279, Height - 1}) {
        for (const int column : {0, 12345, Width - 1}) {
            for (int colour = 0; colour < 3; ++colour) {  // the bitmap keeps blue, green, red
                const std::size_t at = 54 + std::size_t(Height - 1 - row) * Width * 3 + std::size_t(column) * 3 + colour;
                const std::size_t from = std::size_t(2 - colour) * Width * Height + std::size_t(row) * Width + column;
                EXPECT_EQ(bitmap[at], decoded.pixels[from]) << row << " " << column << " " << colour;
            }
        }
    }
}

TEST(ImportCommand, CopiesWebMercatorAndWarpsTheRestAsGdalDoes) {
    struct Case {
        const char* name;
        Source source;
        std::string file;
        std::string worldFile;  // extension; the picture itself then carries no georeference
        std::string prjCrs;     // written into a .prj beside it
        geoimport::ImportOptions options;
        std::vector<std::string> warpExtra;  // what gdalwarp needs to be told the same
        bool warped;
        std::int16_t bitCount;
    };
    const std::vector<Case> cases{
        {"mercator", {.crs = "EPSG:3857", .geoTransform = Tokyo3857}, "m.tif", "", "", {}, {}, false, 24},
        {"lonlat", {.crs = "EPSG:4326", .geoTransform = Tokyo4326}, "g.tif", "", "", {}, {}, true, 24},
        {"utm", {.crs = "EPSG:32654", .geoTransform = Tokyo32654}, "u.tif", "", "", {}, {}, true, 24},
        {"utm bilinear",
         {.crs = "EPSG:32654", .geoTransform = Tokyo32654},
         "ub.tif", "", "", {.resampling = geoimport::Resampling::Bilinear}, {"-r", "bilinear"}, true, 24},
        {"png with world file and prj", {.driver = "PNG", .georeferenced = false}, "w.png", ".pgw", "EPSG:4326",
         {}, {"-s_srs", "EPSG:4326"}, true, 24},  // GDAL itself reads no .prj beside a PNG
        {"paletted png in mercator",
         {.driver = "PNG", .crs = "EPSG:3857", .georeferenced = false, .bands = 1, .palette = true},
         "p.png", ".pgw", "EPSG:3857", {}, {}, false, 8},
        {"rgba over white", {.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 4, .alpha = true},
         "a.tif", "", "", {}, {}, true, 24},
        {"grey", {.crs = "EPSG:3857", .geoTransform = Tokyo3857, .bands = 1}, "k.tif", "", "", {}, {}, false, 8},
        {"grey and alpha", {.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 2, .alpha = true}, "ka.tif", "",
         "", {}, {}, true, 8},
        {"full palette, warped: 24-bit over white",
         {.crs = "EPSG:32654", .geoTransform = Tokyo32654, .bands = 1, .palette = true}, "pw.tif", "", "", {}, {},
         true, 24},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        const std::string source = folder.File(c.file);
        MakePicture(c.source, source);
        const bool lonlat = c.prjCrs == "EPSG:4326" || c.options.sourceCrs == "EPSG:4326";
        if (!c.worldFile.empty()) {
            AddWorldFile(source, c.worldFile, lonlat ? Tokyo4326 : Tokyo3857, c.prjCrs);
        }
        const geoimport::ImportPlan plan = ImportOrFail(source, c.options, folder.File("out.bmp"));
        EXPECT_EQ(plan.warped, c.warped);
        EXPECT_EQ(plan.bitCount, c.bitCount);

        // The name reads back to the corners, which are GDAL's transformation of the source's
        // corner pixel centres for a copy, and of its top-left corner for a grid in degrees,
        // written with ten decimals as the window's Degree boxes hold them.
        EXPECT_TRUE(std::regex_match(plan.fileName, std::regex(R"(.*\((-?\d+\.\d{10},){3}-?\d+\.\d{10}\)\.bmp)")))
            << plan.fileName;
        const FileNameCorners back = ReadFileNameConvention(plan.proposedPath);
        ASSERT_TRUE(back.corners);
        EXPECT_EQ(*back.name, GetBaseName(c.file));
        const auto [bottom, left, top, right] = *back.corners;
        EXPECT_EQ(bottom, plan.corners.bottom);
        EXPECT_EQ(right, plan.corners.right);
        const std::string crs = c.source.crs.empty() ? (lonlat ? "EPSG:4326" : "EPSG:3857") : c.source.crs;
        const auto& g = crs == "EPSG:4326" ? Tokyo4326 : crs == "EPSG:3857" ? Tokyo3857 : Tokyo32654;
        if (!c.warped) {
            const auto bottomLeft = ToWgs84(crs, g[0] + g[1] / 2, g[3] + (c.source.height - 0.5) * g[5]);
            const auto topRight = ToWgs84(crs, g[0] + (c.source.width - 0.5) * g[1], g[3] + g[5] / 2);
            EXPECT_NEAR(bottom, bottomLeft[0], 1e-9);
            EXPECT_NEAR(left, bottomLeft[1], 1e-9);
            EXPECT_NEAR(top, topRight[0], 1e-9);
            EXPECT_NEAR(right, topRight[1], 1e-9);
        } else if (crs == "EPSG:4326") {
            // The output's top-left edge is the source's: half a pixel out from the centres.
            const auto topLeft = ToWgs84("EPSG:3857", plan.originX, plan.originY);
            EXPECT_NEAR(topLeft[0], g[3], 1e-9);
            EXPECT_NEAR(topLeft[1], g[0], 1e-9);
            const auto centre = ToWgs84("EPSG:3857", plan.originX + plan.pixelWidth / 2,
                                        plan.originY - plan.pixelHeight / 2);
            EXPECT_NEAR(top, centre[0], 1e-10);
            EXPECT_NEAR(left, centre[1], 1e-10);
            // No source row or column is dropped.
            EXPECT_GE(plan.height, c.source.height);
            EXPECT_GE(plan.width, c.source.width);
        }

        const Decoded output = DecodeFile(folder.File("out.bmp"));
        EXPECT_EQ(output.width, plan.width);
        EXPECT_EQ(output.height, plan.height);
        if (!c.warped) {
            const Decoded original = DecodeFile(source);
            EXPECT_EQ(output.pixels, original.pixels);
            if (c.source.palette) {
                EXPECT_EQ(output.palette, original.palette);
            }
        } else {
            std::string colours = source;
            if (c.source.palette) {  // compared with the colours the table gives, warped
                colours = folder.File("rgb.tif");
                CPLStringList expand(CSLTokenizeString("-expand rgb"));
                GDALTranslateOptions* options = GDALTranslateOptionsNew(expand.List(), nullptr);
                GDALDatasetH in = GDALOpen(source.c_str(), GA_ReadOnly);
                GDALClose(GDALTranslate(colours.c_str(), in, options, nullptr));
                GDALTranslateOptionsFree(options);
                GDALClose(in);
            }
            const Decoded reference = GdalWarpReference(colours, plan, c.warpExtra);
            EXPECT_EQ(output.pixels, reference.pixels);
        }
    }
}

// A scene with a black border that is no part of it, as satellite scenes come. Marked clear by a
// nodata value, a mask, an alpha band or PNG transparency, the border shows white, and none of
// its black is blended into the scene's edge.
TEST(ImportCommand, ClearBorderShowsWhiteHoweverMarked) {
    const auto scene = [](int b, int x, int y) -> std::uint8_t {
        if (std::abs(x - 20) + std::abs(y - 15) >= 17) return 0;
        if (x == 20 && b < 3) return 0;  // pure blue: only some of its bands hold the nodata value
        return b == 4 ? 255 : 128 + ((x * 37 + y * 101 + b * 71 + x * y) & 127);
    };
    using enum geoimport::Resampling;
    const std::vector<Source> forms{{.clear = 0}, {.clear = 0, .mask = "NO"}, {.clear = 0, .mask = "YES"},
                                    {.bands = 4, .alpha = true}, {.driver = "PNG", .clear = 0}};
    for (const auto& [crs, g] : {std::pair{"EPSG:32654", Tokyo32654}, std::pair{"EPSG:3857", Tokyo3857}}) {
        for (const geoimport::Resampling resampling : {Nearest, Bilinear, Cubic}) {
            SCOPED_TRACE(std::string(crs) + " resampling " + std::to_string(int(resampling)));
            TempFolder folder;
            std::vector<Pixels> outputs;
            for (Source form : forms) {
                form.crs = crs;
                form.geoTransform = g;
                form.value = scene;
                const std::string source = folder.File(std::to_string(outputs.size()) + "." + form.driver);
                MakePicture(form, source);
                ImportOrFail(source, {.resampling = resampling}, folder.File("out.bmp"));
                outputs.push_back(DecodeFile(folder.File("out.bmp")).pixels);
                EXPECT_EQ(outputs.back(), outputs.front()) << source;
            }
            // The scene's darkest blue is 128: its border, or a blend with it, shows darker.
            // (Cubic may overshoot at a real edge.)
            if (resampling != Cubic) {
                EXPECT_GE(std::ranges::min(outputs.front() | std::views::drop(outputs.front().size() / 3 * 2)), 128);
            }
        }
    }
    // Grey shows white there; a palette an entry that is white, which a full table without one
    // has no room for: then it is written as 24-bit colours.
    const struct {
        Source source;
        std::int16_t bitCount;
    } others[] = {
        {{.crs = "EPSG:3857", .geoTransform = Tokyo3857, .bands = 1, .clear = 0}, 8},
        {{.crs = "EPSG:3857", .geoTransform = Tokyo3857, .bands = 1, .palette = true, .clear = 0}, 8},
        {{.crs = "EPSG:32654", .geoTransform = Tokyo32654, .bands = 1, .palette = true, .clear = 0}, 8},
        {{.crs = "EPSG:3857", .geoTransform = Tokyo3857, .bands = 1, .palette = true, .clear = 0, .mask = "YES"}, 24},
        {{.crs = "EPSG:32654", .geoTransform = Tokyo32654, .bands = 1, .palette = true, .clear = 0, .mask = "YES"}, 24},
    };
    for (auto [source, bitCount] : others) {
        SCOPED_TRACE(source.crs + (source.palette ? " palette " : " grey ") + (source.mask.empty() ? "nodata" : "mask"));
        TempFolder folder;
        source.value = scene;
        MakePicture(source, folder.File("s.tif"));
        const geoimport::ImportPlan plan = ImportOrFail(folder.File("s.tif"), {}, folder.File("out.bmp"));
        EXPECT_EQ(plan.bitCount, bitCount);
        EXPECT_EQ(std::filesystem::file_size(folder.File("out.bmp")), plan.fileSize);
        const Decoded output = DecodeFile(folder.File("out.bmp"));
        const std::size_t plane = std::size_t(output.width) * output.height;
        const std::array<short, 3> clear{short(source.palette ? 255 : 0), 0, 0};  // what index or grey 0 shows
        int white = 0;
        int shownClear = 0;
        for (std::size_t i = 0; i < plane; ++i) {
            const std::array<short, 3> colour =
                output.bands == 3 ? std::array<short, 3>{output.pixels[i], output.pixels[plane + i],
                                                         output.pixels[2 * plane + i]}
                                  : output.palette.at(output.pixels[i]);
            shownClear += colour == clear;
            white += colour == std::array<short, 3>{255, 255, 255};
        }
        EXPECT_EQ(shownClear, 0);
        EXPECT_GT(white, 0);
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
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 3, .type = GDT_Int16}, {}, NotColours, "band 1 holds Int16"},
        // Elevations are shaded only when asked; UInt16 is elevations where its unit is a length.
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 1, .type = GDT_Int16}, {}, Elevations, "--relief"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 1, .type = GDT_UInt16, .unit = "metre"}, {},
         Elevations, "UInt16 values, elevations"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326}, {.relief = geoimport::Relief::Grey}, NotColours,
         "3 bands are not the single band of elevations"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 1}, {.relief = geoimport::Relief::Grey},
         NotColours, "Byte values, not elevations"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 2}, {}, NotColours, "not grey and alpha"},
        {{.crs = "EPSG:4326", .geoTransform = {139, 0.01, 0, 89.9, 0, -0.01}}, {}, OutsideMercator, "85.0511"},
        {{.crs = "EPSG:4326", .geoTransform = Tokyo4326, .bands = 1, .palette = true},
         {.resampling = geoimport::Resampling::Bilinear}, NotColours, "nearest"},
        {{}, {}, TooLarge, "2340000054 bytes"},
        {{.crs = "EPSG:3857", .geoTransform = {0, 1e16, 0, 1e6, 0, -1e3}}, {}, BeyondTheEarth, "4E+17 m east"},
        {{.crs = "EPSG:4326", .geoTransform = {-1000, 50, 0, 80, 0, -1}}, {}, BeyondTheEarth, "2000 degrees"},
        {{.crs = "EPSG:32654", .geoTransform = {0, 1, 0, 0, 0, -1e308}}, {}, BeyondTheEarth, "inf m north"},
        {{.crs = "EPSG:4326", .geoTransform = {0, 1, 0, 120, 0, -1}}, {}, BeyondTheEarth, "beyond the pole"},
        {{.crs = "EPSG:2263", .geoTransform = {0, 3.75e6, 0, 1e6, 0, -1}}, {}, BeyondTheEarth, "45720091.4 m east"},  // US survey feet
        // Half a degree more than the Earth once a pixel's slack is taken off.
        {{.crs = "EPSG:4326", .geoTransform = {-180, 360.5 / 39, 0, 80, 0, -1}}, {}, BeyondTheEarth, "369.7 degrees"},
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
        const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(source, c.options);
        EXPECT_FALSE(prepared.job);
        EXPECT_EQ(prepared.status.error, c.error);
        EXPECT_NE(prepared.status.message.find(c.said), std::string::npos) << prepared.status.message;
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
    // The Earth's width and a pixel's slack exactly: not beyond it.
    TempFolder folder;
    MakePicture({.crs = "EPSG:4326", .geoTransform = {-180.5, 1, 0, 80, 0, -1}, .width = 361}, folder.File("w.tif"));
    EXPECT_NE(geoimport::TheImporter().Prepare(folder.File("w.tif"), {}).status.error, BeyondTheEarth);
}

TEST(ImportCommand, FailedOrCanceledWritesLeaveNothing) {
    TempFolder folder;
    const std::string source = folder.File("s.tif");
    MakePicture({.crs = "EPSG:4326", .geoTransform = Tokyo4326, .height = 300}, source);
    const std::string output = folder.File("out.bmp");
    WriteAll(output, {1, 2, 3});
    const std::vector<std::string> before = FolderEntries(folder.Path());
    const auto write = [&source](const std::string& to, const geoimport::ImportProgress& progress) {
        const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(source, {});
        return prepared.job ? prepared.job->Write({to}, progress).error : ImportError::OpenFailed;
    };
    EXPECT_EQ(write(output, [](double) { return false; }), ImportError::Canceled);
    EXPECT_EQ(write(source, {}), ImportError::WriteFailed);
    EXPECT_EQ(write(folder.File("missing/out.bmp"), {}), ImportError::WriteFailed);
    EXPECT_EQ(FolderEntries(folder.Path()), before);
    EXPECT_EQ(ReadAll(output), (Bytes{1, 2, 3}));
}

// No run writes over a file it reads, under whatever name: the pictures given, and what is
// read with each (world file, .prj, .aux.xml). Nothing is written, nothing is left behind.
TEST(ImportCommand, NeverWritesOverAFileItReads) {
    TempFolder folder;
    const std::string g = folder.File("g.png");
    MakePicture({.driver = "PNG", .georeferenced = false}, g);
    AddWorldFile(g, ".pgw", Tokyo4326, "EPSG:4326");
    const std::string a = folder.File("a.png");  // georeferenced by its .aux.xml
    MakePicture({.driver = "PNG", .crs = "EPSG:4326", .geoTransform = Tokyo4326}, a);
    std::string aOutput;  // given as a picture after a.png, which would be imported to it
    if (const auto prepared = geoimport::TheImporter().Prepare(a, {}); prepared.job) aOutput = prepared.job->Parts().front().proposedPath;
    ASSERT_FALSE(aOutput.empty());
    WriteAll(aOutput, {1, 2, 3});
    const struct {
        std::vector<std::string> args;
        std::string kept;
    } cases[] = {
        {{"import", a, aOutput}, aOutput},
        {{"import", "-o", folder.File("pgw.bmp"), g}, folder.File("g.pgw")},
        {{"import", "-o", folder.File("prj.bmp"), g}, folder.File("g.prj")},
        {{"import", "-o", folder.File("aux.bmp"), a}, a + ".aux.xml"},
    };
    // -o NAME.bmp writes NAME(corners).bmp: here links to the files read (a and g share corners).
    for (const auto& c : cases | std::views::drop(1)) {
        std::filesystem::create_hard_link(c.kept, c.args[2].substr(0, c.args[2].size() - 4) +
                                                      aOutput.substr(aOutput.rfind('(')));
    }
    const std::vector<std::string> before = FolderEntries(folder.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args[2]);
        const Bytes kept = ReadAll(c.kept);
        const BatchRun run = RunBatchInProcess(c.args);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("is one of the files being imported"), std::string::npos) << run.err;
        EXPECT_EQ(ReadAll(c.kept), kept);
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
}

// Rows beyond the end of Web Mercator are cut off, and what remains still reads back.
TEST(ImportCommand, CutsAtTheEndOfWebMercator) {
    TempFolder folder;
    for (const auto& [crs, g] : {std::pair{"EPSG:4326", std::array<double, 6>{139, 0.05, 0, 86.5, 0, -0.1}},
                                 std::pair{"EPSG:3857", std::array<double, 6>{15540300, 5000, 0, 20100000, 0, -5000}}}) {
        SCOPED_TRACE(crs);
        const std::string source = folder.File("c.tif");
        MakePicture({.crs = crs, .geoTransform = g}, source);
        const geoimport::ImportPlan plan = ImportOrFail(source, {}, folder.File("c.bmp"));
        EXPECT_TRUE(plan.cutAtMercatorLimit);
        EXPECT_NE(geoimport::ImportNotes({plan}, {"out.bmp"}).find("85.0511"), std::string::npos);
        EXPECT_LT(plan.corners.top, geoimport::MercatorLatitudeLimit);
        EXPECT_GT(plan.corners.top, geoimport::MercatorLatitudeLimit - 0.1);
        EXPECT_EQ(DecodeFile(folder.File("c.bmp")).height, plan.height);
    }
}

// The same picture placed by a geotransform, by control points and by a satellite's RPCs comes
// out the same; a full disk seen from space, whose corners lie off the Earth, gives the Earth it shows.
TEST(ImportCommand, UsesEveryGeoreferenceGdalUses) {
    TempFolder folder;
    // Line and sample linear in latitude and longitude, 0 at the first pixel's centre.
    const std::string zeros = " 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0";
    const std::vector<std::string> rpcs{
        "LINE_OFF=14.5", "SAMP_OFF=19.5", "LAT_OFF=35.65", "LONG_OFF=139.75", "HEIGHT_OFF=0", "LINE_SCALE=15",
        "SAMP_SCALE=20", "LAT_SCALE=0.15", "LONG_SCALE=0.15", "HEIGHT_SCALE=1", "LINE_NUM_COEFF=0 0 -1" + zeros,
        "LINE_DEN_COEFF=1 0 0" + zeros, "SAMP_NUM_COEFF=0 1 0" + zeros, "SAMP_DEN_COEFF=1 0 0" + zeros};
    const std::vector<std::array<double, 4>> gcps{
        {0, 0, 139.6, 35.8}, {40, 0, 139.9, 35.8}, {0, 30, 139.6, 35.5}, {40, 30, 139.9, 35.5}};
    const std::array sources{Source{.crs = "EPSG:4326", .geoTransform = Tokyo4326},
                             Source{.crs = "EPSG:4326", .gcps = gcps}, Source{.rpcs = rpcs}};
    std::vector<geoimport::ImportPlan> plans;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const std::string path = folder.File(std::to_string(i) + ".tif");
        MakePicture(sources[i], path);
        plans.push_back(ImportOrFail(path, {}, folder.File(std::to_string(i) + ".bmp")));
        SCOPED_TRACE(i);
        EXPECT_EQ(plans[i].width, plans[0].width);
        EXPECT_EQ(plans[i].height, plans[0].height);
        for (const auto side : {&MapCorners::bottom, &MapCorners::left,
                                &MapCorners::top, &MapCorners::right}) {
            EXPECT_NEAR(plans[i].corners.*side, plans[0].corners.*side, 1e-7);
        }
    }
    EXPECT_EQ(DecodeFile(folder.File("1.bmp")).pixels, DecodeFile(folder.File("0.bmp")).pixels);

    const std::string disk = folder.File("disk.tif");
    const double half = 5568748;
    MakePicture({.crs = "+proj=geos +h=35785831 +lon_0=0 +a=6378137 +b=6356752.3 +units=m +no_defs",
                 .geoTransform = {-half, 2 * half / 100, 0, half, 0, -2 * half / 100}, .width = 100, .height = 100},
                disk);
    const geoimport::ImportPlan plan = ImportOrFail(disk, {}, folder.File("disk.bmp"));
    EXPECT_GT(plan.corners.top, 75);
    EXPECT_LT(plan.corners.bottom, -75);
    EXPECT_NEAR(plan.corners.right, -plan.corners.left, 1e-6);
    EXPECT_LT(plan.corners.right, 82);
    EXPECT_GE(plan.width, 100);
}

// No map's corners cross the 180th meridian: a picture that does comes out as two bitmaps, each
// as wide as its own part, named, read back and warped as GDAL warps that part's grid. One
// around a pole spans all longitudes and stays whole.
TEST(ImportCommand, SplitsAPictureAcross180IntoTwoPartsAsGdalWarpsThem) {
    const struct {
        const char* crs;
        std::array<double, 6> g;
        std::size_t parts;
        double widest;  // the widths together, at most, as a multiple of the source's
        // GDAL's extent (bottom, left, top, right) that info reports, where it is plain.
        std::optional<std::array<double, 4>> edges;
    } cases[] = {
        {"EPSG:4326", {179, 2.0 / 40, 0, -10, 0, -1.0 / 30}, 2, 1.0, {{-11, 179, -10, 181}}},
        {"EPSG:32601", {150000, 300000.0 / 40, 0, 5000000, 0, -300000.0 / 30}, 2, 1.1, {}},
        // The whole world in longitudes 0 to 360: whole.
        {"EPSG:4326", {0, 9, 0, 80, 0, -3}, 1, 1.0, {{-10, -180, 80, 180}}},
        // From the meridian east.
        {"EPSG:4326", {180, 10.0 / 40, 0, -10, 0, -1.0 / 30}, 1, 1.0, {{-11, -180, -10, -170}}},
        // Turned: its extent is its outline's, not its first corner's.
        {"EPSG:4326", {139, 1.0 / 32, 1.0 / 64, 36, 1.0 / 128, -1.0 / 32}, 1, 2, {{35.0625, 139, 36.3125, 140.71875}}},
        {"EPSG:3413", {-2.9e6, 6e6 / 40, 0, 3.1e6, 0, -6e6 / 30}, 1, 40, {}},  // around the North Pole
        // A full disk seen from above 140.7 degrees east: its outline lies off the Earth.
        {"+proj=geos +h=35785831 +lon_0=140.7 +ellps=WGS84", {-5568748, 278437.4, 0, 5568748, 0, -371249.9}, 2, 3, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.crs) + " from " + std::to_string(c.g[0]));
        TempFolder folder;
        const std::string source = folder.File("x.tif");
        MakePicture({.crs = c.crs, .geoTransform = c.g}, source);
        const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(source, {});
        ASSERT_TRUE(prepared.job) << prepared.status.message;
        const std::vector<geoimport::ImportPlan>& parts = prepared.job->Parts();
        ASSERT_EQ(parts.size(), c.parts);
        const BatchRun run = RunBatchInProcess({"import", source});
        ASSERT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(run.err.find("split") != std::string::npos, c.parts == 2) << run.err;
        const Json info = JsonLines(RunBatchInProcess({"info", "--json", source}).out).at(0);
        ASSERT_EQ(info["import"]["parts"].size(), c.parts);
        if (c.edges) {
            const Json& edges = info["gdal"]["corners"];
            const auto [bottom, left, top, right] = *c.edges;
            EXPECT_EQ(edges, (Json{{"bottom", bottom}, {"left", left}, {"top", top}, {"right", right}}));
        }
        std::string listed;
        std::int32_t widths = 0;
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const geoimport::ImportPlan& plan = parts[i];
            listed += plan.proposedPath + "\n";
            widths += plan.width;
            const FileNameCorners back = ReadFileNameConvention(plan.proposedPath);
            ASSERT_TRUE(back.corners);
            EXPECT_EQ(*back.name, c.parts == 1 ? "x" : i == 0 ? "x_west" : "x_east");
            EXPECT_LE(std::fabs(plan.originX), 20037508.35);  // within Web Mercator's square, each on its side
            const auto [bottom, left, top, right] = *back.corners;
            EXPECT_EQ(info["import"]["parts"][i]["corners"]["left"].get<double>(), left);
            EXPECT_EQ(info["import"]["parts"][i]["file"], plan.fileName);
            EXPECT_LT(left, right);
            // The parts meet at the meridian: the edge half a pixel beyond the corner centres.
            const double halfPixel = plan.pixelWidth / 2 / 20037508.342789244 * 180;
            if (c.parts == 2) {
                EXPECT_NEAR(i == 0 ? right + halfPixel : left - halfPixel, i == 0 ? 180 : -180, 1e-9);
            }
            EXPECT_LT(bottom, top);
            // GDAL's extent runs west to east as the parts do, its right edge past 180.
            if (const Json& edges = info["gdal"]["corners"]; c.parts == 2 && edges.is_object()) {
                EXPECT_LT(edges["right"].get<double>() - edges["left"].get<double>(), 180) << edges;
            }
            const Decoded output = DecodeFile(plan.proposedPath);
            EXPECT_EQ(output.width, plan.width);
            EXPECT_EQ(output.pixels, GdalWarpReference(source, plan, {}).pixels);
        }
        EXPECT_EQ(run.out, listed);
        EXPECT_GE(widths, 40);
        EXPECT_LE(widths, 40 * c.widest + 1);
        // -o NAME.bmp: each part keeps its own name and corners, which the note names; the name's
        // own parentheses become brackets, or they would end it when read back.
        const BatchRun named = RunBatchInProcess({"import", "-o", folder.File("(My).bmp"), source});
        EXPECT_EQ(named.out.substr(0, folder.File("[My]_").size()), folder.File(c.parts == 1 ? "[My](" : "[My]_"));
        if (c.parts == 2) {
            const std::string east = named.out.substr(named.out.find('\n') + 1);
            EXPECT_NE(named.err.find("and " + GetFileName(east.substr(0, east.size() - 1)) + " east of it"),
                      std::string::npos) << named.err;
        }
    }
}

// --box keeps the whole import's own pixels, byte for byte, in the box widened outward to them
// (the name giving its corner pixels' centres); across 180 the parts it meets; a relief shaded
// with the neighbours beyond the box. The UTM picture is wide enough for GDAL's interpolation
// along a row to depend on where the row starts. A box beside the picture is refused, naming both.
TEST(ImportCommand, ABoxKeepsTheWholeImportsPixelsWithinIt) {
    const std::array<double, 6> across{179, 2.0 / 40, 0, -10, 0, -1.0 / 30};
    const std::array<double, 6> utm{-100000, 150, 0, 4200000, 0, -150};
    using enum geoimport::Relief;
    const struct { const char* crs; std::array<double, 6> g; MapCorners box; geoimport::Relief relief = None; } cases[] = {
        {"EPSG:3857", Tokyo3857, {35.6, 139.65, 35.7, 139.75}}, {"EPSG:4326", Tokyo4326, {35.6, 139.65, 35.7, 139.75}},
        {"EPSG:32654", utm, {37.7, 134.5, 37.8, 135.5}}, {"EPSG:4326", across, {-10.8, 179.5, -10.2, -179.5}},
        {"EPSG:4326", across, {-10.8, 179.5, -10.2, 179.7}}, {"EPSG:32654", utm, {37.7, 134.5, 37.8, 135.5}, Grey},
        {"EPSG:3857", Tokyo3857, {35.6, 139.65, 35.7, 139.75}, Colour}};
    const auto x = [](double longitude) { return longitude / 180 * 20037508.342789244; };
    const auto y = [](double latitude) { return std::asinh(std::tan(latitude * M_PI / 180)) * 6378137; };
    const auto inOuterPixel = [](double box, double edge, double step) { return box - edge > -1e-6 && box - edge < step; };
    for (const auto& [crs, g, box, relief] : cases) {
        SCOPED_TRACE(std::string(crs) + " " + std::to_string(box.right) + " relief " + std::to_string(int(relief)));
        TempFolder folder;
        const std::string source = folder.File("x.tif");
        Source picture{.crs = crs, .geoTransform = g, .width = 1000, .height = 120};
        if (relief != None) {
            picture = {.crs = crs, .geoTransform = g, .width = 1000, .height = 120, .bands = 1, .type = GDT_Float32,
                       .elevation = [](int c, int r) { return 500 + 300 * std::sin(c / 7.0) * std::cos(r / 5.0); }};
        }
        MakePicture(picture, source);
        const auto whole = geoimport::TheImporter().Prepare(source, {.relief = relief});
        const std::vector<std::string> wholePaths{folder.File("w.bmp"), folder.File("e.bmp")};
        const std::size_t wholeParts = whole.job->Parts().size();
        ASSERT_EQ(whole.job->Write({wholePaths.begin(), wholePaths.begin() + wholeParts}).error, ImportError::None);
        const auto cropped = geoimport::TheImporter().Prepare(source, {.relief = relief, .box = box});
        ASSERT_TRUE(cropped.job) << cropped.status.message;
        const auto& parts = cropped.job->Parts();
        std::string listed;
        for (const auto& plan : parts) listed += plan.proposedPath + "\n";
        const std::string boxText = std::to_string(box.bottom) + "," + std::to_string(box.left) + "," +
                                    std::to_string(box.top) + "," + std::to_string(box.right);
        std::vector<std::string> args{"import", "--box", boxText, source};
        if (relief != None) args.insert(args.begin() + 1, {"--relief", relief == Grey ? "grey" : "color"});
        ASSERT_EQ(RunBatchInProcess(args).out, listed);
        if (relief == None) {  // info describes a picture, not its relief
            const Json info = JsonLines(RunBatchInProcess({"info", "--json", "--box", boxText, source}).out).at(0);
            EXPECT_EQ(info["import"]["parts"].size(), parts.size());
            EXPECT_EQ(info["import"]["corners"]["top"].get<double>(), parts[0].corners.top);
        }
        EXPECT_TRUE(inOuterPixel(x(box.left), parts[0].originX, parts[0].pixelWidth));
        EXPECT_TRUE(inOuterPixel(-x(box.right), -parts.back().originX - parts.back().width * parts.back().pixelWidth,
                                 parts.back().pixelWidth));
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const geoimport::ImportPlan& plan = parts[i];
            EXPECT_TRUE(inOuterPixel(-y(box.top), -plan.originY, plan.pixelHeight));
            EXPECT_TRUE(inOuterPixel(y(box.bottom), plan.originY - plan.height * plan.pixelHeight, plan.pixelHeight));
            EXPECT_NEAR(plan.corners.left * 20037508.342789244 / 180, plan.originX + plan.pixelWidth / 2, 1e-3);
            const std::size_t j = wholeParts == parts.size() ? i : 0;
            const geoimport::ImportPlan& all = whole.job->Parts()[j];
            EXPECT_EQ(plan.pixelWidth, all.pixelWidth);
            const auto column = std::lround((plan.originX - all.originX) / all.pixelWidth);
            const auto row = std::lround((all.originY - plan.originY) / all.pixelHeight);
            const Decoded kept = DecodeFile(plan.proposedPath);
            const Decoded full = DecodeFile(wholePaths[j]);
            int differing = 0;
            for (int r = 0; r < kept.height * kept.bands; ++r) {
                const auto at = full.pixels.begin() + ((r / kept.height) * full.height + row + r % kept.height) * full.width + column;
                differing += !std::equal(at, at + kept.width, kept.pixels.begin() + std::ptrdiff_t(r) * kept.width);
            }
            EXPECT_EQ(differing, 0);
        }
        const std::vector<std::string> before = FolderEntries(folder.Path());
        args[args.size() - 2] = "10,10,11,11";
        const BatchRun outside = RunBatchInProcess(args);
        EXPECT_EQ(outside.status, 1);
        EXPECT_NE(outside.err.find("the box (10.000000,10.000000,11.000000,11.000000) does not meet the picture, which "
                                   "spans ("), std::string::npos) << outside.err;
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
}

// A netCDF of two variables is refused with each subdataset and the command importing it;
// info lists them too and takes a subdataset's name as the import does. A netCDF placed by
// latitude and longitude arrays is warped as gdalwarp -geoloc places it.
TEST(ImportCommand, SubdatasetsAreListedAndGeolocationArraysPlaceAsGdalDoes) {
    TempFolder folder;
    const std::string nc = folder.File("two.nc");
    MakeNetcdf(nc, false);
    const std::string green = "NETCDF:\"" + nc + "\":green";
    const std::string listed = green + "  [30x40] green (8-bit unsigned integer)";
    const std::string command = "kartivo-batch import 'NETCDF:\"" + nc + "\":green'";
    const BatchRun refused = RunBatchInProcess({"import", nc});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("\n  " + listed + "\n    " + command + "\n"), std::string::npos) << refused.err;
    const Json info = JsonLines(RunBatchInProcess({"info", "--json", nc}).out).at(0);
    EXPECT_EQ(info["gdal"]["subdatasets"].at(1), (Json{{"name", green},
                                                      {"description", "[30x40] green (8-bit unsigned integer)"},
                                                      {"import", command}}));
    const std::string text = RunBatchInProcess({"info", nc}).out;
    const std::string indent = "\n" + std::string(23, ' ');
    EXPECT_NE(text.find("subdataset 1       NETCDF:\"" + nc + "\":red  [30x40] red (8-bit unsigned integer)" + indent +
                        "kartivo-batch import 'NETCDF:\"" + nc + "\":red'\n  subdataset 2       " + listed + indent +
                        command),
              std::string::npos)
        << text;

    const BatchRun one = RunBatchInProcess({"info", "--json", green});
    EXPECT_EQ(one.status, 0) << one.err;
    const geoimport::ImportPlan plan = ImportOrFail(green, {}, folder.File("green.bmp"));
    EXPECT_EQ(JsonLines(one.out).at(0)["import"]["parts"].at(0)["file"], plan.fileName);
    EXPECT_EQ(DecodeFile(folder.File("green.bmp")).pixels, GdalWarpReference(green, plan, {}).pixels);

    const std::string swath = folder.File("swath.nc");
    MakeNetcdf(swath, true);
    const geoimport::ImportPlan placed = ImportOrFail(swath, {}, folder.File("swath.bmp"));
    EXPECT_TRUE(placed.warped);
    EXPECT_EQ(DecodeFile(folder.File("swath.bmp")).pixels, GdalWarpReference(swath, placed, {"-geoloc"}).pixels);
}

// What info and import say of pictures the import refuses: GDAL's own reason for a file it
// cannot read, no command that would fail, the file beside a picture that places it, and pixels
// too small for a name's corners to tell apart.
TEST(ImportCommand, RefusalsTellWhatWouldWork) {
    TempFolder folder;
    const std::string junk = folder.File("junk.tif");
    WriteAll(junk, Bytes{'n', 'o'});
    const BatchRun unread = RunBatchInProcess({"info", "--json", junk});
    EXPECT_EQ(unread.status, 1);
    const std::string error = JsonLines(unread.out).at(0)["error"];
    EXPECT_EQ(error.find("This file is not BMP. GDAL cannot read it: "), 0u) << error;

    // A VRT named after the scan places it, as an OziExplorer .map would.
    const std::string scan = folder.File("scan.png");
    MakePicture({.driver = "PNG", .georeferenced = false}, scan);
    GDALDatasetH png = GDALOpen(scan.c_str(), GA_ReadOnly);
    GDALDatasetH vrt = GDALCreateCopy(GDALGetDriverByName("VRT"), folder.File("scan.vrt").c_str(), png, FALSE, nullptr,
                                      nullptr, nullptr);
    std::array<double, 6> g = Tokyo3857;
    GDALSetGeoTransform(vrt, g.data());
    GDALClose(vrt);
    GDALClose(png);
    const BatchRun told = RunBatchInProcess({"info", scan});
    EXPECT_NE(told.out.find("; but " + folder.File("scan.vrt") + " beside it places it: import that file instead"),
              std::string::npos) << told.out;
    EXPECT_EQ(told.out.find("kartivo-batch import"), std::string::npos) << told.out;

    // Pixels of 1e-7 m two kilometres from the origin, in both directions or only across.
    const std::pair<double, std::string> narrow[] = {
        {-1e-7, "bottom and top latitudes are the same to ten decimals (0.0179663054)"},
        {-100, "left and right longitudes are the same to ten decimals (0.0179663057)"}};
    for (const auto& [height, which] : narrow) {
        const std::string tiny = folder.File("tiny.tif");
        MakePicture({.crs = "EPSG:3857", .geoTransform = {2000, 1e-7, 0, 2000, 0, height}}, tiny);
        const std::vector<std::string> before = FolderEntries(folder.Path());
        const BatchRun small = RunBatchInProcess({"import", tiny});
        EXPECT_EQ(small.status, 1);
        EXPECT_NE(small.err.find(which), std::string::npos) << small.err;
        EXPECT_EQ(FolderEntries(folder.Path()), before);
    }
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
    // -o names one output; without it, each picture is imported on its own.
    EXPECT_EQ(RunBatchInProcess({"import", "-o", folder.File("x.bmp"), tif, png}).status, 2);
    EXPECT_EQ(RunBatchInProcess({"import", "-o", folder.File("x.tif"), tif}).status, 2);
    const std::string tifName = geoimport::TheImporter().Prepare(tif, {}).job->Parts().front().fileName;  // t(corners).bmp
    EXPECT_EQ(RunBatchInProcess({"import", "-o", folder.File("My (map).bmp"), tif}).out,
              folder.File("My [map]" + tifName.substr(1)) + "\n");
    // A subdataset's output goes beside the file it lives in; a missing file says so.
    const test::BatchRun page = RunBatchInProcess({"import", "GTIFF_DIR:1:" + tif, folder.File("gone.tif")});
    EXPECT_EQ(page.status, 1);
    EXPECT_EQ(page.out, folder.File(tifName) + "\n");
    EXPECT_NE(page.err.find("gone.tif: cannot import: No such file or directory"), std::string::npos) << page.err;

    const test::BatchRun imported = RunBatchInProcess({"import", "--srs", "EPSG:4326", png}, true);
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.err.find("[1/1] Tokyo (2020).png 100%"), std::string::npos) << imported.err;
    const std::string written = imported.out.substr(0, imported.out.find('\n'));
    EXPECT_TRUE(std::filesystem::exists(written));
    // The parentheses of the source's name would end the map name early.
    EXPECT_EQ(ReadFileNameConvention(written).name, "Tokyo [2020]");
    // A .prj in any form GDAL reads says what --srs said; one it cannot read is named.
    OGRSpatialReference wgs84;
    wgs84.importFromEPSG(4326);
    char* wkt2 = nullptr;
    const char* const wkt2Form[] = {"FORMAT=WKT2_2019", nullptr};
    wgs84.exportToWkt(&wkt2, wkt2Form);
    const std::string prj = folder.File("Tokyo (2020).prj");
    for (const std::string& text : std::vector<std::string>{wkt2, "EPSG:4326", "+proj=longlat +datum=WGS84", "garbage"}) {
        WriteAll(prj, Bytes(text.begin(), text.end()));
        const geoimport::ImportPreparation prepared = geoimport::TheImporter().Prepare(png, {});
        const std::string got = prepared.job ? prepared.job->Parts().front().proposedPath : prepared.status.message;
        EXPECT_EQ(got.find(text == "garbage" ? "the .prj " + prj + " is not a coordinate system GDAL reads: " : written),
                  0) << got;
    }
    CPLFree(wkt2);

    const test::BatchRun infoRun = RunBatchInProcess({"info", "--json", tif});
    EXPECT_EQ(infoRun.status, 0) << infoRun.err;
    const Json info = JsonLines(infoRun.out).at(0);
    const Json& gdal = info["gdal"];
    EXPECT_EQ(gdal["format"], "GTiff");
    EXPECT_EQ(gdal["crs"], "EPSG:3857");
    EXPECT_EQ(gdal["crsName"], "WGS 84 / Pseudo-Mercator");
    EXPECT_TRUE(gdal["crsWkt"].is_null());
    // A system without a code is told in full.
    const std::string custom = folder.File("custom.tif");
    MakePicture({.crs = "+proj=utm +zone=54 +ellps=GRS80 +units=m", .geoTransform = Tokyo32654}, custom);
    const Json customInfo = JsonLines(RunBatchInProcess({"info", "--json", custom}).out).at(0);
    EXPECT_NE(customInfo["gdal"]["crsWkt"].get<std::string>().find("central_meridian\",141]"), std::string::npos);
    const auto topLeft = ToWgs84("EPSG:3857", Tokyo3857[0], Tokyo3857[3]);
    EXPECT_NEAR(gdal["corners"]["top"].get<double>(), topLeft[0], 1e-9);
    EXPECT_NEAR(gdal["corners"]["left"].get<double>(), topLeft[1], 1e-9);
    // What the import would make of it: the corners its output's name carries, not a BMP yet.
    const geoimport::ImportPreparation plan = geoimport::TheImporter().Prepare(tif, {});
    ASSERT_TRUE(plan.job);
    EXPECT_EQ(info["bmp"], false);
    EXPECT_FALSE(info.contains("error"));
    EXPECT_EQ(info["import"]["corners"]["bottom"].get<double>(), plan.job->Parts().front().corners.bottom);
    const test::BatchRun text = RunBatchInProcess({"info", tif});
    EXPECT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("bottom latitude    " + DegreeText(plan.job->Parts().front().corners.bottom)), std::string::npos)
        << text.out;
}

// GDAL and its libraries are mapped only once a picture needs them; a program whose import
// module is missing says so when asked to import and does all else as before.
TEST(ImportCommand, GdalIsOpenedOnlyForAPictureThatNeedsIt) {
    TempFolder folder;
    const std::string bmp = folder.File("Tokyo(35.6,139.6,35.7,139.8).bmp");
    WriteAll(bmp, MakeBitmap({}));
    const std::string tif = folder.File("t.tif");
    MakePicture({.crs = "EPSG:3857", .geoTransform = Tokyo3857}, tif);
    // The dynamic loader names each library it maps on standard error.
    setenv("LD_DEBUG", "files", 1);
    const auto mapsGdal = [&folder](const std::vector<std::string>& args) {
        const BatchRun run = RunBatchProgram(args, folder);
        EXPECT_EQ(run.status, 0) << run.err;
        return run.err.find("libgdal") != std::string::npos;
    };
    EXPECT_FALSE(mapsGdal({"--version"}));
    EXPECT_FALSE(mapsGdal({"info", "--json", bmp}));
    EXPECT_FALSE(mapsGdal({"make", bmp}));
    EXPECT_TRUE(mapsGdal({"import", tif}));
    unsetenv("LD_DEBUG");

    const std::string alone = folder.File("kartivo-batch");
    std::filesystem::copy_file(KARTIVO_BATCH_PROGRAM, alone);
    const auto run = [&](const std::string& args) {
        return WEXITSTATUS(std::system((alone + " " + args + " 2>" + folder.File("err.txt")).c_str()));
    };
    EXPECT_EQ(run("import " + tif), 1);
    const Bytes err = ReadAll(folder.File("err.txt"));
    EXPECT_NE(std::string(err.begin(), err.end()).find("the import module "), std::string::npos);
    EXPECT_NE(std::string(err.begin(), err.end()).find("kartivo-geoimport.so cannot be loaded: "), std::string::npos);
    EXPECT_EQ(run("make '" + bmp + "'"), 0);
}

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Control points taken from a picture's own geotransform place a copy without it exactly where
// the picture itself goes, pixel for pixel as gdalwarp warps the same points, however they are
// given: on the command line or in a .points file naming its system or not.
TEST(ImportByPoints, PlacesAScanAsItsGeoreferenceAndAsGdalWarpsTheSamePoints) {
    struct Case {
        const char* crs;
        std::array<double, 6> g;
        int count;
        PointTransform transform;
        std::vector<std::string> warpExtra;
    };
    const std::array<std::array<double, 2>, 12> places{{{0, 0}, {40, 0}, {0, 30}, {40, 30}, {13.5, 7.25}, {29, 21.5},
                                                       {5, 25}, {35, 4}, {20, 15}, {8.5, 12}, {31.25, 12.5}, {22, 27}}};
    for (const Case& c : {Case{"EPSG:4326", Tokyo4326, 6, PointTransform::Polynomial1, {"-order", "1"}},
                          Case{"EPSG:32654", Tokyo32654, 12, PointTransform::ThinPlateSpline, {"-tps"}}}) {
        SCOPED_TRACE(c.crs);
        TempFolder folder;
        MakePicture({.crs = c.crs, .geoTransform = c.g}, folder.File("own.tif"));
        const geoimport::ImportPlan own = ImportOrFail(folder.File("own.tif"), {}, folder.File("own.bmp"));
        const std::string plain = folder.File("scan.tif");
        MakePicture({.georeferenced = false}, plain);
        std::vector<std::array<double, 4>> gcps;
        PointsFile file;
        std::vector<std::string> byGcp{"import", plain, "-o", folder.File("gcp.bmp"), "--transform",
                                       std::string(PointTransformName(c.transform))};
        const bool lonlat = c.crs == std::string("EPSG:4326");
        if (!lonlat) byGcp.insert(byGcp.end(), {"--gcp-srs", c.crs});
        for (int i = 0; i < c.count; ++i) {
            const auto [column, row] = places[i];
            const double x = c.g[0] + column * c.g[1];
            const double y = c.g[3] + row * c.g[5];
            // Off the grid by up to 0.4 pixels for gdalwarp: each transform then fits its own way.
            gcps.push_back({column, row, x + (i % 3 - 1) * 0.4 * c.g[1], y + (i % 2) * 0.4 * c.g[5]});
            file.points.push_back({.column = column, .row = row, .mapX = x, .mapY = y});
            char text[128];
            std::snprintf(text, sizeof text, "%.17g,%.17g,%.17g,%.17g", column, row, y, x);
            byGcp.insert(byGcp.end(), {"--gcp", text});
        }
        const std::string withCrs = folder.File("crs.points");
        const std::string without = folder.File("nocrs.points");
        WriteAll(without, AsBytes(WritePointsText(file, {})));
        OGRSpatialReference crs;
        crs.SetFromUserInput(c.crs);
        char* wkt2 = nullptr;
        const char* const wkt2Form[] = {"FORMAT=WKT2_2019", "MULTILINE=NO", nullptr};
        crs.exportToWkt(&wkt2, wkt2Form);
        file.crsWkt = wkt2;
        CPLFree(wkt2);
        WriteAll(withCrs, AsBytes(WritePointsText(file, {})));
        std::vector<std::string> noCrsArgs{"import", plain, "--points", without, "-o", folder.File("nocrs.bmp"),
                                           "--transform", std::string(PointTransformName(c.transform))};
        if (!lonlat) noCrsArgs.insert(noCrsArgs.end(), {"--gcp-srs", c.crs});
        std::vector<std::string> outputs;
        for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{byGcp, noCrsArgs,
                                 {"import", plain, "--points", withCrs, "-o", folder.File("crs.bmp"), "--transform",
                                  std::string(PointTransformName(c.transform))}}) {
            const BatchRun run = RunBatchInProcess(args);
            ASSERT_EQ(run.status, 0) << run.err;
            // Points on an affine grid fit every transform exactly.
            EXPECT_TRUE(run.out.starts_with("point 1: dx 0.000 dy 0.000 pixels 0.000 metres 0.000\n")) << run.out;
            EXPECT_NE(run.out.find("rms 0.000 pixels over " + std::to_string(c.count) + " points\n"),
                      std::string::npos) << run.out;
            outputs.push_back(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1));
            outputs.back().pop_back();
        }
        const auto back = ReadFileNameConvention(outputs[0]).corners;
        ASSERT_TRUE(back);
        for (const auto side : {&MapCorners::bottom, &MapCorners::left, &MapCorners::top, &MapCorners::right}) {
            EXPECT_NEAR((*back).*side, own.corners.*side, 1e-6);
        }
        EXPECT_EQ(ReadAll(outputs[1]), ReadAll(outputs[0]));
        EXPECT_EQ(ReadAll(outputs[2]), ReadAll(outputs[0]));

        MakePicture({.crs = c.crs, .gcps = gcps}, folder.File("gcps.tif"));
        std::vector<ControlPoint> off;
        for (const auto& [column, row, x, y] : gcps) off.push_back({column, row, x, y});
        const geoimport::ImportPlan plan = ImportOrFail(
            plain, {.points = off, .pointsCrs = file.crsWkt, .pointTransform = c.transform}, folder.File("off.bmp"));
        EXPECT_EQ(DecodeFile(folder.File("off.bmp")).pixels,
                  GdalWarpReference(folder.File("gcps.tif"), plan, c.warpExtra).pixels);
    }
}

// The points file is read like the picture: an output that turns out to be it, by any link, is
// refused and the points are kept.
TEST(ImportByPoints, NeverWritesOverThePointsFile) {
    TempFolder folder;
    const std::string plain = folder.File("scan.tif");
    MakePicture({.georeferenced = false}, plain);
    PointsFile file;
    for (const auto [column, row] : {std::array<double, 2>{0, 0}, {40, 0}, {0, 30}}) {
        file.points.push_back({column, row, Tokyo4326[0] + column * Tokyo4326[1], Tokyo4326[3] + row * Tokyo4326[5]});
    }
    std::filesystem::create_directory(folder.File("kept"));
    const std::string points = folder.File("kept/scan.points");
    WriteAll(points, AsBytes(WritePointsText(file, {})));
    const auto import = [&](const std::string& output) {
        return RunBatchInProcess({"import", plain, "--points", points, "-o", output});
    };
    const BatchRun first = import(folder.File("out.bmp"));
    ASSERT_EQ(first.status, 0) << first.err;
    const std::string written = first.out.substr(first.out.rfind('\n', first.out.size() - 2) + 1, std::string::npos);
    const std::string name = GetFileName(written.substr(0, written.size() - 1));
    std::filesystem::remove(folder.File(name));
    // A symbolic link and a hard link under the output's name, and a folder link leading to a
    // points file of that name.
    std::filesystem::create_symlink(points, folder.File(name));
    std::filesystem::create_hard_link(points, folder.File("kept/hard" + name.substr(3)));
    std::filesystem::create_directory_symlink(folder.File("kept"), folder.File("via"));
    const std::string viaPoints = folder.File("kept/" + name);
    for (const auto& [output, read] : {std::pair{folder.File("out.bmp"), points}, {folder.File("kept/hard.bmp"), points},
                                       {folder.File("via/out.bmp"), viaPoints}}) {
        SCOPED_TRACE(output);
        if (read == viaPoints) std::filesystem::rename(points, viaPoints), std::filesystem::remove(folder.File(name));
        const Bytes kept = ReadAll(read);
        const BatchRun run = RunBatchInProcess({"import", plain, "--points", read, "-o", output});
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.err.find("is one of the files being imported"), std::string::npos) << run.err;
        EXPECT_EQ(ReadAll(read), kept);
    }
}

// Longitudes are typed from -180 to 180: a scan across 180 degrees has points at 179.5 and
// -179.5, and goes where its own georeference puts it, in two parts, not round the Earth the
// other way; a world map's points, as far apart, stay as typed.
TEST(ImportByPoints, PointsAcross180PlaceTheScanAcross180) {
    const struct { const char* name; std::array<double, 6> g; std::size_t parts; } cases[] = {
        {"Bering", {179, 0.05, 0, 60, 0, -0.05}, 2},
        {"world", {-170, 8.5, 0, 60, 0, -1}, 1},
        {"200 degrees wide", {-100, 5, 0, 60, 0, -1}, 1},  // counted on past 180, wider still
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        MakePicture({.crs = "EPSG:4326", .geoTransform = c.g}, folder.File("own.tif"));
        const std::string plain = folder.File("scan.tif");
        MakePicture({.georeferenced = false}, plain);
        geoimport::ImportOptions options;
        for (const auto [column, row] : {std::array<double, 2>{0, 0}, {40, 0}, {0, 30}, {40, 30}, {13, 11}}) {
            const double longitude = c.g[0] + column * c.g[1];
            options.points.push_back({column, row, longitude > 180 ? longitude - 360 : longitude, c.g[3] + row * c.g[5]});
        }
        const auto own = geoimport::TheImporter().Prepare(folder.File("own.tif"), {});
        const auto placed = geoimport::TheImporter().Prepare(plain, options);
        ASSERT_TRUE(own.job && placed.job) << placed.status.message;
        ASSERT_EQ(placed.job->Parts().size(), c.parts);
        ASSERT_EQ(own.job->Parts().size(), c.parts);
        for (std::size_t i = 0; i < c.parts; ++i) {
            const MapCorners& a = placed.job->Parts()[i].corners;
            const MapCorners& b = own.job->Parts()[i].corners;
            EXPECT_NEAR(a.left, b.left, 1e-6);
            EXPECT_NEAR(a.right, b.right, 1e-6);
            EXPECT_NEAR(a.top, b.top, 1e-6);
        }
    }
}

// A #CRS line is a WKT and nothing else, and a system typed names no file either: GDAL would read
// the file crs[1] in the working folder for either. Sets too large for their transform, a file
// too large to read, and points that all lie beyond the picture (rows written upwards, as a
// .points file's sourceY would be read the wrong way) are refused with the numbers.
// Each transform fits exactly the fewest points it takes, as GDAL fits its own orders.
TEST(ImportByPoints, EachTransformFitsTheFewestPointsItTakes) {
    const std::array<std::array<double, 2>, 10> places{
        {{0, 0}, {40, 0}, {0, 30}, {40, 30}, {13, 7}, {29, 21}, {5, 25}, {35, 4}, {20, 15}, {8, 12}}};
    for (const PointTransform transform : {PointTransform::Polynomial1, PointTransform::Polynomial2,
                                           PointTransform::Polynomial3, PointTransform::ThinPlateSpline}) {
        std::vector<ControlPoint> points;
        for (int i = 0; i < LeastPointsFor(transform); ++i) {
            points.push_back({places[i][0], places[i][1], Tokyo4326[0] + places[i][0] * Tokyo4326[1],
                              Tokyo4326[3] + places[i][1] * Tokyo4326[5]});
        }
        const geoimport::PointsFit fit = geoimport::TheImporter().FitPoints(points, "", transform, PictureSize{40, 30});
        EXPECT_EQ(fit.status.message, "") << PointTransformName(transform);
        EXPECT_NEAR(fit.rmsPixels, 0, 1e-6) << PointTransformName(transform);
    }
}

TEST(ImportByPoints, RefusesTooFewPointsALineAndCoordinatesTheBoxesRefuse) {
    TempFolder folder;
    const std::string plain = folder.File("scan.tif");
    MakePicture({.georeferenced = false}, plain);
    const std::vector<std::string> square{"--gcp", "0,0,35.8,139.6", "--gcp", "40,0,35.8,139.9", "--gcp",
                                          "0,30,35.5,139.6", "--gcp", "40,30,35.5,139.9"};
    const std::string in = folder.File("in");
    std::filesystem::create_directory(in);
    const auto write = [&in](const std::string& name, const std::string& text) {
        WriteAll(in + "/" + name, Bytes(text.begin(), text.end()));
        return in + "/" + name;
    };
    OGRSpatialReference wgs84;
    wgs84.SetFromUserInput("EPSG:4326");
    char* wkt = nullptr;
    wgs84.exportToWkt(&wkt);
    write("crs[1]", wkt);
    CPLFree(wkt);
    std::string many = "mapX,mapY,sourceX,sourceY,enable\n";
    for (int i = 0; i <= 1000; ++i) {
        many += std::to_string(139.6 + i % 41 * 0.0075) + "," + std::to_string(35.8 - i / 41 * 0.01) + "," +
                std::to_string(i % 41) + ",-" + std::to_string(i / 41) + ",1\n";
    }
    std::string big = "mapX,mapY,sourceX,sourceY,enable\n";
    big.resize(MostPointsFileBytes + 1, '#');
    struct Case {
        bool square;  // the four points above come first
        std::vector<std::string> args;
        int status;
        std::string why;
    };
    const std::vector<Case> cases{
        {false, {"--gcp", "0,0,35.8,139.6", "--gcp", "40,0,35.8,139.9"}, 1, "the poly1 transform needs at least 3 points; 2"},
        {true, {"--transform", "poly2"}, 1, "the poly2 transform needs at least 6 points; 4 are enabled"},
        {false, {"--gcp", "0,0,35.8,139.6", "--gcp", "20,15,35.65,139.75", "--gcp", "40,30,35.5,139.9"}, 1, "in one line"},
        {true, {"--gcp", "0,0,91,139.6"}, 1, "\"91\" is no latitude"},
        {true, {"--gcp", "0,0,35.8,181"}, 1, "\"181\" is no longitude"},
        {true, {"--gcp-srs", "EPSG:nonsense"}, 1, "\"EPSG:nonsense\" is not a coordinate system"},
        {false, {"--points", folder.File("none.points")}, 1, "none.points is refused: No such file or directory"},
        {true, {"--transform", "poly4"}, 2, "--transform takes poly1, poly2, poly3 or tps"},
        {false, {"--gcp", "0,0,35.8"}, 2, "--gcp takes COL,ROW,LAT,LON"},
        {true, {"--points", folder.File("none.points")}, 2, "--gcp and --points"},
        {true, {"--srs", "EPSG:4326"}, 2, "--srs names the system control points replace"},
        {false, {"--points", write("crs.points", "#CRS: crs[1]\nmapX,mapY,sourceX,sourceY,enable\n")}, 1, "line 1: the #CRS line holds no WKT"},
        {true, {"--gcp-srs", "crs[1]"}, 1, "\"crs[1]\" is not a coordinate system GDAL knows"},
        {false, {"--points", write("many.points", many), "--transform", "tps"}, 1, "the tps transform takes at most 1000 points"},
        {false, {"--points", write("big.points", big)}, 1, "refused: it holds 16777217 bytes, more than the 16777216 bytes"},
        {false, {"--points", write("up.points", "mapX,mapY,sourceX,sourceY,enable\n139.6,35.8,0,0,0\n139.6,35.5,0,30,1\n"
                                                "139.9,35.5,40,30,1\n139.9,35.8,40,0.5,1\n")},
         1, "every enabled point lies outside the picture (40 x 30 pixels): points 2 (column 0, row -30)"},
    };
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(in);
    // The window's fit reads its system as a WKT too.
    EXPECT_EQ(geoimport::TheImporter().FitPoints({}, "crs[1]", PointTransform::Polynomial1, {}).status.error, ImportError::BadCrsOption);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        std::vector<std::string> args{"import", plain};
        if (c.square) args.insert(args.end(), square.begin(), square.end());
        args.insert(args.end(), c.args.begin(), c.args.end());
        const BatchRun run = RunBatchInProcess(args);
        EXPECT_EQ(run.status, c.status);
        EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
        EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"in", "scan.tif"}));
    }
    std::filesystem::current_path(previous);
}

// Points beside a picture are reported with how far the fitted transform puts each, the RMS over
// the enabled ones only, and the distance on the ground of a point placed three columns off.
TEST(ImportByPoints, InfoReportsThePointsBesideAPictureWithTheirResiduals) {
    TempFolder folder;
    const std::string plain = folder.File("scan.tif");
    MakePicture({.georeferenced = false}, plain);
    PointsFile file;
    for (const auto [column, row] : {std::array<double, 2>{0, 0}, {40, 0}, {0, 30}, {40, 30}, {20, 15}}) {
        file.points.push_back({column, row, Tokyo4326[0] + column * Tokyo4326[1], Tokyo4326[3] + row * Tokyo4326[5]});
    }
    file.points.back().column += 3;
    file.points.back().enabled = false;
    // On the map where the picture would go on, a column beyond its edge: told, and still fitted.
    file.points.push_back({41, 10, Tokyo4326[0] + 41 * Tokyo4326[1], Tokyo4326[3] + 10 * Tokyo4326[5]});
    WriteAll(PointsPathFor(plain), AsBytes(WritePointsText(file, {})));
    const std::string outside = "point 6 (column 41, row 10) lies outside the picture (40 x 30 pixels)";
    const BatchRun imported = RunBatchInProcess({"import", plain, "--points", PointsPathFor(plain), "-o", folder.File("i.bmp")});
    EXPECT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.err, "kartivo-batch: " + plain + ": " + outside + "\n");
    const BatchRun run = RunBatchInProcess({"info", "--json", plain});
    EXPECT_EQ(run.status, 0) << run.err;
    const Json points = JsonLines(run.out).at(0)["points"];
    ASSERT_EQ(points["points"].size(), 6u) << run.out;
    EXPECT_EQ(points["outside"], Json::array({6}));
    EXPECT_NEAR(points["rms"].get<double>(), 0, 1e-9);
    const Json off = points["points"][4];
    EXPECT_EQ(off["enabled"], false);
    EXPECT_NEAR(off["dx"].get<double>(), -3, 1e-9);
    EXPECT_NEAR(off["dy"].get<double>(), 0, 1e-9);
    // Three columns along the parallel at 35.75 degrees: the radius of the parallel on WGS 84.
    const double a = 6378137;
    const double e2 = 0.0066943799901413165;
    const double phi = (Tokyo4326[3] + 15 * Tokyo4326[5]) * M_PI / 180;
    const double along = 3 * Tokyo4326[1] * M_PI / 180 * a * std::cos(phi) / std::sqrt(1 - e2 * std::sin(phi) * std::sin(phi));
    EXPECT_NEAR(off["metres"].get<double>(), along, along * 1e-4);
    EXPECT_EQ(points["transform"], "poly1");
    EXPECT_TRUE(points["crs"].is_null());

    const BatchRun text = RunBatchInProcess({"info", plain});
    EXPECT_EQ(text.status, 0) << text.err;
    for (const std::string& line : std::vector<std::string>{"  control points     " + PointsPathFor(plain) + " (WGS 84)\n",
                                   "  point 5 (disabled) column 23.000, row 15.000, map 139.75 35.65; dx -3.000 dy 0.000",
                                   "  poly1              rms 0.000 pixels over 5 points\n  outside            " + outside}) {
        EXPECT_NE(text.out.find(line), std::string::npos) << line << "\n" << text.out;
    }
    const std::size_t point = text.out.find('.', text.out.find("pixels 3.000 metres "));
    EXPECT_EQ(text.out.find_first_not_of("0123456789", point + 1), point + 4) << "metres to the millimetre";

    // Too few to fit: the points are listed without residuals, and the reason follows.
    WriteAll(PointsPathFor(plain), AsBytes(WritePointsText({"", {file.points[0], file.points[1]}}, {})));
    const BatchRun few = RunBatchInProcess({"info", plain});
    EXPECT_EQ(few.status, 0) << few.err;
    EXPECT_NE(few.out.find("  point 2            column 40.000, row 0.000, map 139.9 35.8\n"), std::string::npos) << few.out;
    EXPECT_NE(few.out.find("  poly1              refused: the poly1 transform needs at least 3 points"), std::string::npos);
}

}  // namespace
}  // namespace kartivo
