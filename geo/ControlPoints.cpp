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

// A WKT starts with its keyword and a bracket: PROJCRS[, GEOGCS[, COMPD_CS(.
bool LooksLikeWkt(std::string_view text) {
    std::size_t letters = 0;
    while (letters < text.size() && (std::isalpha(static_cast<unsigned char>(text[letters])) != 0 ||
                                     (letters > 0 && (text[letters] == '_' || std::isdigit(static_cast<unsigned char>(text[letters])) != 0)))) {
        ++letters;
    }
    text.remove_prefix(letters);
    text = TrimBlanks(text);
    return letters > 0 && !text.empty() && (text.front() == '[' || text.front() == '(');
}

}  // namespace

std::size_t EnabledCount(const std::vector<ControlPoint>& points) {
    return static_cast<std::size_t>(std::count_if(points.begin(), points.end(), [](const ControlPoint& p) { return p.enabled; }));
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

std::string WritePointsText(const PointsFile& file, const std::vector<PointResidual>& residuals) {
    std::string text;
    if (!file.crsWkt.empty()) {
        text.append(CrsPrefix).append(" ").append(file.crsWkt).append("\n");
    }
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
    const char* what = "";
    switch (reading.error) {
    case PointsFileError::None: return "";
    case PointsFileError::NoHeader: what = "no header line naming the columns"; break;
    case PointsFileError::MissingColumn: what = "the header lacks mapX, mapY, sourceX, sourceY or enable"; break;
    case PointsFileError::BadNumber: what = "a number that cannot be read"; break;
    case PointsFileError::BadEnable: what = "enable is neither 0 nor 1"; break;
    case PointsFileError::CrsNotWkt: what = "the #CRS line holds no WKT"; break;
    }
    return "line " + std::to_string(reading.line) + ": " + what;
}

}  // namespace kartivo
