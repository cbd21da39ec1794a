#include "app/PictureView.h"

#include "app/Form1.h"
#include "bitmap/PictureLoading.h"
#include "common/NumberText.h"
#include "geo/CoordinateText.h"

#include "geoimport/Importer.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace kartivo {

namespace {

constexpr double MaxScale = 32;
constexpr double ZoomStep = 1.25;
// Without a viewport yet, the overview is read at about this size.
constexpr double OverviewSide = 1024;
// Make's row choice is walked row by row; a height beyond this (a typo of a few digits too
// many) would stall the window on every key, so its band and preview are not placed.
constexpr std::int32_t MostRowsWalked = std::int32_t{1} << 24;
constexpr std::int32_t MostPreviewRows = 8192;
// Read around the part in view, as a share of the window on each side: a wider margin makes
// fewer reads while dragging but each read, and so each zoom's redraw, longer.
constexpr double Margin = 0.25;

// "+35°10'": a DMS text cut after its minutes, as a grid of whole minutes needs.
std::string MinutesLabel(double value) {
    const std::string text = DegreeToDmsText(value);
    return text.substr(0, text.find('\'') + 1);
}

std::string ReadProblemText(PixelReadError error, const OpenFile& file) {
    switch (error) {
    case PixelReadError::None: return "";
    case PixelReadError::NotBitmap: return "it is not a BMP picture";
    case PixelReadError::Unsupported: return "its rows are compressed";
    case PixelReadError::BadHeader: return "its header is damaged";
    case PixelReadError::FileTooShort: return "the file ends before its last row";
    case PixelReadError::ReadFailed: return ErrorDescription(file.LastError());
    case PixelReadError::BadRegion: return "nothing of it lies in view";
    }
    return "";
}

}  // namespace

// A picture opened for showing: its size and reduced reads of it.
struct PictureView::Source {
    virtual ~Source() = default;
    virtual ReducedPictureResult Read(const PictureRect& rect, std::int32_t step) = 0;
    virtual std::string Problem(PixelReadError error) const = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
    bool mercatorRows = false;  // a bitmap the window loads: its corners are the window's
    std::uint32_t blank = 0xff000000u;  // the colour of a row of zero bytes
    std::vector<FileIdentity> files;    // what it is read from
};

namespace {

class BitmapSource final : public PictureView::Source {
public:
    BitmapSource(std::unique_ptr<OpenFile> file, PixelLayout layout) : file_(std::move(file)), layout_(std::move(layout)) {
        width = layout_.width;
        height = layout_.height;
        mercatorRows = true;
        if (!layout_.palette.empty()) blank = layout_.palette.front();
    }
    ReducedPictureResult Read(const PictureRect& rect, std::int32_t step) override {
        return ReadReducedPicture(*file_, layout_, rect, step);
    }
    std::string Problem(PixelReadError error) const override { return ReadProblemText(error, *file_); }

private:
    std::unique_ptr<OpenFile> file_;
    PixelLayout layout_;
};

// Any other picture GDAL reads (a GeoTIFF, a scan) is shown as it is, without the window's
// corners, which belong to the bitmap it loaded last.
class ForeignSource final : public PictureView::Source {
public:
    explicit ForeignSource(std::unique_ptr<geoimport::ForeignPixels> pixels) : pixels_(std::move(pixels)) {
        width = pixels_->Width();
        height = pixels_->Height();
        files = pixels_->Files();
    }
    ReducedPictureResult Read(const PictureRect& rect, std::int32_t step) override { return pixels_->Read(rect, step); }
    std::string Problem(PixelReadError) const override { return "GDAL cannot read it"; }

private:
    std::unique_ptr<geoimport::ForeignPixels> pixels_;
};

}  // namespace

PictureView::PictureView(const Form1& form, FileSystem& fileSystem) : form_(form), fileSystem_(fileSystem) {
    message_ = "No input picture.";
}

PictureView::~PictureView() = default;

void PictureView::Show() {
    shown_ = true;
    MapChanged(false);
}

