#pragma once
// A strict JSON reader for the tests, so a report that merely looks like JSON does not pass:
// raw control characters, bad escapes, malformed numbers and invalid UTF-8 are refused.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kartivo::test {

struct JsonValue {
    enum class Kind { Null, Boolean, Number, String, Array, Object };
    Kind kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string text;  // UTF-8, escapes resolved
    std::vector<JsonValue> items;
    std::vector<std::pair<std::string, JsonValue>> members;  // in written order

    bool IsNull() const { return kind == Kind::Null; }
    // The member named key; a null value when there is none, so a missing member fails the
    // comparison that follows instead of crashing.
    const JsonValue& operator[](std::string_view key) const;
    bool Has(std::string_view key) const;
    std::vector<std::string> Keys() const;
};

// The one value that text holds, with nothing but white space around it.
std::optional<JsonValue> ParseJson(std::string_view text);

}  // namespace kartivo::test
