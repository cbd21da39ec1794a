#include "mapdata/MapDataFile.h"

#include "common/TextEncoding.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <span>

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

bool WriteAt(OpenFile& file, std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    return file.Seek(offset) && file.Write(bytes);
}

std::span<const std::uint8_t> AsBytes(const std::array<char, CoordinateFieldSize>& field) {
    return {reinterpret_cast<const std::uint8_t*>(field.data()), field.size()};
}

}  // namespace

MapDataError WriteMapDataFields(OpenFile& file, const MapDataFields& fields) {
    const auto top = CoordinateField(fields.top);
    const auto left = CoordinateField(fields.left);
    const auto bottom = CoordinateField(fields.bottom);
    const auto right = CoordinateField(fields.right);
    if (!top || !left || !bottom || !right) return MapDataError::InvalidCoordinate;

    // Extending explicitly instead of writing past the end makes the gaps zeros on every
    // file system and on every OpenFile implementation.
    const std::optional<std::uint64_t> size = file.Size();
    if (!size || (*size < MapDataHeadSize && !file.Truncate(MapDataHeadSize))) return MapDataError::Grow;

    if (!WriteAt(file, MapNameOffset, NameField(fields.name))) return MapDataError::Name;
    if (!WriteAt(file, TopLatitudeOffset, AsBytes(*top))) return MapDataError::TopLatitude;
    if (!WriteAt(file, LeftLongitudeOffset, AsBytes(*left))) return MapDataError::LeftLongitude;
    if (!WriteAt(file, BottomLatitudeOffset, AsBytes(*bottom))) return MapDataError::BottomLatitude;
    if (!WriteAt(file, RightLongitudeOffset, AsBytes(*right))) return MapDataError::RightLongitude;
    const std::uint8_t layer[] = {fields.layer};
    if (!WriteAt(file, LayerOffset, layer)) return MapDataError::Layer;
    return MapDataError::None;
}

MapDataError WriteMapDataFile(const std::string& path, const MapDataFields& fields, MessageBoxes& boxes,
                              FileSystem& fileSystem) {
    OpenResult opened = OpenFileWithRetry(path, OpenBinary, QuietFileNotFound, boxes, {}, fileSystem);
    if (!opened) return MapDataError::OpenFailed;
    const MapDataError error = WriteMapDataFields(*opened.file, fields);
    const bool closed = opened.file->Close();
    if (error != MapDataError::None) return error;
    return closed ? MapDataError::None : MapDataError::CloseFailed;
}

const char* MapDataErrorText(MapDataError error) {
    switch (error) {
    case MapDataError::None: return "";
    case MapDataError::InvalidCoordinate: return "a corner of the output rectangle is not a number";
    case MapDataError::Grow: return "the file could not be extended to hold the fields";
    case MapDataError::Name: return "the map name could not be written";
    case MapDataError::TopLatitude: return "the top latitude could not be written";
    case MapDataError::LeftLongitude: return "the left longitude could not be written";
    case MapDataError::BottomLatitude: return "the bottom latitude could not be written";
    case MapDataError::RightLongitude: return "the right longitude could not be written";
    case MapDataError::Layer: return "the layer could not be written";
    case MapDataError::OpenFailed: return "the file could not be opened";
    case MapDataError::CloseFailed: return "the file could not be closed, the fields may be incomplete";
    }
    return "";
}

}  // namespace kartivo
