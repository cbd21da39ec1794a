// What the programs' side of the import knows without GDAL: the names of the resampling methods,
// the notes on a written import, and the answers of an import that is not there.

#include "geoimport/Importer.h"

#include "common/PathParts.h"

#include <algorithm>

namespace kartivo::geoimport {

std::optional<Resampling> ResamplingFromName(std::string_view name) {
    if (name == "near") return Resampling::Nearest;
    if (name == "bilinear") return Resampling::Bilinear;
    if (name == "cubic") return Resampling::Cubic;
    return std::nullopt;
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
