#pragma once
// Reading the pixels of a bitmap for display, at a reduced size: every step-th column and row
// of a rectangle of the picture, in one forward pass that reads only the rows it shows. The
// view of a picture of any size (up to the 2 GiB Make accepts) needs no more memory than the
// screen it fills.

#include "common/File.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kartivo {

// How a bitmap's pixels lie in its file, read from its headers and colour table once.
struct PixelLayout {
    std::int32_t width = 0;
    std::int32_t height = 0;    // rows, whatever the stored order
    bool topDown = false;       // stored top row first
    std::int16_t bitCount = 0;  // 1, 4, 8, 16, 24 or 32
    std::uint64_t pixelOffset = 0;
    std::uint64_t rowSize = 0;  // bytes per stored row, padded to 4
    std::vector<std::uint32_t> palette;  // 0xffRRGGBB, for 1, 4 and 8 bits
    // 16 and 32 bits: where red, green and blue lie in a pixel (5-5-5 and 8-8-8 without
    // bit-field masks).
    std::uint32_t redMask = 0;
    std::uint32_t greenMask = 0;
    std::uint32_t blueMask = 0;
};

enum class PixelReadError {
    None,
    NotBitmap,         // no "BM", or a header form the program does not know
    Unsupported,       // compressed rows (RLE, JPEG, PNG), or a bit count without raw pixels
    BadHeader,         // a size, offset or mask no picture can have
    FileTooShort,      // the file ends before the rows the region needs
    ReadFailed,
    BadRegion,         // the rectangle does not lie within the picture, the step is below 1, or the
                       // result would pass 2^29 pixels (2 GiB, more than a QImage holds)
};

struct PixelLayoutResult {
    PixelLayout layout;
    PixelReadError error = PixelReadError::None;
};

// Reads the headers, masks and colour table from the start of the file: the file header with
// a core (12-byte) or info (40-byte and longer) header. Palette indices beyond the table read
// as black.
PixelLayoutResult ReadPixelLayout(OpenFile& file);

// A rectangle of the picture as it is seen: rows counted from its top whatever the stored order.
struct PictureRect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool operator==(const PictureRect&) const = default;
};

// Pixels as 0xffRRGGBB (Qt's RGB32), rows top first. Pixel (i, j) is the picture's pixel
// (rect.left + i * step, rect.top + j * step), so the size is the rectangle's divided by the
// step, rounded up.
struct ReducedPicture {
    PictureRect rect;
    std::int32_t step = 1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::vector<std::uint32_t> pixels;
};

struct ReducedPictureResult {
    ReducedPicture picture;
    PixelReadError error = PixelReadError::None;
};

// The number of pixels of a rectangle's side taken at a step: ceil(length / step).
std::int32_t ReducedLength(std::int32_t length, std::int32_t step);

// Reads the rows the rectangle needs at the step, moving forward through the file (backward
// for a picture stored bottom row first is still forward in the file: rows are visited in
// stored order), each row's bytes between the rectangle's first and last column only.
ReducedPictureResult ReadReducedPicture(OpenFile& file, const PixelLayout& layout, const PictureRect& rect,
                                        std::int32_t step);

}  // namespace kartivo
