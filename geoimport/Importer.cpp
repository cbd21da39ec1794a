// What the programs' side of the import knows without GDAL: the names of the resampling methods,
// the notes on a written import, and the answers of an import that is not there.

#include "geoimport/Importer.h"

#include "common/NumberText.h"
#include "common/PathParts.h"

#include <algorithm>
#include <charconv>

namespace kartivo::geoimport {

std::optional<Resampling> ResamplingFromName(std::string_view name) {
    if (name == "near") return Resampling::Nearest;
    if (name == "bilinear") return Resampling::Bilinear;
    if (name == "cubic") return Resampling::Cubic;
    return std::nullopt;
}

std::optional<ValueScaling> ValueScalingFromText(std::string_view text) {
    if (text == "full") return ValueScaling{.rule = ScaleRule::Full};
    if (text == "stretch") return ValueScaling{.rule = ScaleRule::Stretch};
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return std::nullopt;
    double bounds[2] = {0, 0};
    const std::string_view parts[2] = {text.substr(0, comma), text.substr(comma + 1)};
    for (int i = 0; i < 2; ++i) {
        const char* end = parts[i].data() + parts[i].size();
        const auto [stop, ec] = std::from_chars(parts[i].data(), end, bounds[i]);
        if (ec != std::errc() || stop != end || parts[i].empty()) return std::nullopt;
    }
    if (!(bounds[0] >= 0 && bounds[0] < bounds[1] && bounds[1] <= 65535)) return std::nullopt;
    return ValueScaling{.rule = ScaleRule::Range, .low = bounds[0], .high = bounds[1]};
}

std::string ScaleRuleName(ScaleRule rule) {
    switch (rule) {
    case ScaleRule::Full: return "full";
    case ScaleRule::Stretch: return "stretch";
    case ScaleRule::Range: return "range";
    case ScaleRule::Auto: break;
    }
    return "auto";
}

std::string ScaleText(const ImportPlan& plan) {
    if (plan.scaleBounds.empty()) return "";
    static constexpr const char* Colours[] = {"red", "green", "blue"};
    std::string text = plan.scaleRule == ScaleRule::Stretch ? "stretch (2nd to 98th percentile):" : ScaleRuleName(plan.scaleRule) + ":";
    for (std::size_t i = 0; i < plan.scaleBounds.size(); ++i) {
        const ScaleBounds& b = plan.scaleBounds[i];
        text += std::string(i == 0 ? " " : ", ") + (plan.scaleBounds.size() == 3 ? Colours[i] : "grey") + " " +
                GeneralNumberText(b.low) + ".." + GeneralNumberText(b.high);
    }
    return text + " to 0..255";
}

std::string ImportNotes(const std::vector<ImportPlan>& parts, const std::vector<std::string>& outputPaths) {
    std::string notes;
    if (std::any_of(parts.begin(), parts.end(), [](const ImportPlan& p) { return p.cutAtMercatorLimit; })) {
        notes = "the picture reaches beyond 85.0511 degrees of latitude, where Web Mercator ends; it is cut off there";
    }
    if (parts.size() > 1) {
        notes += std::string(notes.empty() ? "" : "; ") +
                 "the picture crosses the 180th meridian, which a map's corners cannot; it was split into " +
                 GetFileName(outputPaths.at(0)) + " west of it and " + GetFileName(outputPaths.at(1)) + " east of it";
    }
    if (!parts.empty() && !parts[0].leftOut.empty()) {
        std::string bands;
        for (const std::string& band : parts[0].leftOut) bands += (bands.empty() ? "" : ", ") + band;
        notes += std::string(notes.empty() ? "" : "; ") + bands + (parts[0].leftOut.size() == 1 ? " is none of the picture's colours and was"
                                                               : " are none of the picture's colours and were") +
                 " left out";
    }
    return notes;
}

ImportPreparation UnavailableImporter::Prepare(const std::string&, const ImportOptions&) const {
    return {nullptr, {ImportError::OpenFailed, reason_}, {}};
}

ImportPreparation UnavailableImporter::PrepareTiles(const TileRequest&) const {
    return {nullptr, {ImportError::OpenFailed, reason_}, {}};
}

PointsFit UnavailableImporter::FitPoints(const std::vector<ControlPoint>&, const std::string&, kartivo::PointTransform,
                                         std::optional<PictureSize>) const {
    return {.status = {ImportError::OpenFailed, reason_}};
}

PointsSystem UnavailableImporter::DescribeSystem(const std::string&, SystemInput) const {
    return {.name = "WGS 84", .status = {ImportError::OpenFailed, reason_}};
}

TransformedPoints UnavailableImporter::TransformPoints(const std::vector<ControlPoint>&, const std::string&,
                                                       const std::string&) const {
    return {.status = {ImportError::OpenFailed, reason_}};
}

}  // namespace kartivo::geoimport
