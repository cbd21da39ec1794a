#include "bitmap/BitmapPixels.h"

#include "bitmap/BitmapHeader.h"

#include "common/DataConvert.h"

#include <algorithm>
#include <array>
#include <bit>
#include <span>

namespace kartivo {

namespace {

// Header records met in the wild beside the core and info records: info with masks (52, 56) and
// the two later forms. Each begins with the info record's 40 bytes.
constexpr std::array<std::int32_t, 4> LongerInfoHeaderSizes = {52, 56, 108, 124};
// Three masks: after a 40-byte header they come as a table of their own.
constexpr std::uint64_t MaskBytes = 12;
constexpr std::int32_t Bitfields = 3;
constexpr std::uint32_t Opaque = 0xff000000;
constexpr std::size_t MaxPaletteEntries = 256;
// A QImage holds at most 2 GiB; a request for more cannot be shown and would only exhaust memory.
constexpr std::uint64_t MaxResultPixels = std::uint64_t{1} << 29;

using Error = PixelReadError;

std::uint32_t Unsigned32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint32_t>(BytesToLong(bytes, at));
}

std::optional<std::uint64_t> Product(std::uint64_t a, std::uint64_t b) {
    std::uint64_t result = 0;
    if (__builtin_mul_overflow(a, b, &result)) return std::nullopt;
    return result;
}

std::optional<std::uint64_t> Sum(std::uint64_t a, std::uint64_t b) {
    std::uint64_t result = 0;
    if (__builtin_add_overflow(a, b, &result)) return std::nullopt;
    return result;
}

// A short read is never taken as zeros: a file that ends too soon is told apart from one the
// system cannot read.
Error ReadAt(OpenFile& file, std::uint64_t offset, std::span<std::uint8_t> buffer) {
    if (file.Seek(offset) && file.Read(buffer)) return Error::None;
    const std::optional<std::uint64_t> size = file.Size();
    if (size && (offset > *size || *size - offset < buffer.size())) return Error::FileTooShort;
    return Error::ReadFailed;
}

bool KnownBitCount(std::int32_t bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 || bitCount == 24 || bitCount == 32;
}

std::uint64_t StoredRowSize(std::uint64_t width, std::uint64_t bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// One colour of a 16- or 32-bit pixel: where its bits lie and how many there are.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m)
        : mask(m), shift(m == 0 ? 0 : std::countr_zero(m)), bits(std::popcount(m)) {}

    // Fewer than 8 bits move to the top of the byte, as in Qt's reader, so the view shows what
    // the rest of the program shows (31 of 31 is 248, not 255). More than 8 keep their top 8.
    std::uint32_t Value(std::uint32_t pixel) const {
        const std::uint32_t value = (pixel & mask) >> shift;
        return bits >= 8 ? value >> (bits - 8) : value << (8 - bits);
    }
};

// A mask with gaps, or with bits beyond the pixel, describes no colour a picture can hold.
bool UsableMask(std::uint32_t mask, std::int32_t bitCount) {
    if (bitCount == 16 && mask > 0xffff) return false;
    const std::uint32_t bits = mask == 0 ? 0 : mask >> std::countr_zero(mask);
    return (bits & (bits + 1)) == 0;
}

struct Channels {
    Channel red;
    Channel green;
    Channel blue;

    explicit Channels(const PixelLayout& layout)
        : red(layout.redMask), green(layout.greenMask), blue(layout.blueMask) {}

