#include "common/Utf8.h"

#include <array>

namespace kartivo {

namespace {

bool IsContinuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

}  // namespace

Utf8Sequence ReadUtf8Sequence(std::string_view text) {
    Utf8Sequence sequence;
    const auto lead = static_cast<unsigned char>(text[0]);
    sequence.length = 1;
    if (lead < 0x80) return {lead, 1, true};
    std::size_t extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) { extra = 1; cp = lead & 0x1F; }
    else if ((lead & 0xF0) == 0xE0) { extra = 2; cp = lead & 0x0F; }
    else if ((lead & 0xF8) == 0xF0) { extra = 3; cp = lead & 0x07; }
    else return sequence;
    for (std::size_t i = 1; i <= extra; ++i) {
        if (i >= text.size() || !IsContinuation(text[i])) return sequence;
        cp = cp << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
        sequence.length = i + 1;
    }
    static constexpr std::array<char32_t, 4> Minimum{0, 0x80, 0x800, 0x10000};
    if (cp < Minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return sequence;
    sequence.codePoint = cp;
    sequence.wellFormed = true;
    return sequence;
}

bool IsWellFormedUtf8(std::string_view text) {
    while (!text.empty()) {
        const Utf8Sequence sequence = ReadUtf8Sequence(text);
        if (!sequence.wellFormed) return false;
        text.remove_prefix(sequence.length);
    }
    return true;
}

std::size_t Utf8CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if (!IsContinuation(c)) ++count;
    }
    return count;
}

}  // namespace kartivo
