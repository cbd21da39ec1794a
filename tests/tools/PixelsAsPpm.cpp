// Writes a bitmap as the view decodes it, as a binary PPM on standard output, so a script can
// set it beside another decoder's. Exits 2 when the reader refuses the picture.
#include "bitmap/BitmapPixels.h"

#include <fcntl.h>

#include <cstdio>

int main(int argc, char** argv) {
    using namespace kartivo;
    std::error_code error;
    const auto file = argc == 2 ? OpenRegularFile(argv[1], O_RDONLY, error) : nullptr;
    if (!file) return 1;
    const PixelLayoutResult layout = ReadPixelLayout(*file);
    if (layout.error != PixelReadError::None) return 2;
    const ReducedPictureResult read = ReadReducedPicture(*file, layout.layout, {0, 0, layout.layout.width, layout.layout.height}, 1);
    if (read.error != PixelReadError::None) return 1;
    std::printf("P6\n%d %d\n255\n", read.picture.width, read.picture.height);
    for (const std::uint32_t pixel : read.picture.pixels) {
        for (const int shift : {16, 8, 0}) std::putchar(static_cast<int>(pixel >> shift) & 0xff);
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
