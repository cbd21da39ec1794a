#include "tools/BatchCommands.h"

#include "bitmap/BitmapHeader.h"
#include "bitmap/FileNameConvention.h"
#include "bitmap/PictureLoading.h"
#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "common/FileCommon.h"
#include "common/NumberText.h"
#include "common/PathParts.h"
#include "common/StringCommon.h"
#include "geo/CoordinateText.h"
#include "mapdata/MapDataFile.h"
#include "tools/JsonText.h"

#ifdef KARTIVO_IMPORT
#include "geoimport/GeoImport.h"
#endif

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <span>
#include <string_view>
#include <tuple>
#include <utility>

#ifndef KARTIVO_VERSION
#error "the build passes the project's version as KARTIVO_VERSION"
#endif

namespace kartivo::batch {

namespace {

// ---------------------------------------------------------------------------------------
// Help

constexpr const char* ProgramHelp = R"(Usage: kartivo-batch COMMAND [OPTIONS] FILE...

Runs Kartivo's jobs from a terminal or a script, for many pictures at once.

Commands:
  info        what loading each picture shows, and the name and corners in its file name
  make        the re-projected picture of each input, as the window's Make writes it
  write-info  the map's name, corners and layer into a map data file (.mbx)
  import      a georeferenced picture (GeoTIFF, PNG or JPEG with a world file, ...) as a
              bitmap with Web Mercator rows, its corners in its name

Options:
  -h, --help  this help; "kartivo-batch COMMAND --help" explains a command
  --version   the program's version

Exit status: 0 when every file succeeded, 1 when any failed (the others are still
processed), 2 when the command line was refused (nothing is processed).
)";

constexpr const char* InfoHelp = R"(Usage: kartivo-batch info [--json] PICTURE...

For each picture, what the window shows after loading it: file size, width, height,
colour depth, compression and both resolutions (dots per inch); then the map name and
the four corners its file name carries, Name(lat,lon,lat,lon), each corner in decimal
degrees and in degrees, minutes and seconds. A picture the window would refuse is
reported on standard error with the window's message.

Options:
  --json      one JSON object per picture and line; a refused picture has "error". For
              any picture GDAL reads, "gdal" gives its format, coordinate system and
              the WGS 84 latitudes and longitudes of its outer edges
)";

constexpr const char* ImportHelp = R"(Usage: kartivo-batch import [OPTIONS] PICTURE...

Turns each georeferenced picture into a bitmap whose rows are spaced as in Web Mercator,
named Name(bottom,left,top,right).bmp after the picture, beside it: loading that bitmap
or running "make" on it fills in the name and the corners by itself. The corners are the
WGS 84 latitudes and longitudes of the centres of the corner pixels, to ten decimals.

A picture in Web Mercator (EPSG:3857) is copied pixel for pixel; any other is warped to it.
Colour pictures become 24-bit, grey and paletted ones 8-bit with their colour table. An
alpha band is laid over white, as is any part of the bitmap the picture does not reach.
Bands of 16-bit or floating-point values (elevation, not colours) are refused. Latitudes
beyond 85.0511 degrees, where Web Mercator ends, are cut off.

Options:
  --srs CRS         the picture's coordinate system when it names none (a world file
                    without .prj) or a wrong one, e.g. EPSG:4326 or EPSG:32654
  --resampling near|bilinear|cubic
                    how warped pixels are found; default near (nearest neighbour)
  -o, --output PATH the output file, with one picture only
)";

constexpr const char* MakeHelp = R"(Usage: kartivo-batch make [OPTIONS] PICTURE...

Writes, for each picture, what the window's Make writes: a picture whose rows are evenly
spaced in latitude, each row copied from the input row nearest in Mercator ordinate.

Options:
  --corners BOTTOM,LEFT,TOP,RIGHT
                    the input's corners, each in decimal degrees (-35.25) or in
                    degrees, minutes and seconds (35°15' 00.0000''); default: from the
                    file name, Name(lat,lon,lat,lon); a picture with neither fails
  --lat BOTTOM,TOP  the output's latitude range; default: the input's
  --height ROWS     the output's number of rows; default: the input's
  --dpi X[,Y]       the output's resolution in dots per inch; default: the input's
  -o, --output PATH the output file, with one picture only; default: the picture's
                    name with "_" added before its extension, beside it

An output never replaces any of the pictures given; an existing output is written over.
)";