void PictureView::ShowPicture(const std::string& path) {
    loadedPath_ = path;
    stale_ = true;
    scan_ = true;
    Show();
}

std::string PictureView::Title() const {
    return path_.empty() ? "Kartivo Picture" : "Kartivo Picture - " + std::filesystem::path(path_).filename().string();
}

void PictureView::MapChanged(bool pictureLoaded) {
    if (pictureLoaded) {
        loadedPath_ = form_.txtInFilePathData.Text();
        stale_ = true;
        scan_ = false;
    }
    // The picture is read only once someone looks at it: a load stays as quick as ever.
    if (!shown_) return;
    if (stale_) OpenPicture();
    ReadCorners();
    if (preview_) RebuildPreview();
    if (fitted_) {
        Fit();
    } else {
        Place(scale_, left_, top_);
    }
}

void PictureView::OpenPicture() {
    stale_ = false;
    path_ = loadedPath_;
    source_.reset();
    overview_ = {};
    detail_ = {};
    fitted_ = true;
    if (path_.empty()) {
        message_ = "No input picture.";
        return;
    }
    OpenAttempt opened = fileSystem_.Open(path_, OpenMode::OpenInput);
    if (!opened.file) {
        message_ = "Cannot show " + path_ + ": " + opened.description + ".";
        return;
    }
    const std::optional<FileIdentity> identity = opened.file->Identity();
    PixelLayoutResult layout = ReadPixelLayout(*opened.file);
    std::unique_ptr<Source> source;
    if (layout.error == PixelReadError::None) {
        source = std::make_unique<BitmapSource>(std::move(opened.file), std::move(layout.layout));
    }
    if (layout.error == PixelReadError::NotBitmap) {
        if (auto pixels = geoimport::TheImporter().OpenPixels(path_)) {
            source = std::make_unique<ForeignSource>(std::move(pixels));
        }
    }
    if (!source) {
        message_ = "Cannot show " + path_ + ": " + ReadProblemText(layout.error, *opened.file) + ".";
        return;
    }
    // A bitmap is read through this handle; another picture is opened again by GDAL, which
    // knows its other files.
    if (identity) source->files.push_back(*identity);
    // The window's corners place its own input, never a scan shown instead, even a bitmap one.
    if (scan_) source->mercatorRows = false;
    // One screen pixel per sample at the fitting zoom: the first picture needs no second read.
    const bool sized = viewWidth_ > 0 && viewHeight_ > 0;
    const double across = std::max(source->width / (sized ? viewWidth_ : OverviewSide),
                                   source->height / (sized ? viewHeight_ : OverviewSide));
    const auto step = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::floor(across)));
    ReducedPictureResult overview = source->Read({0, 0, source->width, source->height}, step);
    if (overview.error != PixelReadError::None) {
        message_ = "Cannot show " + path_ + ": " + source->Problem(overview.error) + ".";
        return;
    }
    message_.clear();
    overview_ = std::move(overview.picture);
    source_ = std::move(source);
}

std::vector<FileIdentity> PictureView::ShownFiles() const {
    return source_ ? source_->files : std::vector<FileIdentity>{};
}

void PictureView::ReadCorners() {
    mercator_.reset();
    outputRows_ = 0;
    if (!source_ || !source_->mercatorRows) return;
    const std::optional<MapCorners> input = form_.InCorners();
    const std::optional<MapCorners> output = form_.OutCorners();
    if (!input || !output) return;
    MercatorPicture placed(*input, source_->width, source_->height);
    if (!placed.Valid()) return;
    mercator_ = placed;
    input_ = *input;
    output_ = *output;
    const auto rows = WholeNumber(form_.txtImageHeightData.Text());
    outputRows_ = rows && *rows > 0 && *rows <= MostRowsWalked ? *rows : 0;
}

