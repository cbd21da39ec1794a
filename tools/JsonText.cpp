#include "tools/JsonText.h"

#include "common/Utf8.h"

#include <cstdint>
#include <cstdio>

namespace kartivo::batch {

namespace {

std::string UnicodeEscape(char32_t c) {
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
    return escaped;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            // Each byte of a malformed sequence is replaced on its own, so a cut sequence
            // cannot swallow the character after it.
            const Utf8Sequence sequence = ReadUtf8Sequence(text.substr(i));
            const std::size_t length = sequence.wellFormed ? sequence.length : 1;
            // The C1 controls are as \u escapes, as DEL below: a line of JSON read on a terminal
            // then holds nothing it obeys, and passes the console's escaping unchanged.
            if (!sequence.wellFormed) {
                json += "\\ufffd";
            } else if (sequence.codePoint < 0xA0) {
                json += UnicodeEscape(sequence.codePoint);
            } else {
                json += text.substr(i, length);
            }
            i += length;
            continue;
        }
        switch (c) {
        case '"': json += "\\\""; break;
        case '\\': json += "\\\\"; break;
        case '\b': json += "\\b"; break;
        case '\f': json += "\\f"; break;
        case '\n': json += "\\n"; break;
        case '\r': json += "\\r"; break;
        case '\t': json += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                json += UnicodeEscape(c);
            } else {
                json += static_cast<char>(c);
            }
            break;
        }
        ++i;
    }
    return json + "\"";
}

JsonObject& JsonObject::String(std::string_view key, std::string_view value) {
    return Raw(key, JsonString(value));
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view value) {
    if (!members_.empty()) members_ += ',';
    members_ += JsonString(key);
    members_ += ':';
    members_ += value;
    return *this;
}

}  // namespace kartivo::batch
