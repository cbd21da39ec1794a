#include "geo/ControlPoints.h"

#include "common/NumberText.h"
#include "geo/CoordinateText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <utility>

namespace kartivo {

namespace {

constexpr std::string_view Utf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view CrsPrefix = "#CRS:";
constexpr std::string_view TransformPrefix = "#TRANSFORM:";
constexpr std::string_view Header = "mapX,mapY,sourceX,sourceY,enable,dX,dY,residual";

// The columns a point needs, in the order the reader keeps their positions.
enum Column { MapX, MapY, SourceX, SourceY, Enable, ColumnCount };

// Names as the header spells them; older georeferencers called the source columns pixelX and
// pixelY (with the same reversed sign), and their files are still about.
constexpr std::array<std::pair<std::string_view, Column>, 7> ColumnNames = {{
    {"mapX", MapX},
    {"mapY", MapY},
    {"sourceX", SourceX},
    {"sourceY", SourceY},
    {"enable", Enable},
    {"pixelX", SourceX},
    {"pixelY", SourceY},
}};

std::string_view TrimBlanks(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::vector<std::string_view> SplitFields(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t comma = line.find(',');
        fields.push_back(TrimBlanks(line.substr(0, comma)));
        if (comma == std::string_view::npos) return fields;
        line.remove_prefix(comma + 1);
    }
}

// Always the C locale: a file written in Germany reads the same in Japan.
std::optional<double> FieldNumber(std::string_view field) {
    // from_chars takes no "+", which some writers put before positive numbers.
    if (field.size() > 1 && field.front() == '+' && field[1] != '-' && field[1] != '+') field.remove_prefix(1);
    double value = 0;
    const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (error != std::errc() || end != field.data() + field.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

void AppendNumber(std::string& text, double value) {
    // A minus zero would read back the same, but "-0" in a file only puzzles whoever opens it.
    if (value == 0) value = 0;
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    text.append(buffer, result.ptr);
}

// The positions of the needed columns; nothing when the line names none of them, so that a
// file starting straight with points is told apart from a header lacking one column.
struct HeaderColumns {
    std::array<std::optional<std::size_t>, ColumnCount> position;
    bool namesAny = false;
};

HeaderColumns ReadHeader(std::string_view line) {
    HeaderColumns header;
    const std::vector<std::string_view> fields = SplitFields(line);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (const auto& [name, column] : ColumnNames) {
            if (fields[i] != name) continue;
            header.namesAny = true;
            if (!header.position[column]) header.position[column] = i;
        }
    }
    return header;
}

// A WKT starts with its keyword, a bracket and the quoted name: PROJCRS["...", GEOGCS[",
// COMPD_CS(". Only a first sieve, for a refusal that names the line: the import reads the text
// as WKT and nothing else, whatever passes here.
bool LooksLikeWkt(std::string_view text) {
    std::size_t letters = 0;
    while (letters < text.size() && (std::isalpha(static_cast<unsigned char>(text[letters])) != 0 ||
                                     (letters > 0 && (text[letters] == '_' || std::isdigit(static_cast<unsigned char>(text[letters])) != 0)))) {
        ++letters;
    }
    text.remove_prefix(letters);
    text = TrimBlanks(text);
    if (letters == 0 || text.empty() || (text.front() != '[' && text.front() != '(')) return false;
    text = TrimBlanks(text.substr(1));
    return !text.empty() && text.front() == '"';
}

// "point 3 (column 50, row -2)"
std::string PointPlace(const std::vector<ControlPoint>& points, std::size_t index) {
    const ControlPoint& p = points[index];
    return std::to_string(index + 1) + " (column " + GeneralNumberText(p.column) + ", row " + GeneralNumberText(p.row) +
           ")";
}

// The first few points named, the rest counted: a message box or a terminal line stays readable.
std::string NamedPoints(const std::vector<ControlPoint>& points, const std::vector<std::size_t>& indices) {
    constexpr std::size_t Named = 5;
    std::string text = indices.size() == 1 ? "point " : "points ";
    const std::size_t shown = std::min(indices.size(), Named);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) text += i + 1 == shown && indices.size() == shown ? " and " : ", ";
        text += PointPlace(points, indices[i]);
    }
    if (indices.size() > shown) text += " and " + std::to_string(indices.size() - shown) + " more";
    return text;
}

}  // namespace

