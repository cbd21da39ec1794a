#include "geo/CoordinateText.h"

#include "common/NumberText.h"
#include "common/StringCommon.h"

#include <charconv>
#include <cmath>
#include <optional>

namespace kartivo {

namespace {

// The finest step the DMS text shows is 0.0001 seconds.
constexpr std::int64_t UnitsPerSecond = 10'000;
constexpr std::int64_t UnitsPerMinute = 60 * UnitsPerSecond;
constexpr std::int64_t UnitsPerDegree = 60 * UnitsPerMinute;

std::string ZeroPadded(std::int64_t number, std::size_t width) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    std::string digits(buffer, result.ptr);
    if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
    return digits;
}

// The text before the first separator and, when there is one, the text between it and the
// next separator (or the end). Whatever follows a second separator is of no interest here.
struct LeadingPieces {
    std::string_view first;
    std::optional<std::string_view> second;
};

LeadingPieces SplitLeadingPieces(std::string_view text, std::string_view separator) {
    const std::size_t at = text.find(separator);
    if (at == std::string_view::npos) return {text, std::nullopt};
    const std::string_view rest = text.substr(at + separator.size());
    return {text.substr(0, at), rest.substr(0, rest.find(separator))};
}

}  // namespace

std::string DegreeText(double value) {
    if (!std::isfinite(value)) return {};
    // Large enough for the fixed form of the largest double with ten decimals.
    char buffer[400];
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::fixed, 10);
    return (value < 0 ? "-" : "+") + std::string(buffer, result.ptr);
}

double HeldByDegreeBox(double typed) {
    return NumericValue(DegreeText(typed)).value_or(typed);
}

double WrittenIntoDegreeBox(double value) {
    return NumericValue(GeneralNumberText(value)).value_or(value);
}

std::string DegreeToDmsText(double value) {
    const double magnitude = std::fabs(value);
    if (!(magnitude < 2147483648.0)) return {};  // also refuses NaN

    // Round once, in whole units of the last decimal shown, then split with integers. A value
    // held just below a whole minute (35.05 is stored as 35.04999...) then carries into the
    // minutes instead of showing 60.0000 seconds, which the reader would refuse.
    const std::int64_t units = std::llround(magnitude * static_cast<double>(UnitsPerDegree));
    const auto degrees = static_cast<std::int32_t>(units / UnitsPerDegree);
    const std::int64_t minutes = units / UnitsPerMinute % 60;
    const std::int64_t secondUnits = units % UnitsPerMinute;
    const std::string seconds =
        ZeroPadded(secondUnits / UnitsPerSecond, 2) + "." + ZeroPadded(secondUnits % UnitsPerSecond, 4);

    return ReplacePlaceholders("%0%%1%%2%%3%%4%%5%%6%", {std::string(value < 0 ? "-" : "+"), degrees,
                                                         std::string(DegreeSign), ZeroPadded(minutes, 2),
                                                         std::string("' "), seconds, std::string("''")});
}

bool DmsTextToDegree(std::string_view text, std::int32_t limit, double& value) {
    if (text.empty()) return false;
    const LeadingPieces byDegreeSign = SplitLeadingPieces(text, DegreeSign);
    const std::string_view degreesPiece = byDegreeSign.first;

    // The sign comes from the text, not the number, so "-0" degrees stays negative.
    const bool negative = degreesPiece.find('-') != std::string_view::npos;
    const std::optional<std::int32_t> wholeDegrees = WholeNumber(degreesPiece);
    if (!wholeDegrees) return false;
    // 64 bits, so that neither -limit nor the absolute value can overflow.
    const std::int64_t signedDegrees = *wholeDegrees;
    if (signedDegrees < -std::int64_t{limit} || signedDegrees > limit) return false;
    const std::int64_t degrees = signedDegrees < 0 ? -signedDegrees : signedDegrees;

    std::int32_t minutes = 0;
    double seconds = 0;
    if (byDegreeSign.second && !byDegreeSign.second->empty()) {
        // The minutes end only at an apostrophe followed by a space.
        const LeadingPieces byMinuteMark = SplitLeadingPieces(*byDegreeSign.second, "' ");
        const std::string_view minutesPiece = TrimSpaces(byMinuteMark.first);
        if (!minutesPiece.empty()) {
            const std::optional<std::int32_t> wholeMinutes = WholeNumber(minutesPiece);
            if (!wholeMinutes || *wholeMinutes < 0 || *wholeMinutes >= 60) return false;
            minutes = *wholeMinutes;
        }
        if (byMinuteMark.second && !byMinuteMark.second->empty()) {
            const std::string_view secondsPiece = TrimSpaces(SplitLeadingPieces(*byMinuteMark.second, "''").first);
            if (!secondsPiece.empty()) {
                const std::optional<double> secondsValue = NumericValue(secondsPiece);
                if (!secondsValue || *secondsValue < 0 || *secondsValue >= 60) return false;
                seconds = *secondsValue;
            }
        }
    }

    double composed = static_cast<double>(degrees) + minutes / 60.0 + seconds / 3600.0;
    if (negative) composed = -composed;
    value = composed;
    return -static_cast<double>(limit) <= composed && composed <= static_cast<double>(limit);
}

double CoordinateTextToDegree(std::string_view text, std::int32_t limit) {
    const std::string_view trimmed = TrimSpaces(text);
    double degrees = 0;
    if (const std::optional<double> plain = NumericValue(trimmed)) {
        degrees = *plain;
    } else if (trimmed.ends_with(DegreeSign)) {
        degrees = NumericValue(trimmed.substr(0, trimmed.size() - DegreeSign.size())).value_or(0.0);
    } else if (!DmsTextToDegree(trimmed, limit, degrees)) {
        degrees = 0;
    }
    return std::fabs(degrees) < static_cast<double>(limit) ? degrees : 0.0;
}

std::optional<double> ReadCoordinateArgument(std::string_view text, std::int32_t limit) {
    const std::string_view trimmed = TrimSpaces(text);
    std::optional<double> typed = NumericValue(trimmed);
    if (!typed && trimmed.ends_with(DegreeSign)) {
        typed = NumericValue(trimmed.substr(0, trimmed.size() - DegreeSign.size()));
    }
    if (!typed) {
        double dms = 0;
        if (!DmsTextToDegree(trimmed, limit, dms)) return std::nullopt;
        typed = WrittenIntoDegreeBox(dms);
    }
    if (std::fabs(*typed) > limit) return std::nullopt;
    return typed;
}

}  // namespace kartivo
