// Times what the picture view reads from a picture of the largest size Make accepts: the
// overview that fits a 1920x1080 screen, and a 1:1 screenful from the middle, each with the
// file in the page cache and again after the file's pages were dropped from it. Shows the
// process's peak memory, which must follow the screen, not the picture.
//
//   view_bench [runs]              writes a 24-bit picture of nearly 2 GiB to the temporary folder
//   view_bench [runs] <picture>    uses that picture instead

#include "bitmap/BitmapPixels.h"
#include "bitmap/OutputHeader.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace kartivo;
namespace fs = std::filesystem;

// 90,000-byte rows, 23,800 of them: 2,142,000,054 bytes, just under bfSize's 2^31.
constexpr std::int32_t Width = 30000;
constexpr std::int32_t Height = 23800;
constexpr std::int32_t ScreenWidth = 1920;
constexpr std::int32_t ScreenHeight = 1080;

bool WritePicture(const std::string& path) {
    OutputHeaderFields fields;
    fields.width = Width;
    fields.height = Height;
    fields.bitCount = 24;
    const auto header = BuildOutputHeader(fields, 0);
    if (!header) return false;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header->data()), static_cast<std::streamsize>(header->size()));
    std::vector<char> row(static_cast<std::size_t>(Width) * 3);
    for (std::int32_t r = 0; r < Height && out; ++r) {
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<char>(r * 7 + static_cast<int>(i / 3));
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    out.close();
    return out.good();
}

// Flushes the file and asks the kernel to drop its cached pages: no root needed, unlike
// drop_caches, and only this file's pages go.
bool DropFromCache(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool dropped = fdatasync(descriptor) == 0 && posix_fadvise(descriptor, 0, 0, POSIX_FADV_DONTNEED) == 0;
    close(descriptor);
    return dropped;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // kilobytes on Linux
}

struct Timed {
    double seconds = 0;
    ReducedPicture picture;
};

// One read through a freshly opened file, as the view opens it.
Timed ReadOnce(const std::string& path, const PictureRect& rect, std::int32_t step) {
    std::error_code ec;
    const auto file = OpenRegularFile(path, O_RDONLY, ec);
    const auto start = std::chrono::steady_clock::now();
    const PixelLayoutResult layout = file ? ReadPixelLayout(*file) : PixelLayoutResult{{}, PixelReadError::ReadFailed};
    ReducedPictureResult read{{}, layout.error};
    if (layout.error == PixelReadError::None) read = ReadReducedPicture(*file, layout.layout, rect, step);
    if (read.error != PixelReadError::None) {
        std::fprintf(stderr, "the read failed (%d)\n", static_cast<int>(read.error));
        std::exit(1);
    }
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), std::move(read.picture)};
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Report(const char* name, const std::string& path, const PictureRect& rect, std::int32_t step, int runs,
            bool canDrop) {
    std::vector<double> warm;
    ReducedPicture picture;
    for (int run = 0; run < runs; ++run) {
        Timed timed = ReadOnce(path, rect, step);
        warm.push_back(timed.seconds);
        picture = std::move(timed.picture);
    }
    std::printf("%s: rect %d,%d %dx%d at step %d gives %dx%d\n", name, rect.left, rect.top, rect.width, rect.height,
                step, picture.width, picture.height);
    std::printf("  page cache warm: median of %d %.4f s\n", runs, Median(warm));
    if (canDrop && DropFromCache(path)) {
        std::printf("  file dropped from the page cache: %.4f s\n", ReadOnce(path, rect, step).seconds);
    } else {
        std::printf("  cold: not measured (the file's pages could not be dropped)\n");
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const fs::path folder = fs::temp_directory_path() / ("kartivo-view-bench-" + std::to_string(getpid()));
    std::string path;
    if (argc > 2) {
        path = argv[2];
    } else {
        fs::create_directories(folder);
        path = (folder / "picture.bmp").string();
        const auto start = std::chrono::steady_clock::now();
        if (!WritePicture(path)) {
            std::fprintf(stderr, "could not write %s\n", path.c_str());
            return 1;
        }
        std::printf("wrote %s in %.1f s\n", path.c_str(),
                    std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    std::error_code ec;
    const auto file = OpenRegularFile(path, O_RDONLY, ec);
    const PixelLayoutResult layout = file ? ReadPixelLayout(*file) : PixelLayoutResult{{}, PixelReadError::ReadFailed};
    if (layout.error != PixelReadError::None) {
        std::fprintf(stderr, "%s is not a picture the view reads\n", path.c_str());
        return 1;
    }
    const PixelLayout& l = layout.layout;
    std::printf("picture: %d x %d, %d bits, %.1f MB; peak memory before reading %ld kB\n", l.width, l.height,
                l.bitCount, static_cast<double>(fs::file_size(path)) / 1e6, PeakKilobytes());

    const std::int32_t step = std::max((l.width + ScreenWidth - 1) / ScreenWidth, (l.height + ScreenHeight - 1) / ScreenHeight);
    Report("overview", path, {0, 0, l.width, l.height}, step, runs, true);
    const std::int32_t w = std::min(ScreenWidth, l.width), h = std::min(ScreenHeight, l.height);
    Report("1:1 screenful in the middle", path, {(l.width - w) / 2, (l.height - h) / 2, w, h}, 1, runs, true);
    std::printf("peak memory of the process: %ld kB (one screen of RGB32 is %d kB)\n", PeakKilobytes(),
                ScreenWidth * ScreenHeight * 4 / 1024);

    if (argc <= 2) fs::remove_all(folder, ec);
    return 0;
}
