#include "tools/BatchShared.h"

#include "bitmap/PictureLoading.h"
#include "common/FileCommon.h"
#include "common/NumberText.h"
#include "common/PathParts.h"
#include "common/StringCommon.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <ostream>

namespace kartivo::batch {

int RefuseUsage(Session& session, std::string_view command, const std::string& text) {
    session.reporter.Error({}, text);
    session.console.err << "Try \"" << ProgramName << (command.empty() ? "" : " ") << command << " --help\".\n";
    return ExitUsage;
}

bool ReadOutputOption(const CommandLine& line, std::optional<std::string>& output, UsageError& error) {
    output = line.Value("--output");
    if (!output || line.operands.size() == 1) return true;
    error.text = "-o names the output of one picture; without it each output goes beside its picture";
    return false;
}

std::vector<FileIdentity> IdentitiesOf(const std::vector<std::string>& pictures) {
    std::vector<FileIdentity> identities;
    for (const std::string& picture : pictures) {
        if (const auto identity = IdentityOfPath(picture)) identities.push_back(*identity);
    }
    return identities;
}

int ForEachPicture(std::size_t count, Session& session, const std::function<bool(std::size_t index)>& one) {
    bool allDone = true;
    for (std::size_t i = 0; i < count; ++i) allDone = one(i) && allDone;
    session.reporter.EndProgress();
    return allDone ? ExitAllDone : ExitSomeFailed;
}

std::optional<std::int32_t> ReadWholePositiveArgument(std::string_view text) {
    // from_chars would take a leading minus; a count carries no sign at all.
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    std::int32_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    if (problem != std::errc() || stop != end || value == 0) return std::nullopt;
    return value;
}

bool Ordered(const MapCorners& corners) {
    return HeldByDegreeBox(corners.top) > HeldByDegreeBox(corners.bottom) &&
           HeldByDegreeBox(corners.right) > HeldByDegreeBox(corners.left);
}

std::optional<MapCorners> ReadCornersArgument(std::string_view text, UsageError& error, std::string_view option,
                                              bool across180) {
    const std::string name(option);
    const std::vector<std::string_view> pieces = SplitAtCommas(text);
    if (pieces.size() != 4) {
        error.text = name + " takes four values, BOTTOM,LEFT,TOP,RIGHT, not \"" + std::string(text) + "\"";
        return std::nullopt;
    }
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < 4; ++i) {
        const std::int32_t limit = i % 2 == 0 ? LatitudeLimit : LongitudeLimit;
        const auto value = ReadCoordinateArgument(pieces[i], limit);
        if (!value) {
            error.text = name + ": \"" + std::string(pieces[i]) + "\" is not a " +
                         (limit == LatitudeLimit ? "latitude" : "longitude") + " from -" + std::to_string(limit) +
                         " to " + std::to_string(limit) + " degrees";
            return std::nullopt;
        }
        values[i] = *value;
    }
    const MapCorners corners{values[0], values[1], values[2], values[3]};
    if (across180) {
        // An area across 180 degrees has its right west of its left; only the same one names none.
        if (HeldByDegreeBox(corners.top) > HeldByDegreeBox(corners.bottom) &&
            HeldByDegreeBox(corners.right) != HeldByDegreeBox(corners.left)) {
            return corners;
        }
        error.text = name + ": TOP must lie above BOTTOM and RIGHT differ from LEFT (west of it: across 180 degrees)";
        return std::nullopt;
    }
    if (!Ordered(corners)) {
        error.text = name + ": TOP must lie above BOTTOM and RIGHT beyond LEFT";
        return std::nullopt;
    }
    return corners;
}

std::vector<OptionSpec> TileOptions() {
    return {{"--tiles", "", true},      {"--zoom", "", true},       {"--box", "", true}, {"--max-tiles", "", true},
            {"--user-agent", "", true}, {"--attribution", "", true}, {"--rate", "", true}};
}

namespace {

// A zoom level as a person types it: digits only, 0 included.
std::optional<std::int32_t> ReadZoom(std::string_view text) {
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const std::int32_t zoom = std::stoi(std::string(text));
    return zoom <= MaxTileZoom ? std::optional<std::int32_t>(zoom) : std::nullopt;
}

// Tiles per second: a positive number, in the C locale's form, fractions allowed.
std::optional<double> ReadRate(std::string_view text) {
    double value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, problem] = std::from_chars(text.data(), end, value);
    if (problem != std::errc() || stop != end || !std::isfinite(value) || !(value > 0)) return std::nullopt;
    return value;
}

// The options' words where a person names them, the request's own words otherwise.
std::string TileRequestUsage(TileRequestError error) {
    switch (error) {
    case TileRequestError::NoSource: return "--tiles needs a source: a URL template, a GDAL_WMS XML, WMTS:URL or an MBTiles file";
    case TileRequestError::UserAgentEmptyOrControl:
        return "--user-agent takes a text without control characters, and not an empty one";
    case TileRequestError::AttributionControl: return "--attribution takes one line of text, without control characters";
    default: break;
    }
    // The options' own readers refuse a zoom, a limit or a rate before the request is made.
    return "--tiles: " + TileRequestProblem(error);
}

}  // namespace