std::size_t EnabledCount(const std::vector<ControlPoint>& points) {
    return static_cast<std::size_t>(std::count_if(points.begin(), points.end(), [](const ControlPoint& p) { return p.enabled; }));
}

namespace {

std::string EnabledText(std::size_t enabled) {
    return std::to_string(enabled) + (enabled == 1 ? " is" : " are") + " enabled";
}

}  // namespace

std::string PointCountProblem(const std::vector<ControlPoint>& points, PointTransform transform) {
    const std::string name(PointTransformName(transform));
    const std::size_t enabled = EnabledCount(points);
    if (points.size() > MostPoints) {
        return "a set holds at most " + std::to_string(MostPoints) + " points; this one has " +
               std::to_string(points.size());
    }
    if (enabled < static_cast<std::size_t>(LeastPointsFor(transform))) {
        return "the " + name + " transform needs at least " + std::to_string(LeastPointsFor(transform)) + " points; " +
               EnabledText(enabled);
    }
    if (enabled > MostPointsFor(transform)) {
        return "the " + name + " transform takes at most " + std::to_string(MostPointsFor(transform)) +
               " points (its time grows with the cube of their count); " + EnabledText(enabled);
    }
    return "";
}

PointsOutside FindPointsOutside(const std::vector<ControlPoint>& points, PictureSize picture) {
    PointsOutside outside;
    bool anyWithin = false;
    bool allAbove = true;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const ControlPoint& p = points[i];
        if (!p.enabled) continue;
        const bool within = p.column >= 0 && p.row >= 0 && p.column <= static_cast<double>(picture.width) &&
                            p.row <= static_cast<double>(picture.height);
        anyWithin = anyWithin || within;
        if (!within) outside.indices.push_back(i);
        allAbove = allAbove && p.row < 0;
    }
    if (outside.indices.empty()) return outside;
    const std::string size =
        "the picture (" + std::to_string(picture.width) + " x " + std::to_string(picture.height) + " pixels)";
    outside.all = !anyWithin;
    if (!outside.all) {
        outside.text = NamedPoints(points, outside.indices) + (outside.indices.size() == 1 ? " lies" : " lie") +
                       " outside " + size;
        return outside;
    }
    outside.text = "every enabled point lies outside " + size + ": " + NamedPoints(points, outside.indices);
    // The mistake a .points file invites: its sourceY is the row negated, so rows written as
    // they are counted put every point above the picture.
    if (allAbove) outside.text += "; all lie above it: is a .points file's sourceY (negative downwards) written positive?";
    return outside;
}

std::optional<PointTransform> PointTransformFromName(std::string_view name) {
    for (const PointTransform transform : {PointTransform::Polynomial1, PointTransform::Polynomial2,
                                           PointTransform::Polynomial3, PointTransform::ThinPlateSpline}) {
        if (PointTransformName(transform) == name) return transform;
    }
    return std::nullopt;
}

std::string_view PointTransformName(PointTransform transform) {
    switch (transform) {
        case PointTransform::Polynomial1: return "poly1";
        case PointTransform::Polynomial2: return "poly2";
        case PointTransform::Polynomial3: return "poly3";
        case PointTransform::ThinPlateSpline: return "tps";
    }
    return "";
}

int LeastPointsFor(PointTransform transform) {
    // A polynomial of order n in two variables has (n + 1)(n + 2) / 2 terms, each needing a point.
    switch (transform) {
        case PointTransform::Polynomial1: return 3;
        case PointTransform::Polynomial2: return 6;
        case PointTransform::Polynomial3: return 10;
        case PointTransform::ThinPlateSpline: return 3;
    }
    return 3;
}

std::size_t MostPointsFor(PointTransform transform) {
    return transform == PointTransform::ThinPlateSpline ? MostSplinePoints : MostPoints;
}

