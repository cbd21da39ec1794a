#include "bitmap/BitmapHeader.h"

#include "common/DataConvert.h"

#include <algorithm>
#include <cmath>

namespace kartivo {

namespace {

void ReadField(std::span<const std::uint8_t> bytes, std::size_t at, std::int32_t& field) {
    field = BytesToLong(bytes, at);
}

void ReadField(std::span<const std::uint8_t> bytes, std::size_t at, std::int16_t& field) {
    field = BytesToInteger(bytes, at);
}

void WriteField(std::int32_t value, std::span<std::uint8_t> bytes, std::size_t at) {
    LongToBytes(value, bytes, at);
}

void WriteField(std::int16_t value, std::span<std::uint8_t> bytes, std::size_t at) {
    IntegerToBytes(value, bytes, at);
}

template <class Record, class Field>
constexpr std::size_t FieldSize(Field Record::*) {
    return sizeof(Field);
}

// A record's fields in their stored order, each right after the one before it. Reading and
// writing walk the same list, so the two cannot disagree on where a field lies.
template <auto... Fields>
struct RecordLayout {
    static constexpr std::size_t Size = (FieldSize(Fields) + ...);

    template <class Record>
    static Record Read(std::span<const std::uint8_t> bytes) {
        Record record;
        std::size_t at = 0;
        ((ReadField(bytes, at, record.*Fields), at += FieldSize(Fields)), ...);
        return record;
    }

    template <class Record>
    static void Write(const Record& record, std::span<std::uint8_t> bytes) {
        std::size_t at = 0;
        ((WriteField(record.*Fields, bytes, at), at += FieldSize(Fields)), ...);
    }
};

using InfoLayout = RecordLayout<&BITMAPINFOHEADER::biSize, &BITMAPINFOHEADER::biWidth, &BITMAPINFOHEADER::biHeight,
                                &BITMAPINFOHEADER::biPlanes, &BITMAPINFOHEADER::biBitCount,
                                &BITMAPINFOHEADER::biCompression, &BITMAPINFOHEADER::biSizeImage,
                                &BITMAPINFOHEADER::biXPelsPerMeter, &BITMAPINFOHEADER::biYPelsPerMeter,
                                &BITMAPINFOHEADER::biClrUsed, &BITMAPINFOHEADER::biClrImportant>;
using CoreLayout = RecordLayout<&BITMAPCOREHEADER::bcSize, &BITMAPCOREHEADER::bcWidth, &BITMAPCOREHEADER::bcHeight,
                                &BITMAPCOREHEADER::bcPlanes, &BITMAPCOREHEADER::bcBitCount>;
static_assert(InfoLayout::Size == InfoHeaderSize && CoreLayout::Size == CoreHeaderSize);

}  // namespace

std::string BITMAPFILEHEADER::bfType() const {
    return BytesToString(bytes, BitmapFileType.size(), bfTypeOffset);
}

std::int32_t BITMAPFILEHEADER::bfSize() const {
    return BytesToLong(bytes, bfSizeOffset);
}

std::int32_t BITMAPFILEHEADER::bfOffBits() const {
    return BytesToLong(bytes, bfOffBitsOffset);
}

BITMAPINFOHEADER ReadInfoHeader(std::span<const std::uint8_t, InfoHeaderSize> bytes) {
    return InfoLayout::Read<BITMAPINFOHEADER>(bytes);
}

void WriteInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t, InfoHeaderSize> bytes) {
    InfoLayout::Write(header, bytes);
}

BITMAPCOREHEADER ReadCoreHeader(std::span<const std::uint8_t, CoreHeaderSize> bytes) {
    return CoreLayout::Read<BITMAPCOREHEADER>(bytes);
}

void WriteCoreHeader(const BITMAPCOREHEADER& header, std::span<std::uint8_t, CoreHeaderSize> bytes) {
    CoreLayout::Write(header, bytes);
}

std::optional<HeaderForm> FormOfHeaderSize(std::int64_t size) {
    if (size == static_cast<std::int64_t>(CoreHeaderSize)) return HeaderForm::Os2;
    if (size == static_cast<std::int64_t>(InfoHeaderSize)) return HeaderForm::Windows;
    return std::nullopt;
}

BitmapHeaders RecognizeBitmap(std::span<const std::uint8_t> firstBytes) {
    std::array<std::uint8_t, HeaderReadSize> raw{};
    std::copy_n(firstBytes.begin(), std::min(firstBytes.size(), raw.size()), raw.begin());

    BitmapHeaders headers;
    std::copy_n(raw.begin(), FileHeaderSize, headers.file.bytes.begin());
    const std::span<const std::uint8_t, InfoHeaderSize> info(raw.data() + FileHeaderSize, InfoHeaderSize);
    headers.info = ReadInfoHeader(info);

    if (headers.file.bfType() != BitmapFileType) {
        headers.error = HeaderError::NotBitmap;
        return headers;
    }
    const std::optional<HeaderForm> form = FormOfHeaderSize(headers.info.biSize);
    if (!form) {
        headers.error = HeaderError::UnknownForm;
        return headers;
    }
    headers.form = *form;
    if (*form == HeaderForm::Os2) headers.core = ReadCoreHeader(info.first<CoreHeaderSize>());
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