constexpr const char* WriteInfoHelp =
    R"(Usage: kartivo-batch write-info MAPFILE --name NAME --corners BOTTOM,LEFT,TOP,RIGHT [--layer N]

Writes the map's name, the corners of the output rectangle and the layer into the head of
an existing map data file, as the window's "Write Informations" does; the rest of the
file is kept. MAPFILE must exist and its extension must be exactly "mbx".

Options:
  --name NAME       the map's name (stored in Shift-JIS, cut to 28 bytes)
  --corners BOTTOM,LEFT,TOP,RIGHT
                    decimal degrees, or degrees, minutes and seconds
  --layer N         1 to 4; default 1
)";

// ---------------------------------------------------------------------------------------
// The command line

struct OptionSpec {
    std::string_view name;       // "--lat"
    std::string_view shortName;  // "-o", or empty
    bool takesValue = false;
};

const OptionSpec HelpOption{"--help", "-h", false};

struct CommandLine {
    std::map<std::string, std::string, std::less<>> values;  // by long name
    std::set<std::string, std::less<>> flags;
    std::vector<std::string> operands;

    std::optional<std::string> Value(std::string_view name) const {
        const auto found = values.find(name);
        return found == values.end() ? std::nullopt : std::optional<std::string>(found->second);
    }
};

struct UsageError {
    std::string text;
};

// Options may stand anywhere among the files, as "--name value" or "--name=value"; after
// "--" everything is a file, for names that start with "-". An option given twice is
// refused rather than one of them silently winning.
std::optional<CommandLine> ScanCommandLine(std::span<const std::string> args, std::span<const OptionSpec> specs,
                                           UsageError& error) {
    CommandLine line;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        const std::size_t equals = arg.starts_with("--") ? arg.find('=') : std::string::npos;
        const std::string_view written = std::string_view(arg).substr(0, equals);
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& candidate : specs) {
            if (written == candidate.name || (!candidate.shortName.empty() && written == candidate.shortName)) {
                spec = &candidate;
            }
        }
        if (spec == nullptr) {
            error.text = "unknown option \"" + std::string(written) + "\"";
            return std::nullopt;
        }
        const std::string name(spec->name);
        if (line.values.contains(name) || line.flags.contains(name)) {
            error.text = "option " + name + " is given more than once";
            return std::nullopt;
        }
        if (!spec->takesValue) {
            if (equals != std::string::npos) {
                error.text = "option " + name + " takes no value";
                return std::nullopt;
            }
            line.flags.insert(name);
        } else if (equals != std::string::npos) {
            line.values[name] = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            line.values[name] = args[++i];
        } else {
            error.text = "option " + name + " needs a value";
            return std::nullopt;
        }
    }
    return line;
}

// ---------------------------------------------------------------------------------------
// Corner values, held the way the window holds them

// A coordinate as a person types it on a command line: decimal degrees, decimal degrees
// followed by "°" (as file names may carry them), or a DMS text. Unlike a file name, a text
// that cannot be read is refused instead of counting as 0. The result is what the Degree
// box's handler would read.
std::optional<double> ReadCoordinateArgument(std::string_view text, std::int32_t limit) {
    const std::string_view trimmed = TrimSpaces(text);
    std::optional<double> typed = NumericValue(trimmed);
    if (!typed && trimmed.ends_with(DegreeSign)) {
        typed = NumericValue(trimmed.substr(0, trimmed.size() - DegreeSign.size()));
    }
    if (!typed) {
        double dms = 0;
        if (!DmsTextToDegree(trimmed, limit, dms)) return std::nullopt;
        typed = WrittenIntoDegreeBox(dms);
    }
    if (std::fabs(*typed) > limit) return std::nullopt;
    return typed;
}

constexpr std::int32_t LatitudeLimit = 90;
constexpr std::int32_t LongitudeLimit = 180;

// Signed degrees as the handlers of the Degree boxes read them.
struct Corners {
    double bottom = 0;
    double left = 0;
    double top = 0;
    double right = 0;

    // The window enables its commands only for a rectangle whose top lies above its bottom
    // and whose right lies beyond its left.
    bool Ordered() const {
        return HeldByDegreeBox(top) > HeldByDegreeBox(bottom) && HeldByDegreeBox(right) > HeldByDegreeBox(left);
    }
};

