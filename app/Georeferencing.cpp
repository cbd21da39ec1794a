#include "app/Georeferencing.h"

#include "app/PictureView.h"
#include "common/ReplacementFile.h"
#include "common/NumberText.h"
#include "common/PathParts.h"
#include "geo/CoordinateText.h"

#include "geoimport/Importer.h"

#include <cmath>

namespace kartivo {

namespace {

constexpr const char* Title = GeoreferenceText;

constexpr const char* SystemPrompt =
    "The coordinate system of the points' map coordinates: an EPSG code (EPSG:4326 for latitude and longitude in "
    "WGS 84, EPSG:32654 for UTM zone 54 north), a PROJ string or a WKT:";

geoimport::PointsSystem DescribeSystem(const std::string& text, geoimport::SystemInput input) {
    return geoimport::TheImporter().DescribeSystem(text, input);
}

// GDAL names units in the singular: "metre", "US survey foot", "Clarke's link".
std::string Plural(std::string unit) {
    if (unit.ends_with("foot")) return unit.replace(unit.size() - 4, 4, "feet");
    return unit.ends_with('s') ? unit : unit + "s";
}

std::string PointCount(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " point" : " points");
}

}  // namespace

Georeferencing::Georeferencing(PictureView& view, UserInterface& ui, ImportByPoints importByPoints,
                               FileSystem& fileSystem)
    : view_(view), ui_(ui), importByPoints_(std::move(importByPoints)), fileSystem_(fileSystem) {}