PointsFileReading ReadPointsText(std::string_view text) {
    PointsFileReading reading;
    if (text.starts_with(Utf8Bom)) text.remove_prefix(Utf8Bom.size());

    std::optional<HeaderColumns> header;
    int lineNumber = 0;
    const auto fail = [&](PointsFileError error) {
        reading.error = error;
        reading.line = lineNumber;
        reading.file.points.clear();
        return reading;
    };

    while (!text.empty()) {
        const std::size_t newline = text.find('\n');
        const std::string_view raw = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        ++lineNumber;
        const std::string_view line = TrimBlanks(raw);
        if (line.empty()) continue;
        if (line.front() == '#') {
            // Only a system named before the points can be theirs.
            if (!header && reading.file.crsWkt.empty() && line.starts_with(CrsPrefix)) {
                reading.file.crsWkt = std::string(TrimBlanks(line.substr(CrsPrefix.size())));
                if (!reading.file.crsWkt.empty() && !LooksLikeWkt(reading.file.crsWkt)) {
                    return fail(PointsFileError::CrsNotWkt);
                }
            }
            if (!header && line.starts_with(TransformPrefix)) {
                reading.file.transform = PointTransformFromName(TrimBlanks(line.substr(TransformPrefix.size())));
            }
            continue;
        }

        if (!header) {
            header = ReadHeader(line);
            if (!header->namesAny) return fail(PointsFileError::NoHeader);
            for (const auto& position : header->position) {
                if (!position) return fail(PointsFileError::MissingColumn);
            }
            continue;
        }

        const std::vector<std::string_view> fields = SplitFields(line);
        const auto field = [&](Column column) {
            const std::size_t at = *header->position[column];
            return at < fields.size() ? fields[at] : std::string_view();
        };
        std::array<double, 4> numbers{};
        for (const Column column : {MapX, MapY, SourceX, SourceY}) {
            const std::optional<double> number = FieldNumber(field(column));
            if (!number) return fail(PointsFileError::BadNumber);
            numbers[column] = *number;
        }
        const std::string_view enable = field(Enable);
        if (enable != "0" && enable != "1") return fail(PointsFileError::BadEnable);

        if (reading.file.points.size() == MostPoints) return fail(PointsFileError::TooManyPoints);
        ControlPoint point;
        point.mapX = numbers[MapX];
        point.mapY = numbers[MapY];
        point.column = numbers[SourceX];
        point.row = numbers[SourceY] == 0 ? 0.0 : -numbers[SourceY];
        point.enabled = enable == "1";
        reading.file.points.push_back(point);
    }

    if (!header) {
        // The header was due on the line after the last.
        ++lineNumber;
        return fail(PointsFileError::NoHeader);
    }
    return reading;
}

PointsFileReading ReadPointsFrom(OpenFile& file) {
    PointsFileReading reading;
    reading.error = PointsFileError::TooLarge;
    if (const std::optional<std::uint64_t> size = file.Size(); size && *size > MostPointsFileBytes) {
        reading.size = size;
        return reading;
    }
    std::string text;
    if (!ReadToEnd(file, text, MostPointsFileBytes + 1)) {
        reading.error = PointsFileError::ReadFailed;
        reading.reason = file.LastError();
        return reading;
    }
    if (text.size() > MostPointsFileBytes) return reading;
    return ReadPointsText(text);
}

std::string WritePointsText(const PointsFile& file, const std::vector<PointResidual>& residuals) {
    std::string text;
    if (!file.crsWkt.empty()) {
        text.append(CrsPrefix).append(" ").append(file.crsWkt).append("\n");
    }
    if (file.transform) text.append(TransformPrefix).append(" ").append(PointTransformName(*file.transform)).append("\n");
    text.append(Header).append("\n");
    for (std::size_t i = 0; i < file.points.size(); ++i) {
        const ControlPoint& point = file.points[i];
        const PointResidual residual = i < residuals.size() ? residuals[i] : PointResidual{};
        // dY is taken in the file's own frame, upwards like sourceY.
        for (const double value : {point.mapX, point.mapY, point.column, -point.row}) {
            AppendNumber(text, value);
            text.push_back(',');
        }
        text.append(point.enabled ? "1," : "0,");
        AppendNumber(text, residual.dx);
        text.push_back(',');
        AppendNumber(text, -residual.dy);
        text.push_back(',');
        AppendNumber(text, residual.pixels);
        text.push_back('\n');
    }
    return text;
}

