#pragma once
// The map's name, the corners of the output rectangle and the layer, written into the head
// of an existing map data file. Only those bytes change; the rest of the file is kept.

#include "common/FileCommon.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kartivo {

inline constexpr std::uint64_t MapNameOffset = 8;
inline constexpr std::size_t MapNameSize = 28;
inline constexpr std::uint64_t TopLatitudeOffset = 40;
inline constexpr std::uint64_t LeftLongitudeOffset = 72;
inline constexpr std::uint64_t BottomLatitudeOffset = 104;
inline constexpr std::uint64_t RightLongitudeOffset = 136;
inline constexpr std::size_t CoordinateFieldSize = 15;
inline constexpr std::uint64_t LayerOffset = 173;
// A shorter file grows to this size, with zeros wherever no field is written.
inline constexpr std::uint64_t MapDataHeadSize = LayerOffset + 1;

struct MapDataFields {
    std::string name;  // UTF-8; stored in Shift-JIS
    double top = 0;    // latitude, signed degrees
    double left = 0;   // longitude
    double bottom = 0;
    double right = 0;
    std::uint8_t layer = 1;  // 1 to 4: the selected layer entry plus one
};

// What failed. A patch either stores all six fields or leaves the file as it was.
enum class MapDataError {
    None,
    InvalidCoordinate,  // a corner is not a finite number; nothing was written
    NameEncoding,       // the name needs the Shift-JIS converter, which this system lacks; nothing written
    Lock,               // the file could not be locked against another patch; nothing written
    Read,               // the head could not be read; nothing written
    Write,              // writing or flushing failed; the earlier head and length were put back
    // Only from WriteMapDataFile:
    OpenFailed,   // the file could not be opened (the alarm box, where there was one, said why)
    CloseFailed,  // the fields were written but the file could not be closed
};

struct MapDataResult {
    MapDataError error = MapDataError::None;
    std::string reason;  // the system's reason ("No space left on device"), where there is one
    bool asked = false;  // OpenFailed: an alarm box has told the person already
};

// What went wrong, for the message that reports it ("" for None).
const char* MapDataErrorText(MapDataError error);
// The text and the system's reason: "the fields could not be written: No space left on device".
std::string MapDataFailureText(const MapDataResult& result);

// The 28-byte name field: the name in Shift-JIS, cut after the last whole character that fits,
// then zero bytes. Characters Shift-JIS cannot hold become "?".
std::array<std::uint8_t, MapNameSize> NameField(std::string_view utf8);

// The 15-byte coordinate field: the value with 13 decimals (at least one integer digit, a minus
// sign only for negative values), cut to its first 15 characters. Nothing for NaN or infinity.
std::optional<std::array<char, CoordinateFieldSize>> CoordinateField(double value);

// Writes the six fields into file (a shorter file grows to MapDataHeadSize, zeros between the
// fields). Under an exclusive advisory lock the head is read, patched in memory, written back
// in one write from the start and flushed to the disk, so two patches of one file never mix
// their fields. The caller opened the file and closes it, which releases the lock.
MapDataResult WriteMapDataFields(OpenFile& file, const MapDataFields& fields);

// The whole command: opens the file as "Write Informations" does (an existing map data file,
// read and write; a missing one is a failure, never made), writes the fields and closes it,
// reporting what failed.
MapDataResult WriteMapDataFile(const std::string& path, const MapDataFields& fields, MessageBoxes& boxes,
                              FileSystem& fileSystem = DefaultFileSystem());

}  // namespace kartivo
