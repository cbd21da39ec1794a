#pragma once
// Helpers the tests share: temporary folders, whole-file reading and writing, a tiny
// bitmap writer, and a scripted stand-in for the message boxes.

#include "common/MessageBox.h"

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

}  // namespace kartivo::test
