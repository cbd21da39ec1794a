// Times the picture window on the largest picture Kartivo takes (a 2 GiB bitmap): from
// "Show Picture" to the first picture drawn, then every redraw while zooming in notch by notch
// around a point and while dragging at 1:1, and the process's peak memory. Runs on Qt's
// offscreen platform; each redraw is a real paint of the window's picture area.
//
//   picture_window_bench [PICTURE.bmp]   (default: makes ./big.bmp, 2 GiB, 24 bits)

#include "app/qt/Desktop.h"
#include "app/qt/PictureWindow.h"
#include "bitmap/OutputHeader.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// 24 bits, 26,000 x 27,500: just under the 2 GiB a bitmap's size field allows. Each row carries
// a pattern, so the page cache holds real data.
bool MakePicture(const std::string& path) {
    kartivo::OutputHeaderFields fields;
    fields.width = 26000;
    fields.height = 27500;
    fields.bitCount = 24;
    const auto header = kartivo::BuildOutputHeader(fields, 0);
    if (!header) return false;
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header->data()), static_cast<std::streamsize>(header->size()));
    std::vector<char> row(26000 * 3);
    for (int y = 0; y < fields.height; ++y) {
        for (std::size_t x = 0; x < row.size(); ++x) row[x] = static_cast<char>((x / 3 + static_cast<std::size_t>(y)) >> 4);
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char* argv[]) {
    // A desktop's screen: the picture window takes two thirds of it.
    const std::string screen = (std::filesystem::temp_directory_path() / "kartivo-bench-screen.json").string();
    std::ofstream(screen) << R"({ "screens": [ { "name": "desktop", "x": 0, "y": 0, "width": 1920, "height": 1080,)"
                             R"( "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1 } ] })";
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + screen).c_str());
    QApplication app(argc, argv);
    std::string path = argc > 1 ? argv[1] : "big(35,139,36,140).bmp";
    if (argc <= 1 && !std::filesystem::exists(path) && !MakePicture(path)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    kartivo::qt::Desktop desktop;
    kartivo::Form1& form = desktop.form;
    kartivo::qt::MainWindow& window = desktop.window;
    form.LoadInputMap(path);

    auto start = Clock::now();
    window.MenuAction("mnuViewShowPicture")->trigger();
    QWidget* canvas = window.Picture()->Canvas()->viewport();
    canvas->repaint();
    std::printf("first picture: %.0f ms (window %dx%d)\n", MillisecondsSince(start), canvas->width(), canvas->height());

    const QPointF at = canvas->rect().center() + QPoint(100, -50);
    double slowest = 0;
    for (int notch = 0; notch < 22; ++notch) {  // from the whole picture to 1:1 and beyond
        start = Clock::now();
        QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &wheel);
        canvas->repaint();
        slowest = std::max(slowest, MillisecondsSince(start));
    }
    std::printf("zooming in, slowest redraw: %.1f ms\n", slowest);

    window.Picture()->findChild<QAction*>("oneToOne")->trigger();
    slowest = 0;
    QPoint pointer = canvas->rect().center();
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, pointer);
    for (int step = 0; step < 200; ++step) {  // a long drag up and to the left
        start = Clock::now();
        pointer += QPoint(-40, -10);
        QMouseEvent move(QEvent::MouseMove, pointer, canvas->mapToGlobal(pointer), Qt::NoButton, Qt::LeftButton,
                         Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        canvas->repaint();
        slowest = std::max(slowest, MillisecondsSince(start));
    }
    std::printf("dragging at 1:1, slowest redraw: %.1f ms\n", slowest);

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("peak resident memory: %ld MiB\n", usage.ru_maxrss / 1024);
    return 0;
}
