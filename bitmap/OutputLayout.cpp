#include "bitmap/OutputLayout.h"

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

}  // namespace kartivo
