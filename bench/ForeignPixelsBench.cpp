// Opens a picture GDAL reads and makes its first read for a 1920 x 1080 window, the whole
// picture at the smallest step that fits, as the window does when a picture is first shown.
// Prints the times of both and the process's peak memory.
//
//   foreign_pixels_bench PICTURE

#include "geoimport/Importer.h"

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    using kartivo::geoimport::ForeignPixels;
    using Clock = std::chrono::steady_clock;
    if (argc != 2) {
        std::fprintf(stderr, "usage: foreign_pixels_bench PICTURE\n");
        return 2;
    }
    const auto start = Clock::now();
    // The first open also loads the import module and registers GDAL's drivers, as in the window.
    const std::unique_ptr<ForeignPixels> pixels = kartivo::geoimport::TheImporter().OpenPixels(argv[1]);
    if (!pixels) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    const auto opened = Clock::now();
    const std::int32_t width = pixels->Width();
    const std::int32_t height = pixels->Height();
    const std::int32_t step = std::max({1, (width + 1919) / 1920, (height + 1079) / 1080});
    const kartivo::ReducedPictureResult read = pixels->Read({0, 0, width, height}, step);
    const auto done = Clock::now();
    if (read.error != kartivo::PixelReadError::None) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](Clock::duration d) { return std::chrono::duration<double>(d).count(); };
    std::printf("%dx%d step %d -> %dx%d: open %.3f s, read %.3f s, total %.3f s, peak %.1f MB\n", width, height,
                step, read.picture.width, read.picture.height, seconds(opened - start), seconds(done - opened),
                seconds(done - start), double(usage.ru_maxrss) / 1024);
    return 0;
}
