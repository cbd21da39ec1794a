// The re-projection over an arbitrary input file with arbitrary corners and heights. The
// request comes from the first bytes, the input picture is the rest; outputs stay at most
// 64 rows, and a row cannot exceed the input, so one run stays small.
#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "bitmap/BitmapHeader.h"
#include "bitmap/OutputLayout.h"
#include "bitmap/Resample.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

using namespace kartivo;

namespace {

constexpr std::int32_t MaxOutputRows = 64;

double Latitude(FuzzedDataProvider& provider, bool raw) {
    // Mostly whole 1/360ths of a degree a little past the poles, sometimes any double at all.
    if (raw) return provider.ConsumeFloatingPoint<double>();
    return provider.ConsumeIntegral<std::int16_t>() / 360.0;
}

std::int32_t LittleEndian32(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    return static_cast<std::int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const bool rawLatitudes = provider.ConsumeBool();
    const bool rawSizes = provider.ConsumeBool();
    const bool failWrites = provider.ConsumeBool();

    MakeRequest request;
    request.inBottomLatitude = Latitude(provider, rawLatitudes);
    request.inTopLatitude = Latitude(provider, rawLatitudes);
    request.outBottomLatitude = Latitude(provider, rawLatitudes);
    request.outTopLatitude = Latitude(provider, rawLatitudes);
    request.form = provider.ConsumeBool() ? HeaderForm::Os2 : HeaderForm::Windows;
    request.inputTopDown = provider.ConsumeBool();
    if (rawSizes) {
        request.width = provider.ConsumeIntegral<std::int32_t>();
        request.bitCount = provider.ConsumeIntegral<std::int16_t>();
        request.compression = provider.ConsumeIntegral<std::int32_t>();
        request.inputRows = provider.ConsumeIntegral<std::int32_t>();
        request.inputPixelOffset = provider.ConsumeIntegral<std::int32_t>();
    } else {
        request.width = provider.ConsumeIntegralInRange<std::int32_t>(0, 64);
        request.bitCount = provider.PickValueInArray<std::int16_t>({1, 4, 8, 16, 24, 32});
        request.compression = provider.PickValueInArray<std::int32_t>({0, 3, 1});
        request.inputRows = provider.ConsumeIntegralInRange<std::int32_t>(0, 64);
        request.inputPixelOffset = provider.ConsumeIntegralInRange<std::int32_t>(0, 128);
    }
    request.clrUsed = provider.ConsumeIntegral<std::int32_t>();
    request.clrImportant = provider.ConsumeIntegral<std::int32_t>();
    request.outputRows = provider.ConsumeIntegralInRange<std::int32_t>(-2, MaxOutputRows);
    request.xPelsPerMeter = provider.ConsumeIntegral<std::int32_t>();
    request.yPelsPerMeter = provider.ConsumeIntegral<std::int32_t>();
    const std::size_t writeLimit = provider.ConsumeIntegralInRange<std::size_t>(0, 1 << 16);
    const std::vector<std::uint8_t> picture = provider.ConsumeRemainingBytes<std::uint8_t>();

    test::MemoryFile input(picture);
    test::MemoryFile output;  // as RunMake's, a new temporary file
    if (failWrites) output.failWritesAfter = writeLimit;

    const MakeError expected = ValidateMakeRequest(request, picture.size());
    const MakeError error = Resample(request, input, output);

    if (expected != MakeError::None) {
        // A refused request touches no file.
        FUZZ_CHECK(error == expected);
        FUZZ_CHECK(output.BytesWritten() == 0);
        return 0;
    }
    const std::size_t rowSize = static_cast<std::size_t>(*RowSize(request.width, request.bitCount));
    const std::size_t rowsStart = static_cast<std::size_t>(request.inputPixelOffset);
    const std::size_t outputRows = static_cast<std::size_t>(request.outputRows);
    const std::size_t wholeSize = rowsStart + rowSize * outputRows;
    if (error != MakeError::None) {
        // Only the injected full disk may stop a valid request, and only one too small for the
        // whole picture; what it leaves is RunMake's to discard.
        FUZZ_CHECK(failWrites && writeLimit < wholeSize);
        FUZZ_CHECK(error == MakeError::OutputWriteFailed);
        return 0;
    }
    FUZZ_CHECK(!failWrites || writeLimit >= wholeSize);

    const std::vector<std::uint8_t>& out = output.Bytes();
    const std::size_t headerLength =
        FileHeaderSize + (request.form == HeaderForm::Windows ? InfoHeaderSize : CoreHeaderSize);
    FUZZ_CHECK(out.size() == wholeSize);
    FUZZ_CHECK(out[0] == 'B' && out[1] == 'M');
    FUZZ_CHECK(LittleEndian32(out, bfOffBitsOffset) == request.inputPixelOffset);
    FUZZ_CHECK(LittleEndian32(out, bfSizeOffset) == static_cast<std::int32_t>(out.size()));
    // The colour table and masks between headers and pixels travel unchanged.
    FUZZ_CHECK(std::equal(out.begin() + static_cast<std::ptrdiff_t>(headerLength),
                          out.begin() + static_cast<std::ptrdiff_t>(rowsStart),
                          picture.begin() + static_cast<std::ptrdiff_t>(headerLength)));

    auto inputRow = [&](std::size_t stored) { return picture.data() + rowsStart + stored * rowSize; };
    auto outputRow = [&](std::size_t row) { return out.data() + rowsStart + row * rowSize; };

    // Each output row is blank or a copy of some input row...
    for (std::size_t row = 0; row < outputRows; ++row) {
        const std::uint8_t* bytes = outputRow(row);
        bool matched = std::all_of(bytes, bytes + rowSize, [](std::uint8_t b) { return b == 0; });
        for (std::size_t stored = 0; !matched && stored < static_cast<std::size_t>(request.inputRows); ++stored) {
            matched = std::memcmp(bytes, inputRow(stored), rowSize) == 0;
        }
        FUZZ_CHECK(matched);
    }
    // ...and precisely the one the row walk names, counted from the bottom of both pictures.
    RowMapping mapping{request.inBottomLatitude, request.inTopLatitude, request.outBottomLatitude,
                       request.outTopLatitude,   request.inputRows,     request.outputRows};
    std::vector<bool> visited(outputRows, false);
    WalkOutputRows(mapping, WalkOrder::BottomFirst, [&](std::int32_t outRow, std::int32_t inRow) {
        FUZZ_CHECK(outRow >= 0 && static_cast<std::size_t>(outRow) < outputRows);
        FUZZ_CHECK(!visited[static_cast<std::size_t>(outRow)]);
        visited[static_cast<std::size_t>(outRow)] = true;
        const std::uint8_t* bytes = outputRow(static_cast<std::size_t>(outRow));
        if (inRow == BlankRow) {
            FUZZ_CHECK(std::all_of(bytes, bytes + rowSize, [](std::uint8_t b) { return b == 0; }));
        } else {
            FUZZ_CHECK(inRow >= 0 && inRow < request.inputRows);
            const std::size_t stored = static_cast<std::size_t>(
                request.inputTopDown ? request.inputRows - 1 - inRow : inRow);
            FUZZ_CHECK(std::memcmp(bytes, inputRow(stored), rowSize) == 0);
        }
        return true;
    });
    FUZZ_CHECK(std::all_of(visited.begin(), visited.end(), [](bool v) { return v; }));
    return 0;
}