std::string PointsPathFor(const std::string& picturePath) { return picturePath + ".points"; }

std::optional<double> ReadPointCoordinate(std::string_view text, std::int32_t limit) {
    // A plain number is a degree text and nothing else: read as DMS, "90.4" would round its
    // degrees to 90 and slip inside a limit the typed value is beyond.
    if (const std::optional<double> degrees = NumericValue(text)) {
        const double bound = static_cast<double>(limit);
        if (*degrees < -bound || *degrees > bound) return std::nullopt;
        return *degrees;
    }
    double value = 0;
    if (!DmsTextToDegree(text, limit, value)) return std::nullopt;
    return value;
}

namespace {

// The marks that may follow a piece of a typed coordinate, and which piece each ends: 0 the
// degrees, 1 the minutes, 2 the seconds. "''" stands before "'", which would take its first half.
constexpr std::array<std::pair<std::string_view, int>, 6> PieceMarks = {{
    {DegreeSign, 0}, {"''", 2}, {"\"", 2}, {"\xE2\x80\xB3", 2}, {"'", 1}, {"\xE2\x80\xB2", 1},
}};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

CoordinateFault ReadCoordinateForm(std::string_view text, std::int32_t limit, double& value) {
    text = TrimBlanks(text);
    constexpr std::string_view Letters = "NSEWnsew";
    char letter = 0;
    if (!text.empty() && Letters.find(text.front()) != std::string_view::npos) {
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text.front())));
        text.remove_prefix(1);
    } else if (!text.empty() && Letters.find(text.back()) != std::string_view::npos) {
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text.back())));
        text.remove_suffix(1);
    }
    double magnitude = 0;
    bool negative = false;
    bool whole = true;  // every piece so far: only the last may have decimals
    int next = 0;
    std::size_t pos = 0;
    for (;;) {
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        if (pos == text.size()) break;
        if (next == 3 || !whole) return CoordinateFault::Unreadable;
        const std::size_t start = pos;
        constexpr std::string_view NumberCharacters = "0123456789.+-eE";
        while (pos < text.size() && NumberCharacters.find(text[pos]) != std::string_view::npos) ++pos;
        const std::string_view number = text.substr(start, pos - start);
        const std::optional<double> read = NumericValue(number);
        if (!read) return CoordinateFault::Unreadable;
        while (pos < text.size() && IsBlank(text[pos])) ++pos;
        for (const auto& [mark, piece] : PieceMarks) {
            if (text.substr(pos).starts_with(mark)) {
                if (piece != next) return CoordinateFault::Unreadable;
                pos += mark.size();
                break;
            }
        }
        if (next == 0) {
            negative = number.front() == '-';
        } else if (std::signbit(*read) || *read >= 60) {
            return CoordinateFault::MinutesOrSeconds;
        }
        whole = std::floor(*read) == *read;
        magnitude += std::fabs(*read) / (next == 0 ? 1 : next == 1 ? 60 : 3600);
        ++next;
    }
    if (next == 0) return CoordinateFault::Unreadable;
    if (letter != 0) {
        if (negative) return CoordinateFault::SignAndHemisphere;
        const bool latitude = limit == LatitudeLimit;
        if ((letter == 'N' || letter == 'S') != latitude) return CoordinateFault::WrongHemisphere;
        negative = letter == 'S' || letter == 'W';
    }
    value = negative ? -magnitude : magnitude;
    return magnitude > static_cast<double>(limit) ? CoordinateFault::Beyond : CoordinateFault::None;
}

}  // namespace

