#include "bitmap/OutputLayout.h"

#include "bitmap/OutputHeader.h"

#include <limits>

namespace kartivo {

namespace {

std::optional<std::int32_t> Fit(std::int64_t value) {
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace

std::optional<std::int32_t> RowSize(std::int32_t width, std::int32_t bitsPerPixel) {
    // Both factors fit 32 bits, so the product fits 64; integer division truncates toward zero.
    return Fit((std::int64_t{width} * bitsPerPixel + 31) / 32 * 4);
}

std::optional<std::int32_t> OutputImageSize(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel) {
    const auto row = RowSize(width, bitsPerPixel);
    if (!row) return std::nullopt;
    return Fit(std::int64_t{*row} * height);
}

std::optional<std::int32_t> OutputFileSize(std::int32_t imageSize, std::int32_t inputOffBits) {
    return Fit(std::int64_t{imageSize} + inputOffBits);
}

std::uint64_t WholeBitmapFileSize(std::int64_t width, std::int64_t height, std::int32_t bitsPerPixel,
                                  std::uint64_t colourEntries) {
    // A row below 2^31 pixels of 32 bits is below 2^37 bytes, times 2^31 rows below 2^68: too
    // much for 64 bits only beyond any picture the tile grid or a warp can plan.
    const std::uint64_t rowBytes = (std::uint64_t(width) * std::uint64_t(bitsPerPixel) + 31) / 32 * 4;
    return OutputHeaderLength(HeaderForm::Windows) + colourEntries * 4 + rowBytes * std::uint64_t(height);
}

}  // namespace kartivo