std::optional<Corners> ReadCornersArgument(std::string_view text, UsageError& error) {
    const std::vector<std::string_view> pieces = SplitAtCommas(text);
    if (pieces.size() != 4) {
        error.text = "--corners takes four values, BOTTOM,LEFT,TOP,RIGHT, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::int32_t limit = i % 2 == 0 ? LatitudeLimit : LongitudeLimit;
        const auto value = ReadCoordinateArgument(pieces[i], limit);
        if (!value) {
            error.text = "--corners: \"" + std::string(pieces[i]) + "\" is not a " +
                         (limit == LatitudeLimit ? "latitude" : "longitude") + " from -" + std::to_string(limit) +
                         " to " + std::to_string(limit) + " degrees";
            return std::nullopt;
        }
        values[i] = *value;
    }
    const Corners corners{values[0], values[1], values[2], values[3]};
    if (!corners.Ordered()) {
        error.text = "--corners: TOP must lie above BOTTOM and RIGHT beyond LEFT";
        return std::nullopt;
    }
    return corners;
}

// The corners a picture's file name carries, as loading writes them into the input boxes.
std::optional<Corners> CornersFromFileName(const FileNameCorners& found) {
    if (!found.corners) return std::nullopt;
    const auto [bottom, left, top, right] = *found.corners;
    return Corners{WrittenIntoDegreeBox(bottom), WrittenIntoDegreeBox(left), WrittenIntoDegreeBox(top),
                   WrittenIntoDegreeBox(right)};
}

// ---------------------------------------------------------------------------------------
// Loading a picture

struct LoadedPicture {
    BitmapHeaders headers;
    std::optional<std::string> problem;  // the window's loading message when it refuses the file
};

LoadedPicture LoadPicture(const std::string& path, MessageBoxes& boxes) {
    LoadedPicture picture;
    // The window's way of opening makes an empty file where there is none; a mistyped name
    // in a batch run must not leave one behind.
    if (!FileExists(path)) {
        picture.problem = LoadProblemText(LoadProblem::OpenFailed);
        return picture;
    }
    const LoadedHeaders loaded = ReadPictureHeaders(path, boxes);
    picture.headers = loaded.headers;
    if (loaded.problem != LoadProblem::None) picture.problem = LoadProblemText(loaded.problem);
    return picture;
}

std::string FileNameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

// ---------------------------------------------------------------------------------------
// The commands

struct Session {
    Console& console;
    Reporter& reporter;
    MessageBoxes& boxes;
};

struct Command {
    std::string_view name;
    const char* help;
    std::vector<OptionSpec> options;
    std::function<int(const CommandLine&, Session&)> run;
};

int RefuseUsage(Session& session, std::string_view command, const std::string& text) {
    session.reporter.Error({}, text);
    session.console.err << "Try \"" << ProgramName << (command.empty() ? "" : " ") << command << " --help\".\n";
    return ExitUsage;
}

// A property text as a JSON number: the window shows whole numbers or "No Data".
std::string JsonWholeNumber(const std::string& text) {
    return WholeNumber(text) && text.find_first_not_of("-0123456789") == std::string::npos ? text : "null";
}

struct CornerTexts {
    const char* label;
    const char* key;
    double typed;
};

std::array<CornerTexts, 4> EachCorner(const Corners& corners) {
    return {CornerTexts{"bottom latitude", "bottom", corners.bottom},
            CornerTexts{"left longitude", "left", corners.left}, CornerTexts{"top latitude", "top", corners.top},
            CornerTexts{"right longitude", "right", corners.right}};
}

#ifdef KARTIVO_IMPORT
std::string JsonDouble(double value) {
    std::array<char, 32> buffer{};
    const auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return ec == std::errc() && std::isfinite(value) ? std::string(buffer.data(), end) : "null";
}

// What GDAL tells of the picture, for pictures the window cannot load as much as for bitmaps.
void AddForeignInfo(JsonObject& object, const std::string& path) {
    const std::optional<geoimport::ForeignPicture> foreign = geoimport::DescribeForeignPicture(path);
    if (!foreign) return;
    JsonObject gdal;
    gdal.String("format", foreign->format)
        .Raw("crs", foreign->crs.empty() ? "null" : JsonString(foreign->crs))
        .Raw("width", std::to_string(foreign->width))
        .Raw("height", std::to_string(foreign->height))
        .Raw("bands", std::to_string(foreign->bands));
    if (foreign->corners) {
        gdal.Raw("corners", JsonObject()
                                .Raw("bottom", JsonDouble(foreign->corners->bottom))
                                .Raw("left", JsonDouble(foreign->corners->left))
                                .Raw("top", JsonDouble(foreign->corners->top))
                                .Raw("right", JsonDouble(foreign->corners->right))
                                .Text());
    } else {
        gdal.Raw("corners", "null");
    }
    object.Raw("gdal", gdal.Text());
}
#else
void AddForeignInfo(JsonObject&, const std::string&) {}
#endif

