#pragma once
// Conversion of UTF-8 texts to the ANSI code page the map files use (Shift-JIS, code page 932).

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kartivo {

// One ANSI-encoded character: its bytes (one or two) in the code page.
struct AnsiCharacter {
    std::string bytes;
};

// Splits a UTF-8 text into its characters in code page 932, one entry per character.
// A character the code page cannot hold becomes "?"; a malformed UTF-8 byte becomes "?" too.
std::vector<AnsiCharacter> ToAnsiCharacters(std::string_view utf8);
// Why this system cannot convert to code page 932 (the system's reason), or "" when it can.
std::string AnsiConverterProblem();

}  // namespace kartivo
