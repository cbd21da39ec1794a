#include "JsonReader.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>

namespace kartivo::test {

namespace {

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    std::optional<JsonValue> Document() {
        auto value = Value();
        SkipSpace();
        if (!value || at_ != text_.size()) return std::nullopt;
        return value;
    }

private:
    std::optional<JsonValue> Value() {
        SkipSpace();
        if (at_ >= text_.size()) return std::nullopt;
        JsonValue value;
        const char c = text_[at_];
        if (c == '{') return Object();
        if (c == '[') return Array();
        if (c == '"') {
            auto text = String();
            if (!text) return std::nullopt;
            value.kind = JsonValue::Kind::String;
            value.text = std::move(*text);
            return value;
        }
        if (Literal("null")) return value;
        for (const bool word : {true, false}) {
            if (Literal(word ? "true" : "false")) {
                value.kind = JsonValue::Kind::Boolean;
                value.boolean = word;
                return value;
            }
        }
        return Number();
    }

    std::optional<JsonValue> Object() {
        JsonValue value;
        value.kind = JsonValue::Kind::Object;
        ++at_;
        SkipSpace();
        if (Take('}')) return value;
        do {
            SkipSpace();
            if (at_ >= text_.size() || text_[at_] != '"') return std::nullopt;
            auto key = String();
            SkipSpace();
            if (!key || !Take(':')) return std::nullopt;
            auto member = Value();
            if (!member) return std::nullopt;
            value.members.emplace_back(std::move(*key), std::move(*member));
            SkipSpace();
        } while (Take(','));
        if (!Take('}')) return std::nullopt;
        return value;
    }

    std::optional<JsonValue> Array() {
        JsonValue value;
        value.kind = JsonValue::Kind::Array;
        ++at_;
        SkipSpace();
        if (Take(']')) return value;
        do {
            auto item = Value();
            if (!item) return std::nullopt;
            value.items.push_back(std::move(*item));
            SkipSpace();
        } while (Take(','));
        if (!Take(']')) return std::nullopt;
        return value;
    }

    std::optional<JsonValue> Number() {
        const std::size_t start = at_;
        Take('-');
        // A leading zero stands alone: "01" is not a number.
        if (!Take('0') && !Digits()) return std::nullopt;
        if (Take('.') && !Digits()) return std::nullopt;
        if (Take('e') || Take('E')) {
            if (!Take('+')) Take('-');
            if (!Digits()) return std::nullopt;
        }
        JsonValue value;
        value.kind = JsonValue::Kind::Number;
        const std::string digits(text_.substr(start, at_ - start));
        value.number = std::strtod(digits.c_str(), nullptr);
        return value;
    }

    std::optional<std::string> String() {
        ++at_;
        std::string text;
        while (at_ < text_.size()) {
            const auto c = static_cast<unsigned char>(text_[at_]);
            if (c == '"') {
                ++at_;
                return text;
            }
            if (c < 0x20) return std::nullopt;
            if (c == '\\') {
                if (!Escape(text)) return std::nullopt;
                continue;
            }
            if (c >= 0x80) {
                const std::size_t length = Utf8Length(text_.substr(at_));
                if (length == 0) return std::nullopt;
                text += text_.substr(at_, length);
                at_ += length;
                continue;
            }
            text += static_cast<char>(c);
            ++at_;
        }
        return std::nullopt;
    }

    bool Escape(std::string& text) {
        if (at_ + 1 >= text_.size()) return false;
        const char kind = text_[at_ + 1];
        at_ += 2;
        switch (kind) {
        case '"': text += '"'; return true;
        case '\\': text += '\\'; return true;
        case '/': text += '/'; return true;
        case 'b': text += '\b'; return true;
        case 'f': text += '\f'; return true;
        case 'n': text += '\n'; return true;
        case 'r': text += '\r'; return true;
        case 't': text += '\t'; return true;
        case 'u': break;
        default: return false;
        }
        auto unit = Hex4();
        if (!unit) return false;
        std::uint32_t codePoint = *unit;
        if (codePoint >= 0xDC00 && codePoint <= 0xDFFF) return false;
        if (codePoint >= 0xD800 && codePoint <= 0xDBFF) {
            if (!Literal("\\u")) return false;
            const auto low = Hex4();
            if (!low || *low < 0xDC00 || *low > 0xDFFF) return false;
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (*low - 0xDC00);
        }
        AppendUtf8(text, codePoint);
        return true;
    }

    std::optional<std::uint32_t> Hex4() {
        if (at_ + 4 > text_.size()) return std::nullopt;
        std::uint32_t value = 0;
        const auto [end, error] = std::from_chars(text_.data() + at_, text_.data() + at_ + 4, value, 16);
        if (error != std::errc() || end != text_.data() + at_ + 4) return std::nullopt;
        at_ += 4;
        return value;
    }

    static void AppendUtf8(std::string& text, std::uint32_t c) {
        if (c < 0x80) {
            text += static_cast<char>(c);
        } else if (c < 0x800) {
            text += static_cast<char>(0xC0 | (c >> 6));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            text += static_cast<char>(0xE0 | (c >> 12));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            text += static_cast<char>(0xF0 | (c >> 18));
            text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            text += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // The length of the well-formed UTF-8 sequence text starts with; 0 for none.
    static std::size_t Utf8Length(std::string_view text) {
        const auto lead = static_cast<unsigned char>(text[0]);
        const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
        if (length == 0 || lead > 0xF4 || text.size() < length) return 0;
        std::uint32_t c = lead & (0x7F >> length);
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[i]);
            if ((next & 0xC0) != 0x80) return 0;
            c = (c << 6) | (next & 0x3F);
        }
        const std::uint32_t smallest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
        if (c < smallest || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
        return length;
    }

    bool Digits() {
        const std::size_t start = at_;
        while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') ++at_;
        return at_ > start;
    }

    bool Literal(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }

    bool Take(char c) {
        if (at_ >= text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    void SkipSpace() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r')) {
            ++at_;
        }
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

const JsonValue& NullValue() {
    static const JsonValue null;
    return null;
}

}  // namespace

const JsonValue& JsonValue::operator[](std::string_view key) const {
    for (const auto& [name, value] : members) {
        if (name == key) return value;
    }
    return NullValue();
}

bool JsonValue::Has(std::string_view key) const {
    for (const auto& member : members) {
        if (member.first == key) return true;
    }
    return false;
}

std::vector<std::string> JsonValue::Keys() const {
    std::vector<std::string> keys;
    for (const auto& member : members) keys.push_back(member.first);
    return keys;
}

std::optional<JsonValue> ParseJson(std::string_view text) {
    return Reader(text).Document();
}

}  // namespace kartivo::test
