#pragma once
// The header bytes that start an output bitmap, and the resolution field's conversion.

#include "bitmap/BitmapHeader.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kartivo {

// What the output header says. The compression, resolution and colour counts exist only in
// the 40-byte form; the 12-byte core form ignores them.
struct OutputHeaderFields {
    HeaderForm form = HeaderForm::Windows;  // Os2: the 12-byte core header
    std::int32_t width = 0;
    std::int32_t height = 0;  // rows, stored bottom row first, so never negative
    std::int16_t bitCount = 0;
    std::int32_t compression = 0;
    std::int32_t xPelsPerMeter = 0;
    std::int32_t yPelsPerMeter = 0;
    std::int32_t clrUsed = 0;
    std::int32_t clrImportant = 0;
};

// File header plus information header: 54 bytes for the Windows form, 26 for the core form.
std::size_t OutputHeaderLength(HeaderForm form);

// The file header and information header of an output picture. carriedBytes counts what the
// caller writes between the headers and the pixels (the input's colour table or bit-field
// masks), so bfOffBits = header length + carriedBytes and bfSize = bfOffBits + pixel bytes:
// for a faithful copy both equal the input's own values. biSizeImage is always the
// uncompressed size. Nothing when a dimension is negative, the bit count is not positive, a
// size does not fit its 32-bit field, or a core-form width or height does not fit 16 bits.
std::optional<std::vector<std::uint8_t>> BuildOutputHeader(const OutputHeaderFields& fields,
                                                           std::uint32_t carriedBytes);

// Pixels per metre from dots per inch: dpi * 1000 / 25.4, halves to even; nothing when the
// result is not finite or does not fit 32 bits.
std::optional<std::int32_t> PelsPerMeterFromDpi(double dpi);
// Pixels per metre from a resolution text in dots per inch, as Make reads the window's
// resolution boxes; nothing when the text is not numeric or PelsPerMeterFromDpi gives nothing.
std::optional<std::int32_t> PelsPerMeterFromDpiText(std::string_view text);

}  // namespace kartivo
