#include "bitmap/BitmapHeader.h"

#include "common/DataConvert.h"

#include <algorithm>
#include <cmath>

namespace kartivo {

std::int32_t BITMAPFILEHEADER::bfSize() const {
    return BytesToLong(bytes, bfSizeOffset);
}

std::int32_t BITMAPFILEHEADER::bfOffBits() const {
    return BytesToLong(bytes, bfOffBitsOffset);
}

BITMAPINFOHEADER ReadInfoHeader(std::span<const std::uint8_t, InfoHeaderSize> bytes) {
    BITMAPINFOHEADER h;
    h.biSize = BytesToLong(bytes, 0);
    h.biWidth = BytesToLong(bytes, 4);
    h.biHeight = BytesToLong(bytes, 8);
    h.biPlanes = BytesToInteger(bytes, 12);
    h.biBitCount = BytesToInteger(bytes, 14);
    h.biCompression = BytesToLong(bytes, 16);
    h.biSizeImage = BytesToLong(bytes, 20);
    h.biXPelsPerMeter = BytesToLong(bytes, 24);
    h.biYPelsPerMeter = BytesToLong(bytes, 28);
    h.biClrUsed = BytesToLong(bytes, 32);
    h.biClrImportant = BytesToLong(bytes, 36);
    return h;
}

void WriteInfoHeader(const BITMAPINFOHEADER& h, std::span<std::uint8_t, InfoHeaderSize> bytes) {
    LongToBytes(h.biSize, bytes, 0);
    LongToBytes(h.biWidth, bytes, 4);
    LongToBytes(h.biHeight, bytes, 8);
    IntegerToBytes(h.biPlanes, bytes, 12);
    IntegerToBytes(h.biBitCount, bytes, 14);
    LongToBytes(h.biCompression, bytes, 16);
    LongToBytes(h.biSizeImage, bytes, 20);
    LongToBytes(h.biXPelsPerMeter, bytes, 24);
    LongToBytes(h.biYPelsPerMeter, bytes, 28);
    LongToBytes(h.biClrUsed, bytes, 32);
    LongToBytes(h.biClrImportant, bytes, 36);
}

BITMAPCOREHEADER ReadCoreHeader(std::span<const std::uint8_t, CoreHeaderSize> bytes) {
    BITMAPCOREHEADER h;
    h.bcSize = BytesToLong(bytes, 0);
    h.bcWidth = BytesToInteger(bytes, 4);
    h.bcHeight = BytesToInteger(bytes, 6);
    h.bcPlanes = BytesToInteger(bytes, 8);
    h.bcBitCount = BytesToInteger(bytes, 10);
    return h;
}

void WriteCoreHeader(const BITMAPCOREHEADER& h, std::span<std::uint8_t, CoreHeaderSize> bytes) {
    LongToBytes(h.bcSize, bytes, 0);
    IntegerToBytes(h.bcWidth, bytes, 4);
    IntegerToBytes(h.bcHeight, bytes, 6);
    IntegerToBytes(h.bcPlanes, bytes, 8);
    IntegerToBytes(h.bcBitCount, bytes, 10);
}

BitmapHeaders RecognizeBitmap(std::span<const std::uint8_t> firstBytes) {
    std::array<std::uint8_t, HeaderReadSize> raw{};
    std::copy_n(firstBytes.begin(), std::min(firstBytes.size(), raw.size()), raw.begin());

    BitmapHeaders headers;
    std::copy_n(raw.begin(), FileHeaderSize, headers.file.bytes.begin());
    const std::span<const std::uint8_t, InfoHeaderSize> info(raw.data() + FileHeaderSize, InfoHeaderSize);
    headers.info = ReadInfoHeader(info);

    if (BytesToString(headers.file.bytes, 2, bfTypeOffset) != "BM") {
        headers.error = HeaderError::NotBitmap;
        return headers;
    }
    switch (headers.info.biSize) {
    case static_cast<std::int32_t>(CoreHeaderSize):
        headers.form = HeaderForm::Os2;
        headers.core = ReadCoreHeader(info.first<CoreHeaderSize>());
        break;
    case static_cast<std::int32_t>(InfoHeaderSize):
        headers.form = HeaderForm::Windows;
        break;
    default:
        headers.error = HeaderError::UnknownForm;
        break;
    }
    return headers;
}

std::string CompressionText(std::int32_t code) {
    if (code >= 0 && code < static_cast<std::int32_t>(CompressionNames.size())) {
        return CompressionNames[static_cast<std::size_t>(code)];
    }
    return "Unknown (" + std::to_string(code) + ")";
}

std::int32_t DotsPerInch(std::int32_t pelsPerMeter) {
    // |value| / 1000 * 25.4 stays far inside the 32-bit range, so the cast is safe.
    const double dpi = std::nearbyint(static_cast<double>(pelsPerMeter) / 1000.0 * 25.4);
    const auto result = static_cast<std::int32_t>(dpi);
    return result == 0 ? 96 : result;
}

BitmapPropertyTexts PropertyTexts(const BitmapHeaders& headers) {
    BitmapPropertyTexts texts;
    texts.fileSize = std::to_string(headers.file.bfSize());
    if (headers.form == HeaderForm::Os2) {
        texts.width = std::to_string(headers.core.bcWidth);
        texts.height = std::to_string(headers.core.bcHeight);
        texts.colorDepth = std::to_string(headers.core.bcBitCount);
        texts.compression = NoDataText;
        texts.resolutionWidth = NoDataText;
        texts.resolutionHeight = NoDataText;
    } else {
        texts.width = std::to_string(headers.info.biWidth);
        texts.height = std::to_string(headers.info.biHeight);
        texts.colorDepth = std::to_string(headers.info.biBitCount);
        texts.compression = CompressionText(headers.info.biCompression);
        texts.resolutionWidth = std::to_string(DotsPerInch(headers.info.biXPelsPerMeter));
        texts.resolutionHeight = std::to_string(DotsPerInch(headers.info.biYPelsPerMeter));
    }
    return texts;
}

}  // namespace kartivo