std::string Georeferencing::ChoosePicture() {
    constexpr const char* patterns = "*.png;*.jpg;*.jpeg;*.tif;*.tiff;*.gif;*.bmp";
    // Scans of one map sheet series tend to lie together: start where the last one was.
    const std::string& last = picture_.empty() ? view_.ShownPath() : picture_;
    return ui_.ShowOpenDialog({.filter = {{std::string("Pictures(") + patterns + ")", patterns}, {"All(*.*)", "*.*"}},
                               .initialFolder = last.empty() ? "" : GetParentFolderName(last),
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
    // Nothing of the last scan's fit may show behind the question below.
    Refit();
    // As the view opened them; a scan it cannot show is at least itself.
    scanFiles_ = view_.ShownFiles();
    if (const auto identity = IdentityOfPath(picturePath); scanFiles_.empty() && identity) scanFiles_.push_back(*identity);
    // Points kept from an earlier visit, or written by another georeferencer, are offered.
    const std::string pointsPath = PointsPathFor(picturePath);
    OpenAttempt opened = fileSystem_.Open(pointsPath, OpenMode::OpenInput);
    std::optional<PointsFile> kept;
    if (opened.file && ui_.AskYesNo("Use the points saved in " + pointsPath + "?", Title)) {
        kept = ReadKeptPoints(pointsPath, *opened.file);
    }
    // Points declined, or not usable, are not overwritten by every edit, only by a Georeference.
    keepBeside_ = !opened.file || kept;
    if (kept && kept->transform) transform_ = *kept->transform;
    if (kept) points_.Replace(std::move(*kept));
    described_.reset();
    FollowSystem();
    Refit();
}

// The module is asked only when the set's system changed.
void Georeferencing::FollowSystem() {
    if (described_ == points_.System()) return;
    system_ = DescribeSystem(points_.System(), geoimport::SystemInput::Wkt);
    described_ = points_.System();
}

std::optional<PointsFile> Georeferencing::ReadKeptPoints(const std::string& pointsPath, OpenFile& file) {
    PointsFileReading read = ReadPointsFrom(file);
    if (read.error != PointsFileError::None) {
        ui_.ShowMessage("Cannot read " + pointsPath + ": " + PointsFileProblem(read) + ".", Title, MessageIcon::Exclamation);
        return std::nullopt;
    }
    std::optional<geoimport::PointsSystem> system;
    if (read.file.crsWkt.empty()) {
        // Other georeferencers may leave the system out: the person knows which it was.
        system = AskSystem("The points in " + pointsPath + " name no coordinate system. " + SystemPrompt, "EPSG:4326");
    } else if (geoimport::PointsSystem named = DescribeSystem(read.file.crsWkt, geoimport::SystemInput::Wkt);
               named.status.message.empty()) {
        system = std::move(named);
    } else {
        ui_.ShowMessage("Cannot use " + pointsPath + ": " + named.status.message + ".", Title, MessageIcon::Exclamation);
    }
    if (!system) return std::nullopt;
    return PointsFile{system->wkt, std::move(read.file.points), read.file.transform};
}

bool Georeferencing::Active() const { return !picture_.empty() && view_.ShownPath() == picture_; }

std::optional<std::pair<double, double>> Georeferencing::AskMapPosition(std::size_t number, const ControlPoint* now) {
    std::string which = "point " + std::to_string(number);
    if (system_.name != "WGS 84") which += " in " + system_.name;
    // A refused text is offered again to be mended, so the place clicked is kept until the person
    // cancels; read gives the value, or why there is none.
    const auto ask = [&](const std::string& prompt, const std::string& current,
                         const auto& read) -> std::optional<double> {
        std::string filled = now != nullptr ? current : "";
        for (;;) {
            const auto typed = ui_.AskText(prompt, Title, filled);
            if (!typed) return std::nullopt;
            const auto [value, reason] = read(*typed);
            if (value) return value;
            ui_.ShowMessage(reason + ".", Title, MessageIcon::Exclamation);
            filled = *typed;
        }
    };
    if (!system_.geographic) {
        const auto length = [this](const std::string& text) {
            return std::pair{NumericValue(text), "\"" + text + "\" is not a number of " + Plural(system_.unit)};
        };
        const auto suffix = ", in " + Plural(system_.unit) + ":";
        const auto easting = ask("The easting of " + which + suffix, now ? GeneralNumberText(now->mapX) : "", length);
        if (!easting) return std::nullopt;
        const auto northing = ask("The northing of " + which + suffix, now ? GeneralNumberText(now->mapY) : "", length);
        if (!northing) return std::nullopt;
        return std::pair{*easting, *northing};
    }
    const auto angle = [&](const char* what, std::int32_t limit, double current) {
        const double example = limit == LatitudeLimit ? 35.6 : 139.6;
        return ask(std::string("The ") + what + " of " + which + ", in degrees (" + DegreeText(example) +
                       ") or as DMS (" + DegreeToDmsText(example) + "):",
                   DegreeText(current), [limit](const std::string& text) {
                       TypedCoordinate read = ReadTypedCoordinate(text, limit);
                       return std::pair{read.value, std::move(read.reason)};
                   });
    };
    const auto latitude = angle("latitude", LatitudeLimit, now != nullptr ? now->mapY : 0);
    if (!latitude) return std::nullopt;
    const auto longitude = angle("longitude", LongitudeLimit, now != nullptr ? now->mapX : 0);
    if (!longitude) return std::nullopt;
    return std::pair{*longitude, *latitude};
}

std::optional<geoimport::PointsSystem> Georeferencing::AskSystem(const std::string& prompt, const std::string& initial) {
    const auto typed = ui_.AskText(prompt, Title, initial);
    if (!typed) return std::nullopt;
    geoimport::PointsSystem system = DescribeSystem(std::string(TrimSpaces(*typed)), geoimport::SystemInput::Typed);
    if (!system.status.message.empty()) {
        ui_.ShowMessage("Cannot use \"" + *typed + "\": " + system.status.message + ".", Title, MessageIcon::Exclamation);
        return std::nullopt;
    }
    return system;
}

bool Georeferencing::ChooseSystem() {
    std::optional<geoimport::PointsSystem> system = AskSystem(SystemPrompt, system_.text);
    if (!system || system->wkt == system_.wkt) return false;
    // Points typed in the wrong system are set right by reading their numbers in the new one;
    // points typed right keep their places only when converted, which is what most mean.
    constexpr std::size_t Convert = 0;
    constexpr std::size_t KeepNumbers = 1;
    const std::optional<std::size_t> choice =
        Points().empty() ? KeepNumbers
                         : ui_.AskChoice("The points' map coordinates are in " + system_.name + ". Convert them to " +
                                             system->name + ", so that each point keeps its place on the Earth? " +
                                             "Or keep the numbers as they are, read from now on in " + system->name +
                                             ", as for points that were typed in it?",
                                         Title, {"Convert", "Keep numbers"});
    if (!choice) return false;
    if (*choice == Convert) {
        geoimport::TransformedPoints converted =
            geoimport::TheImporter().TransformPoints(Points(), system_.wkt, system->wkt);
        if (!converted.status.message.empty()) {
            ui_.ShowMessage("The points stay as they were: " + converted.status.message + ".", Title,
                            MessageIcon::Exclamation);
            return false;
        }
        points_.Replace({system->wkt, std::move(converted.points)});
    } else {
        points_.SetSystem(system->wkt);
    }
    described_ = system->wkt;
    system_ = std::move(*system);
    Edited();
    return true;
}

std::string Georeferencing::SystemSummary() const {
    if (system_.geographic) return system_.name + ": latitude, longitude";
    return system_.name + ": easting, northing in " + Plural(system_.unit);
}

void Georeferencing::AddAt(double column, double row) {
    const auto place = AskMapPosition(Points().size() + 1, nullptr);
    if (!place) return;
    points_.Add({column, row, place->first, place->second, true});
    Edited();
}

void Georeferencing::Edit(std::size_t index) {
    if (index >= Points().size()) return;
    const auto place = AskMapPosition(index + 1, &Points()[index]);
    if (!place) return;
    points_.SetMap(index, place->first, place->second);
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
    if (undone) {
        FollowSystem();
        Edited();
    }
    return undone;
}

// The choice is kept beside the points, so it comes back with them.
void Georeferencing::SetTransform(PointTransform transform) {
    transform_ = transform;
    Refit();
    if (!Points().empty()) KeepBeside();
}

// Every edit is kept beside the picture at once, so closing the window or a crash loses none;
// a folder that takes no file is said once per picture, not at every click.
void Georeferencing::Edited() {
    Refit();
    KeepBeside();
}

void Georeferencing::KeepBeside() {
    if (keepBeside_ && !Save(!saveFailed_)) saveFailed_ = true;
}

void Georeferencing::Refit() {
    std::optional<PictureSize> picture;
    if (Active() && view_.ShownWidth() > 0 && view_.PictureHeight() > 0) {
        picture = PictureSize{static_cast<std::int64_t>(view_.ShownWidth()), static_cast<std::int64_t>(view_.PictureHeight())};
    }
    const geoimport::PointsFit fitted = geoimport::TheImporter().FitPoints(Points(), system_.wkt, transform_, picture);
    fit_ = {fitted.residuals, fitted.rmsPixels,
            fitted.status.error == geoimport::ImportError::None ? "" : fitted.status.message, fitted.outside.text,
            fitted.mapper};
    fit_.residuals.resize(Points().size());
    if (onChanged) onChanged();
}

std::optional<std::size_t> Georeferencing::Worst() const {
    if (!fit_.problem.empty()) return std::nullopt;
    // Below what the table shows as 0.01 px every point is met; none is worse than another.
    constexpr double Unseen = 0.005;
    std::optional<std::size_t> worst;
    for (std::size_t i = 0; i < Points().size(); ++i) {
        if (Points()[i].enabled && fit_.residuals[i].pixels >= Unseen &&
            (!worst || fit_.residuals[i].pixels > fit_.residuals[*worst].pixels)) {
            worst = i;
        }
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
        // Six decimals of a degree, or two of a metre, are about a centimetre: the table stays
        // narrow beside the picture.
        const auto angle = [](double value) { return (value < 0 ? "" : "+") + FixedText(value, 6); };
        rows.push_back({std::to_string(i + 1), FixedText(p.column, 1), FixedText(p.row, 1),
                        system_.geographic ? angle(p.mapY) : FixedText(p.mapX, 2),
                        system_.geographic ? angle(p.mapX) : FixedText(p.mapY, 2), p.enabled ? "yes" : "no",
                        fitted ? FixedText(r.pixels, 2) + " (" + FixedText(r.metres, 1) + " m)" : ""});
    }
    return rows;
}

std::array<std::string, 7> Georeferencing::ColumnTitles() const {
    const bool angles = system_.geographic;
    return {"No.", "Column", "Row", angles ? "Latitude" : "Easting", angles ? "Longitude" : "Northing", "Enabled",
            "Residual"};
}

std::string Georeferencing::PositionText(double column, double row) const {
    std::string text = "Column " + FixedText(column, 1) + ", row " + FixedText(row, 1);
    if (!fit_.problem.empty() || !fit_.mapper) return text;
    if (const auto place = fit_.mapper->LatitudeLongitudeAt(column, row)) {
        text += "    " + DegreeText(place->first) + " " + DegreeText(place->second);
    }
    return text;
}

std::string Georeferencing::Summary() const {
    const std::size_t enabled = EnabledCount(Points());
    if (!fit_.problem.empty()) return "Cannot georeference with " + PointCount(enabled) + ": " + fit_.problem + ".";
    const std::string fitted = "RMS " + FixedText(fit_.rms, 2) + " px over " + PointCount(enabled);
    return fit_.outside.empty() ? fitted : fitted + "; " + fit_.outside + ".";
}

bool Georeferencing::Save(bool tell) {
    const std::string path = PointsPathFor(picture_);
    // The points must never take the place of the scan or a file beside it that GDAL reads.
    ReplacementFile out(path, scanFiles_, fileSystem_);
    const std::string text = WritePointsText({system_.wkt, Points(), transform_}, fit_.residuals);
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
    return importByPoints_(picture_, Points(), transform_, system_.wkt);
}

}  // namespace kartivo
