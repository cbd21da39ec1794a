#include "mapdata/MapDataFile.h"

#include "common/TextEncoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>
#include <string>
#include <vector>

namespace kartivo {

std::array<std::uint8_t, MapNameSize> NameField(std::string_view utf8) {
    std::array<std::uint8_t, MapNameSize> field{};
    std::size_t used = 0;
    for (const AnsiCharacter& character : ToAnsiCharacters(utf8)) {
        // A double-byte character that would not fit whole is left out with everything after
        // it: half a character would turn the end of the name into garbage.
        if (character.bytes.size() > field.size() - used) break;
        for (const char byte : character.bytes) field[used++] = static_cast<std::uint8_t>(byte);
    }
    return field;
}

std::optional<std::array<char, CoordinateFieldSize>> CoordinateField(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    // Minus zero is not negative, so it gets no sign.
    if (value == 0) value = 0;
    // The largest double has 309 integer digits; with the sign, point and 13 decimals it fits.
    std::array<char, 340> text{};
    const auto [end, error] = std::to_chars(text.data(), text.data() + text.size(), value,
                                            std::chars_format::fixed, 13);
    // At least "0." and 13 decimals, so never shorter than the field.
    if (error != std::errc{} || end - text.data() < static_cast<std::ptrdiff_t>(CoordinateFieldSize)) {
        return std::nullopt;
    }
    std::array<char, CoordinateFieldSize> field{};
    std::copy_n(text.begin(), field.size(), field.begin());
    return field;
}

namespace {

std::span<const std::uint8_t> AsBytes(const std::array<char, CoordinateFieldSize>& field) {
    return {reinterpret_cast<const std::uint8_t*>(field.data()), field.size()};
}

void Place(std::vector<std::uint8_t>& head, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), head.begin() + static_cast<std::ptrdiff_t>(offset));
}

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

MapDataResult WriteMapDataFields(OpenFile& file, const MapDataFields& fields) {
    const auto top = CoordinateField(fields.top);
    const auto left = CoordinateField(fields.left);
    const auto bottom = CoordinateField(fields.bottom);
    const auto right = CoordinateField(fields.right);
    if (!top || !left || !bottom || !right) return {MapDataError::InvalidCoordinate, {}};
    // Without the converter every non-ASCII character would silently become "?".
    if (!IsAscii(fields.name)) {
        if (std::string problem = AnsiConverterProblem(); !problem.empty()) {
            return {MapDataError::NameEncoding, std::move(problem)};
        }
    }

    const auto reason = [&] { return ErrorDescription(file.LastError()); };
    if (!file.Lock()) return {MapDataError::Lock, reason()};
    const std::optional<std::uint64_t> size = file.Size();
    std::vector<std::uint8_t> earlier(size ? std::min(*size, MapDataHeadSize) : 0);
    if (!size || !file.Seek(0) || !file.Read(earlier)) return {MapDataError::Read, reason()};

    std::vector<std::uint8_t> head = earlier;
    head.resize(MapDataHeadSize, 0);
    Place(head, MapNameOffset, NameField(fields.name));
    Place(head, TopLatitudeOffset, AsBytes(*top));
    Place(head, LeftLongitudeOffset, AsBytes(*left));
    Place(head, BottomLatitudeOffset, AsBytes(*bottom));
    Place(head, RightLongitudeOffset, AsBytes(*right));
    head[LayerOffset] = fields.layer;
    if (file.Seek(0) && file.Write(head) && file.Sync()) return {};

    const std::string why = reason();
    // Best effort: the failure is what gets reported, whether or not the file can be mended.
    if (file.Seek(0) && file.Write(earlier) && (*size >= MapDataHeadSize || file.Truncate(*size))) file.Sync();
    return {MapDataError::Write, why};
}

MapDataResult WriteMapDataFile(const std::string& path, const MapDataFields& fields, MessageBoxes& boxes,
                               FileSystem& fileSystem) {
    // An existing file only: a map data file that has gone is not made anew as 174 bytes of
    // fields with nothing else, which no device could read.
    OpenResult opened = OpenFileWithRetry(path, OpenExisting, QuietFileNotFound, boxes, fileSystem);
    if (!opened) return {MapDataError::OpenFailed, opened.failure, opened.asked};
    MapDataResult result = WriteMapDataFields(*opened.file, fields);
    const bool closed = opened.file->Close();
    if (result.error == MapDataError::None && !closed) {
        result = {MapDataError::CloseFailed, ErrorDescription(opened.file->LastError())};
    }
    return result;
}

const char* MapDataErrorText(MapDataError error) {
    switch (error) {
    case MapDataError::None: return "";
    case MapDataError::InvalidCoordinate: return "a corner of the output rectangle is not a number";
    case MapDataError::NameEncoding: return "the map name cannot be converted to Shift-JIS";
    case MapDataError::Lock: return "the file could not be locked";
    case MapDataError::Read: return "the file's head could not be read";
    case MapDataError::Write: return "the fields could not be written, the file was left as it was";
    case MapDataError::OpenFailed: return "the file could not be opened";
    case MapDataError::CloseFailed: return "the file could not be closed, the fields may be incomplete";
    }
    return "";
}

std::string MapDataFailureText(const MapDataResult& result) {
    std::string text = MapDataErrorText(result.error);
    if (!result.reason.empty()) text += " (" + result.reason + ")";
    return text;
}

}  // namespace kartivo