// The output as Make writes it, from the overview's rows: the input rows Make copies, or the
// colour of a blank row's zero bytes.
void PictureView::RebuildPreview() {
    previewPixels_.clear();
    previewRows_ = 0;
    if (!source_ || !mercator_ || outputRows_ < 2 || overview_.height < 1) return;
    const RowMapping mapping{input_.bottom, input_.top, output_.bottom, output_.top, source_->height, outputRows_};
    previewRows_ = std::min(ReducedLength(outputRows_, overview_.step), MostPreviewRows);
    const std::vector<std::int32_t> rows = PreviewRows(mapping, previewRows_);
    const std::uint32_t blank = source_->blank;
    const auto width = static_cast<std::size_t>(overview_.width);
    previewPixels_.assign(width * rows.size(), blank);
    for (std::size_t j = 0; j < rows.size(); ++j) {
        if (rows[j] == BlankRow) continue;
        const auto from = static_cast<std::size_t>(std::min(rows[j] / overview_.step, overview_.height - 1));
        std::copy_n(overview_.pixels.begin() + static_cast<std::ptrdiff_t>(from * width), width,
                    previewPixels_.begin() + static_cast<std::ptrdiff_t>(j * width));
    }
}

void PictureView::Changed() {
    if (onChanged) onChanged();
}

double PictureView::ShownWidth() const { return source_ ? source_->width : 0; }

double PictureView::PictureHeight() const { return source_ ? source_->height : 0; }

double PictureView::ShownHeight() const {
    if (!source_) return 0;
    return Previewing() ? outputRows_ : PictureHeight();
}

void PictureView::SetViewport(double width, double height) {
    const bool first = viewWidth_ <= 0 || viewHeight_ <= 0;
    viewWidth_ = std::max(0.0, width);
    viewHeight_ = std::max(0.0, height);
    // The overview was read for a window size guessed before there was one.
    if (first && shown_ && source_) OpenPicture();
    if (fitted_) {
        Fit();
    } else {
        Place(scale_, left_, top_);
    }
}

void PictureView::Fit() {
    const double width = ShownWidth();
    const double height = ShownHeight();
    double scale = 1;
    if (width > 0 && height > 0 && viewWidth_ > 0 && viewHeight_ > 0) {
        scale = std::min(viewWidth_ / width, viewHeight_ / height);
    }
    Place(scale, 0, 0);
    fitted_ = true;
}

void PictureView::OneToOne() { ZoomAt(viewWidth_ / 2, viewHeight_ / 2, 1 / scale_); }
void PictureView::ZoomIn() { ZoomAt(viewWidth_ / 2, viewHeight_ / 2, ZoomStep); }
void PictureView::ZoomOut() { ZoomAt(viewWidth_ / 2, viewHeight_ / 2, 1 / ZoomStep); }

void PictureView::ZoomAt(double x, double y, double factor) {
    if (!(factor > 0) || !std::isfinite(factor)) return;
    // Out as far as half the fitting size, or 1:1 for a picture smaller than the window.
    double fit = 1;
    if (ShownWidth() > 0 && ShownHeight() > 0 && viewWidth_ > 0 && viewHeight_ > 0) {
        fit = std::min(viewWidth_ / ShownWidth(), viewHeight_ / ShownHeight());
    }
    const double scale = std::clamp(scale_ * factor, std::min(fit / 2, 1.0), MaxScale);
    fitted_ = false;
    Place(scale, left_ + x / scale_ - x / scale, top_ + y / scale_ - y / scale);
}

void PictureView::PanBy(double dx, double dy) {
    fitted_ = false;
    Place(scale_, left_ - dx / scale_, top_ - dy / scale_);
}

void PictureView::ScrollTo(double x, double y) {
    fitted_ = false;
    Place(scale_, x / scale_, y / scale_);
}

void PictureView::SetPreview(bool on) {
    if (on == preview_) return;
    preview_ = on;
    if (on) RebuildPreview();
    Fit();
}

bool PictureView::PreviewAvailable() const { return source_ && source_->mercatorRows; }

// Only the window's own picture has an output to preview; a scan, or a picture whose output
// cannot be placed yet, is shown as it is rather than as an empty grey preview.
bool PictureView::Previewing() const { return preview_ && PreviewAvailable() && previewRows_ > 0; }

