#include "geoimport/OutputGrid.h"

#include "bitmap/OutputHeader.h"

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
std::optional<OutputGrid> WarpedGrid(std::int32_t width, std::int32_t height, const PointTransform& transform,
                                     std::string& why) {
    std::vector<double> sampleX;
    std::vector<double> sampleY;
    const auto add = [&](double x, double y) {
        sampleX.push_back(x);
        sampleY.push_back(y);
    };
    constexpr int EdgeSteps = 256;
    for (int i = 0; i <= EdgeSteps; ++i) {
        const double t = double(i) / EdgeSteps;
        add(t * width, 0.0);
        add(t * width, double(height));
        add(0.0, t * height);
        add(double(width), t * height);
    }
    std::vector<int> transformed(sampleX.size());
    transform(static_cast<int>(sampleX.size()), sampleX.data(), sampleY.data(), transformed.data());
    // Where part of the outline lies off the Earth (a full disk seen from space, a polar
    // picture's corners), the picture's Earth reaches past the edges that transform: it is
    // found over a grid of the interior, as gdalwarp does.
    if (std::find(transformed.begin(), transformed.end(), 0) != transformed.end()) {
        const std::size_t edges = sampleX.size();
        constexpr int GridSteps = 256;
        for (int i = 0; i <= GridSteps; ++i) {
            for (int j = 1; j < GridSteps; ++j) add(double(i) / GridSteps * width, double(j) / GridSteps * height);
        }
        transformed.resize(sampleX.size());
        transform(static_cast<int>(sampleX.size() - edges), sampleX.data() + edges, sampleY.data() + edges,
                  transformed.data() + edges);
    }
    std::array<double, 4> extent{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < sampleX.size(); ++i) {
        if (!transformed[i] || !std::isfinite(sampleX[i]) || !std::isfinite(sampleY[i])) continue;
        extent = {std::min(extent[0], sampleX[i]), std::min(extent[1], sampleY[i]), std::max(extent[2], sampleX[i]),
                  std::max(extent[3], sampleY[i])};
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

std::optional<LongitudeSpan> SpanAcross180(std::int32_t width, std::int32_t height, const PointTransform& toWebMercator) {
    // Around the outline in order, so that each step between neighbours is short.
    constexpr int EdgeSteps = 256;
    std::vector<double> x;
    std::vector<double> y;
    const auto add = [&](double px, double py) {
        x.push_back(px);
        y.push_back(py);
    };
    for (int i = 0; i < EdgeSteps; ++i) add(double(i) / EdgeSteps * width, 0.0);
    for (int i = 0; i < EdgeSteps; ++i) add(double(width), double(i) / EdgeSteps * height);
    for (int i = 0; i < EdgeSteps; ++i) add(double(EdgeSteps - i) / EdgeSteps * width, double(height));
    for (int i = 0; i < EdgeSteps; ++i) add(0.0, double(EdgeSteps - i) / EdgeSteps * height);
    std::vector<int> ok(x.size());
    toWebMercator(static_cast<int>(x.size()), x.data(), y.data(), ok.data());
    // PROJ hands longitudes back within 180 degrees either way, so a step across the meridian
    // shows as a jump of nearly 360 degrees.
    const auto shortest = [](double step) { return step - 360 * std::round(step / 360); };
    std::optional<double> first;
    double previous = 0;
    double unwrapped = 0;
    bool jumps = false;
    LongitudeSpan span{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (!ok[i] || !std::isfinite(x[i])) continue;
        const double longitude = x[i] / MercatorLimitY * 180;
        unwrapped = first ? unwrapped + shortest(longitude - previous) : longitude;
        if (!first) first = longitude;
        jumps = jumps || std::fabs(unwrapped - longitude) > 180;
        previous = longitude;
        span = {std::min(span.west, unwrapped), std::max(span.east, unwrapped)};
    }
    if (!first) return std::nullopt;
    // Around a pole the outline comes back a whole turn away from where it started.
    if (std::fabs(unwrapped + shortest(*first - previous) - *first) > 180) return std::nullopt;
    // Also a picture that only touches the meridian, when its edge came back on the other side.
    return jumps ? std::optional(span) : std::nullopt;
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

// Header, colour table (a warped or masked palette may gain white) and rows, in 64 bits.
std::uint64_t BitmapFileSize(const OutputGrid& grid, const BandLayout& layout, bool warped) {
    const bool gainsWhite = NeedsWhite(layout, warped) && WhiteEntry(layout) == layout.palette.size();
    const std::uint64_t entries = layout.kind == ColourKind::Grey ? 256
                                  : layout.kind == ColourKind::Palette && !layout.paletteToRgb
                                      ? layout.palette.size() + (gainsWhite ? 1 : 0)
                                      : 0;
    const std::uint64_t rowBytes = ((std::uint64_t(grid.width) * BitCount(layout) + 31) / 32) * 4;
    return OutputHeaderLength(HeaderForm::Windows) + entries * 4 + rowBytes * std::uint64_t(grid.height);
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
