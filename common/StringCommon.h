#pragma once
// The placeholder formatter that assembles texts such as the DMS text and the file alarm
// message, and the splitting of comma-separated values.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kartivo {

// A value for one placeholder: a text, or a whole number written in decimal digits.
using PlaceholderValue = std::variant<std::string, std::int32_t>;

// The template with "%0%" to "%7%" replaced by the texts of values[0] to values[7].
// The steps run for k = 0..7 in order, each over the text the previous step left; a step
// never rescans what it inserted itself, but a later step does, so a higher placeholder
// carried in by a lower value is filled while a lower or equal one stays as it is.
// Values left out of a braced list are empty texts.
std::string ReplacePlaceholders(std::string_view templ, const std::array<PlaceholderValue, 8>& values);

// Every piece between commas, empty ones included: "a,,b" gives "a", "", "b".
std::vector<std::string_view> SplitAtCommas(std::string_view text);

}  // namespace kartivo
