// The map data patch over arbitrary names, corner values, layers and existing files.
#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "mapdata/MapDataFile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

using namespace kartivo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    MapDataFields fields;
    fields.name = provider.ConsumeRandomLengthString(64);
    // Raw doubles, so NaN, infinities and huge values all come up.
    fields.top = provider.ConsumeFloatingPoint<double>();
    fields.left = provider.ConsumeFloatingPoint<double>();
    fields.bottom = provider.ConsumeFloatingPoint<double>();
    fields.right = provider.ConsumeFloatingPoint<double>();
    fields.layer = provider.ConsumeIntegral<std::uint8_t>();
    const std::vector<std::uint8_t> old = provider.ConsumeRemainingBytes<std::uint8_t>();

    test::MemoryFile file(old);
    const MapDataError error = WriteMapDataFields(file, fields).error;

    const bool allFinite = std::isfinite(fields.top) && std::isfinite(fields.left) &&
                           std::isfinite(fields.bottom) && std::isfinite(fields.right);
    if (!allFinite) {
        FUZZ_CHECK(error == MapDataError::InvalidCoordinate);
        FUZZ_CHECK(file.Bytes() == old);
        FUZZ_CHECK(file.BytesWritten() == 0);
        return 0;
    }
    FUZZ_CHECK(error == MapDataError::None);

    const std::vector<std::uint8_t>& now = file.Bytes();
    FUZZ_CHECK(now.size() == std::max<std::size_t>(old.size(), MapDataHeadSize));

    // Every byte that no field covers keeps its old value, or is zero where the file grew.
    std::vector<bool> field(now.size(), false);
    auto mark = [&field](std::uint64_t offset, std::size_t length) {
        std::fill_n(field.begin() + static_cast<std::ptrdiff_t>(offset), length, true);
    };
    mark(MapNameOffset, MapNameSize);
    for (const std::uint64_t offset :
         {TopLatitudeOffset, LeftLongitudeOffset, BottomLatitudeOffset, RightLongitudeOffset}) {
        mark(offset, CoordinateFieldSize);
    }
    mark(LayerOffset, 1);
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (!field[i]) FUZZ_CHECK(now[i] == (i < old.size() ? old[i] : 0));
    }

    // And the fields hold what their encoders give.
    const auto name = NameField(fields.name);
    FUZZ_CHECK(std::equal(name.begin(), name.end(), now.begin() + MapNameOffset));
    const std::pair<std::uint64_t, double> coordinates[] = {{TopLatitudeOffset, fields.top},
                                                            {LeftLongitudeOffset, fields.left},
                                                            {BottomLatitudeOffset, fields.bottom},
                                                            {RightLongitudeOffset, fields.right}};
    for (const auto& [offset, value] : coordinates) {
        const auto text = CoordinateField(value);
        FUZZ_CHECK(text.has_value());
        for (std::size_t i = 0; i < CoordinateFieldSize; ++i) {
            FUZZ_CHECK(now[offset + i] == static_cast<std::uint8_t>((*text)[i]));
        }
    }
    FUZZ_CHECK(now[LayerOffset] == fields.layer);
    return 0;
}
