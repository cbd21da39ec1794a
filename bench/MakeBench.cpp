// Times Make on a large picture against copying the same file, and shows that Make's peak
// memory does not follow the picture heights. Make writes a temporary file, flushes it to the
// disk and renames it over the output; the copy is flushed to the disk too, so both sides pay
// for the same durability.
//
//   make_bench [runs]              the timing table and the memory table
//   make_bench --one <in> <out> <outputRows> <outBottom> <outTop>
//                                  one Make in a process of its own, printing its peak memory

#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "bitmap/Resample.h"
#include "common/FileCommon.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace kartivo;
namespace fs = std::filesystem;

constexpr std::int32_t Width = 8000;
constexpr std::int32_t Height = 12000;
constexpr std::int16_t BitCount = 24;
// Close to the equator the Mercator ordinate is nearly linear in latitude, so an output over
// the input's own range and height copies every input row exactly once.
constexpr double InBottom = -0.5;
constexpr double InTop = 0.5;

MakeRequest RequestFor(std::int32_t outputRows, double outBottom, double outTop) {
    MakeRequest request;
    request.inBottomLatitude = InBottom;
    request.inTopLatitude = InTop;
    request.outBottomLatitude = outBottom;
    request.outTopLatitude = outTop;
    request.width = Width;
    request.bitCount = BitCount;
    request.inputRows = Height;
    request.inputPixelOffset = 54;
    request.outputRows = outputRows;
    request.xPelsPerMeter = request.yPelsPerMeter = 3780;
    return request;
}

bool WritePicture(const std::string& path) {
    OutputHeaderFields fields;
    fields.width = Width;
    fields.height = Height;
    fields.bitCount = BitCount;
    const auto header = BuildOutputHeader(fields, 0);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(header->data()), static_cast<std::streamsize>(header->size()));
    std::vector<char> row(static_cast<std::size_t>(Width) * 3);
    for (std::int32_t r = 0; r < Height; ++r) {
        for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<char>(r * 31 + static_cast<int>(i));
        out.write(row.data(), static_cast<std::streamsize>(row.size()));
    }
    out.close();
    return out.good();
}

// Nobody to ask: every alarm gives up.
class GiveUp final : public MessageBoxes {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    AlarmAnswer ShowAlarmBox(const std::string&, const std::string&, AlarmButtons buttons) override {
        return buttons == AlarmButtons::RetryCancel ? AlarmAnswer::Cancel : AlarmAnswer::Abort;
    }
};

BitmapHeaders HeadersOf(const std::string& path) {
    std::vector<std::uint8_t> first(HeaderReadSize);
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(first.data()), static_cast<std::streamsize>(first.size()));
    return RecognizeBitmap(first);
}

// The whole Make the window and kartivo-batch run; false on any failure.
bool MakeOnce(const std::string& in, const std::string& out, const MakeRequest& request) {
    GiveUp boxes;
    const MakeResult result = RunMake(request, HeadersOf(in), in, out, boxes, DefaultFileSystem());
    if (result.outcome != MakeOutcome::Done) std::fprintf(stderr, "%s\n", MakeResultText(result, in, out).c_str());
    return result.outcome == MakeOutcome::Done;
}