    std::uint32_t Color(std::uint32_t pixel) const {
        return Opaque | red.Value(pixel) << 16 | green.Value(pixel) << 8 | blue.Value(pixel);
    }
};

// The form of a header record of this size; the view also takes the longer Windows records.
std::optional<HeaderForm> FormOf(std::int32_t headerSize) {
    const bool longer = std::find(LongerInfoHeaderSizes.begin(), LongerInfoHeaderSizes.end(), headerSize) !=
                        LongerInfoHeaderSizes.end();
    return longer ? HeaderForm::Windows : FormOfHeaderSize(headerSize);
}

// Either form as the info record: the core record holds a part of its fields, with no
// compression and no count of colours used (a full table).
BITMAPINFOHEADER InfoRecordOf(HeaderForm form, std::span<const std::uint8_t> header) {
    if (form == HeaderForm::Windows) return ReadInfoHeader(header.first<InfoHeaderSize>());
    const BITMAPCOREHEADER core = ReadCoreHeader(header.first<CoreHeaderSize>());
    return {.biSize = core.bcSize, .biWidth = core.bcWidth, .biHeight = core.bcHeight, .biPlanes = core.bcPlanes,
            .biBitCount = core.bcBitCount};
}

Error CheckFields(const BITMAPINFOHEADER& info) {
    if (info.biWidth <= 0 || info.biHeight == 0 || info.biHeight == INT32_MIN) return Error::BadHeader;
    if (!KnownBitCount(info.biBitCount)) return Error::Unsupported;
    const bool masked = info.biBitCount == 16 || info.biBitCount == 32;
    if (info.biCompression != 0 && !(info.biCompression == Bitfields && masked)) return Error::Unsupported;
    return Error::None;
}

// Masks of 16- and 32-bit pictures, the usual ones unless the header gives its own.
Error ReadMasks(OpenFile& file, const BITMAPINFOHEADER& info, std::span<const std::uint8_t> header,
                PixelLayout& layout) {
    if (info.biBitCount == 16) {
        layout.redMask = 0x7c00, layout.greenMask = 0x03e0, layout.blueMask = 0x001f;
    } else if (info.biBitCount == 32) {
        layout.redMask = 0xff0000, layout.greenMask = 0xff00, layout.blueMask = 0xff;
    }
    if (info.biCompression != Bitfields) return Error::None;
    std::array<std::uint8_t, MaskBytes> table{};
    if (header.size() > InfoHeaderSize) {
        std::copy_n(header.begin() + InfoHeaderSize, MaskBytes, table.begin());
    } else if (const Error e = ReadAt(file, FileHeaderSize + InfoHeaderSize, table); e != Error::None) {
        return e;
    }
    layout.redMask = Unsigned32(table, 0), layout.greenMask = Unsigned32(table, 4);
    layout.blueMask = Unsigned32(table, 8);
    for (const std::uint32_t mask : {layout.redMask, layout.greenMask, layout.blueMask}) {
        if (!UsableMask(mask, info.biBitCount)) return Error::BadHeader;
    }
    return Error::None;
}

// The colour table lies between the headers (and masks) and the pixels; a count that claims
// more than that room holds is cut to it, so the pixels are never read as colours.
Error ReadPalette(OpenFile& file, HeaderForm form, const BITMAPINFOHEADER& info, std::uint64_t tableStart,
                  PixelLayout& layout) {
    if (info.biBitCount > 8) return Error::None;
    const std::uint64_t entryBytes = form == HeaderForm::Os2 ? 3 : 4;
    const std::uint64_t colorsUsed = static_cast<std::uint32_t>(info.biClrUsed);
    const std::uint64_t claimed = colorsUsed == 0 ? std::uint64_t{1} << info.biBitCount : colorsUsed;
    const std::uint64_t room = (layout.pixelOffset - tableStart) / entryBytes;
    const std::size_t entries = static_cast<std::size_t>(std::min({claimed, room, std::uint64_t{MaxPaletteEntries}}));
    std::vector<std::uint8_t> table(entries * entryBytes);
    if (const Error e = ReadAt(file, tableStart, table); e != Error::None) return e;
    for (std::size_t i = 0; i < entries; ++i) {
        const std::uint8_t* entry = table.data() + i * entryBytes;  // blue, green, red
        layout.palette.push_back(Opaque | std::uint32_t{entry[2]} << 16 | std::uint32_t{entry[1]} << 8 | entry[0]);
    }
    return Error::None;
}

PixelLayoutResult Failed(Error error) {
    return {{}, error};
}

// Offsets that hold only if every row lies where the layout says, with no sum beyond 64 bits;
// a layout made by hand rather than read is checked as strictly as one read from a file.
bool SoundLayout(const PixelLayout& layout) {
    if (layout.width <= 0 || layout.height <= 0 || !KnownBitCount(layout.bitCount)) return false;
    const std::uint64_t width = static_cast<std::uint64_t>(layout.width);
    if (layout.rowSize < StoredRowSize(width, static_cast<std::uint64_t>(layout.bitCount))) return false;
    const std::optional<std::uint64_t> rows = Product(layout.rowSize, static_cast<std::uint64_t>(layout.height));
    return rows && Sum(layout.pixelOffset, *rows);
}

bool Within(const PixelLayout& layout, const PictureRect& rect) {
    return rect.left >= 0 && rect.top >= 0 && rect.width > 0 && rect.height > 0 &&
           std::int64_t{rect.left} + rect.width <= layout.width && std::int64_t{rect.top} + rect.height <= layout.height;
}

// The bytes of a stored row that hold the sampled columns, rounded out to whole bytes.
struct ByteSpan {
    std::uint64_t first = 0;
    std::uint64_t count = 0;
    std::uint64_t firstBit = 0;  // of the first sampled column, counted from the span's start
};

ByteSpan SpanOf(std::uint64_t bitCount, std::uint64_t firstColumn, std::uint64_t lastColumn) {
    const std::uint64_t first = firstColumn * bitCount / 8;
    const std::uint64_t end = ((lastColumn + 1) * bitCount + 7) / 8;
    return {first, end - first, firstColumn * bitCount - first * 8};
}

void DecodeRow(const PixelLayout& layout, const Channels& channels, std::span<const std::uint8_t> bytes,
               const ByteSpan& span, std::int32_t step, std::span<std::uint32_t> out) {
    const std::uint64_t bitCount = static_cast<std::uint64_t>(layout.bitCount);
    const std::uint64_t stride = bitCount * static_cast<std::uint64_t>(step);
    std::uint64_t bit = span.firstBit;
    for (std::uint32_t& pixel : out) {
        const std::uint8_t* p = bytes.data() + bit / 8;
        switch (layout.bitCount) {
        case 24:
            pixel = Opaque | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0];
            break;
        case 16:
            pixel = channels.Color(p[0] | std::uint32_t{p[1]} << 8);
            break;
        case 32:
            pixel = channels.Color(p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24);
            break;
        default: {  // 1, 4 and 8 bits: the leftmost pixel in the highest bits of its byte
            const std::uint32_t index = (*p >> (8 - bitCount - bit % 8)) & ((1u << bitCount) - 1);
            pixel = index < layout.palette.size() ? layout.palette[index] : Opaque;
        }
        }
        bit += stride;
    }
}

}  // namespace

