#pragma once
// Byte conversions for the little-endian fields of bitmap and map data files.
// Every multi-byte value is composed or split one byte at a time, so the code does
// not depend on the host's byte order or on struct layout.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kartivo {

// Signed 32-bit value of bytes[start..start+3], least significant byte first.
// Bytes beyond the end of the array count as zero, so a short array never reads out of bounds.
std::int32_t BytesToLong(std::span<const std::uint8_t> bytes, std::size_t start);
// Signed 16-bit value of bytes[start..start+1], least significant byte first.
std::int16_t BytesToInteger(std::span<const std::uint8_t> bytes, std::size_t start);

// count single-byte characters from bytes[start]; cut short at the end of the array.
std::string BytesToString(std::span<const std::uint8_t> bytes, std::size_t count, std::size_t start);

// Writes value into bytes[start..start+3], least significant byte first.
// Bytes that would fall beyond the end of the array are not written.
void LongToBytes(std::int32_t value, std::span<std::uint8_t> bytes, std::size_t start);
void IntegerToBytes(std::int16_t value, std::span<std::uint8_t> bytes, std::size_t start);

// How StringToHex turns a UTF-8 text into bytes; the headers need only the one mode.
enum HexMode : int {
    HexModeLowByte = 0,  // one byte per character: the low 8 bits of its ANSI code
};

// The text's bytes as upper-case hexadecimal, two digits per byte; an unknown mode gives "".
std::string StringToHex(std::string_view text, int mode);
// Stores the bytes StringToHex describes at bytes[start...]; returns how many were stored.
// Bytes beyond the end of the array are not stored and not counted.
std::size_t StringToBytes(std::string_view text, std::span<std::uint8_t> bytes, std::size_t start, int mode);

// The program's own pi, to 15 significant digits: rows land where the map makers put them.
inline constexpr double ProgramPi = 3.14159265358979;
// Degrees to radians, multiplied first and then divided.
double DegreeToRadian(double degrees);

}  // namespace kartivo