std::optional<TileRequest> ReadTileRequest(const CommandLine& line, UsageError& error) {
    const std::optional<std::string> source = line.Value("--tiles");
    if (!source) {
        for (const OptionSpec& option : TileOptions()) {
            // Without a tile source a box crops the pictures given.
            if (line.values.contains(option.name) && option.name != "--box") {
                error.text = std::string(option.name) + " goes with --tiles, which names the tile source";
                return std::nullopt;
            }
        }
        return std::nullopt;
    }
    TileRequest request;
    request.source = *source;
    const std::optional<std::string> boxText = line.Value("--box");
    const std::optional<std::string> zoomText = line.Value("--zoom");
    if (!boxText || !zoomText) {
        error.text = "--tiles needs the area to fetch: --box BOTTOM,LEFT,TOP,RIGHT in degrees (35.6 or 35°36' 00.0000'') "
                     "and --zoom Z, a zoom level from 0 to " + std::to_string(MaxTileZoom);
        return std::nullopt;
    }
    const std::optional<std::int32_t> zoom = ReadZoom(*zoomText);
    if (!zoom) {
        error.text = "--zoom takes a zoom level from 0 to " + std::to_string(MaxTileZoom) + ", not \"" + *zoomText + "\"";
        return std::nullopt;
    }
    request.zoom = *zoom;
    const std::optional<MapCorners> box = ReadCornersArgument(*boxText, error, "--box", true);
    if (!box) return std::nullopt;
    request.box = *box;
    if (const auto text = line.Value("--max-tiles")) {
        const std::optional<std::int32_t> most = ReadWholePositiveArgument(*text);
        if (!most) {
            error.text = "--max-tiles takes a whole positive number of tiles, not \"" + *text + "\"";
            return std::nullopt;
        }
        request.maxTiles = *most;
    }
    if (const auto text = line.Value("--rate")) {
        const std::optional<double> rate = ReadRate(*text);
        if (!rate) {
            error.text = "--rate takes a positive number of tiles per second, not \"" + *text + "\"";
            return std::nullopt;
        }
        request.rate = *rate;
    }
    if (const auto text = line.Value("--user-agent")) request.userAgent = *text;
    request.attribution = line.Value("--attribution").value_or("");
    if (const TileRequestError problem = CheckTileRequest(request); problem != TileRequestError::None) {
        error.text = TileRequestUsage(problem);
        return std::nullopt;
    }
    return request;
}

bool ReadCropBox(const CommandLine& line, std::optional<MapCorners>& box, UsageError& error) {
    const std::optional<std::string> text = line.Value("--box");
    if (!text || line.Value("--tiles")) return true;
    box = ReadCornersArgument(*text, error, "--box", true);
    return box.has_value();
}

std::optional<MapCorners> CornersFromFileName(const FileNameCorners& found) {
    if (!found.corners) return std::nullopt;
    const auto [bottom, left, top, right] = *found.corners;
    return MapCorners{WrittenIntoDegreeBox(bottom), WrittenIntoDegreeBox(left), WrittenIntoDegreeBox(top),
                   WrittenIntoDegreeBox(right)};
}

LoadedPicture LoadPicture(const std::string& path, MessageBoxes& boxes) {
    LoadedPicture picture;
    const LoadedHeaders loaded = ReadPictureHeaders(path, boxes);
    picture.headers = loaded.headers;
    picture.opened = loaded.read;
    if (loaded.problem != LoadProblem::None) picture.problem = LoadProblemText(loaded.problem);
    if (!loaded.reason.empty()) *picture.problem += " (" + loaded.reason + ")";
    return picture;
}

std::optional<PointsFile> ReadPointsFile(const std::string& path, std::string& why, bool* absent,
                                         std::optional<FileIdentity>* identity) {
    // Whether the file is there is decided by the one open, not by a look at its name first.
    OpenAttempt opened = DefaultFileSystem().Open(path, OpenMode::OpenInput);
    if (absent != nullptr) *absent = opened.failure == OpenFailure::FileNotFound;
    if (!opened.file) {
        why = opened.description;
        return std::nullopt;
    }
    if (identity != nullptr) *identity = opened.file->Identity();
    PointsFileReading reading = ReadPointsFrom(*opened.file);
    if (reading.error == PointsFileError::None) return std::move(reading.file);
    why = PointsFileProblem(reading);
    return std::nullopt;
}

std::string ResidualText(const PointResidual& r) {
    return "dx " + FixedTextWithoutMinusZero(r.dx, 3) + " dy " + FixedTextWithoutMinusZero(r.dy, 3) + " pixels " +
           FixedTextWithoutMinusZero(r.pixels, 3) + " metres " + FixedTextWithoutMinusZero(r.metres, 3);
}

std::string ImportCommandFor(const std::string& name) {
    std::string quoted = "'";
    for (const char c : name) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return "kartivo-batch import " + quoted + "'";
}

}  // namespace kartivo::batch
