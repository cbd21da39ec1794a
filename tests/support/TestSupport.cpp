#include "TestSupport.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace kartivo::test {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kartivo-test-XXXXXX").string();
    EXPECT_NE(mkdtemp(pattern.data()), nullptr) << pattern;
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::File(const std::string& name) const {
    return (path_ / name).string();
}

Bytes ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

void WriteAll(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "could not write " << path;
}

std::uint8_t RowMarker(std::int32_t storedRow) {
    return static_cast<std::uint8_t>(storedRow * 7 + 1);  // never 0, so unlike a blank row
}

std::size_t RowSize(std::int32_t width, std::int16_t bitCount) {
    return static_cast<std::size_t>((static_cast<std::int64_t>(width) * bitCount + 31) / 32 * 4);
}

Bytes MakeBitmap(const TestBitmap& spec) {
    const std::size_t infoSize = spec.os2 ? 12 : 40;
    const std::size_t offBits = 14 + infoSize + spec.colorTable.size();
    const std::int32_t rows = spec.height < 0 ? -spec.height : spec.height;
    const std::size_t rowSize = RowSize(spec.width, spec.bitCount);
    Bytes b(offBits + rowSize * static_cast<std::size_t>(rows), 0);
    std::size_t at = 0;  // the fields follow one another, least significant byte first
    // A negative value's low bytes are its two's complement, whatever the field's width.
    const auto put = [&](std::int64_t value, int size) {
        for (int k = 0; k < size; ++k) b[at++] = static_cast<std::uint8_t>(value >> (8 * k));
    };
    const int sizeField = spec.os2 ? 2 : 4;
    put('B' | 'M' << 8, 2), put(b.size(), 4), put(0, 4), put(offBits, 4), put(infoSize, 4);
    put(spec.width, sizeField), put(spec.height, sizeField), put(1, 2), put(spec.bitCount, 2);
    if (!spec.os2) {
        put(spec.compression, 4), put(rowSize * static_cast<std::size_t>(rows), 4);
        put(spec.xPelsPerMeter, 4), put(spec.yPelsPerMeter, 4);
        put(spec.clrUsed, 4), put(spec.clrImportant, 4);
    }
    std::copy(spec.colorTable.begin(), spec.colorTable.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    for (std::int32_t r = 0; r < rows; ++r) {
        const auto start = offBits + rowSize * static_cast<std::size_t>(r);
        std::fill_n(b.begin() + static_cast<std::ptrdiff_t>(start), rowSize, RowMarker(r));
    }
    return b;
}

void ScriptedMessageBoxes::ShowMessage(const std::string& text, const std::string& title, MessageIcon icon) {
    shown.push_back({text, title, false, icon, AlarmButtons::AbortRetryIgnore});
}

AlarmAnswer ScriptedMessageBoxes::ShowAlarmBox(const std::string& text, const std::string& title,
                                               AlarmButtons buttons) {
    shown.push_back({text, title, true, MessageIcon::Stop, buttons});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected alarm box: " << text;
        return buttons == AlarmButtons::RetryCancel ? AlarmAnswer::Cancel : AlarmAnswer::Abort;
    }
    const AlarmAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace kartivo::test
