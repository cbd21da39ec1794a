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

bool Ordered(const MapCorners& corners) {
    return HeldByDegreeBox(corners.top) > HeldByDegreeBox(corners.bottom) &&
           HeldByDegreeBox(corners.right) > HeldByDegreeBox(corners.left);
}

std::optional<MapCorners> ReadCornersArgument(std::string_view text, UsageError& error) {
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
    const MapCorners corners{values[0], values[1], values[2], values[3]};
    if (!Ordered(corners)) {
        error.text = "--corners: TOP must lie above BOTTOM and RIGHT beyond LEFT";
        return std::nullopt;
    }
    return corners;
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
