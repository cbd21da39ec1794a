// Header recognition and the property texts over arbitrary first bytes of a file.
#include "FuzzCheck.h"
#include "bitmap/BitmapHeader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

using namespace kartivo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    const BitmapHeaders headers = RecognizeBitmap(bytes);

    // The file header is the first 14 bytes as they are, padded with zeros.
    for (std::size_t i = 0; i < FileHeaderSize; ++i) {
        FUZZ_CHECK(headers.file.bytes[i] == (i < size ? data[i] : 0));
    }
    if (size < 2 || data[0] != 'B' || data[1] != 'M') {
        FUZZ_CHECK(headers.error == HeaderError::NotBitmap);
    }

    if (headers.error == HeaderError::None) {
        const BitmapPropertyTexts texts = PropertyTexts(headers);
        FUZZ_CHECK(!texts.fileSize.empty() && !texts.width.empty() && !texts.height.empty());
        FUZZ_CHECK(!texts.colorDepth.empty() && !texts.compression.empty());
        FUZZ_CHECK(!texts.resolutionWidth.empty() && !texts.resolutionHeight.empty());
    }

    // Reading and writing a record are inverse: every byte of both records is a field byte.
    std::array<std::uint8_t, InfoHeaderSize> info{};
    std::copy_n(data, std::min(size, info.size()), info.begin());
    std::array<std::uint8_t, InfoHeaderSize> infoAgain{};
    WriteInfoHeader(ReadInfoHeader(info), infoAgain);
    FUZZ_CHECK(info == infoAgain);

    std::array<std::uint8_t, CoreHeaderSize> core{};
    std::copy_n(data, std::min(size, core.size()), core.begin());
    std::array<std::uint8_t, CoreHeaderSize> coreAgain{};
    WriteCoreHeader(ReadCoreHeader(core), coreAgain);
    FUZZ_CHECK(core == coreAgain);

    if (size >= 4) {
        std::int32_t code = 0;
        std::copy_n(data, 4, reinterpret_cast<std::uint8_t*>(&code));
        FUZZ_CHECK(!CompressionText(code).empty());
        const std::int32_t dpi = DotsPerInch(code);
        if (code == 0) FUZZ_CHECK(dpi == 96);
    }
    return 0;
}
