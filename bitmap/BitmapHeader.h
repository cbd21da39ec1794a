#pragma once
// The bitmap header records, their byte layout, recognition of the two header forms the
// program knows, and the texts in which header values are shown.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kartivo {

inline constexpr std::size_t FileHeaderSize = 14;
inline constexpr std::size_t InfoHeaderSize = 40;
inline constexpr std::size_t CoreHeaderSize = 12;
// What loading reads from the start of a picture: the file header and 40 more bytes.
inline constexpr std::size_t HeaderReadSize = FileHeaderSize + InfoHeaderSize;

// Offsets of the file header's byte groups.
inline constexpr std::size_t bfTypeOffset = 0;
inline constexpr std::size_t bfSizeOffset = 2;
inline constexpr std::size_t bfReserved1Offset = 6;
inline constexpr std::size_t bfReserved2Offset = 8;
inline constexpr std::size_t bfOffBitsOffset = 10;
// What bfType holds in every bitmap, the first test of whether a file is one.
inline constexpr std::string_view BitmapFileType = "BM";

// The file header, kept as its 14 raw bytes; numbers go in and out through DataConvert.
struct BITMAPFILEHEADER {
    std::array<std::uint8_t, FileHeaderSize> bytes{};

    std::string bfType() const;
    std::int32_t bfSize() const;
    std::int32_t bfOffBits() const;
    bool operator==(const BITMAPFILEHEADER&) const = default;
};

struct BITMAPINFOHEADER {
    std::int32_t biSize = 0;
    std::int32_t biWidth = 0;
    std::int32_t biHeight = 0;
    std::int16_t biPlanes = 0;
    std::int16_t biBitCount = 0;
    std::int32_t biCompression = 0;
    std::int32_t biSizeImage = 0;
    std::int32_t biXPelsPerMeter = 0;
    std::int32_t biYPelsPerMeter = 0;
    std::int32_t biClrUsed = 0;
    std::int32_t biClrImportant = 0;
    bool operator==(const BITMAPINFOHEADER&) const = default;
};

struct BITMAPCOREHEADER {
    std::int32_t bcSize = 0;
    std::int16_t bcWidth = 0;
    std::int16_t bcHeight = 0;
    std::int16_t bcPlanes = 0;
    std::int16_t bcBitCount = 0;
    bool operator==(const BITMAPCOREHEADER&) const = default;
};

// Field-by-field little-endian reading and writing; bytes must hold the record's size.
BITMAPINFOHEADER ReadInfoHeader(std::span<const std::uint8_t, InfoHeaderSize> bytes);
void WriteInfoHeader(const BITMAPINFOHEADER& header, std::span<std::uint8_t, InfoHeaderSize> bytes);
BITMAPCOREHEADER ReadCoreHeader(std::span<const std::uint8_t, CoreHeaderSize> bytes);
void WriteCoreHeader(const BITMAPCOREHEADER& header, std::span<std::uint8_t, CoreHeaderSize> bytes);

enum class HeaderForm { Os2, Windows };
enum class HeaderError { None, NotBitmap, UnknownForm };

// The form a header record's size (its first field, biSize or bcSize) names: 12 bytes the OS/2 core
// record, 40 the Windows info record; no form for any other size.
std::optional<HeaderForm> FormOfHeaderSize(std::int64_t size);

// The headers of one picture, as read from its first 54 bytes.
struct BitmapHeaders {
    BITMAPFILEHEADER file;
    BITMAPINFOHEADER info;
    BITMAPCOREHEADER core;  // filled for the OS/2 form only
    HeaderForm form = HeaderForm::Windows;
    HeaderError error = HeaderError::None;
    bool operator==(const BitmapHeaders&) const = default;
};

// Reads the records from the first bytes of a file. Fewer than 54 bytes are padded with zeros,
// so a tiny OS/2 picture still loads. Recognition checks "BM" first, then the header size.
BitmapHeaders RecognizeBitmap(std::span<const std::uint8_t> firstBytes);

// What the window shows for a recognised picture.
struct BitmapPropertyTexts {
    std::string fileSize;
    std::string width;
    std::string height;
    std::string colorDepth;
    std::string compression;
    std::string resolutionWidth;
    std::string resolutionHeight;
};

inline constexpr const char* NoDataText = "No Data";
inline constexpr std::array<const char*, 4> CompressionNames = {
    "RGB (無圧縮)", "RLE8 (RunLength 8 bits/pixel)", "RLE4 (RunLength 4 bits/pixel)", "Bitfields"};

// The name of a compression code; codes the program has no name for read "Unknown (code)".
std::string CompressionText(std::int32_t code);
// Dots per inch from pixels per metre: /1000 *25.4, halves to even, 0 shown as 96.
std::int32_t DotsPerInch(std::int32_t pelsPerMeter);
// Property texts of recognised headers (error must be None).
BitmapPropertyTexts PropertyTexts(const BitmapHeaders& headers);

}  // namespace kartivo
