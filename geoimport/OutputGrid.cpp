#include "geoimport/OutputGrid.h"

#include "bitmap/OutputHeader.h"
#include "bitmap/OutputLayout.h"
#include "common/NumberText.h"
#include "geoimport/ImportTypes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace kartivo::geoimport {

namespace {

// The bytes of output rows read and written at once.
constexpr std::size_t StripBytes = std::size_t{16} << 20;

std::string SizeText(std::uint64_t bytes) {
    return std::to_string(bytes) + " bytes";
}

// Points over a picture, transformed: its outline densely, and a grid over its inside, where a
// pole it holds shows, or the Earth of a picture whose edges lie off it (a full disk seen from
// space), found as gdalwarp finds it. The inside is sampled finer when the outline leaves the
// Earth, for the limb is the picture's edge there.
struct Samples {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<int> ok;

    Samples(std::int32_t width, std::int32_t height, const PixelTransform& transform) {
        constexpr int EdgeSteps = 256;
        for (int i = 0; i <= EdgeSteps; ++i) {
            const double t = double(i) / EdgeSteps;
            Add(t * width, 0.0);
            Add(t * width, double(height));
            Add(0.0, t * height);
            Add(double(width), t * height);
        }
        const std::size_t edges = x.size();
        ok.resize(edges);
        transform(static_cast<int>(edges), x.data(), y.data(), ok.data());
        const int gridSteps = std::find(ok.begin(), ok.end(), 0) != ok.end() ? 256 : 64;
        for (int i = 0; i <= gridSteps; ++i) {
            for (int j = 1; j < gridSteps; ++j) Add(double(i) / gridSteps * width, double(j) / gridSteps * height);
        }
        ok.resize(x.size());
        transform(static_cast<int>(x.size() - edges), x.data() + edges, y.data() + edges, ok.data() + edges);
    }
    void Add(double px, double py) {
        x.push_back(px);
        y.push_back(py);
    }
    bool Valid(std::size_t i) const { return ok[i] && std::isfinite(x[i]) && std::isfinite(y[i]); }
};

}  // namespace

std::int32_t StripRows(std::int32_t width, std::int32_t bitCount, std::int32_t height) {
    const std::size_t rowBytes = ((std::size_t(width) * bitCount + 31) / 32) * 4;
    return static_cast<std::int32_t>(std::clamp<std::size_t>(StripBytes / rowBytes, 1, std::size_t(std::max(height, 1))));
}

bool IsNorthUp(const std::array<double, 6>& g) {
    return g[2] == 0 && g[4] == 0 && g[1] > 0 && g[5] < 0;
}

// The rows of a Web Mercator source whose centres lie inside the square.
OutputGrid CopiedGrid(const std::array<double, 6>& g, std::int32_t width, std::int32_t height,
                      std::int32_t& firstRow) {
    const double rowHeight = -g[5];
    const double first = std::ceil((g[3] - MercatorLimitY) / rowHeight - 0.5);
    const double last = std::floor((g[3] + MercatorLimitY) / rowHeight - 0.5);
    const double from = std::max(0.0, first);
    const double to = std::min<double>(height - 1, last);
    OutputGrid grid;
    grid.width = width;
    grid.cut = from > 0 || to < height - 1;
    firstRow = static_cast<std::int32_t>(std::clamp(from, 0.0, double(height)));
    grid.height = to >= from ? static_cast<std::int32_t>(to - from + 1) : 0;
    grid.geoTransform = g;
    grid.geoTransform[3] = g[3] + firstRow * g[5];
    return grid;
}