std::int32_t ReducedLength(std::int32_t length, std::int32_t step) {
    if (length <= 0 || step < 1) return 0;
    return static_cast<std::int32_t>((std::int64_t{length} + step - 1) / step);
}

PixelLayoutResult ReadPixelLayout(OpenFile& file) {
    BITMAPFILEHEADER fileHeader;
    const std::span<std::uint8_t> type = std::span(fileHeader.bytes).first(BitmapFileType.size());
    // Too short for "BM" is no bitmap, not a cut one.
    Error error = ReadAt(file, 0, type);
    if (error == Error::FileTooShort || (error == Error::None && fileHeader.bfType() != BitmapFileType)) {
        return Failed(Error::NotBitmap);
    }
    if (error == Error::None) error = ReadAt(file, type.size(), std::span(fileHeader.bytes).subspan(type.size()));
    // The header record opens with its size, which says its form and how much more to read.
    std::array<std::uint8_t, sizeof(std::int32_t)> sizeField{};
    if (error == Error::None) error = ReadAt(file, FileHeaderSize, sizeField);
    if (error != Error::None) return Failed(error);

    const std::int32_t headerSize = BytesToLong(sizeField, 0);
    const std::optional<HeaderForm> form = FormOf(headerSize);
    if (!form) return Failed(Error::NotBitmap);
    std::vector<std::uint8_t> header(static_cast<std::size_t>(headerSize));
    if (const Error e = ReadAt(file, FileHeaderSize, header); e != Error::None) return Failed(e);
    const BITMAPINFOHEADER info = InfoRecordOf(*form, header);
    if (const Error e = CheckFields(info); e != Error::None) return Failed(e);

    PixelLayout layout;
    layout.width = info.biWidth;
    layout.topDown = info.biHeight < 0;
    layout.height = layout.topDown ? -info.biHeight : info.biHeight;
    layout.bitCount = info.biBitCount;
    layout.rowSize =
        StoredRowSize(static_cast<std::uint64_t>(layout.width), static_cast<std::uint64_t>(layout.bitCount));
    layout.pixelOffset = static_cast<std::uint32_t>(fileHeader.bfOffBits());
    if (const Error e = ReadMasks(file, info, header, layout); e != Error::None) return Failed(e);

    const bool maskTable = info.biCompression == Bitfields && header.size() == InfoHeaderSize;
    const std::uint64_t tableStart = FileHeaderSize + header.size() + (maskTable ? MaskBytes : 0);
    // Pixels that start inside the headers would be read as header fields.
    if (layout.pixelOffset < tableStart || !SoundLayout(layout)) return Failed(Error::BadHeader);
    if (const Error e = ReadPalette(file, *form, info, tableStart, layout); e != Error::None) return Failed(e);
    return {std::move(layout), Error::None};
}

