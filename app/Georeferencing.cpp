#include "app/Georeferencing.h"

#include "app/Form1.h"
#include "app/PictureView.h"
#include "common/ReplacementFile.h"
#include "geo/CoordinateText.h"

#ifdef KARTIVO_IMPORT
#include "geoimport/GeoImport.h"
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kartivo {

namespace {

constexpr const char* Title = GeoreferenceText;

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string PointCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " point" : " points");
}

}  // namespace

Georeferencing::Georeferencing(Form1& form, PictureView& view, UserInterface& ui, FileSystem& fileSystem)
    : form_(form), view_(view), ui_(ui), fileSystem_(fileSystem) {}

std::string Georeferencing::ChoosePicture() {
    constexpr const char* patterns = "*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.gif;*.bmp";
    return ui_.ShowOpenDialog({.filter = {{std::string("Pictures(") + patterns + ")", patterns}, {"All(*.*)", "*.*"}},
                               .title = GeoreferenceMenuText});
}

bool Georeferencing::OfferFor(const std::string& picturePath) {
    return ui_.AskYesNo(picturePath + " carries no georeference. Place control points on it and georeference it?",
                        Title);
}

void Georeferencing::Start(const std::string& picturePath) {
    picture_ = picturePath;
    points_ = {};
    saveFailed_ = false;
    view_.ShowPicture(picturePath);
    // Points kept from an earlier visit, or written by another georeferencer, are offered.
    const std::string pointsPath = PointsPathFor(picturePath);
    OpenAttempt opened = fileSystem_.Open(pointsPath, OpenMode::OpenInput);
    // Points declined are not overwritten by every edit, only by a Georeference.
    keepBeside_ = !opened.file;
    if (opened.file && ui_.AskYesNo("Use the points saved in " + pointsPath + "?", Title)) {
        keepBeside_ = true;
        std::string text;
        const bool whole = ReadToEnd(*opened.file, text);
        const PointsFileReading read = ReadPointsText(text);
        if (!whole || read.error != PointsFileError::None) {
            const std::string why = whole ? PointsFileProblem(read) : ErrorDescription(opened.file->LastError());
            ui_.ShowMessage("Cannot read " + pointsPath + ": " + why + ".", Title, MessageIcon::Exclamation);
        } else if (!read.file.crsWkt.empty() && read.file.crsWkt.find("WGS 84") == std::string::npos) {
            ui_.ShowMessage("Cannot use " + pointsPath + ": its points are not in latitude and longitude (WGS 84).",
                            Title, MessageIcon::Exclamation);
        } else {
            points_.Replace(read.file.points);
        }
    }
    Refit();
}

bool Georeferencing::Active() const { return !picture_.empty() && view_.ShownPath() == picture_; }

std::optional<std::pair<double, double>> Georeferencing::AskLatitudeLongitude(std::size_t number,
                                                                                const ControlPoint* now) {
    const std::string which = "point " + std::to_string(number);
    const auto ask = [&](const char* what, std::int32_t limit, double current) -> std::optional<double> {
        const std::string prompt = std::string("The ") + what + " of " + which + ", in degrees (" +
                                   DegreeText(limit == 90 ? 35.6 : 139.6) + ") or as DMS (" +
                                   DegreeToDmsText(limit == 90 ? 35.6 : 139.6) + "):";
        const auto typed = ui_.AskText(prompt, Title, now != nullptr ? DegreeText(current) : "");
        if (!typed) return std::nullopt;
        const auto value = ReadPointCoordinate(*typed, limit);
        if (!value) {
            ui_.ShowMessage("\"" + *typed + "\" is not a " + what + " from " + std::to_string(-limit) + " to " +
                                std::to_string(limit) + ".",
                            Title, MessageIcon::Exclamation);
        }
        return value;
    };
    const auto latitude = ask("latitude", 90, now != nullptr ? now->mapY : 0);
    if (!latitude) return std::nullopt;
    const auto longitude = ask("longitude", 180, now != nullptr ? now->mapX : 0);
    if (!longitude) return std::nullopt;
    return std::pair{*latitude, *longitude};
}

void Georeferencing::AddAt(double column, double row) {
    const auto place = AskLatitudeLongitude(Points().size() + 1, nullptr);
    if (!place) return;
    points_.Add({column, row, place->second, place->first, true});
    Edited();
}

void Georeferencing::Edit(std::size_t index) {
    if (index >= Points().size()) return;
    const auto place = AskLatitudeLongitude(index + 1, &Points()[index]);
    if (!place) return;
    points_.SetMap(index, place->second, place->first);
    Edited();
}

