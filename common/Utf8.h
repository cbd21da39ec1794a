#pragma once
// Reading UTF-8 texts that may not be well-formed: file names and typed names arrive as bytes.

#include <cstddef>
#include <string_view>

namespace kartivo {

struct Utf8Sequence {
    char32_t codePoint = 0xFFFD;  // U+FFFD when the sequence is malformed
    std::size_t length = 0;       // bytes read; a malformed sequence ends where it broke off
    bool wellFormed = false;
};

// The sequence at the start of a non-empty text. Malformed: a stray continuation byte, a
// lead byte no sequence starts with, a cut sequence, an overlong form, a surrogate, or a
// value beyond U+10FFFF.
Utf8Sequence ReadUtf8Sequence(std::string_view text);

// True when every sequence of the text is well-formed.
bool IsWellFormedUtf8(std::string_view text);

// Characters, not bytes: every byte that is not a continuation byte starts one.
std::size_t Utf8CharacterCount(std::string_view text);

}  // namespace kartivo
