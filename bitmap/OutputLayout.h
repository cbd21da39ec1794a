#pragma once
// The layout of the output bitmap: row size, pixel data size and file size, computed in
// 64 bits and checked against the 32-bit fields they must fit.

#include <cstdint>
#include <optional>

namespace kartivo {

// ((width * bitsPerPixel + 31) div 32) * 4, or nothing when it does not fit 32 bits signed.
std::optional<std::int32_t> RowSize(std::int32_t width, std::int32_t bitsPerPixel);
// Row size times height; nothing on overflow.
std::optional<std::int32_t> OutputImageSize(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel);
// Image size plus the input's pixel-data offset; nothing on overflow.
std::optional<std::int32_t> OutputFileSize(std::int32_t imageSize, std::int32_t inputOffBits);

// The whole file of a bitmap written with the 54-byte headers, colourEntries table entries and
// bottom-up rows, in 64 bits: also the size of one too large to write, to say by how much.
// Non-negative width and height below 2^31, bitsPerPixel at most 32.
std::uint64_t WholeBitmapFileSize(std::int64_t width, std::int64_t height, std::int32_t bitsPerPixel,
                                  std::uint64_t colourEntries);

}  // namespace kartivo