std::string PictureView::PreviewNote() const {
    if (!preview_ || Previewing()) return "";
    if (!PreviewAvailable()) return source_ ? "Preview Output shows the window's input picture only." : "";
    return "Preview Output needs the input's corners, the output's latitudes and an image height.";
}

// A picture narrower than the window sits in its middle; a wider one cannot be moved past
// its edges.
void PictureView::Place(double scale, double left, double top) {
    scale_ = scale;
    const auto clampAxis = [scale](double start, double shown, double view) {
        const double visible = view / scale;
        return visible >= shown ? (shown - visible) / 2 : std::clamp(start, 0.0, shown - visible);
    };
    left_ = clampAxis(left, ShownWidth(), viewWidth_);
    top_ = clampAxis(top, ShownHeight(), viewHeight_);
    ReadDetail();
    Changed();
}

// Zoomed in beyond the overview, the rows in view (and a margin around them, so a small move
// reads nothing) are read again at the step the zoom needs.
void PictureView::ReadDetail() {
    if (!source_ || Previewing() || scale_ <= 0 || viewWidth_ <= 0 || viewHeight_ <= 0) {
        detail_ = {};
        return;
    }
    const std::int32_t step = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::floor(1 / scale_)));
    if (step >= overview_.step) {
        detail_ = {};
        return;
    }
    const Source& picture = *source_;
    const double visibleWidth = viewWidth_ / scale_;
    const double visibleHeight = viewHeight_ / scale_;
    const auto inside = [&](const PictureRect& rect) {
        return rect.left <= std::max(0.0, left_) && rect.top <= std::max(0.0, top_) &&
               (rect.left + rect.width >= std::min<double>(picture.width, left_ + visibleWidth)) &&
               (rect.top + rect.height >= std::min<double>(picture.height, top_ + visibleHeight));
    };
    if (detail_.step == step && !detail_.pixels.empty() && inside(detail_.rect)) return;
    // Sample positions on multiples of the step, so a new read shows the same pixels as the last.
    const auto from = [step](double start, std::int32_t limit) {
        const double clamped = std::clamp(start, 0.0, static_cast<double>(limit));
        return static_cast<std::int32_t>(std::floor(clamped / step)) * step;
    };
    const std::int32_t left = from(left_ - visibleWidth * Margin, picture.width);
    const std::int32_t top = from(top_ - visibleHeight * Margin, picture.height);
    const std::int32_t right = static_cast<std::int32_t>(
        std::ceil(std::clamp(left_ + visibleWidth * (1 + Margin), 0.0, static_cast<double>(picture.width))));
    const std::int32_t bottom = static_cast<std::int32_t>(
        std::ceil(std::clamp(top_ + visibleHeight * (1 + Margin), 0.0, static_cast<double>(picture.height))));
    ReducedPictureResult read = source_->Read({left, top, right - left, bottom - top}, step);
    // A picture cut short since it was opened keeps showing its overview.
    detail_ = read.error == PixelReadError::None ? std::move(read.picture) : ReducedPicture{};
}

std::vector<ViewImage> PictureView::Images() const {
    std::vector<ViewImage> images;
    if (!source_) return images;
    if (Previewing()) {
        images.push_back({{0, 0, ShownWidth(), ShownHeight()}, overview_.width, previewRows_, previewPixels_.data()});
        return images;
    }
    for (const ReducedPicture* picture : {&overview_, &detail_}) {
        if (picture->pixels.empty()) continue;
        const PictureRect& rect = picture->rect;
        const double step = picture->step;
        images.push_back({{static_cast<double>(rect.left), static_cast<double>(rect.top),
                           rect.left + picture->width * step, rect.top + picture->height * step},
                          picture->width, picture->height, picture->pixels.data()});
    }
    return images;
}

// In the preview the rows are evenly spaced in latitude, as in the output; otherwise they are
// the input's Mercator rows.
double PictureView::LatitudeAt(double y) const {
    if (!Previewing()) return mercator_->LatitudeAt(y);
    const double step = (output_.top - output_.bottom) / (outputRows_ - 1);
    return output_.bottom + (outputRows_ - 0.5 - y) * step;
}

