#include "bitmap/FileNameConvention.h"

#include "common/PathParts.h"
#include "common/SortCommon.h"
#include "geo/CoordinateText.h"

#include <vector>

namespace kartivo {

namespace {

// The parenthesised text must be at least this many characters long ("1,2,3,4").
constexpr std::size_t MinimumValuesLength = 7;

// Characters, not bytes: a UTF-8 continuation byte does not start a character.
std::size_t CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    }
    return count;
}

// Every piece between commas, empty ones included.
std::vector<std::string_view> SplitAtCommas(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (std::size_t at = text.find(','); at != std::string_view::npos; at = text.find(',')) {
        pieces.push_back(text.substr(0, at));
        text.remove_prefix(at + 1);
    }
    pieces.push_back(text);
    return pieces;
}

// Two readings of one kind, lowest first.
std::array<double, 2> SortedPair(std::string_view first, std::string_view second, std::int32_t limit) {
    std::array<double, 2> pair{CoordinateTextToDegree(first, limit), CoordinateTextToDegree(second, limit)};
    BubbleSort(pair, true);
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
    if (CharacterCount(values) < MinimumValuesLength) return result;

    const std::vector<std::string_view> pieces = SplitAtCommas(values);
    if (pieces.size() != 4) return result;

    const std::array<double, 2> latitudes = SortedPair(pieces[0], pieces[2], 90);
    const std::array<double, 2> longitudes = SortedPair(pieces[1], pieces[3], 180);
    result.corners = std::array<double, 4>{latitudes[0], longitudes[0], latitudes[1], longitudes[1]};
    return result;
}

}  // namespace kartivo
