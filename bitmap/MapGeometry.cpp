#include "bitmap/MapGeometry.h"

#include "common/DataConvert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace kartivo {

namespace {

constexpr double NotANumber = std::numeric_limits<double>::quiet_NaN();

bool IsUsableLatitude(double latitude) {
    return std::isfinite(latitude) && std::fabs(latitude) < 90.0;
}

// Make counts rows from the bottom; a view counts them from the top.
std::int32_t FromTop(std::int32_t rows, std::int32_t fromBottom) {
    return fromBottom == BlankRow ? BlankRow : rows - 1 - fromBottom;
}

std::optional<std::int32_t> RowIfCopied(std::int32_t rows, std::int32_t fromBottom) {
    if (fromBottom == BlankRow) return std::nullopt;
    return FromTop(rows, fromBottom);
}

// The output row (from the bottom) shown in a preview row (from the top): the one whose extent
// holds the preview row's centre. Whole numbers keep the choice exact; the product stays below
// 2^63 and the quotient below outputRows.
std::int32_t OutputRowShown(std::int32_t previewRow, std::int32_t previewRows, std::int32_t outputRows) {
    const std::int64_t fromTop = (2 * std::int64_t{previewRow} + 1) * outputRows / (2 * std::int64_t{previewRows});
    return outputRows - 1 - static_cast<std::int32_t>(fromTop);
}

// Grid steps in whole minutes, finest first.
constexpr std::array<int, 13> GridStepMinutes = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 2700};

// More lines than this are no grid anyone can read, and would only cost memory.
constexpr double MostGridLines = 100000;

}  // namespace

double MercatorYToLatitude(double y) {
    // The same pi as DegreeToRadian, so a latitude comes back as it went in.
    return std::atan(std::sinh(y)) * 180.0 / ProgramPi;
}

MercatorPicture::MercatorPicture(const MapCorners& corners, std::int32_t width, std::int32_t height)
    : corners_(corners), width_(width), height_(height),
      // The same ordinate and step RowChooser in Resample.cpp takes, so rows land where Make finds them.
      bottomY_(LatitudeToMercatorY(corners.bottom)),
      stepY_((LatitudeToMercatorY(corners.top) - bottomY_) / (static_cast<double>(height) - 1)) {}

bool MercatorPicture::Valid() const {
    return width_ >= 2 && height_ >= 2 && IsUsableLatitude(corners_.bottom) && IsUsableLatitude(corners_.top) &&
           std::isfinite(corners_.left) && std::isfinite(corners_.right);
}

double MercatorPicture::LatitudeAt(double y) const {
    if (!Valid()) return NotANumber;
    const double rowFromBottom = (height_ - 1) - (y - 0.5);
    return MercatorYToLatitude(bottomY_ + rowFromBottom * stepY_);
}

double MercatorPicture::LongitudeAt(double x) const {
    if (!Valid()) return NotANumber;
    return corners_.left + (x - 0.5) * (corners_.right - corners_.left) / (width_ - 1);
}

double MercatorPicture::YAt(double latitude) const {
    if (!Valid()) return NotANumber;
    const double rowFromBottom = (LatitudeToMercatorY(latitude) - bottomY_) / stepY_;
    return (height_ - 1) - rowFromBottom + 0.5;
}

double MercatorPicture::XAt(double longitude) const {
    if (!Valid()) return NotANumber;
    return (longitude - corners_.left) * (width_ - 1) / (corners_.right - corners_.left) + 0.5;
}

OutputBand PlaceOutputBand(const RowMapping& mapping) {
    // Columns play no part in the band; two of them keep the picture valid.
    const MercatorPicture input({mapping.inBottomLatitude, 0, mapping.inTopLatitude, 1}, 2, mapping.inputRows);
    OutputBand band;
    band.bottomY = input.YAt(mapping.outBottomLatitude);
    band.topY = input.YAt(mapping.outTopLatitude);
    // The walk visits nothing for a height below 1, so both rows stay empty.
    WalkOutputRows(mapping, WalkOrder::BottomFirst, [&](std::int32_t outputRow, std::int32_t inputRow) {
        if (outputRow == 0) band.bottomRow = RowIfCopied(mapping.inputRows, inputRow);
        if (outputRow == mapping.outputRows - 1) band.topRow = RowIfCopied(mapping.inputRows, inputRow);
        return true;
    });
    return band;
}

std::vector<std::int32_t> PreviewRows(const RowMapping& mapping, std::int32_t previewRows) {
    if (previewRows <= 0) return {};
    // An output of no rows (or a negative height) is walked over no rows and shows all blank.
    std::vector<std::int32_t> shown(static_cast<std::size_t>(previewRows), BlankRow);
    // Output rows come bottom first, so the preview fills from its last row up; OutputRowShown
    // never decreases going up the preview, so each output row serves a run of preview rows.
    std::int32_t next = previewRows - 1;
    WalkOutputRows(mapping, WalkOrder::BottomFirst, [&](std::int32_t outputRow, std::int32_t inputRow) {
        for (; next >= 0 && OutputRowShown(next, previewRows, mapping.outputRows) == outputRow; --next) {
            shown[static_cast<std::size_t>(next)] = FromTop(mapping.inputRows, inputRow);
        }
        return next >= 0;
    });
    return shown;
}

std::vector<double> GridLines(double from, double to, double pixelsPerDegree, double minSpacing) {
    if (!std::isfinite(from) || !std::isfinite(to) || !std::isfinite(pixelsPerDegree) || pixelsPerDegree <= 0) {
        return {};
    }
    // A spacing that is not a number fits no step.
    const auto fits = [&](int minutes) { return minutes * pixelsPerDegree / 60.0 >= minSpacing; };
    const auto step = std::find_if(GridStepMinutes.begin(), GridStepMinutes.end(), fits);
    if (step == GridStepMinutes.end()) return {};
    // Line k lies at k steps: counted in whole minutes, no rounding error builds up along the grid.
    const double first = std::ceil(std::min(from, to) * 60.0 / *step);
    const double last = std::floor(std::max(from, to) * 60.0 / *step);
    if (last - first >= MostGridLines) return {};
    std::vector<double> lines;
    // Counted by a whole number: far enough out, adding 1 to a double no longer moves it.
    const auto count = static_cast<int>(last - first) + 1;  // 0 when no line falls in the range
    for (int i = 0; i < count; ++i) lines.push_back((first + i) * *step / 60.0);
    return lines;
}

}  // namespace kartivo
