#pragma once
// A map picture may carry its name and corners in its file name:
//     Name(latitude,longitude,latitude,longitude)[anything]
// The two corner points may come in either order; each value is decimal degrees, decimal
// degrees followed by "°", or a DMS text.

#include <array>
#include "bitmap/MapGeometry.h"

#include <optional>
#include <string>
#include <string_view>

namespace kartivo {

struct FileNameCorners {
    // Everything before the first "(", spaces kept; absent when there is no "(" or it comes
    // first, in which case the corners are absent too.
    std::optional<std::string> name;
    // bottom latitude, left longitude, top latitude, right longitude: each pair sorted
    // ascending. Absent when the text in the parentheses does not hold four values. A value
    // that cannot be read, or is not strictly inside its limit (90 or 180), counts as 0.
    std::optional<MapCorners> corners;
};

// What the file name of the picture at path says, reading the base name (the last
// extension dropped, so a path without an extension loses the text after its last ".").
FileNameCorners ReadFileNameConvention(std::string_view path);

}  // namespace kartivo