// The warped grid: the extent of the source's outline, cut at the end of Web Mercator, with
// pixels no larger than the smallest step one source pixel makes in the output anywhere over
// the picture, so no source row or column is lost. (GDAL's suggested output keeps square
// pixels of the diagonal's size, which drops rows of a tall picture in degrees.)
std::optional<OutputGrid> WarpedGrid(std::int32_t width, std::int32_t height, const PixelTransform& transform,
                                     std::string& why) {
    const Samples samples(width, height, transform);
    std::array<double, 4> extent{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < samples.x.size(); ++i) {
        if (!samples.Valid(i)) continue;
        extent = {std::min(extent[0], samples.x[i]), std::min(extent[1], samples.y[i]),
                  std::max(extent[2], samples.x[i]), std::max(extent[3], samples.y[i])};
    }
    if (!(extent[2] > extent[0]) || !(extent[3] > extent[1])) {
        why = "its outline does not transform to Web Mercator";
        return std::nullopt;
    }
    if (extent[1] >= MercatorLimitY || extent[3] <= -MercatorLimitY) return OutputGrid{};
    constexpr int Samples = 21;
    double stepX = std::numeric_limits<double>::infinity();
    double stepY = std::numeric_limits<double>::infinity();
    for (int i = 0; i < Samples; ++i) {
        for (int j = 0; j < Samples; ++j) {
            const double px = 0.5 + (width - 1) * double(i) / (Samples - 1);
            const double py = 0.5 + (height - 1) * double(j) / (Samples - 1);
            std::array<double, 3> x{px, px + 1, px};
            std::array<double, 3> y{py, py, py + 1};
            std::array<int, 3> ok{};
            transform(3, x.data(), y.data(), ok.data());
            if (!ok[0] || !ok[1] || !ok[2] || std::fabs(y[0]) > MercatorLimitY) continue;
            stepX = std::min(stepX, std::max(std::fabs(x[1] - x[0]), std::fabs(x[2] - x[0])));
            stepY = std::min(stepY, std::max(std::fabs(y[1] - y[0]), std::fabs(y[2] - y[0])));
        }
    }
    if (!std::isfinite(stepX) || !std::isfinite(stepY) || stepX <= 0 || stepY <= 0) {
        why = "no part of it transforms to Web Mercator";
        return std::nullopt;
    }
    OutputGrid grid;
    double minY = extent[1];
    double maxY = extent[3];
    if (maxY > MercatorLimitY) {
        maxY = MercatorLimitY;
        grid.cut = true;
    }
    if (minY < -MercatorLimitY) {
        minY = -MercatorLimitY;
        grid.cut = true;
    }
    const double columns = std::ceil((extent[2] - extent[0]) / stepX - 1e-6);
    const double rows = std::ceil((maxY - minY) / stepY - 1e-6);
    constexpr double Largest = std::numeric_limits<std::int32_t>::max();
    grid.width = static_cast<std::int32_t>(std::clamp(columns, 0.0, Largest));
    grid.columnStep = stepX;
    grid.height = static_cast<std::int32_t>(std::clamp(rows, 0.0, Largest));
    // The pixels shrink a little to fill the extent exactly: no partial row or column of
    // white beyond the source's edge.
    grid.geoTransform = {extent[0], (extent[2] - extent[0]) / std::max(columns, 1.0), 0, maxY, 0,
                         -(maxY - minY) / std::max(rows, 1.0)};
    return grid;
}

std::optional<LongitudeSpan> SpanAcross180(std::int32_t width, std::int32_t height, const PixelTransform& toWebMercator) {
    const Samples samples(width, height, toWebMercator);
    std::vector<double> longitudes;  // in [-180, 180)
    double rawWest = std::numeric_limits<double>::infinity();
    double rawEast = -rawWest;
    for (std::size_t i = 0; i < samples.x.size(); ++i) {
        if (!samples.Valid(i)) continue;
        const double longitude = samples.x[i] / MercatorLimitY * 180;
        rawWest = std::min(rawWest, longitude);
        rawEast = std::max(rawEast, longitude);
        longitudes.push_back(longitude - 360 * std::floor((longitude + 180) / 360));
    }
    if (longitudes.empty()) return std::nullopt;
    // The picture spans all longitudes but the widest stretch it leaves out.
    std::sort(longitudes.begin(), longitudes.end());
    LongitudeSpan span{longitudes.front(), longitudes.back()};
    double gap = longitudes.front() + 360 - longitudes.back();
    for (std::size_t i = 0; i + 1 < longitudes.size(); ++i) {
        if (longitudes[i + 1] - longitudes[i] > gap) {
            gap = longitudes[i + 1] - longitudes[i];
            span = {longitudes[i + 1], longitudes[i] + 360};
        }
    }
    // Round a pole, or over the whole world, it leaves out no more than its samples lie apart:
    // one picture as wide as the world, which the samples alone would leave short of 180 degrees.
    constexpr double AllRound = 10;
    if (gap < AllRound) return LongitudeSpan{-180, 180};
    // Recentred where it crosses the meridian, or where its abscissas jump there (an edge on
    // 180 degrees that PROJ puts at either end); kept as it is otherwise.
    if (rawEast - rawWest <= span.east - span.west + 1e-9) return std::nullopt;
    return span;
}