ReducedPictureResult ReadReducedPicture(OpenFile& file, const PixelLayout& layout, const PictureRect& rect,
                                        std::int32_t step) {
    if (!SoundLayout(layout)) return {{}, Error::BadHeader};
    if (step < 1 || !Within(layout, rect)) return {{}, Error::BadRegion};
    ReducedPicture picture{rect, step, ReducedLength(rect.width, step), ReducedLength(rect.height, step), {}};
    const std::uint64_t outWidth = static_cast<std::uint64_t>(picture.width);
    const std::uint64_t outHeight = static_cast<std::uint64_t>(picture.height);
    if (outWidth * outHeight > MaxResultPixels) return {{}, Error::BadRegion};

    const std::uint64_t uStep = static_cast<std::uint64_t>(step);
    const ByteSpan span = SpanOf(static_cast<std::uint64_t>(layout.bitCount), static_cast<std::uint64_t>(rect.left),
                                 static_cast<std::uint64_t>(rect.left) + (outWidth - 1) * uStep);
    // The layout is sound, so no offset of a row within the picture passes 64 bits.
    const auto storedRow = [&](std::uint64_t j) {
        const std::uint64_t row = static_cast<std::uint64_t>(rect.top) + j * uStep;
        return layout.topDown ? row : static_cast<std::uint64_t>(layout.height) - 1 - row;
    };
    const auto offsetOf = [&](std::uint64_t j) { return layout.pixelOffset + storedRow(j) * layout.rowSize + span.first; };

    // Whether the file holds the furthest row is known before the result is allocated, so a
    // header claiming rows the file lacks costs nothing.
    const std::optional<std::uint64_t> size = file.Size();
    if (!size) return {{}, Error::ReadFailed};
    if (std::max(offsetOf(0), offsetOf(outHeight - 1)) + span.count > *size) return {{}, Error::FileTooShort};

    picture.pixels.resize(outWidth * outHeight);
    std::vector<std::uint8_t> row(span.count);
    const Channels channels(layout);
    // Stored order is file order: a picture kept bottom row first is read from the rect's bottom up.
    for (std::uint64_t k = 0; k < outHeight; ++k) {
        const std::uint64_t j = layout.topDown ? k : outHeight - 1 - k;
        if (const Error e = ReadAt(file, offsetOf(j), row); e != Error::None) return {{}, e};
        DecodeRow(layout, channels, row, span, step, std::span(picture.pixels).subspan(j * outWidth, outWidth));
    }
    return {std::move(picture), Error::None};
}

}  // namespace kartivo