// The yardstick: the kernel's copy, then the copy flushed to the disk.
bool RunCopy(const std::string& in, const std::string& out) {
    std::error_code ec;
    if (!fs::copy_file(in, out, fs::copy_options::overwrite_existing, ec) || ec) return false;
    const int descriptor = open(out.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool synced = fsync(descriptor) == 0;
    return close(descriptor) == 0 && synced;
}

// Times work on a fresh output: the old one is removed first, outside the time taken.
double Seconds(const std::string& output, const std::function<bool()>& work) {
    std::error_code ec;
    fs::remove(output, ec);
    const auto start = std::chrono::steady_clock::now();
    if (!work()) {
        std::fprintf(stderr, "a run failed\n");
        std::exit(1);
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

long PeakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;  // kilobytes on Linux
}

// How many distinct input rows the output copies, and how many output rows are blank.
void DescribeMapping(const MakeRequest& request) {
    std::int32_t distinct = 0;
    std::int32_t blank = 0;
    std::int32_t previous = BlankRow;
    bool identity = request.outputRows == request.inputRows;
    WalkOutputRows({request.inBottomLatitude, request.inTopLatitude, request.outBottomLatitude,
                    request.outTopLatitude, request.inputRows, request.outputRows},
                   WalkOrder::BottomFirst, [&](std::int32_t out, std::int32_t in) {
                       if (in == BlankRow) ++blank;
                       if (in != BlankRow && in != previous) ++distinct;
                       identity = identity && in == out;
                       previous = in;
                       return true;
                   });
    std::printf("  output %d rows: %d distinct input rows copied, %d blank%s\n", request.outputRows, distinct, blank,
                identity ? ", every input row once in order" : "");
}

int RunOne(char** argv) {
    const MakeRequest request = RequestFor(std::atoi(argv[4]), std::atof(argv[5]), std::atof(argv[6]));
    std::error_code ec;
    fs::remove(argv[3], ec);
    if (!MakeOnce(argv[2], argv[3], request)) return 1;
    std::printf("%ld\n", PeakKilobytes());
    return 0;
}

// Peak memory of one Make in a fresh process, so earlier runs cannot raise it.
long PeakOfMakeInOwnProcess(const std::string& self, const std::string& in, const std::string& out,
                            std::int32_t outputRows, double outBottom, double outTop) {
    const std::string command = "'" + self + "' --one '" + in + "' '" + out + "' " + std::to_string(outputRows) +
                                " " + std::to_string(outBottom) + " " + std::to_string(outTop);
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    long kilobytes = -1;
    if (!pipe || std::fscanf(pipe.get(), "%ld", &kilobytes) != 1) return -1;
    return kilobytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 7 && std::string(argv[1]) == "--one") return RunOne(argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

    const fs::path folder = fs::temp_directory_path() / ("kartivo-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const std::string in = (folder / "input.bmp").string();
    const std::string out = (folder / "output.bmp").string();
    const std::string copy = (folder / "copy.bmp").string();
    if (!WritePicture(in)) {
        std::fprintf(stderr, "could not write %s\n", in.c_str());
        return 1;
    }
    std::printf("input: %d x %d, %d bits, %.1f MB in %s\n", Width, Height, BitCount,
                static_cast<double>(fs::file_size(in)) / 1e6, folder.string().c_str());
    // Warm the cache so neither side pays for the first read of the input.
    Seconds(copy, [&] { return RunCopy(in, copy); });

    struct Case {
        const char* name;
        MakeRequest request;
    };
    const double quarter = (InTop - InBottom) / 4;
    // Make reads no header of its own, so the same file serves as a picture stored top row first.
    MakeRequest topDown = RequestFor(Height, InBottom, InTop);
    topDown.inputTopDown = true;
    const Case cases[] = {
        {"(a) same range and height", RequestFor(Height, InBottom, InTop)},
        {"(b) middle half of the latitudes, same height", RequestFor(Height, InBottom + quarter, InTop - quarter)},
        {"(c) as (a), input stored top row first (no target)", topDown},
    };
    std::printf("\n%d runs each, medians in seconds\n", runs);
    for (const Case& c : cases) {
        std::printf("%s\n", c.name);
        DescribeMapping(c.request);
        std::vector<double> make;
        std::vector<double> copied;
        for (int run = 0; run < runs; ++run) {  // interleaved, so both meet the same disk state
            make.push_back(Seconds(out, [&] { return MakeOnce(in, out, c.request); }));
            copied.push_back(Seconds(copy, [&] { return RunCopy(in, copy); }));
        }
        const double makeMedian = Median(make);
        const double copyMedian = Median(copied);
        std::printf("  make %.3f s   copy_file + fsync %.3f s   ratio %.2f\n", makeMedian, copyMedian, makeMedian / copyMedian);
    }
    std::printf("\npeak memory of this process after the timed runs: %ld kB\n", PeakKilobytes());

    std::printf("\npeak memory of one Make in a process of its own\n");
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    for (const std::int32_t rows : {1200, 12000, 48000}) {
        for (const bool middle : {false, true}) {
            const long kilobytes = PeakOfMakeInOwnProcess(self, in, out, rows, middle ? InBottom + quarter : InBottom,
                                                          middle ? InTop - quarter : InTop);
            std::printf("  output %6d rows, %s: %ld kB\n", rows, middle ? "middle half" : "full range ", kilobytes);
        }
    }
    std::printf("  for comparison, one input row is %d bytes and the input %.0f MB\n", Width * 3,
                static_cast<double>(fs::file_size(in)) / 1e6);

    std::error_code ec;
    fs::remove_all(folder, ec);
    return 0;
}
