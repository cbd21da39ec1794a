#include "bitmap/FileNameConvention.h"

#include "common/PathParts.h"
#include "common/SortCommon.h"
#include "common/StringCommon.h"
#include "common/Utf8.h"
#include "geo/CoordinateText.h"

#include <vector>

namespace kartivo {

namespace {

// The parenthesised text must be at least this many characters long ("1,2,3,4").
constexpr std::size_t MinimumValuesLength = 7;

// Two readings of one kind, lowest first.
std::array<double, 2> SortedPair(std::string_view first, std::string_view second, std::int32_t limit) {
    std::array<double, 2> pair{CoordinateTextToDegree(first, limit), CoordinateTextToDegree(second, limit)};
    BubbleSort(pair);
    return pair;
}

}  // namespace

FileNameCorners ReadFileNameConvention(std::string_view path) {
    FileNameCorners result;
    const std::string baseName = GetBaseName(path);
    const std::size_t open = baseName.find('(');
    if (open == std::string::npos || open == 0) return result;
    result.name = baseName.substr(0, open);

    const std::string_view rest = std::string_view(baseName).substr(open + 1);
    const std::size_t close = rest.find(')');
    if (close == std::string_view::npos) return result;
    const std::string_view values = rest.substr(0, close);
    if (Utf8CharacterCount(values) < MinimumValuesLength) return result;

    const std::vector<std::string_view> pieces = SplitAtCommas(values);
    if (pieces.size() != 4) return result;

    const std::array<double, 2> latitudes = SortedPair(pieces[0], pieces[2], 90);
    const std::array<double, 2> longitudes = SortedPair(pieces[1], pieces[3], 180);
    result.corners = MapCorners{latitudes[0], longitudes[0], latitudes[1], longitudes[1]};
    return result;
}

}  // namespace kartivo