TypedCoordinate ReadTypedCoordinate(std::string_view text, std::int32_t limit) {
    double value = 0;
    const CoordinateFault fault = ReadCoordinateForm(text, limit, value);
    if (fault == CoordinateFault::None) return {value, fault, ""};
    const bool latitude = limit == LatitudeLimit;
    const std::string what = latitude ? "latitude" : "longitude";
    const std::string bound = std::to_string(limit);
    std::string reason = "\"" + std::string(text) + "\" is ";
    switch (fault) {
    case CoordinateFault::Beyond:
        reason += "beyond " + std::string(value < 0 ? "-" : "") + bound + std::string(DegreeSign) + ": a " + what +
                  " lies from -" + bound + " to " + bound;
        break;
    case CoordinateFault::MinutesOrSeconds:
        reason += "not a " + what + ": minutes and seconds lie from 0 to below 60";
        break;
    case CoordinateFault::WrongHemisphere:
        reason += "not a " + what + (latitude ? ": E and W mark a longitude" : ": N and S mark a latitude");
        break;
    case CoordinateFault::SignAndHemisphere:
        reason += "not a " + what + ": write a minus sign or " + (latitude ? "N or S" : "E or W") + ", not both";
        break;
    default: {
        const std::string example = latitude ? "35" : "139";
        reason += "not a " + what + ": write degrees (" + example + ".6) or degrees, minutes and seconds (" + example +
                  std::string(DegreeSign) + "36'00\")";
    }
    }
    return {std::nullopt, fault, std::move(reason)};
}

void ControlPointSet::Remember() { history_.push_back(state_); }

void ControlPointSet::Add(const ControlPoint& point) {
    Remember();
    state_.points.push_back(point);
}

void ControlPointSet::Move(std::size_t index, double column, double row) {
    if (index >= state_.points.size()) return;
    Remember();
    state_.points[index].column = column;
    state_.points[index].row = row;
}

void ControlPointSet::SetMap(std::size_t index, double mapX, double mapY) {
    if (index >= state_.points.size()) return;
    Remember();
    state_.points[index].mapX = mapX;
    state_.points[index].mapY = mapY;
}

void ControlPointSet::SetEnabled(std::size_t index, bool enabled) {
    if (index >= state_.points.size()) return;
    Remember();
    state_.points[index].enabled = enabled;
}

void ControlPointSet::Remove(std::size_t index) {
    if (index >= state_.points.size()) return;
    Remember();
    state_.points.erase(state_.points.begin() + static_cast<std::ptrdiff_t>(index));
}

void ControlPointSet::SetSystem(std::string system) {
    Remember();
    state_.crsWkt = std::move(system);
}

void ControlPointSet::Replace(PointsFile file) {
    Remember();
    state_ = std::move(file);
}

bool ControlPointSet::Undo() {
    if (history_.empty()) return false;
    state_ = std::move(history_.back());
    history_.pop_back();
    return true;
}

std::string PointsFileProblem(const PointsFileReading& reading) {
    std::string what;
    switch (reading.error) {
    case PointsFileError::None: return "";
    case PointsFileError::NoHeader: what = "no header line naming the columns"; break;
    case PointsFileError::MissingColumn: what = "the header lacks mapX, mapY, sourceX, sourceY or enable"; break;
    case PointsFileError::BadNumber: what = "a number that cannot be read"; break;
    case PointsFileError::BadEnable: what = "enable is neither 0 nor 1"; break;
    case PointsFileError::CrsNotWkt: what = "the #CRS line holds no WKT"; break;
    case PointsFileError::TooManyPoints: what = "more than the " + std::to_string(MostPoints) + " points a set holds"; break;
    case PointsFileError::TooLarge:
        return "it holds " + (reading.size ? std::to_string(*reading.size) + " bytes, " : std::string()) +
               "more than the " + std::to_string(MostPointsFileBytes) + " bytes (16 MiB) a .points file may hold";
    case PointsFileError::ReadFailed: return ErrorDescription(reading.reason);
    }
    return "line " + std::to_string(reading.line) + ": " + what;
}

}  // namespace kartivo
