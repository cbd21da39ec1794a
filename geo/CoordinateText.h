#pragma once
// The two text forms of a latitude or longitude, the degree text ("+35.6895000000") and the
// DMS text ("+35°41' 22.2000''"), and the reading of the coordinate texts a user or a map file
// name may carry. Texts are UTF-8; the degree sign is the two bytes C2 B0.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kartivo {

inline constexpr std::string_view DegreeSign = "\xC2\xB0";

// The value with a sign ("+" for zero and positive, "-" for negative), its whole degrees and
// exactly ten decimals, correctly rounded from the double. A negative value that rounds to
// zero keeps its "-"; minus zero is zero and gets "+". Non-finite values give "".
std::string DegreeText(double value);

// The value a Degree box holds once its handler has rewritten a typed value as the degree
// text; the window computes with that, not with what was typed. A value without a degree
// text is kept.
double HeldByDegreeBox(double typed);

// The value a Degree box holds when a value is written into it as a general number text, as
// a DMS box's handler and a file name's corners write it, before its own handler runs.
double WrittenIntoDegreeBox(double value);

// The DMS text of the value: sign, unpadded whole degrees, "°", two-digit minutes, "' ",
// seconds as "00.0000", "''". Rounded once to whole 0.0001 seconds (halves away from zero),
// so minutes and seconds always stay below 60 and the text reads back through
// DmsTextToDegree to within 0.00005 seconds. The sign is "-" for every value below zero,
// even one that rounds to no seconds at all. Values that are not finite or whose degrees do
// not fit 32 bits give "".
std::string DegreeToDmsText(double value);

// Reads a DMS text: degrees (a numeric text, rounded to a whole number, halves to even),
// optionally followed by "°" and minutes (whole, rounded), "' " and seconds (decimals kept),
// "''". The value is negative when the degrees piece holds a "-" anywhere, so "-0°30'" is
// -0.5. True when the text is acceptable and its value lies within -limit..limit; value is
// written when the text is acceptable, also when it then lies beyond the limit.
bool DmsTextToDegree(std::string_view text, std::int32_t limit, double& value);

// Reads a coordinate in any form a map file name carries: decimal degrees, decimal degrees
// followed by "°", or a DMS text. 0 when the text cannot be read or its value is not strictly
// inside -limit..limit.
double CoordinateTextToDegree(std::string_view text, std::int32_t limit);

// A coordinate as a person types it (a corner on a command line or in a dialog): decimal
// degrees, decimal degrees followed by "°" (as file names may carry them), or a DMS text. Unlike
// a file name, a text that cannot be read is refused instead of counting as 0. The result is
// what the Degree box's handler would read.
std::optional<double> ReadCoordinateArgument(std::string_view text, std::int32_t limit);

}  // namespace kartivo