std::vector<OutputGrid> SplitAt180(const OutputGrid& grid, double centreLongitude) {
    const double metresPerDegree = MercatorLimitY / 180;
    const double left = grid.geoTransform[0];
    const double right = left + grid.width * grid.geoTransform[1];
    const double step = grid.columnStep;
    double toMeridian = 180 - centreLongitude;
    if (toMeridian > 180) toMeridian -= 360;
    const double meridian = toMeridian * metresPerDegree;
    std::vector<OutputGrid> parts;
    const auto addPart = [&](double from, double to) {
        if (to - from < step / 2) return;
        const double columns = std::max(1.0, std::ceil((to - from) / step - 1e-6));
        OutputGrid part = grid;
        part.width = static_cast<std::int32_t>(columns);
        part.geoTransform[1] = (to - from) / columns;
        // Back to Web Mercator's metres, each part on its own side of the meridian.
        double x = from + centreLongitude * metresPerDegree;
        if (x + (to - from) > MercatorLimitY * (1 + 1e-12)) x -= 2 * MercatorLimitY;
        if (x < -MercatorLimitY * (1 + 1e-12)) x += 2 * MercatorLimitY;
        part.geoTransform[0] = x;
        parts.push_back(part);
    };
    if (meridian <= left || meridian >= right) {
        addPart(left, right);
    } else {
        addPart(left, meridian);
        addPart(meridian, right);
    }
    return parts;
}

namespace {

// A box typed to some decimals along a pixel edge must not gain a pixel from the last bits of
// the arithmetic.
constexpr double OnPixelEdge = 1e-6;

double EdgeBelow(double position) {
    const double nearest = std::round(position);
    return std::fabs(position - nearest) <= OnPixelEdge ? nearest : std::floor(position);
}

double EdgeAbove(double position) {
    const double nearest = std::round(position);
    return std::fabs(position - nearest) <= OnPixelEdge ? nearest : std::ceil(position);
}

double LongitudeAt(double x) { return x / MercatorLimitY * 180; }

std::string ExtentText(const MapCorners& c) {
    std::string text;
    for (const double value : {c.bottom, c.left, c.top, c.right}) {
        text += (text.empty() ? "(" : ",") + FixedTextWithoutMinusZero(value, 6);
    }
    return text + ")";
}

}  // namespace

std::vector<GridWindow> WholeGrids(const std::vector<OutputGrid>& grids) {
    std::vector<GridWindow> windows;
    for (std::size_t part = 0; part < grids.size(); ++part) windows.push_back({.part = part, .grid = grids[part]});
    return windows;
}

