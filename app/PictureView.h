#pragma once
// What the picture window shows: the window's input picture read at the size its zoom needs,
// a grid of latitudes and longitudes over it, the band Make's output covers, and where the
// pointer lies. Plain C++: the Qt view draws what this decides and passes on what the person
// does. Positions on screen are in device pixels, so 1:1 is one picture pixel to one of the
// screen's own.

#include "bitmap/BitmapPixels.h"
#include "bitmap/MapGeometry.h"
#include "common/FileCommon.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kartivo {

class Form1;

// The captions of the view's menus and commands.
inline constexpr const char* ViewMenuText = "View";
inline constexpr const char* ShowPictureText = "Show Picture";
inline constexpr const char* FitText = "Fit";
inline constexpr const char* OneToOneText = "1:1";
inline constexpr const char* ZoomInText = "Zoom In";
inline constexpr const char* ZoomOutText = "Zoom Out";
inline constexpr const char* PreviewOutputText = "Preview Output";

// A rectangle in pixels of the shown picture.
struct ViewRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};

// One picture to draw: its pixels (0xffRRGGBB, rows top first) stretched over area.
struct ViewImage {
    ViewRect area;
    std::int32_t columns = 0;
    std::int32_t rows = 0;
    const std::uint32_t* pixels = nullptr;
};

// A grid line at a round latitude (a row position) or longitude (a column position).
struct GridLine {
    bool latitude = true;
    double position = 0;  // y or x in pixels of the shown picture
    std::string label;    // "+35°10'"
};

class PictureView {
public:
    explicit PictureView(const Form1& form, FileSystem& fileSystem = DefaultFileSystem());
    ~PictureView();
    PictureView(const PictureView&) = delete;
    PictureView& operator=(const PictureView&) = delete;

    // Told after anything shown has changed, and when the window should come up (Show).
    std::function<void()> onChanged;

    // "Show Picture" and a double click on the "In" frame: the window comes up.
    void Show();
    bool Shown() const { return shown_; }
    // Shows a picture other than the window's input (a scan to georeference) until the next load.
    void ShowPicture(const std::string& path);
    const std::string& ShownPath() const { return path_; }
    // The files the picture shown is read from, as its handles knew them when it was opened.
    std::vector<FileIdentity> ShownFiles() const;
    void Hidden() { shown_ = false; }

    std::string Title() const;
    // Why nothing is shown ("No input picture.", a file that cannot be read); "" while a
    // picture is.
    const std::string& Message() const { return message_; }

    // The viewport's size; the first one fits the picture to it.
    void SetViewport(double width, double height);
    double Scale() const { return scale_; }
    double Left() const { return left_; }  // picture pixels at the viewport's top-left corner
    double Top() const { return top_; }
    // The size of the picture shown: the input, or in the preview the output Make writes.
    double ShownWidth() const;
    double ShownHeight() const;
    // The height of the picture itself, whatever the preview shows; 0 without one.
    double PictureHeight() const;

    // Zooming keeps the picture point under (x, y) of the viewport where it is.
    void ZoomAt(double x, double y, double factor);
    void ZoomIn();
    void ZoomOut();
    void Fit();
    void OneToOne();
    void PanBy(double dx, double dy);
    // Scroll bar positions: the viewport's top-left corner in pixels of the zoomed picture.
    void ScrollTo(double x, double y);

    // Preview Output as ticked, whether the shown picture has an output to preview (the window's
    // input does, a scan does not), and whether the preview is what is shown.
    bool Preview() const { return preview_; }
    void SetPreview(bool on);
    bool PreviewAvailable() const;
    bool Previewing() const;
    // Why a ticked preview shows the picture as it is; "" otherwise.
    std::string PreviewNote() const;

    // Coarse to fine; each is valid until the next change.
    std::vector<ViewImage> Images() const;
    // The lines that fall within the viewport, spaced so that they stay apart on screen.
    std::vector<GridLine> Grid() const;
    // The least room between two grid lines, in screen pixels: wide enough for a label.
    void SetGridSpacing(double pixels) { gridSpacing_ = std::max(pixels, 1.0); }
    // The output Make writes, over the input: the input's whole width and the rows it copies
    // first and last. Nothing without corners to place it, and in the preview.
    std::optional<ViewRect> Band() const;
    // The columns of the Out longitudes, drawn apart from the band, when they differ from the
    // input's; empty otherwise.
    std::vector<double> OutLongitudes() const;
    // What the status bar says of the band (Out longitudes other than the input's) or of the
    // preview; "" when there is nothing to say.
    std::string BandNote() const;
    // The latitude and longitude at a viewport position, as the Degree and DMS boxes show
    // them; "" outside the picture or without corners.
    std::string PointerText(double x, double y) const;

    // What a picture is read through: a bitmap, or any picture the import module reads.
    struct Source;

    // The form loaded a picture (true) or changed its corners or output parameters (false).
    void MapChanged(bool pictureLoaded);

private:
    void OpenPicture();
    void ReadCorners();
    void RebuildPreview();
    void Changed();
    void Place(double scale, double left, double top);
    void ReadDetail();
    double LatitudeAt(double y) const;
    double YAt(double latitude) const;

    const Form1& form_;
    FileSystem& fileSystem_;
    bool shown_ = false;
    std::string message_;
    std::string loadedPath_;  // the window's last loaded picture
    bool stale_ = false;      // and it has not been read since
    bool scan_ = false;       // it is a picture shown instead of the window's input
    std::string path_;        // the picture shown
    std::unique_ptr<Source> source_;
    ReducedPicture overview_;
    ReducedPicture detail_;
    std::optional<MercatorPicture> mercator_;
    MapCorners input_;
    MapCorners output_;
    std::int32_t outputRows_ = 0;
    std::vector<std::uint32_t> previewPixels_;
    std::int32_t previewRows_ = 0;
    bool preview_ = false;
    double viewWidth_ = 0;
    double viewHeight_ = 0;
    double scale_ = 1;
    double left_ = 0;
    double top_ = 0;
    bool fitted_ = true;  // follows the viewport's size until zoomed or moved
    // Grid lines closer than this on screen would hide the map under them.
    double gridSpacing_ = 80;
};

}  // namespace kartivo
