#include "bitmap/OutputHeader.h"

#include "bitmap/OutputLayout.h"
#include "common/DataConvert.h"
#include "common/NumberText.h"

#include <algorithm>
#include <limits>

namespace kartivo {

std::size_t OutputHeaderLength(HeaderForm form) {
    return FileHeaderSize + (form == HeaderForm::Os2 ? CoreHeaderSize : InfoHeaderSize);
}

std::optional<std::vector<std::uint8_t>> BuildOutputHeader(const OutputHeaderFields& fields,
                                                           std::uint32_t carriedBytes) {
    if (fields.width < 0 || fields.height < 0 || fields.bitCount < 1) return std::nullopt;
    const bool core = fields.form == HeaderForm::Os2;
    constexpr std::int32_t CoreLimit = std::numeric_limits<std::int16_t>::max();
    if (core && (fields.width > CoreLimit || fields.height > CoreLimit)) return std::nullopt;

    const std::size_t length = OutputHeaderLength(fields.form);
    // Every term fits 32 bits unsigned, so the 64-bit sums below cannot overflow.
    const auto imageSize = OutputImageSize(fields.width, fields.height, fields.bitCount);
    const std::int64_t offBits = std::int64_t{carriedBytes} + static_cast<std::int64_t>(length);
    if (!imageSize || offBits > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    const std::int64_t fileSize = offBits + *imageSize;
    if (fileSize > std::numeric_limits<std::int32_t>::max()) return std::nullopt;

    BITMAPFILEHEADER file;
    StringToBytes(BitmapFileType, file.bytes, bfTypeOffset, HexModeLowByte);
    LongToBytes(static_cast<std::int32_t>(offBits), file.bytes, bfOffBitsOffset);
    LongToBytes(static_cast<std::int32_t>(fileSize), file.bytes, bfSizeOffset);

    std::vector<std::uint8_t> bytes(length, 0);
    std::copy(file.bytes.begin(), file.bytes.end(), bytes.begin());
    if (core) {
        BITMAPCOREHEADER info;
        info.bcSize = static_cast<std::int32_t>(CoreHeaderSize);
        info.bcWidth = static_cast<std::int16_t>(fields.width);
        info.bcHeight = static_cast<std::int16_t>(fields.height);
        info.bcPlanes = 1;
        info.bcBitCount = fields.bitCount;
        WriteCoreHeader(info, std::span<std::uint8_t, CoreHeaderSize>(bytes.data() + FileHeaderSize, CoreHeaderSize));
    } else {
        BITMAPINFOHEADER info;
        info.biSize = static_cast<std::int32_t>(InfoHeaderSize);
        info.biWidth = fields.width;
        info.biHeight = fields.height;
        info.biPlanes = 1;
        info.biBitCount = fields.bitCount;
        info.biCompression = fields.compression;
        info.biSizeImage = *imageSize;
        info.biXPelsPerMeter = fields.xPelsPerMeter;
        info.biYPelsPerMeter = fields.yPelsPerMeter;
        info.biClrUsed = fields.clrUsed;
        info.biClrImportant = fields.clrImportant;
        WriteInfoHeader(info, std::span<std::uint8_t, InfoHeaderSize>(bytes.data() + FileHeaderSize, InfoHeaderSize));
    }
    return bytes;
}

std::optional<std::int32_t> PelsPerMeterFromDpi(double dpi) {
    return RoundToInt32(dpi * 1000.0 / 25.4);
}

std::optional<std::int32_t> PelsPerMeterFromDpiText(std::string_view text) {
    const auto dpi = NumericValue(text);
    return dpi ? PelsPerMeterFromDpi(*dpi) : std::nullopt;
}

}  // namespace kartivo
