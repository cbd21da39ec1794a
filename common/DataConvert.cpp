#include "common/DataConvert.h"

#include "common/TextEncoding.h"

namespace kartivo {

namespace {

std::uint8_t ByteAt(std::span<const std::uint8_t> bytes, std::size_t index) {
    return index < bytes.size() ? bytes[index] : 0;
}

void PutByte(std::span<std::uint8_t> bytes, std::size_t index, std::uint8_t value) {
    if (index < bytes.size()) {
        bytes[index] = value;
    }
}

void AppendHex(std::string& out, std::uint8_t byte) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    out += Digits[byte >> 4];
    out += Digits[byte & 0x0F];
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    return c - 'A' + 10;
}

}  // namespace

std::int32_t BytesToLong(std::span<const std::uint8_t> bytes, std::size_t start) {
    const std::uint32_t value = std::uint32_t{ByteAt(bytes, start)} |
                                std::uint32_t{ByteAt(bytes, start + 1)} << 8 |
                                std::uint32_t{ByteAt(bytes, start + 2)} << 16 |
                                std::uint32_t{ByteAt(bytes, start + 3)} << 24;
    return static_cast<std::int32_t>(value);  // two's complement, well defined since C++20
}

std::int16_t BytesToInteger(std::span<const std::uint8_t> bytes, std::size_t start) {
    const auto value = static_cast<std::uint16_t>(ByteAt(bytes, start) | ByteAt(bytes, start + 1) << 8);
    return static_cast<std::int16_t>(value);
}

std::string BytesToString(std::span<const std::uint8_t> bytes, std::size_t count, std::size_t start) {
    if (start >= bytes.size()) {
        return {};
    }
    const std::size_t available = bytes.size() - start;
    const std::size_t n = count < available ? count : available;
    return std::string(reinterpret_cast<const char*>(bytes.data() + start), n);
}

void LongToBytes(std::int32_t value, std::span<std::uint8_t> bytes, std::size_t start) {
    const auto u = static_cast<std::uint32_t>(value);
    for (std::size_t k = 0; k < 4; ++k) {
        PutByte(bytes, start + k, static_cast<std::uint8_t>(u >> (8 * k)));
    }
}

void IntegerToBytes(std::int16_t value, std::span<std::uint8_t> bytes, std::size_t start) {
    const auto u = static_cast<std::uint16_t>(value);
    PutByte(bytes, start, static_cast<std::uint8_t>(u));
    PutByte(bytes, start + 1, static_cast<std::uint8_t>(u >> 8));
}

std::string StringToHex(std::string_view text, int mode) {
    std::string hex;
    if (mode != HexModeLowByte) return hex;
    for (const AnsiCharacter& c : ToAnsiCharacters(text)) {
        // The low 8 bits of the character's code: the last byte of its ANSI form.
        AppendHex(hex, static_cast<std::uint8_t>(c.bytes.back()));
    }
    return hex;
}

std::size_t StringToBytes(std::string_view text, std::span<std::uint8_t> bytes, std::size_t start, int mode) {
    const std::string hex = StringToHex(text, mode);
    std::size_t stored = 0;
    for (std::size_t k = 0; k < hex.size() / 2 && start + k < bytes.size(); ++k) {
        bytes[start + k] = static_cast<std::uint8_t>(HexDigitValue(hex[2 * k]) << 4 | HexDigitValue(hex[2 * k + 1]));
        ++stored;
    }
    return stored;
}

double DegreeToRadian(double degrees) {
    return degrees * ProgramPi / 180.0;
}

}  // namespace kartivo
