#include "tools/BatchShared.h"

#include "common/PathParts.h"

#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "bitmap/PictureLoading.h"
#include "common/FileCommon.h"
#include "common/StringCommon.h"

#include <vector>
#include <tuple>
#include <utility>

namespace kartivo::batch {

namespace {

constexpr const char* MakeHelp = R"(Usage: kartivo-batch make [OPTIONS] PICTURE...

Writes, for each picture, what the window's Make writes: a picture whose rows are evenly
spaced in latitude, each row copied from the input row nearest in Mercator ordinate.

Options:
  --corners BOTTOM,LEFT,TOP,RIGHT
                    the input's corners, each in decimal degrees (-35.25) or in
                    degrees, minutes and seconds (35°15' 00.0000''); default: from the
                    file name, Name(lat,lon,lat,lon); a picture with neither fails
  --lat BOTTOM,TOP  the output's latitude range; default: the input's
  --height ROWS     the output's number of rows, 1 or more; default: the input's
  --dpi X[,Y]       the output's resolution in whole dots per inch; default: the input's
  -o, --output PATH the output file, with one picture only; default: the picture's
                    name with "_" added before its extension, beside it

An output never replaces any of the pictures given; an existing output is written over.
)";

struct MakeOptions {
    std::optional<MapCorners> corners;
    std::optional<std::pair<double, double>> outLatitudes;  // bottom, top
    std::optional<std::int32_t> outputRows;
    std::optional<std::pair<std::int32_t, std::int32_t>> pelsPerMeter;  // x, y
    std::optional<std::string> outputPath;
};

std::optional<MakeOptions> ReadMakeOptions(const CommandLine& line, UsageError& error) {
    MakeOptions options;
    if (const auto text = line.Value("--corners")) {
        options.corners = ReadCornersArgument(*text, error);
        if (!options.corners) return std::nullopt;
    }
    if (const auto text = line.Value("--lat")) {
        const std::vector<std::string_view> pieces = SplitAtCommas(*text);
        std::optional<double> bottom;
        std::optional<double> top;
        if (pieces.size() == 2) {
            bottom = ReadCoordinateArgument(pieces[0], LatitudeLimit);
            top = ReadCoordinateArgument(pieces[1], LatitudeLimit);
        }
        if (!bottom || !top) {
            error.text = "--lat takes two latitudes from -90 to 90 degrees, BOTTOM,TOP, not \"" + *text + "\"";
            return std::nullopt;
        }
        if (!(HeldByDegreeBox(*top) > HeldByDegreeBox(*bottom))) {
            error.text = "--lat: TOP must lie above BOTTOM";
            return std::nullopt;
        }
        options.outLatitudes = {*bottom, *top};
    }
    if (const auto text = line.Value("--height")) {
        // The window's box would round 1.5 to 2 rows; a script passing it has a fault that the
        // rounding would hide. A picture without rows is no result to report as done.
        options.outputRows = ReadWholePositiveArgument(*text);
        if (!options.outputRows) {
            error.text = "--height takes a whole positive number of rows, not \"" + *text + "\"";
            return std::nullopt;
        }
    }
    if (const auto text = line.Value("--dpi")) {
        const std::vector<std::string_view> pieces = SplitAtCommas(*text);
        std::optional<std::int32_t> x;
        std::optional<std::int32_t> y;
        if (pieces.size() == 1 || pieces.size() == 2) {
            const auto pelsPerMeter = [](std::string_view piece) -> std::optional<std::int32_t> {
                const auto dpi = ReadWholePositiveArgument(piece);
                return dpi ? PelsPerMeterFromDpi(*dpi) : std::nullopt;
            };
            x = pelsPerMeter(pieces.front());
            y = pelsPerMeter(pieces.back());
        }
        if (!x || !y) {
            error.text = "--dpi takes one or two whole positive numbers of dots per inch, X or X,Y, that a "
                         "bitmap header can hold, not \"" + *text + "\"";
            return std::nullopt;
        }
        options.pelsPerMeter = {*x, *y};
    }
    if (!ReadOutputOption(line, options.outputPath, error)) return std::nullopt;
    return options;
}

bool MakeOne(const std::string& inputPath, const MakeOptions& options, const std::vector<FileIdentity>& allPictures,
             Session& session) {
    Reporter& reporter = session.reporter;
    const LoadedPicture picture = LoadPicture(inputPath, session.boxes);
    if (picture.problem) {
        reporter.Error(inputPath, *picture.problem);
        return false;
    }
    const std::optional<MapCorners> corners =
        options.corners ? options.corners : CornersFromFileName(ReadFileNameConvention(inputPath));
    if (!corners) {
        reporter.Error(inputPath, "its file name carries no corners, Name(lat,lon,lat,lon); give them with --corners");
        return false;
    }
    const std::string outputPath = options.outputPath.value_or(ProposeOutputPath(inputPath));
    const auto refuse = [&](const std::string& why) {
        reporter.Error(inputPath, MakeRefusalText(outputPath, why));
        return false;
    };
    if (!Ordered(*corners)) {
        return refuse("the corners in the file name do not have the top above the bottom and the right beyond the left");
    }
    const BitmapHeaders& headers = picture.headers;
    if (headers.form == HeaderForm::Windows && headers.info.biCompression != 0) {
        return refuse("its compression is " + CompressionText(headers.info.biCompression) +
                      "; only uncompressed (RGB) pictures can be made");
    }

    MakeRequest request = RequestFromHeaders(headers);
    const auto [outBottom, outTop] = options.outLatitudes.value_or(std::pair{corners->bottom, corners->top});
    request.inBottomLatitude = HeldByDegreeBox(corners->bottom);
    request.inTopLatitude = HeldByDegreeBox(corners->top);
    request.outBottomLatitude = HeldByDegreeBox(outBottom);
    request.outTopLatitude = HeldByDegreeBox(outTop);
    request.outputRows = options.outputRows.value_or(request.inputRows);
    if (headers.form == HeaderForm::Windows) {
        if (options.pelsPerMeter) {
            std::tie(request.xPelsPerMeter, request.yPelsPerMeter) = *options.pelsPerMeter;
        } else {
            // The window shows the resolution in whole dots per inch and makes the output from
            // those texts, so the default goes through the same rounding.
            const BitmapPropertyTexts shown = PropertyTexts(headers);
            const auto x = PelsPerMeterFromDpiText(shown.resolutionWidth);
            const auto y = PelsPerMeterFromDpiText(shown.resolutionHeight);
            if (!x || !y) return refuse("a resolution is too large for a bitmap header");
            request.xPelsPerMeter = *x;
            request.yPelsPerMeter = *y;
        }
    }

    // The other pictures given in this run need the same care as the picture's own file, or a
    // second run over a folder would replace pictures made by the first.
    const MakeResult result =
        RunMake(request, headers, inputPath, outputPath, session.boxes, DefaultFileSystem(), {}, allPictures);
    if (result.outcome == MakeOutcome::Done) return true;
    if (result.outcome == MakeOutcome::SameFile) {
        return refuse(outputPath + " is one of the pictures given, and is never written over");
    }
    reporter.Error(inputPath, MakeResultText(result, inputPath, outputPath));
    return false;
}

int RunMakeCommand(const CommandLine& line, Session& session) {
    if (line.operands.empty()) return RefuseUsage(session, "make", "make needs at least one picture");
    UsageError error;
    const std::optional<MakeOptions> options = ReadMakeOptions(line, error);
    if (!options) return RefuseUsage(session, "make", error.text);

    const std::vector<FileIdentity> allPictures = IdentitiesOf(line.operands);
    return ForEachPicture(line.operands.size(), session, [&](std::size_t i) {
        session.reporter.Progress(i + 1, line.operands.size(), GetFileName(line.operands[i]));
        return MakeOne(line.operands[i], *options, allPictures, session);
    });
}

}  // namespace

Command MakeCommand() {
    return {"make",
            MakeHelp,
            {HelpOption,
             {"--corners", "", true},
             {"--lat", "", true},
             {"--height", "", true},
             {"--dpi", "", true},
             {"--output", "-o", true}},
            RunMakeCommand};
}

}  // namespace kartivo::batch