std::string InfoJson(const std::string& path, const LoadedPicture& picture) {
    JsonObject object;
    object.String("path", path);
    const auto finish = [&object, &path] {
        AddForeignInfo(object, path);
        return object.Text();
    };
    if (picture.headers.error == HeaderError::UnknownForm) {
        // The window still shows the file size of a picture whose header form it does not know.
        object.Raw("fileSize", JsonWholeNumber(PropertyTexts(picture.headers).fileSize));
    }
    if (picture.problem) {
        object.String("error", *picture.problem);
        return finish();
    }

    const BitmapPropertyTexts texts = PropertyTexts(picture.headers);
    object.Raw("fileSize", JsonWholeNumber(texts.fileSize))
        .Raw("width", JsonWholeNumber(texts.width))
        .Raw("height", JsonWholeNumber(texts.height))
        .Raw("colorDepth", JsonWholeNumber(texts.colorDepth))
        .String("compression", texts.compression)
        .Raw("resolutionWidth", JsonWholeNumber(texts.resolutionWidth))
        .Raw("resolutionHeight", JsonWholeNumber(texts.resolutionHeight));

    const FileNameCorners found = ReadFileNameConvention(path);
    object.Raw("name", found.name ? JsonString(*found.name) : "null");
    const std::optional<Corners> corners = CornersFromFileName(found);
    if (!corners) {
        object.Raw("corners", "null");
        return finish();
    }
    JsonObject cornerObject;
    for (const CornerTexts& corner : EachCorner(*corners)) {
        cornerObject.Raw(corner.key, JsonObject()
                                         .Raw("value", GeneralNumberText(HeldByDegreeBox(corner.typed)))
                                         .String("degree", DegreeText(corner.typed))
                                         .String("dms", DegreeToDmsText(corner.typed))
                                         .Text());
    }
    object.Raw("corners", cornerObject.Text());
    return finish();
}

void WriteInfoText(std::ostream& out, const std::string& path, const LoadedPicture& picture) {
    const BitmapPropertyTexts texts = PropertyTexts(picture.headers);
    const auto line = [&out](std::string_view label, std::string_view value) {
        out << "  " << label << std::string(label.size() < 19 ? 19 - label.size() : 1, ' ') << value << '\n';
    };
    out << path << '\n';
    line("file size", texts.fileSize);
    line("width", texts.width);
    line("height", texts.height);
    line("colour depth", texts.colorDepth);
    line("compression", texts.compression);
    line("resolution width", texts.resolutionWidth);
    line("resolution height", texts.resolutionHeight);

    const FileNameCorners found = ReadFileNameConvention(path);
    line("name", found.name ? *found.name : "(none in the file name)");
    if (const std::optional<Corners> corners = CornersFromFileName(found)) {
        for (const CornerTexts& corner : EachCorner(*corners)) {
            line(corner.label, DegreeText(corner.typed) + "  " + DegreeToDmsText(corner.typed));
        }
    } else {
        line("corners", "(none in the file name)");
    }
}

int RunInfoCommand(const CommandLine& line, Session& session) {
    if (line.operands.empty()) return RefuseUsage(session, "info", "info needs at least one picture");
    const bool json = line.flags.contains("--json");
    bool allDone = true;
    bool first = true;
    for (const std::string& path : line.operands) {
        const LoadedPicture picture = LoadPicture(path, session.boxes);
        if (json) {
            session.console.out << InfoJson(path, picture) << '\n';
        } else if (!picture.problem) {
            if (!first) session.console.out << '\n';
            WriteInfoText(session.console.out, path, picture);
            first = false;
        }
        if (picture.problem) {
            session.reporter.Error(path, *picture.problem);
            allDone = false;
        }
    }
    return allDone ? ExitAllDone : ExitSomeFailed;
}