double PictureView::YAt(double latitude) const {
    if (!Previewing()) return mercator_->YAt(latitude);
    const double step = (output_.top - output_.bottom) / (outputRows_ - 1);
    return outputRows_ - 0.5 - (latitude - output_.bottom) / step;
}

std::vector<GridLine> PictureView::Grid() const {
    std::vector<GridLine> lines;
    if (!mercator_ || scale_ <= 0) return lines;
    const double top = std::max(0.0, top_);
    const double bottom = std::min(ShownHeight(), top_ + viewHeight_ / scale_);
    const double left = std::max(0.0, left_);
    const double right = std::min(ShownWidth(), left_ + viewWidth_ / scale_);
    if (bottom <= top || right <= left) return lines;
    const double northmost = LatitudeAt(top);
    const double southmost = LatitudeAt(bottom);
    const double westmost = mercator_->LongitudeAt(left);
    const double eastmost = mercator_->LongitudeAt(right);
    const double rowsPerDegree = (bottom - top) * scale_ / std::fabs(northmost - southmost);
    const double columnsPerDegree = (right - left) * scale_ / std::fabs(eastmost - westmost);
    for (const double latitude : GridLines(southmost, northmost, rowsPerDegree, gridSpacing_)) {
        lines.push_back({true, YAt(latitude), MinutesLabel(latitude)});
    }
    for (const double longitude : GridLines(westmost, eastmost, columnsPerDegree, gridSpacing_)) {
        lines.push_back({false, mercator_->XAt(longitude), MinutesLabel(longitude)});
    }
    return lines;
}

std::optional<ViewRect> PictureView::Band() const {
    if (!mercator_ || Previewing()) return std::nullopt;
    const OutputBand band = PlaceOutputBand(
        {input_.bottom, input_.top, output_.bottom, output_.top, source_->height, outputRows_});
    // A row Make copies is covered whole; where it writes a blank row the latitude is placed
    // where it would lie.
    const double topEdge = band.topRow ? *band.topRow : band.topY;
    const double bottomEdge = band.bottomRow ? *band.bottomRow + 1.0 : band.bottomY;
    if (!std::isfinite(topEdge) || !std::isfinite(bottomEdge)) return std::nullopt;
    // Make copies whole rows: the output is always as wide as the input.
    return ViewRect{0, std::min(topEdge, bottomEdge), ShownWidth(), std::max(topEdge, bottomEdge)};
}

// The Out longitudes go only into the map data file; where they are not the input's, the file
// would place the picture between longitudes other than those it covers.
std::vector<double> PictureView::OutLongitudes() const {
    if (!mercator_ || Previewing()) return {};
    if (output_.left == input_.left && output_.right == input_.right) return {};
    std::vector<double> lines;
    for (const double longitude : {output_.left, output_.right}) {
        if (const double x = mercator_->XAt(longitude); std::isfinite(x)) lines.push_back(x);
    }
    return lines;
}

std::string PictureView::BandNote() const {
    if (OutLongitudes().empty()) return PreviewNote();
    return "The map data file would place the picture between longitudes " + DegreeText(output_.left) + " and " +
           DegreeText(output_.right) + ", other than the " + DegreeText(input_.left) + " to " +
           DegreeText(input_.right) + " it covers.";
}

std::string PictureView::PointerText(double x, double y) const {
    if (!mercator_ || scale_ <= 0) return "";
    // The pixel under the pointer is read at its centre, where the corner boxes, Make and the
    // import place a corner's latitude and longitude.
    const double column = std::floor(left_ + x / scale_) + 0.5;
    const double row = std::floor(top_ + y / scale_) + 0.5;
    if (column < 0 || row < 0 || column >= ShownWidth() || row >= ShownHeight()) return "";
    const double latitude = LatitudeAt(row);
    const double longitude = mercator_->LongitudeAt(column);
    return DegreeText(latitude) + " " + DegreeText(longitude) + "    " + DegreeToDmsText(latitude) + " " +
           DegreeToDmsText(longitude);
}

}  // namespace kartivo