std::vector<GridWindow> CropToBox(const std::vector<OutputGrid>& grids, const MapCorners& box, ImportStatus& status) {
    const double top = WebMercatorY(box.top);
    const double bottom = WebMercatorY(box.bottom);
    const double left = box.left / 180 * MercatorLimitY;
    const double right = box.right / 180 * MercatorLimitY;
    // Across the meridian: the span up to it, which a west part ends at, then the one from it.
    const std::vector<std::array<double, 2>> spans =
        box.left < box.right ? std::vector<std::array<double, 2>>{{left, right}}
                             : std::vector<std::array<double, 2>>{{left, MercatorLimitY}, {-MercatorLimitY, right}};
    std::vector<GridWindow> windows;
    for (std::size_t part = 0; part < grids.size(); ++part) {
        const OutputGrid& grid = grids[part];
        const std::array<double, 6>& g = grid.geoTransform;
        const double firstRow = std::max(0.0, EdgeBelow((g[3] - top) / -g[5]));
        const double endRow = std::min<double>(grid.height, EdgeAbove((g[3] - bottom) / -g[5]));
        for (const auto& [west, east] : spans) {
            const double firstColumn = std::max(0.0, EdgeBelow((west - g[0]) / g[1]));
            const double endColumn = std::min<double>(grid.width, EdgeAbove((east - g[0]) / g[1]));
            if (!(endRow > firstRow) || !(endColumn > firstColumn)) continue;
            GridWindow& window = windows.emplace_back(GridWindow{.part = part,
                                                                 .column = static_cast<std::int32_t>(firstColumn),
                                                                 .row = static_cast<std::int32_t>(firstRow),
                                                                 .grid = grid});
            window.grid.width = static_cast<std::int32_t>(endColumn - firstColumn);
            window.grid.height = static_cast<std::int32_t>(endRow - firstRow);
            window.grid.geoTransform[0] = g[0] + firstColumn * g[1];
            window.grid.geoTransform[3] = g[3] + firstRow * g[5];
            // Cut at the end of Web Mercator only where the window reaches that edge of the grid.
            const auto atLimit = [](double y) { return std::fabs(y) >= MercatorLimitY * (1 - 1e-12); };
            window.grid.cut = grid.cut && ((firstRow == 0 && atLimit(g[3])) ||
                                           (endRow == grid.height && atLimit(g[3] + grid.height * g[5])));
        }
    }
    if (windows.empty() && !grids.empty()) {
        MapCorners spanned{90, LongitudeAt(grids.front().geoTransform[0]), -90, 0};
        for (const OutputGrid& grid : grids) {
            const std::array<double, 6>& g = grid.geoTransform;
            spanned.bottom = std::min(spanned.bottom, LatitudeAtWebMercatorY(g[3] + grid.height * g[5]));
            spanned.top = std::max(spanned.top, LatitudeAtWebMercatorY(g[3]));
            spanned.right = LongitudeAt(g[0] + grid.width * g[1]);
        }
        status = Refusal(ImportError::OutsideBox, "the box " + ExtentText(box) +
                                                      " does not meet the picture, which spans " + ExtentText(spanned) +
                                                      " (bottom, left, top, right in degrees)");
    }
    return windows;
}

// Header, colour table (a warped or masked palette may gain white) and rows, in 64 bits.
std::uint64_t BitmapFileSize(const OutputGrid& grid, const BandLayout& layout, bool warped) {
    const bool gainsWhite = NeedsWhite(layout, warped) && WhiteEntry(layout) == layout.palette.size();
    const std::uint64_t entries = layout.kind == ColourKind::Grey ? 256
                                  : layout.kind == ColourKind::Palette && !layout.paletteToRgb
                                      ? layout.palette.size() + (gainsWhite ? 1 : 0)
                                      : 0;
    return WholeBitmapFileSize(grid.width, grid.height, BitCount(layout), entries);
}

// Checked before any memory for the pixels is taken.
ImportStatus CheckSize(const OutputGrid& grid, const BandLayout& layout, bool warped) {
    const std::uint64_t size = BitmapFileSize(grid, layout, warped);
    const std::uint64_t largest = std::uint64_t(std::numeric_limits<std::int32_t>::max());
    if (size <= largest) return {};
    return Refusal(ImportError::TooLarge, "the bitmap would be " + std::to_string(grid.width) + " x " +
                                              std::to_string(grid.height) + " pixels, " + SizeText(size) +
                                              ", beyond the " + SizeText(largest) + " a bitmap file can hold");
}

}  // namespace kartivo::geoimport
