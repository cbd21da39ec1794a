// The view's pixel reading over an arbitrary file: the layout, then three reduced reads whose
// rectangles and steps come from the last bytes (folded into the picture, so most are valid);
// the rest is the file.
#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "bitmap/BitmapPixels.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace kartivo;

namespace {

struct Request {
    std::uint16_t left = 0, top = 0, width = 0, height = 0;
    std::uint8_t step = 0;
};

// Every step-th pixel must be the one a read of that single pixel gives.
std::uint32_t PixelAt(test::MemoryFile& file, const PixelLayout& layout, std::int32_t x, std::int32_t y) {
    const ReducedPictureResult one = ReadReducedPicture(file, layout, {x, y, 1, 1}, 1);
    FUZZ_CHECK(one.error == PixelReadError::None && one.picture.pixels.size() == 1);
    return one.picture.pixels[0];
}

void CheckRead(test::MemoryFile& file, const PixelLayout& layout, const Request& request) {
    PictureRect rect;
    rect.left = request.left % layout.width;
    rect.top = request.top % layout.height;
    rect.width = 1 + request.width % (layout.width - rect.left);
    rect.height = 1 + request.height % (layout.height - rect.top);
    const std::int32_t step = request.step % 40;  // 0 must be refused

    const std::size_t before = file.BytesRead();
    const ReducedPictureResult read = ReadReducedPicture(file, layout, rect, step);
    if (step == 0) {
        FUZZ_CHECK(read.error == PixelReadError::BadRegion);
        return;
    }
    // A result is never cut short: either every pixel or an error that says why. Only a result
    // larger than a QImage may hold is refused for its size.
    const bool tooLarge = std::uint64_t(ReducedLength(rect.width, step)) * std::uint64_t(ReducedLength(rect.height, step)) >
                          (std::uint64_t{1} << 29);
    FUZZ_CHECK(read.error == PixelReadError::None || read.error == PixelReadError::FileTooShort ||
               (tooLarge && read.error == PixelReadError::BadRegion));
    if (read.error != PixelReadError::None) return;
    const ReducedPicture& picture = read.picture;
    FUZZ_CHECK(picture.width == ReducedLength(rect.width, step) && picture.height == ReducedLength(rect.height, step));
    FUZZ_CHECK(picture.pixels.size() == static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height));
    // No more than the rows shown are read, each at most whole.
    FUZZ_CHECK(file.BytesRead() - before <= static_cast<std::uint64_t>(picture.height) * layout.rowSize);
    for (const std::uint32_t pixel : picture.pixels) FUZZ_CHECK((pixel >> 24) == 0xff);
    const std::int32_t lastX = rect.left + (picture.width - 1) * step;
    const std::int32_t lastY = rect.top + (picture.height - 1) * step;
    FUZZ_CHECK(picture.pixels.front() == PixelAt(file, layout, rect.left, rect.top));
    FUZZ_CHECK(picture.pixels.back() == PixelAt(file, layout, lastX, lastY));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    std::array<Request, 3> requests;
    for (Request& r : requests) {
        r.left = provider.ConsumeIntegral<std::uint16_t>();
        r.top = provider.ConsumeIntegral<std::uint16_t>();
        r.width = provider.ConsumeIntegral<std::uint16_t>();
        r.height = provider.ConsumeIntegral<std::uint16_t>();
        r.step = provider.ConsumeIntegral<std::uint8_t>();
    }
    test::MemoryFile file(provider.ConsumeRemainingBytes<std::uint8_t>());

    const PixelLayoutResult result = ReadPixelLayout(file);
    if (result.error != PixelReadError::None) {
        FUZZ_CHECK(result.layout.width == 0 && result.layout.palette.empty());
        return 0;
    }
    const PixelLayout& layout = result.layout;
    FUZZ_CHECK(layout.width > 0 && layout.height > 0 && layout.palette.size() <= 256);
    FUZZ_CHECK(layout.rowSize % 4 == 0 && layout.rowSize * 8 >= static_cast<std::uint64_t>(layout.width) * layout.bitCount);
    FUZZ_CHECK(layout.bitCount <= 8 || layout.palette.empty());
    for (const Request& request : requests) CheckRead(file, layout, request);
    // Outside the picture is refused, not clipped.
    const PictureRect beyond{layout.width - 1, 0, 2, 1};
    FUZZ_CHECK(ReadReducedPicture(file, layout, beyond, 1).error == PixelReadError::BadRegion);
    return 0;
}
