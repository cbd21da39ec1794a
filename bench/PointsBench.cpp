// Times what a set of control points costs at the most points each transform takes: reading a
// .points text of 10,000 points, and fitting them with their residuals in pixels and metres, as
// info, the import and the window's table do after every edit. Medians of a few runs.
//
//   points_bench [RUNS]

#include "geo/ControlPoints.h"
#include "geoimport/Importer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A 9000 x 9000 scan of 0.3 degrees over Tokyo, its points scattered over it and off their
// places by a pixel or so, as a person's clicks are.
std::vector<kartivo::ControlPoint> ScatteredPoints(std::size_t count) {
    std::mt19937 random(1);
    std::uniform_real_distribution<double> place(0, 9000);
    std::normal_distribution<double> miss(0, 1);
    std::vector<kartivo::ControlPoint> points;
    for (std::size_t i = 0; i < count; ++i) {
        const double column = place(random);
        const double row = place(random);
        points.push_back({column, row, 139.6 + (column + miss(random)) * 0.3 / 9000,
                          35.8 - (row + miss(random)) * 0.3 / 9000, true});
    }
    return points;
}

template <typename Work>
double MedianSeconds(int runs, Work work) {
    std::vector<double> seconds;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const kartivo::PictureSize scan{9000, 9000};
    // The first fit loads the import module and GDAL; it is not what is measured.
    kartivo::geoimport::TheImporter().FitPoints(ScatteredPoints(3), "", kartivo::PointTransform::Polynomial1, scan);

    const std::vector<kartivo::ControlPoint> most = ScatteredPoints(kartivo::MostPoints);
    const std::string text = kartivo::WritePointsText({"", most}, {});
    std::printf("%-44s %8.3f s\n", "read a .points text of 10000 points",
                MedianSeconds(runs, [&] { return kartivo::ReadPointsText(text); }));
    const struct {
        const char* label;
        kartivo::PointTransform transform;
        std::size_t count;
    } fits[] = {
        {"fit poly1 to 10000 points, with residuals", kartivo::PointTransform::Polynomial1, kartivo::MostPoints},
        {"fit poly2 to 10000 points, with residuals", kartivo::PointTransform::Polynomial2, kartivo::MostPoints},
        {"fit poly3 to 10000 points, with residuals", kartivo::PointTransform::Polynomial3, kartivo::MostPoints},
        {"fit tps to 500 points, with residuals", kartivo::PointTransform::ThinPlateSpline, 500},
        {"fit tps to 1000 points, with residuals", kartivo::PointTransform::ThinPlateSpline, kartivo::MostSplinePoints},
    };
    for (const auto& fit : fits) {
        const std::vector<kartivo::ControlPoint> points(most.begin(), most.begin() + static_cast<std::ptrdiff_t>(fit.count));
        bool refused = false;
        const double seconds = MedianSeconds(runs, [&] {
            refused = !kartivo::geoimport::TheImporter().FitPoints(points, "", fit.transform, scan).status.message.empty();
        });
        std::printf("%-44s %8.3f s%s\n", fit.label, seconds, refused ? " (refused!)" : "");
    }
    return 0;
}
