// Showing a picture GDAL reads: the reduced read against GDAL's own reading of the same pixels,
// its masks laid over white.

#include "GeoPictures.h"
#include "TestSupport.h"
#include "geoimport/Importer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

namespace kartivo {
namespace {

using geoimport::ForeignPixels;
using namespace test;

// Every pixel as GDAL gives it, 0xffRRGGBB. A pixel is clear only where every colour band's
// mask says so: nodata in one band of three is a dark colour, not a hole.
std::vector<std::uint32_t> GdalOverWhite(const std::string& path) {
    GDALDatasetH ds = GDALOpen(path.c_str(), GA_ReadOnly);
    const Decoded d = Decode(ds);
    const int colours = d.bands % 2 == 0 ? d.bands - 1 : d.bands;
    const std::size_t plane = std::size_t(d.width) * d.height;
    std::vector<std::uint32_t> pixels(plane, 0xff000000u);
    Pixels alpha(plane, 0), mask(plane);
    for (int b = 1; b <= colours; ++b) {
        EXPECT_EQ(GDALRasterIO(GDALGetMaskBand(GDALGetRasterBand(ds, b)), GF_Read, 0, 0, d.width, d.height,
                               mask.data(), d.width, d.height, GDT_Byte, 0, 0), CE_None);
        for (std::size_t i = 0; i < plane; ++i) alpha[i] = std::max(alpha[i], mask[i]);
    }
    GDALClose(ds);
    for (std::size_t i = 0; i < plane; ++i) {
        for (int c = 0; c < 3; ++c) {
            const std::uint8_t v = d.pixels[(colours == 3 ? std::size_t(c) : 0) * plane + i];
            const int colour = d.palette.empty() ? v : d.palette[v][std::size_t(c)];
            pixels[i] |= std::uint32_t((colour * alpha[i] + 255 * (255 - alpha[i]) + 127) / 255) << (16 - 8 * c);
        }
    }
    return pixels;
}

TEST(ImportForeignPixels, ReducedReadTakesGdalsPixelsAtTheCentresOfEachShareAndRefusesTheRest) {
    // Without a georeference: showing needs none. A diamond whose outside is clear, a column
    // dark in only two of its bands, and half alpha.
    const auto scene = [](int b, int x, int y) -> std::uint8_t {
        if (std::abs(x - 20) + std::abs(y - 15) >= 17) return 0;
        if (x == 20 && b < 3) return 0;
        return b == 4 ? 200 : 128 + ((x * 37 + y * 101 + b * 71 + x * y) & 127);
    };
    const Source forms[] = {{},           {.bands = 1, .palette = true}, {.clear = 0}, {.clear = 0, .mask = "YES"},
                            {.bands = 1, .palette = true, .clear = 0},   {.bands = 4, .alpha = true}};
    const struct {
        PictureRect rect;
        std::int32_t step, width, height;
    } reads[] = {{{0, 0, 40, 30}, 1, 40, 30}, {{0, 0, 40, 30}, 3, 14, 10}, {{5, 4, 31, 22}, 3, 11, 8},
                 {{39, 0, 1, 30}, 7, 1, 5}};
    TempFolder folder;
    std::unique_ptr<ForeignPixels> pixels;
    for (std::size_t f = 0; f < std::size(forms); ++f) {
        Source form = forms[f];
        if (form.clear || form.alpha) form.value = scene;
        const std::string path = folder.File(std::to_string(f) + ".tif");
        MakePicture(form, path);
        const std::vector<std::uint32_t> gdal = GdalOverWhite(path);
        pixels = kartivo::geoimport::TheImporter().OpenPixels(path);
        ASSERT_TRUE(pixels && pixels->Width() == 40 && pixels->Height() == 30);
        for (const auto& [rect, step, width, height] : reads) {
            const ReducedPictureResult read = pixels->Read(rect, step);
            ASSERT_EQ(read.error, PixelReadError::None);
            ASSERT_EQ(std::tuple(read.picture.width, read.picture.height, read.picture.pixels.size()),
                      std::tuple(width, height, std::size_t(width) * height));
            for (std::int32_t k = 0; k < width * height; ++k) {
                const std::int32_t x = rect.left + (2 * (k % width) + 1) * rect.width / (2 * width);
                const std::int32_t y = rect.top + (2 * (k / width) + 1) * rect.height / (2 * height);
                ASSERT_EQ(read.picture.pixels[std::size_t(k)], gdal[std::size_t(y) * 40 + x])
                    << "form " << f << " step " << step << " sample " << k;
            }
        }
    }
    const std::pair<PictureRect, std::int32_t> refused[] = {
        {{-1, 0, 5, 5}, 1}, {{0, -1, 5, 5}, 1}, {{36, 0, 5, 5}, 1},     {{0, 26, 5, 5}, 1},
        {{0, 0, 40, 30}, 0}, {{0, 0, -1, 5}, 1}, {{INT32_MAX, 0, 10, 5}, 1}};
    for (const auto& [rect, step] : refused) {
        EXPECT_EQ(pixels->Read(rect, step).error, PixelReadError::BadRegion) << rect.left << "," << rect.top;
    }
    std::ofstream(folder.File("text.tif")) << "no picture";
    EXPECT_FALSE(kartivo::geoimport::TheImporter().OpenPixels(folder.File("text.tif")));
}

}  // namespace
}  // namespace kartivo
