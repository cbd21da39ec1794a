#pragma once
// A small strict JSON reader for the info reports: objects, strings, numbers and null, enough to
// refuse a line that merely looks like JSON (raw control characters, bad escapes, loose numbers).

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kartivo::test {

struct JsonMember;

struct JsonValue {
    enum class Kind { Null, Number, String, Object };
    Kind kind = Kind::Null;
    double number = 0;
    std::string text;
    // A std::pair of a still incomplete JsonValue is refused by clang with libstdc++, so the
    // members are a struct of their own, defined once JsonValue is complete.
    std::vector<JsonMember> members;  // in written order

    bool IsNull() const { return kind == Kind::Null; }
    // A missing member reads as null, so the comparison that follows fails instead of crashing.
    const JsonValue& operator[](std::string_view key) const;
    bool Has(std::string_view key) const;
    std::vector<std::string> Keys() const;
};

struct JsonMember {
    std::string first;
    JsonValue second;
};

inline const JsonValue& JsonValue::operator[](std::string_view key) const {
    static const JsonValue none;
    for (const auto& [name, value] : members) {
        if (name == key) return value;
    }
    return none;
}

inline bool JsonValue::Has(std::string_view key) const {
    for (const auto& member : members) {
        if (member.first == key) return true;
    }
    return false;
}

inline std::vector<std::string> JsonValue::Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : members) keys.push_back(member.first);
    return keys;
}

namespace json_detail {

struct Reader {
    std::string_view s;
    std::size_t at = 0;

    void Space() { while (at < s.size() && (s[at] == ' ' || s[at] == '\t' || s[at] == '\n' || s[at] == '\r')) ++at; }
    bool Take(char c) { return at < s.size() && s[at] == c ? (++at, true) : false; }
    bool Digits() {
        const std::size_t start = at;
        while (at < s.size() && s[at] >= '0' && s[at] <= '9') ++at;
        return at > start;
    }

    std::optional<std::string> String() {
        if (!Take('"')) return std::nullopt;
        std::string out;
        while (at < s.size()) {
            const auto c = static_cast<unsigned char>(s[at++]);
            if (c == '"') return out;
            if (c < 0x20) return std::nullopt;
            if (c != '\\') { out += static_cast<char>(c); continue; }
            if (at >= s.size()) return std::nullopt;
            const char e = s[at++];
            const std::string_view simple = "\"\\/bfnrt", meaning = "\"\\/\b\f\n\r\t";
            if (const auto i = simple.find(e); i != std::string_view::npos) { out += meaning[i]; continue; }
            if (e != 'u' || at + 4 > s.size()) return std::nullopt;
            char* end = nullptr;
            const std::string hex(s.substr(at, 4));
            const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
            if (end != hex.c_str() + 4 || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
            at += 4;
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else {
                out += static_cast<char>(0xE0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
        }
        return std::nullopt;
    }

    std::optional<JsonValue> Value() {
        Space();
        JsonValue value;
        if (s.substr(at, 4) == "null") {
            at += 4;
            return value;
        }
        if (at < s.size() && s[at] == '"') {
            auto text = String();
            if (!text) return std::nullopt;
            value.kind = JsonValue::Kind::String;
            value.text = std::move(*text);
            return value;
        }
        if (Take('{')) {
            value.kind = JsonValue::Kind::Object;
            Space();
            if (Take('}')) return value;
            do {
                Space();
                auto key = String();
                Space();
                if (!key || !Take(':')) return std::nullopt;
                auto member = Value();
                if (!member) return std::nullopt;
                value.members.push_back({std::move(*key), std::move(*member)});
                Space();
            } while (Take(','));
            return Take('}') ? std::optional(value) : std::nullopt;
        }
        const std::size_t start = at;
        Take('-');
        if (!Take('0') && !Digits()) return std::nullopt;
        if (Take('.') && !Digits()) return std::nullopt;
        if ((Take('e') || Take('E')) && (Take('+') || Take('-') || true) && !Digits()) return std::nullopt;
        value.kind = JsonValue::Kind::Number;
        value.number = std::strtod(std::string(s.substr(start, at - start)).c_str(), nullptr);
        return value;
    }
};

}  // namespace json_detail

// The one value that text holds, with nothing but white space around it.
inline std::optional<JsonValue> ParseJson(std::string_view text) {
    json_detail::Reader reader{text};
    auto value = reader.Value();
    reader.Space();
    if (!value || reader.at != text.size()) return std::nullopt;
    return value;
}

}  // namespace kartivo::test