struct MakeOptions {
    std::optional<Corners> corners;
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
        options.outputRows = WholeNumber(*text);
        // A picture without rows is no result to report as done.
        if (!options.outputRows || *options.outputRows == 0) {
            error.text = "--height takes a whole number of rows other than 0, not \"" + *text + "\"";
            return std::nullopt;
        }
    }
    if (const auto text = line.Value("--dpi")) {
        const std::vector<std::string_view> pieces = SplitAtCommas(*text);
        std::optional<std::int32_t> x;
        std::optional<std::int32_t> y;
        if (pieces.size() == 1 || pieces.size() == 2) {
            x = PelsPerMeterFromDpiText(pieces.front());
            y = PelsPerMeterFromDpiText(pieces.back());
        }
        if (!x || !y) {
            error.text = "--dpi takes one or two numbers of dots per inch that a bitmap header can hold, not \"" +
                         *text + "\"";
            return std::nullopt;
        }
        options.pelsPerMeter = {*x, *y};
    }
    options.outputPath = line.Value("--output");
    if (options.outputPath && line.operands.size() != 1) {
        error.text = "-o names the output of one picture; without it each output goes beside its picture";
        return std::nullopt;
    }
    return options;
}

bool MakeOne(const std::string& inputPath, const MakeOptions& options, std::span<const std::string> allInputs,
             Session& session) {
    Reporter& reporter = session.reporter;
    const LoadedPicture picture = LoadPicture(inputPath, session.boxes);
    if (picture.problem) {
        reporter.Error(inputPath, *picture.problem);
        return false;
    }
    const std::optional<Corners> corners =
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
    if (!corners->Ordered()) {
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

    // RunMake guards the picture's own file; the others given in this run need the same care,
    // or a second run over a folder would replace pictures made by the first.
    for (const std::string& other : allInputs) {
        if (other != inputPath && IsSamePicture(other, outputPath)) {
            return refuse(other + " is one of the pictures given, and is never written over");
        }
    }
    const MakeResult result = RunMake(request, headers, inputPath, outputPath, session.boxes, DefaultFileSystem());
    if (result.outcome == MakeOutcome::Done) return true;
    reporter.Error(inputPath, MakeResultText(result, inputPath, outputPath));
    return false;
}

int RunMakeCommand(const CommandLine& line, Session& session) {
    if (line.operands.empty()) return RefuseUsage(session, "make", "make needs at least one picture");
    UsageError error;
    const std::optional<MakeOptions> options = ReadMakeOptions(line, error);
    if (!options) return RefuseUsage(session, "make", error.text);

    bool allDone = true;
    for (std::size_t i = 0; i < line.operands.size(); ++i) {
        session.reporter.Progress(i + 1, line.operands.size(), FileNameOf(line.operands[i]));
        allDone = MakeOne(line.operands[i], *options, line.operands, session) && allDone;
    }
    session.reporter.EndProgress();
    return allDone ? ExitAllDone : ExitSomeFailed;
}


int RunWriteInfoCommand(const CommandLine& line, Session& session) {
    const auto usage = [&session](const std::string& text) { return RefuseUsage(session, "write-info", text); };
    if (line.operands.size() != 1) return usage("write-info takes exactly one map data file");
    const auto name = line.Value("--name");
    if (!name) return usage("write-info needs --name");
    const auto cornersText = line.Value("--corners");
    if (!cornersText) return usage("write-info needs --corners");
    UsageError error;
    const std::optional<Corners> corners = ReadCornersArgument(*cornersText, error);
    if (!corners) return usage(error.text);
    std::uint8_t layer = 1;
    if (const auto text = line.Value("--layer")) {
        const auto value = NumericValue(*text);
        if (!value || (*value != 1 && *value != 2 && *value != 3 && *value != 4)) {
            return usage("--layer takes 1, 2, 3 or 4, not \"" + *text + "\"");
        }
        layer = static_cast<std::uint8_t>(*value);
    }

    const std::string& path = line.operands.front();
    const auto fail = [&](const std::string& why) {
        session.reporter.Error(path, why);
        return ExitSomeFailed;
    };
    if (!FileExists(path)) return fail("no such map data file");
    if (GetExtensionName(path) != "mbx") return fail("not a map data file: its extension must be exactly \"mbx\"");

    const MapDataFields fields{.name = *name,
                               .top = HeldByDegreeBox(corners->top),
                               .left = HeldByDegreeBox(corners->left),
                               .bottom = HeldByDegreeBox(corners->bottom),
                               .right = HeldByDegreeBox(corners->right),
                               .layer = layer};
    const MapDataResult written = WriteMapDataFile(path, fields, session.boxes);
    return written.error == MapDataError::None ? ExitAllDone : fail(MapDataFailureText(written));
}

#ifdef KARTIVO_IMPORT
bool ImportOne(const std::string& picturePath, const geoimport::ImportOptions& options,
               const std::optional<std::string>& output, std::size_t index, std::size_t total, Session& session) {
    Reporter& reporter = session.reporter;
    const geoimport::ImportPreparation prepared = geoimport::PrepareImport(picturePath, options);
    if (!prepared.job) {
        reporter.Error(picturePath, "cannot import: " + prepared.status.message);
        return false;
    }
    const geoimport::ImportPlan& plan = prepared.job->Plan();
    const std::string outputPath = output.value_or(plan.proposedPath);
    int shownPercent = -1;
    const auto progress = [&](double fraction) {
        const int percent = static_cast<int>(fraction * 100);
        if (percent != shownPercent) {
            reporter.Progress(index, total, FileNameOf(picturePath) + " " + std::to_string(percent) + "%");
            shownPercent = percent;
        }
        return true;
    };
    const geoimport::ImportStatus written = prepared.job->Write(outputPath, progress);
    if (written.error != geoimport::ImportError::None) {
        reporter.Error(picturePath, written.message);
        return false;
    }
    if (const std::string notes = geoimport::ImportNotes(plan); !notes.empty()) reporter.Error(picturePath, notes);
    reporter.EndProgress();
    session.console.out << outputPath << '\n';
    return true;
}

int RunImportCommand(const CommandLine& line, Session& session) {
    const auto usage = [&session](const std::string& text) { return RefuseUsage(session, "import", text); };
    if (line.operands.empty()) return usage("import needs at least one picture");
    geoimport::ImportOptions options;
    options.sourceCrs = line.Value("--srs").value_or("");
    if (const auto text = line.Value("--resampling")) {
        const auto resampling = geoimport::ResamplingFromName(*text);
        if (!resampling) return usage("--resampling takes near, bilinear or cubic, not \"" + *text + "\"");
        options.resampling = *resampling;
    }
    const std::optional<std::string> output = line.Value("--output");
    if (output && line.operands.size() != 1) {
        return usage("-o names the output of one picture; without it each output goes beside its picture");
    }
    bool allDone = true;
    for (std::size_t i = 0; i < line.operands.size(); ++i) {
        allDone = ImportOne(line.operands[i], options, output, i + 1, line.operands.size(), session) && allDone;
    }
    session.reporter.EndProgress();
    return allDone ? ExitAllDone : ExitSomeFailed;
}
#endif

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands{
        {"info", InfoHelp, {HelpOption, {"--json", "", false}}, RunInfoCommand},
        {"make",
         MakeHelp,
         {HelpOption,
          {"--corners", "", true},
          {"--lat", "", true},
          {"--height", "", true},
          {"--dpi", "", true},
          {"--output", "-o", true}},
         RunMakeCommand},
        {"write-info",
         WriteInfoHelp,
         {HelpOption, {"--name", "", true}, {"--corners", "", true}, {"--layer", "", true}},
         RunWriteInfoCommand},
#ifdef KARTIVO_IMPORT
        {"import",
         ImportHelp,
         {HelpOption, {"--srs", "", true}, {"--resampling", "", true}, {"--output", "-o", true}},
         RunImportCommand},
#endif
    };
    return commands;
}

}  // namespace

int RunBatch(const std::vector<std::string>& args, Console& console) {
    Reporter reporter(console);
    ReportingMessageBoxes boxes(reporter);
    Session session{console, reporter, boxes};

    if (args.empty()) {
        console.err << ProgramHelp;
        return ExitUsage;
    }
    const std::string& first = args.front();
    if (first == "-h" || first == "--help") {
        console.out << ProgramHelp;
        return ExitAllDone;
    }
    if (first == "--version") {
        console.out << ProgramName << ' ' << KARTIVO_VERSION << '\n';
        return ExitAllDone;
    }
    for (const Command& command : Commands()) {
        if (first != command.name) continue;
        UsageError error;
        const std::optional<CommandLine> line =
            ScanCommandLine(std::span(args).subspan(1), command.options, error);
        if (!line) return RefuseUsage(session, command.name, error.text);
        if (line->flags.contains("--help")) {
            console.out << command.help;
            return ExitAllDone;
        }
        return command.run(*line, session);
    }
    return RefuseUsage(session, {}, "unknown command \"" + first + "\"");
}

}  // namespace kartivo::batch
