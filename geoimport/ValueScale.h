#pragma once
// 16-bit colours made bytes by GDAL's own scaling, exactly as gdal_translate -ot Byte -scale
// makes them, through a virtual picture that scales each strip as it is read: nothing of the
// picture is held whole, and a warp resamples the scaled bytes, as it would a picture scaled first.

#include "geoimport/BandLayout.h"
#include "geoimport/Gdal.h"
#include "geoimport/ImportTypes.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kartivo::geoimport {

struct ScaledColours {
    Dataset dataset;  // over the source: its colour bands red, green, blue (or grey) as bytes, then alpha
    ScaleRule rule = ScaleRule::Auto;  // the rule taken; never Auto
    std::vector<ScaleBounds> bounds;   // per colour band, red first
};

// The values of a histogram (one count per value) at the 2nd and 98th percentile: the least
// values with at least 2 % and 98 % of the counted ones at or below them; high above low.
ScaleBounds PercentileBounds(const std::vector<std::uint64_t>& histogram);

// The picture's colour and alpha bands, as layout names them, scaled as scaling says. Nothing,
// with status set, where GDAL refuses.
std::optional<ScaledColours> ScaleColours(GDALDatasetH source, const BandLayout& layout, const ValueScaling& scaling,
                                          ImportStatus& status);

}  // namespace kartivo::geoimport
