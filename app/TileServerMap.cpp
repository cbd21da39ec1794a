#include "app/TileServerMap.h"

#include "app/Form1.h"
#include "bitmap/OutputLayout.h"
#include "common/File.h"
#include "common/NumberText.h"
#include "geo/ControlPoints.h"
#include "geo/CoordinateText.h"

#include "geoimport/Importer.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <filesystem>
#include <limits>

namespace kartivo {

namespace {

constexpr const char* Title = "Map from Tile Server";
constexpr const char* RecentName = "tileSources";
constexpr std::size_t RecentKept = 10;
constexpr std::int32_t DefaultZoom = 12;
// The look at the source is this many pixels across at least, from this many tiles at most: a
// few seconds from a server at its polite rate, and enough to draw a rectangle on.
constexpr std::int64_t LookSide = 512;
constexpr std::int64_t LookTiles = 64;
// Counting the cached tiles looks at each tile's file; beyond this many the count would hold up
// every key typed, and the area is far beyond what one fetch may take anyway.
constexpr std::int64_t MostCounted = 50000;
constexpr std::uint64_t LargestBitmapFile = std::numeric_limits<std::int32_t>::max();
constexpr std::array<const char*, 4> EdgeNames{"Bottom", "Left", "Top", "Right"};

std::string Capitalized(std::string text) {
    if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// The box with half its size again on every side, so that a rectangle drawn over the look can
// grow; the whole world for no box, or one across 180 degrees, which no look in one part shows.
MapCorners LookArea(const std::optional<MapCorners>& box) {
    if (!box || box->left >= box->right) return {-90, -180, 90, 180};
    const double across = box->right - box->left;
    const double high = box->top - box->bottom;
    return {std::max(box->bottom - high / 2, -90.0), std::max(box->left - across / 2, -180.0),
            std::min(box->top + high / 2, 90.0), std::min(box->right + across / 2, 180.0)};
}

// The lowest zoom, up to the one asked for, at which the area is LookSide pixels across, as long
// as it takes at most LookTiles tiles.
std::int32_t LookZoom(const MapCorners& area, std::int32_t most) {
    std::int32_t chosen = 0;
    for (std::int32_t zoom = 0; zoom <= most; ++zoom) {
        const TileCut cut = CutTileArea(zoom, area);
        if (cut.error != TileCutError::None || cut.TileCount() > LookTiles) break;
        chosen = zoom;
        if (std::max(cut.parts.front().width, cut.parts.front().height) >= LookSide) break;
    }
    return chosen;
}

}  // namespace

TileServerMap::TileServerMap(Form1& form, const PictureView& view, std::function<void(const std::string&)> showOverview)
    : form_(form), view_(view), showOverview_(std::move(showOverview)) {
    request_.zoom = DefaultZoom;
    Judge();
}

TileServerMap::~TileServerMap() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

void TileServerMap::Open() {
    recent_ = form_.Interface().ReadKept(RecentName);
    if (recent_.size() > RecentKept) recent_.resize(RecentKept);
    if (request_.source.empty() && !recent_.empty()) request_.source = recent_.front();
    Judge();
}

void TileServerMap::SetSource(const std::string& text) {
    if (text == request_.source) return;
    request_.source = text;
    Judge();
}

void TileServerMap::SetZoom(std::int32_t zoom) {
    if (zoom == request_.zoom) return;
    request_.zoom = zoom;
    Judge();
}

void TileServerMap::SetCorner(BoxEdge edge, const std::string& text) {
    std::string& corner = corners_[static_cast<std::size_t>(edge)];
    if (text == corner) return;
    corner = text;
    Judge();
}

void TileServerMap::SetAttribution(const std::string& text) {
    if (text == request_.attribution) return;
    request_.attribution = text;
    Judge();
}

void TileServerMap::Changed() {
    if (onChanged) onChanged();
}

void TileServerMap::Judge() {
    canShow_ = canFetch_ = false;
    box_.reset();
    summary_ = JudgedText();
    Changed();
}

// In the words info --tiles and the import use, so the window and the batch tool agree.
std::string TileServerMap::JudgedText() {
    if (const TileRequestError problem = CheckTileRequest(request_); problem != TileRequestError::None) {
        return Capitalized(TileRequestProblem(problem)) + ".";
    }
    canShow_ = true;
    std::array<double, 4> values{};
    for (std::size_t i = 0; i < corners_.size(); ++i) {
        const bool latitude = i % 2 == 0;
        const std::int32_t limit = latitude ? LatitudeLimit : LongitudeLimit;
        if (corners_[i].empty()) return "Type the box's four corners, or drag a rectangle over the source shown.";
        const std::optional<double> value = ReadCoordinateArgument(corners_[i], limit);
        if (!value) {
            return std::string(EdgeNames[i]) + ": \"" + corners_[i] + "\" is not a " +
                   (latitude ? "latitude" : "longitude") + " from -" + std::to_string(limit) + " to " +
                   std::to_string(limit) + " degrees.";
        }
        values[i] = *value;
    }
    const MapCorners box{values[0], values[1], values[2], values[3]};
    if (!(HeldByDegreeBox(box.top) > HeldByDegreeBox(box.bottom)) ||
        HeldByDegreeBox(box.right) == HeldByDegreeBox(box.left)) {
        return "Top must lie above Bottom, and Right differ from Left (west of it: across 180 degrees).";
    }
    const TileCut cut = CutTileArea(request_.zoom, box);
    if (cut.error != TileCutError::None) return Capitalized(TileCutProblem(cut.error)) + ".";
    box_ = box;
    request_.box = box;

    const std::int64_t tiles = cut.TileCount();
    std::string text = std::to_string(tiles) + (tiles == 1 ? " tile" : " tiles");
    std::optional<std::int64_t> cached;
    if (tiles <= MostCounted) cached = geoimport::TheImporter().CachedTiles(request_);
    if (cached) text += ", " + std::to_string(*cached) + " of them cached";
    std::string pixels;
    std::string bytes;
    bool fits = true;
    for (const TileArea& part : cut.parts) {
        const std::uint64_t size = WholeBitmapFileSize(part.width, part.height, 24, 0);
        fits = fits && size <= LargestBitmapFile;
        const std::string joint = pixels.empty() ? "" : " and ";
        pixels += joint + std::to_string(part.width) + " x " + std::to_string(part.height);
        bytes += joint + std::to_string(size);
    }
    text += cut.parts.size() > 1 ? ", in two parts at 180 degrees: " : ": ";
    text += pixels + " pixels, " + bytes + " bytes.";
    if (cut.cutAtGridEdge) text += " Rows beyond 85.0511 degrees, where the tile grid ends, are left out.";
    const std::int64_t uncached = tiles - cached.value_or(0);
    if (!fits) {
        text += " Beyond the " + std::to_string(LargestBitmapFile) + " bytes a bitmap file can hold.";
    } else if (uncached > request_.maxTiles) {
        text += " " + std::to_string(uncached) + " of them not yet cached, more than the " +
                std::to_string(request_.maxTiles) + " one fetch may take.";
    } else {
        canFetch_ = true;
    }
    return text;
}

bool TileServerMap::Show() {
    if (!canShow_) return false;
    UserInterface& ui = form_.Interface();
    TileRequest look = request_;
    look.box = LookArea(box_);
    look.zoom = LookZoom(look.box, request_.zoom);
    geoimport::ImportPreparation prepared = geoimport::TheImporter().PrepareTiles(look);
    if (!prepared.job) {
        ui.ShowMessage("Cannot show " + look.source + ": " + prepared.status.message + ".", Title,
                       MessageIcon::Exclamation);
        return false;
    }
    // A fresh folder for each look: the one shown before is still read through its open handle.
    std::error_code error;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, error);
    folder_.clear();
    // Never the working folder: without a temporary folder there is no look.
    const std::filesystem::path temporary = std::filesystem::temp_directory_path(error);
    std::string folder = (temporary / "kartivo-tiles-XXXXXX").string();
    if (error || mkdtemp(folder.data()) == nullptr) {
        ui.ShowMessage("Cannot make a temporary folder for the look at " + look.source + ": " +
                           (error ? ErrorDescription(error) : ErrorDescription(errno)) + ".",
                       Title, MessageIcon::Stop);
        return false;
    }
    folder_ = folder;
    const std::string path = folder_ + "/" + prepared.job->Parts().front().fileName;
    const std::unique_ptr<ProgressDialog> progress =
        ui.ShowProgress("Fetching " + look.source + " at zoom " + std::to_string(look.zoom) + " to show it", Title);
    ui.SetBusyPointer(true);
    const geoimport::ImportStatus written =
        prepared.job->Write({path}, [&progress](double fraction) { return !progress || progress->Advance(fraction); });
    ui.SetBusyPointer(false);
    if (written.error != geoimport::ImportError::None) {
        if (written.error != geoimport::ImportError::Canceled) {
            ui.ShowMessage(written.message, Title, MessageIcon::Stop);
        }
        return false;
    }
    lookPath_ = path;
    lookZoom_ = look.zoom;
    look_ = CutTileArea(look.zoom, look.box).parts.front();
    Remember();
    showOverview_(path);
    Changed();
    return true;
}

bool TileServerMap::Fetch() {
    if (!canFetch_) return false;
    geoimport::ImportPreparation prepared = geoimport::TheImporter().PrepareTiles(request_);
    if (!prepared.job) {
        form_.Interface().ShowMessage("Cannot fetch " + request_.source + ": " + prepared.status.message + ".", Title,
                                      MessageIcon::Exclamation);
        return false;
    }
    std::int64_t tiles = 0;
    for (const geoimport::ImportPlan& plan : prepared.job->Parts()) tiles += plan.tiles;
    const std::string doing =
        "Fetching " + std::to_string(tiles) + (tiles == 1 ? " tile from " : " tiles from ") + request_.source;
    if (!form_.SaveImport(*prepared.job, Title, doing, request_.source)) return false;
    Remember();
    Changed();
    return true;
}

// Most recent first; a source used again moves to the front.
void TileServerMap::Remember() {
    std::erase(recent_, request_.source);
    recent_.insert(recent_.begin(), request_.source);
    if (recent_.size() > RecentKept) recent_.resize(RecentKept);
    form_.Interface().Keep(RecentName, recent_);
}

bool TileServerMap::Active() const { return !lookPath_.empty() && view_.ShownPath() == lookPath_; }

std::vector<ViewRect> TileServerMap::BoxOnLook() const {
    if (!Active() || !box_) return {};
    const auto x = [this](double lon) { return PixelXAtLongitude(lookZoom_, lon) - double(look_.left); };
    const auto y = [this](double lat) { return PixelYAtLatitude(lookZoom_, lat) - double(look_.top); };
    const ViewRect rect{x(box_->left), y(box_->top), x(box_->right), y(box_->bottom)};
    if (box_->left < box_->right) return {rect};
    // Across 180 degrees: on to the world's right edge, and on from its left edge.
    const double world = double(WorldPixels(lookZoom_));
    return {{rect.left, rect.top, rect.right + world, rect.bottom},
            {rect.left - world, rect.top, rect.right, rect.bottom}};
}

std::string TileServerMap::PositionText(double column, double row) const {
    if (!Active()) return "";
    const double latitude = LatitudeAtPixelY(lookZoom_, double(look_.top) + std::floor(row) + 0.5);
    const double longitude = LongitudeAtPixelX(lookZoom_, double(look_.left) + std::floor(column) + 0.5);
    return DegreeText(latitude) + " " + DegreeText(longitude) + "    " + DegreeToDmsText(latitude) + " " +
           DegreeToDmsText(longitude);
}

void TileServerMap::BoxDrawn(const ViewRect& rect) {
    if (!Active()) return;
    const auto x = [this](double at) { return std::clamp(at, 0.0, double(look_.width)) + double(look_.left); };
    const auto y = [this](double at) { return std::clamp(at, 0.0, double(look_.height)) + double(look_.top); };
    // As many decimals as tell the look's pixels apart: more would claim a precision the drag
    // never had.
    const double perPixel = 360 / double(WorldPixels(lookZoom_));
    const int decimals = std::clamp(static_cast<int>(std::ceil(-std::log10(perPixel))), 0, 10);
    const auto text = [decimals](double degrees) { return FixedTextWithoutMinusZero(degrees, decimals); };
    corners_ = {text(LatitudeAtPixelY(lookZoom_, y(std::max(rect.top, rect.bottom)))),
                text(LongitudeAtPixelX(lookZoom_, x(std::min(rect.left, rect.right)))),
                text(LatitudeAtPixelY(lookZoom_, y(std::min(rect.top, rect.bottom)))),
                text(LongitudeAtPixelX(lookZoom_, x(std::max(rect.left, rect.right))))};
    Judge();
}

}  // namespace kartivo
