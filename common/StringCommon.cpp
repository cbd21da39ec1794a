#include "common/StringCommon.h"

#include <charconv>

namespace kartivo {

namespace {

std::string ValueText(const PlaceholderValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, std::get<std::int32_t>(value));
    return std::string(buffer, result.ptr);
}

// One step: every occurrence of placeholder in text, scanned left to right, replaced by
// replacement. The scan resumes after each inserted text, so that text is not searched.
std::string ReplaceAll(std::string_view text, std::string_view placeholder, std::string_view replacement) {
    std::string result;
    std::size_t from = 0;
    for (std::size_t at = text.find(placeholder); at != std::string_view::npos;
         at = text.find(placeholder, from)) {
        result.append(text.substr(from, at - from));
        result.append(replacement);
        from = at + placeholder.size();
    }
    result.append(text.substr(from));
    return result;
}

}  // namespace

std::string ReplacePlaceholders(std::string_view templ, const std::array<PlaceholderValue, 8>& values) {
    std::string text(templ);
    for (std::size_t k = 0; k < values.size(); ++k) {
        const char placeholder[] = {'%', static_cast<char>('0' + k), '%'};
        text = ReplaceAll(text, std::string_view(placeholder, sizeof placeholder), ValueText(values[k]));
    }
    return text;
}

std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t at = text.find(','); at != std::string_view::npos; at = text.find(',')) {
        pieces.push_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    pieces.push_back(text);
    return pieces;
}

}  // namespace kartivo
