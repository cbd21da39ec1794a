#pragma once
// The number texts of the window, read and written the same way whatever the user's locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kartivo {

// A numeric text: apart from leading and trailing spaces, an optional sign, digits with at
// most one decimal point (at least one digit), and an optional exponent. Its value, or
// nothing when the text is not numeric or its value is beyond a double.
std::optional<double> NumericValue(std::string_view text);

// A value rounded to the nearest integer, halves to even; nothing when it does not fit 32 bits
// or is not finite.
std::optional<std::int32_t> RoundToInt32(double value);
// The whole-number conversion of a numeric text: NumericValue, then RoundToInt32.
std::optional<std::int32_t> WholeNumber(std::string_view text);

// The leading number of a text (blanks, an optional sign, digits with an optional full stop
// and decimals); 0 when the text does not start with one.
double LeadingNumber(std::string_view text);

// A general number text: up to 15 significant digits, no trailing zeros, exponent form for
// very large or small values ("35.6", "-180", "1E-05").
std::string GeneralNumberText(double value);

// A value with a fixed number of decimals ("35.800000"), "nan" or "inf" where it has none.
std::string FixedText(double value, int decimals);
// The same without a minus on a value that rounds to zero: a residual of -0.0001 is no distance
// at all, and "-0.000" only puzzles the reader.
std::string FixedTextWithoutMinusZero(double value, int decimals);

// Leading and trailing spaces removed.
std::string_view TrimSpaces(std::string_view text);

}  // namespace kartivo
