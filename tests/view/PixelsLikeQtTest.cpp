#include "bitmap/BitmapPixels.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>

namespace kartivo::test {
namespace {

// The view draws with its own reader, so a picture must look as Qt itself would show it.
TEST(PixelsLikeQt, FullDecodeOfTheSuiteEqualsQImage) {
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(KARTIVO_BMPSUITE_DIR) / "g")) {
        MemoryFile file(ReadAll(entry.path().string()));
        const PixelLayoutResult layout = ReadPixelLayout(file);
        if (layout.error != PixelReadError::None) continue;
        const PictureRect whole{0, 0, layout.layout.width, layout.layout.height};
        const ReducedPicture ours = ReadReducedPicture(file, layout.layout, whole, 1).picture;
        const QImage mine(reinterpret_cast<const uchar*>(ours.pixels.data()), ours.width, ours.height, QImage::Format_RGB32);
        EXPECT_TRUE(mine == QImage(QString::fromStdString(entry.path().string())).convertToFormat(QImage::Format_RGB32))
            << entry.path();
    }
}

}  // namespace
}  // namespace kartivo::test
