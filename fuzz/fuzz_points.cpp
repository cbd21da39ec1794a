// The .points reader over arbitrary texts, read through an open file as the programs read it,
// and the rule of the points outside a picture over whatever it reads.
#include "FuzzCheck.h"
#include "MemoryFile.h"
#include "geo/ControlPoints.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

using namespace kartivo;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    test::MemoryFile file(std::vector<std::uint8_t>(data, data + size));
    const PointsFileReading reading = ReadPointsFrom(file);
    if (reading.error != PointsFileError::None) {
        FUZZ_CHECK(reading.file.points.empty());
        FUZZ_CHECK(!PointsFileProblem(reading).empty());
        return 0;
    }
    const std::vector<ControlPoint>& points = reading.file.points;
    FUZZ_CHECK(points.size() <= MostPoints);
    for (const ControlPoint& p : points) {
        FUZZ_CHECK(std::isfinite(p.column) && std::isfinite(p.row) && std::isfinite(p.mapX) && std::isfinite(p.mapY));
    }
    // What is written of it reads back as it was.
    const PointsFileReading again = ReadPointsText(WritePointsText(reading.file, {}));
    FUZZ_CHECK(again.error == PointsFileError::None);
    FUZZ_CHECK(again.file.points == points);
    FUZZ_CHECK(again.file.crsWkt == reading.file.crsWkt);

    // The points outside a picture as large as the first point's place: enabled, beyond its
    // edges, in order; all of them exactly when none enabled lies within.
    const auto side = [&points](double ControlPoint::*place) {
        return points.empty() ? 0 : static_cast<std::int64_t>(std::fmod(std::fabs(points[0].*place), 100000));
    };
    const PictureSize picture{side(&ControlPoint::column), side(&ControlPoint::row)};
    const PointsOutside outside = FindPointsOutside(points, picture);
    for (std::size_t i = 0; i < outside.indices.size(); ++i) {
        const std::size_t index = outside.indices[i];
        FUZZ_CHECK(index < points.size() && (i == 0 || index > outside.indices[i - 1]));
        const ControlPoint& p = points[index];
        FUZZ_CHECK(p.enabled);
        FUZZ_CHECK(p.column < 0 || p.row < 0 || p.column > double(picture.width) || p.row > double(picture.height));
    }
    FUZZ_CHECK(outside.all == (!outside.indices.empty() && outside.indices.size() == EnabledCount(points)));
    FUZZ_CHECK(outside.text.empty() == outside.indices.empty());
    return 0;
}
