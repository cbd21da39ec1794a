#pragma once
// Where the pixels of a map picture lie on the Earth, as Make takes them, and where Make's
// output rows lie on its input: what a view of the picture draws and tells the pointer.

#include "bitmap/Resample.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace kartivo {

// The inverse of LatitudeToMercatorY: atan(sinh y), in degrees by the same pi. A latitude comes
// back within 1e-12 degrees, except near the south pole, where LatitudeToMercatorY's two terms
// cancel and lose digits before this is reached.
double MercatorYToLatitude(double y);

// Signed decimal degrees: the bottom and top latitudes, the left and right longitudes.
struct MapCorners {
    double bottom = 0;
    double left = 0;
    double top = 0;
    double right = 0;
    friend bool operator==(const MapCorners&, const MapCorners&) = default;
};

// A picture with Mercator rows placed as Make places them: the bottom row's centre at the bottom
// latitude, the top row's centre at the top latitude, the rows between evenly spaced in
// Mercator ordinate; likewise the first and last columns' centres at the left and right
// longitudes, the columns between evenly spaced in longitude. Positions are in pixels from the
// picture's top-left corner, x to the right and y down, so pixel (c, r) has its centre at
// (c + 0.5, r + 0.5).
class MercatorPicture {
public:
    MercatorPicture(const MapCorners& corners, std::int32_t width, std::int32_t height);

    // False when a position has no latitude or longitude: fewer than two rows or columns,
    // a latitude at or beyond a pole, or corners that are not finite. All four conversions
    // then give NaN.
    bool Valid() const;

    double LatitudeAt(double y) const;
    double LongitudeAt(double x) const;
    // Also outside the picture, as far as the Mercator ordinate reaches; not finite when the
    // two latitudes (longitudes) are the same.
    double YAt(double latitude) const;
    double XAt(double longitude) const;

private:
    MapCorners corners_;
    std::int32_t width_;
    std::int32_t height_;
    double bottomY_;
    double stepY_;  // Mercator ordinate per row, upwards
};

// Where Make's output lies on its input picture.
struct OutputBand {
    // The input rows (counted from the picture's top) that Make copies into the output's
    // bottom and top rows; nothing where it writes a blank row there.
    std::optional<std::int32_t> bottomRow;
    std::optional<std::int32_t> topRow;
    // Where the output's bottom and top latitudes lie, in pixels from the picture's top
    // (also beyond the picture); not finite when the input has fewer than two rows.
    double bottomY = 0;
    double topY = 0;
};

// The band from Make's own row choice (WalkOutputRows), for every output height including
// 0 and 1 (both rows the same one); a negative height has no rows, as 0.
OutputBand PlaceOutputBand(const RowMapping& mapping);

// The output as Make writes it, shown in previewRows rows (top first): for each, the input row
// (counted from the picture's top) that Make copies into the output row whose extent holds the
// preview row's centre, or BlankRow. One walk over the output rows, memory for the preview rows
// only. No rows for previewRows below 1; all BlankRow for an output of no rows (or a negative
// height).
std::vector<std::int32_t> PreviewRows(const RowMapping& mapping, std::int32_t previewRows);

// The values from..to (degrees, either order) at which a grid draws its lines: the multiples
// of the finest round step of minutes (1, 2, 5, 10, 15, 30 minutes, 1, 2, 5, 10, 15, 30 and
// 45 degrees) whose lines lie at least minSpacing pixels apart at pixelsPerDegree. Lowest
// first, each the nearest double to its whole number of minutes; empty when even the coarsest
// step does not fit, pixelsPerDegree is not above 0, an input is not finite, or there would be
// more than 100 000 lines.
std::vector<double> GridLines(double from, double to, double pixelsPerDegree, double minSpacing);

}  // namespace kartivo
