#pragma once
// Writing JSON for the scripts that read kartivo-batch's reports.

#include <string>
#include <string_view>

namespace kartivo::batch {

// The text as a quoted JSON string. File names need not be valid UTF-8; bytes that are not
// become U+FFFD, so every line still parses.
std::string JsonString(std::string_view text);

// One JSON object, its members in the order they are added.
class JsonObject {
public:
    JsonObject& String(std::string_view key, std::string_view value);
    // value must already be JSON: a number, null, or a nested object's Text().
    JsonObject& Raw(std::string_view key, std::string_view value);
    std::string Text() const { return "{" + members_ + "}"; }

private:
    std::string members_;
};

}  // namespace kartivo::batch