void Georeferencing::MoveTo(std::size_t index, double column, double row) {
    points_.Move(index, column, row);
    Edited();
}

void Georeferencing::SetEnabled(std::size_t index, bool enabled) {
    points_.SetEnabled(index, enabled);
    Edited();
}

void Georeferencing::Remove(std::size_t index) {
    points_.Remove(index);
    Edited();
}

bool Georeferencing::Undo() {
    const bool undone = points_.Undo();
    if (undone) Edited();
    return undone;
}

void Georeferencing::SetTransform(PointTransform transform) {
    transform_ = transform;
    Refit();
}

// Every edit is kept beside the picture at once, so closing the window or a crash loses none;
// a folder that takes no file is said once per picture, not at every click.
void Georeferencing::Edited() {
    Refit();
    if (keepBeside_ && !Save(!saveFailed_)) saveFailed_ = true;
}

void Georeferencing::Refit() {
#ifdef KARTIVO_IMPORT
    const geoimport::PointsFit fitted = geoimport::FitControlPoints(Points(), "", transform_);
    fit_ = {fitted.residuals, fitted.rmsPixels,
            fitted.status.error == geoimport::ImportError::None ? "" : fitted.status.message};
#else
    fit_ = {{}, 0, "this Kartivo is built without the import"};
#endif
    fit_.residuals.resize(Points().size());
    if (onChanged) onChanged();
}

std::optional<std::size_t> Georeferencing::Worst() const {
    if (!fit_.problem.empty()) return std::nullopt;
    std::optional<std::size_t> worst;
    for (std::size_t i = 0; i < Points().size(); ++i) {
        if (Points()[i].enabled && (!worst || fit_.residuals[i].pixels > fit_.residuals[*worst].pixels)) worst = i;
    }
    return worst;
}

std::optional<std::size_t> Georeferencing::PointNear(double column, double row, double radius) const {
    std::optional<std::size_t> nearest;
    double best = radius;
    for (std::size_t i = 0; i < Points().size(); ++i) {
        const double distance = std::hypot(Points()[i].column - column, Points()[i].row - row);
        if (distance <= best) {
            best = distance;
            nearest = i;
        }
    }
    return nearest;
}

std::vector<std::array<std::string, 7>> Georeferencing::Rows() const {
    std::vector<std::array<std::string, 7>> rows;
    for (std::size_t i = 0; i < Points().size(); ++i) {
        const ControlPoint& p = Points()[i];
        const PointResidual& r = fit_.residuals[i];
        const bool fitted = fit_.problem.empty() && p.enabled;
        // Six decimals of a degree are a tenth of a metre: the table stays narrow beside the picture.
        rows.push_back({std::to_string(i + 1), Fixed(p.column, 1), Fixed(p.row, 1), (p.mapY < 0 ? "" : "+") + Fixed(p.mapY, 6),
                        (p.mapX < 0 ? "" : "+") + Fixed(p.mapX, 6), p.enabled ? "yes" : "no",
                        fitted ? Fixed(r.pixels, 2) + " (" + Fixed(r.metres, 1) + " m)" : ""});
    }
    return rows;
}

std::string Georeferencing::Summary() const {
    const auto enabled = static_cast<std::size_t>(
        std::count_if(Points().begin(), Points().end(), [](const ControlPoint& p) { return p.enabled; }));
    if (!fit_.problem.empty()) return "Cannot georeference with " + PointCount(enabled) + ": " + fit_.problem + ".";
    return "RMS " + Fixed(fit_.rms, 2) + " px over " + PointCount(enabled);
}

bool Georeferencing::Save(bool tell) {
    const std::string path = PointsPathFor(picture_);
    ReplacementFile out(path, {}, fileSystem_);
    const std::string text = WritePointsText({{}, Points()}, fit_.residuals);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::string failure;
    if (!out.IsOpen()) {
        failure = out.Error();
    } else if (!out.File().Write({bytes, text.size()})) {
        failure = out.WriteError();
    } else if (!out.Commit()) {
        failure = out.Error();
    }
    if (!failure.empty() && tell) ui_.ShowMessage(failure + ".", Title, MessageIcon::Exclamation);
    return failure.empty();
}

bool Georeferencing::Georeference() {
    if (!CanGeoreference() || !Save()) return false;
    return form_.ImportPicture(picture_, Points(), transform_);
}

}  // namespace kartivo
