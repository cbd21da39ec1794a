#include "common/NumberText.h"

#include <charconv>
#include <algorithm>
#include <cmath>

namespace kartivo {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// For a text from_chars found out of range: true when its magnitude is below 1 (an underflow).
bool IsTinyMagnitude(std::string_view number) {
    const std::size_t e = number.find_first_of("eE");
    const std::string_view mantissa = number.substr(0, e);
    long long exponent = 0;
    if (e != std::string_view::npos) {
        std::string_view digits = number.substr(e + 1);
        const bool negative = !digits.empty() && digits.front() == '-';
        if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) digits.remove_prefix(1);
        for (const char c : digits) exponent = std::min(exponent * 10 + (c - '0'), 1000000LL);
        if (negative) exponent = -exponent;
    }
    // The position of the first significant digit relative to the decimal point.
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string_view::npos) return true;
    const long long position = first < point ? static_cast<long long>(point - first) : -static_cast<long long>(first - point - 1);
    return position + exponent <= 0;
}

}  // namespace

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

std::optional<double> NumericValue(std::string_view text) {
    text = TrimSpaces(text);
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    const std::size_t numberStart = pos;
    int digits = 0;
    bool point = false;
    for (; pos < text.size(); ++pos) {
        if (IsDigit(text[pos])) {
            ++digits;
        } else if (text[pos] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (digits == 0) return std::nullopt;
    if (pos < text.size() && (text[pos] == 'e' || text[pos] == 'E')) {
        ++pos;
        if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
        int exponentDigits = 0;
        while (pos < text.size() && IsDigit(text[pos])) {
            ++pos;
            ++exponentDigits;
        }
        if (exponentDigits == 0) return std::nullopt;
    }
    if (pos != text.size()) return std::nullopt;

    // from_chars takes no leading "+" (an exponent's "+" it does), so the number is read
    // without its sign, which is applied afterwards.
    const std::string_view plain = text.substr(numberStart);
    double value = 0;
    const auto [end, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is not a number the program can use.
        if (!IsTinyMagnitude(plain)) return std::nullopt;
        value = 0.0;
    } else if (ec != std::errc() || end != plain.data() + plain.size()) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<std::int32_t> RoundToInt32(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    const double rounded = std::nearbyint(value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

std::optional<std::int32_t> WholeNumber(std::string_view text) {
    const auto value = NumericValue(text);
    return value ? RoundToInt32(*value) : std::nullopt;
}

double LeadingNumber(std::string_view text) {
    std::size_t pos = 0;
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    const std::size_t start = pos;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) ++pos;
    bool point = false;
    bool digits = false;
    for (; pos < text.size(); ++pos) {
        if (IsDigit(text[pos])) {
            digits = true;
        } else if (text[pos] == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits) return 0.0;
    return NumericValue(text.substr(start, pos - start)).value_or(0.0);
}

std::string FixedText(double value, int decimals) {
    // 330 digits before the point for the largest double, and the decimals asked for.
    char buffer[400];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : "nan";
}

std::string FixedTextWithoutMinusZero(double value, int decimals) {
    std::string text = FixedText(value, decimals);
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

std::string GeneralNumberText(double value) {
    if (value == 0.0) return "0";  // no "-0"
    char buffer[40];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 15);
    std::string text(buffer, result.ptr);
    if (const auto e = text.find('e'); e != std::string::npos) text[e] = 'E';
    return text;
}

}  // namespace kartivo
