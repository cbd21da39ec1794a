#pragma once
// Helpers the tests share: temporary folders, whole-file reading and writing, a tiny
// bitmap writer, a scripted stand-in for the message boxes, and Make's row choice worked out
// the plain way.

#include "bitmap/Resample.h"
#include "bitmap/TileGrid.h"
#include "common/MessageBox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

namespace kartivo::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The full path of name inside the folder, as a UTF-8 string.
    std::string File(const std::string& name) const;

private:
    std::filesystem::path path_;
};

// The names of the entries in folder, sorted: what a run left behind.
std::vector<std::string> FolderEntries(const std::filesystem::path& folder);

Bytes ReadAll(const std::string& path);
void WriteAll(const std::string& path, const Bytes& bytes);

// Describes a generated bitmap. Row r of the pixel data holds bytes that start with
// RowMarker(r), so a test can tell which input row an output row copies.
struct TestBitmap {
    std::int32_t width = 4;
    std::int32_t height = 4;        // negative: stored top row first
    std::int16_t bitCount = 24;
    std::int32_t compression = 0;
    std::int32_t xPelsPerMeter = 3780;
    std::int32_t yPelsPerMeter = 3780;
    std::int32_t clrUsed = 0;
    std::int32_t clrImportant = 0;
    bool os2 = false;               // 12-byte core header instead of the 40-byte one
    Bytes colorTable;               // written between the headers and the pixels
};

// The byte written first in stored row r (the row's index in file order, from 0).
std::uint8_t RowMarker(std::int32_t storedRow);
// The row size of a bitmap: ((width * bits + 31) / 32) * 4.
std::size_t RowSize(std::int32_t width, std::int16_t bitCount);
// A complete bitmap file: headers, colour table, then |height| rows whose bytes are all
// RowMarker of the stored row index, so copies are easy to tell apart.
Bytes MakeBitmap(const TestBitmap& spec);

// The colour band (0 red, 1 green, 2 blue) of pixel x, y of a web map tile the tests make, which
// tells its place: red the column within the tile, green the row, blue the tile.
inline std::uint8_t TileValue(const TileAddress& t, int band, int x, int y) {
    return static_cast<std::uint8_t>(band == 0 ? x : band == 1 ? y : t.zoom * 32 + t.x * 5 + t.y * 3);
}

// Answers alarm boxes from a script and records every box shown.
class ScriptedMessageBoxes : public MessageBoxes {
public:
    struct Shown {
        std::string text;
        std::string title;
        bool alarm = false;
        MessageIcon icon = MessageIcon::Exclamation;
        AlarmButtons buttons = AlarmButtons::AbortRetryIgnore;
    };

    void ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) override;
    AlarmAnswer ShowAlarmBox(const std::string& text, const std::string& title, AlarmButtons buttons) override;

    // Answers for the next alarm boxes, in order. An alarm box without an answer left fails
    // the test and answers Cancel or Abort, so a retry loop cannot run forever.
    std::deque<AlarmAnswer> answers;
    std::vector<Shown> shown;
};

using Rows = std::vector<std::int32_t>;

// The row choice worked out the plain way, one output row after another: the nearest input
// row by Mercator ordinate, never going back down the input, blank outside it.
inline Rows ExpectedRows(const RowMapping& m) {
    if (m.inputRows < 2) return Rows(static_cast<std::size_t>(std::max(0, m.outputRows)), BlankRow);
    const auto y = [](double latitude) {
        const double r = latitude * 3.14159265358979 / 180;
        return std::log(1 / std::cos(r) + std::tan(r));
    };
    const double perRow = (y(m.inTopLatitude) - y(m.inBottomLatitude)) / (m.inputRows - 1);
    const double step = m.outputRows > 1 ? (m.outTopLatitude - m.outBottomLatitude) / (m.outputRows - 1) : 0;
    Rows rows;
    std::int32_t reached = 0;
    double latitude = m.outBottomLatitude;
    for (std::int32_t i = 0; i < m.outputRows; ++i, latitude += step) {
        const double nearest = std::nearbyint((y(latitude) - y(m.inBottomLatitude)) / perRow);
        const bool inside = nearest >= 0 && nearest < m.inputRows;
        rows.push_back(inside ? reached = std::max(reached, static_cast<std::int32_t>(nearest)) : BlankRow);
    }
    return rows;
}

constexpr RowMapping AccumulatedLatitude{0, 60.0000116714376, 0, 50, 1000001, 501};

// Input and output ranges upwards, downwards, overlapping, inside and beyond each other, with
// one, two and more rows on either side.
inline std::vector<RowMapping> Mappings() {
    const std::pair<double, double> inputs[] = {{35, 36}, {0, 60}, {60, 0}, {-30, 10}};
    const std::pair<double, double> outputs[] = {{35, 36}, {0, 60}, {-10, 70}, {60, 0}, {35.2, 35.8}, {20, 30}, {-20, 0}};
    std::vector<RowMapping> all;
    for (const auto& [inBottom, inTop] : inputs) {
        for (const std::int32_t inputRows : {1, 2, 3, 7, 11}) {
            for (const auto& [outBottom, outTop] : outputs) {
                for (const std::int32_t outputRows : {0, 1, 2, 5, 9, 13}) {
                    all.push_back({inBottom, inTop, outBottom, outTop, inputRows, outputRows});
                }
            }
        }
    }
    // 0.1 added 500 times gives 50.00000000000044, not 50, and the input's top latitude puts a
    // half-row boundary between the two: the last row must take input row 767438, not 767437.
    all.push_back(AccumulatedLatitude);
    return all;
}

inline testing::Message Describe(const RowMapping& m) {
    return testing::Message() << m.inputRows << " rows " << m.inBottomLatitude << ".." << m.inTopLatitude << " to "
                              << m.outputRows << " rows " << m.outBottomLatitude << ".." << m.outTopLatitude;
}

}  // namespace kartivo::test
