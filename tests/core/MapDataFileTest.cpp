#include "mapdata/MapDataFile.h"

#include "FaultyFileSystem.h"
#include "MemoryFile.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace kartivo {
namespace {

using test::Bytes;
using test::MemoryFile;

TEST(MapDataFile, NameFieldHoldsWholeShiftJisCharactersThenZeros) {
    const std::string thirty = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234", a26(26, 'a'), a27(27, 'a');
    // A double-byte character is never split, nor a later single-byte one squeezed in; half-width
    // katakana take one byte each; characters Shift-JIS lacks become "?".
    const struct { std::string name, expected; } cases[] = {
        {"Tokyo", "Tokyo"}, {"", ""}, {thirty, thirty.substr(0, 28)}, {"東京", "\x93\x8C\x8B\x9E"},
        {a26 + "東", a26 + "\x93\x8C"}, {a27 + "東", a27}, {a27 + "東b", a27}, {"ｱｲ", "\xB1\xB2"},
        {"A\xF0\x9F\x99\x82" "B", "A?B"}, {"A\xC2\x80" "B", "A?B"},
    };
    for (const auto& c : cases) {
        const auto field = NameField(c.name);
        Bytes expected(c.expected.begin(), c.expected.end());
        expected.resize(MapNameSize, 0);
        EXPECT_EQ(Bytes(field.begin(), field.end()), expected) << c.name;
    }
}

TEST(MapDataFile, CoordinateFieldIsThirteenDecimalsCutToFifteenCharacters) {
    // Minus zero is not a negative value; the last decimal is rounded to the nearest, not cut,
    // and the rounding may carry into the integer digits.
    const struct { double value; const char* expected; } cases[] = {
        {5.5, "5.5000000000000"}, {35.1234567891, "35.123456789100"}, {139.1234567891, "139.12345678910"},
        {-5.25, "-5.250000000000"}, {-35.5, "-35.50000000000"}, {-139.75, "-139.7500000000"},
        {0.0, "0.0000000000000"}, {-0.0, "0.0000000000000"}, {0.12345678901236, "0.1234567890124"},
        {9.99999999999996, "10.000000000000"}, {std::numeric_limits<double>::max(), "179769313486231"},
        {std::nan(""), nullptr}, {-std::numeric_limits<double>::infinity(), nullptr},
    };
    for (const auto& c : cases) {
        const auto field = CoordinateField(c.value);
        ASSERT_EQ(field.has_value(), c.expected != nullptr) << c.value;
        if (field) {
            EXPECT_EQ(std::string(field->begin(), field->end()), c.expected);
        }
    }
}

const MapDataFields Tokyo{"Tokyo", 35.658, 139.6, -33.86, 139.745, 3};

// What a file holding original looks like after Tokyo was written into it.
Bytes PatchedWithTokyo(Bytes original) {
    if (original.size() < MapDataHeadSize) original.resize(MapDataHeadSize, 0);
    const auto put = [&](std::size_t offset, const std::string& text) {
        std::copy(text.begin(), text.end(), original.begin() + static_cast<std::ptrdiff_t>(offset));
    };
    put(8, "Tokyo");
    std::fill_n(original.begin() + 13, 23, 0);
    put(40, "35.658000000000");
    put(72, "139.60000000000");
    put(104, "-33.86000000000");
    put(136, "139.74500000000");
    original[173] = 3;
    return original;
}

TEST(MapDataFile, WritesOnlyTheFieldsAndGrowsShortFilesWithZeros) {
    const struct { const char* what; Bytes original; } cases[] = {
        {"300 bytes of 0xFF keep every byte between the fields", Bytes(300, 0xFF)},
        {"10 bytes grow to 174, the first 8 kept", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {"an empty file holds only the fields", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFile file(c.original);
        EXPECT_EQ(WriteMapDataFields(file, Tokyo).error, MapDataError::None);
        EXPECT_EQ(file.Bytes(), PatchedWithTokyo(c.original));
    }
}

// Bytes that all differ from their neighbours, so what is put back one byte off shows.
Bytes Counting(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

TEST(MapDataFile, AFailedPatchPutsTheEarlierHeadAndLengthBack) {
    // Half the head written to a long and to a short (grown) file, the flush to the disk, the seek to the head.
    const struct { Bytes original; bool failWrite, failSync, failSeek; MapDataError expected; } cases[] = {
        {Counting(300), true, false, false, MapDataError::Write}, {Counting(10), true, false, false, MapDataError::Write},
        {Counting(10), false, true, false, MapDataError::Write}, {Counting(200), false, false, true, MapDataError::Read},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        MemoryFile file(c.original);
        if (c.failWrite) file.failWriteNumber = 1;
        file.failSync = c.failSync;
        file.failSeek = c.failSeek;
        const MapDataResult result = WriteMapDataFields(file, Tokyo);
        EXPECT_EQ(result.error, c.expected);
        EXPECT_FALSE(result.reason.empty()) << "the system's reason is passed on";
        EXPECT_EQ(file.Bytes(), c.original);
    }
    for (double MapDataFields::*corner : {&MapDataFields::top, &MapDataFields::left, &MapDataFields::bottom,
                                          &MapDataFields::right}) {
        MemoryFile file(Bytes(200, 0));
        MapDataFields broken = Tokyo;
        broken.*corner = std::nan("");
        EXPECT_EQ(WriteMapDataFields(file, broken).error, MapDataError::InvalidCoordinate);
        EXPECT_EQ(file.BytesWritten(), 0u);
    }
}

// The close fails after the real file was patched in place, which the command must still report.
TEST(MapDataFile, TheWholeCommandPatchesARealFileAndReportsAFailedClose) {
    test::TempFolder temp;
    const std::string path = temp.File("map.mbx");
    const Bytes ten = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    test::WriteAll(path, ten);
    test::ScriptedMessageBoxes boxes;
    test::FaultyFileSystem closing(test::FailingStep::Close);
    const MapDataResult result = WriteMapDataFile(path, Tokyo, boxes, closing);
    EXPECT_EQ(result.error, MapDataError::CloseFailed);
    EXPECT_EQ(result.reason, "Input/output error");
    EXPECT_EQ(test::ReadAll(path), PatchedWithTokyo(ten));
}

}  // namespace
}  // namespace kartivo
