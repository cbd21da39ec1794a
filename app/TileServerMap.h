#pragma once
// A map fetched from a tile server, from the window: the dialog's source, zoom and corners as
// the person types them, what the area would take, a look at the source in the picture window
// (where a rectangle dragged over it sets the corners), and the fetch, which ends as an import
// does. Plain C++: the Qt dialog mirrors this and passes on what the person types.

#include "app/PictureView.h"
#include "app/UserInterface.h"
#include "bitmap/TileRequest.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kartivo {

class Form1;

inline constexpr const char* TileServerMenuText = "Map from Tile Server...";
inline constexpr const char* TileBoxHint = "Drag a rectangle over the map to set the box to fetch.";

// The corner boxes of the dialog, in the order the box is written: bottom, left, top, right.
enum class BoxEdge { Bottom, Left, Top, Right };

class TileServerMap {
public:
    // The fetched map is loaded into form; showOverview brings up the picture window with the
    // look at the source, which view then shows.
    TileServerMap(Form1& form, const PictureView& view, std::function<void(const std::string&)> showOverview);
    ~TileServerMap();
    TileServerMap(const TileServerMap&) = delete;
    TileServerMap& operator=(const TileServerMap&) = delete;

    // Told after every change of what the dialog or the rectangle on the look shows.
    std::function<void()> onChanged;

    // The dialog opens: the sources used last are read from the settings, the latest one filled in.
    void Open();
    const std::vector<std::string>& RecentSources() const { return recent_; }

    void SetSource(const std::string& text);
    void SetZoom(std::int32_t zoom);
    void SetCorner(BoxEdge edge, const std::string& text);
    void SetAttribution(const std::string& text);
    const std::string& Source() const { return request_.source; }
    std::int32_t Zoom() const { return request_.zoom; }
    const std::string& Corner(BoxEdge edge) const { return corners_[static_cast<std::size_t>(edge)]; }
    const std::string& Attribution() const { return request_.attribution; }

    // What the area takes (tiles, of them cached, the bitmap's size in pixels and bytes), or why
    // it cannot be fetched.
    const std::string& Summary() const { return summary_; }
    bool CanFetch() const { return canFetch_; }
    bool CanShow() const { return canShow_; }

    // Fetches the source at a low zoom, over the box and some room around it (or the whole world
    // while there is no box), into a temporary folder of the program's own, and shows it.
    bool Show();
    // Asks where to save the area, writes it under a progress dialog and loads it as the input;
    // false when nothing was written.
    bool Fetch();

    // While the picture window shows the look at the source: the box drawn over it, in its
    // pixels (two rectangles for a box across 180 degrees), and a rectangle dragged over it,
    // which becomes the box.
    bool Active() const;
    std::vector<ViewRect> BoxOnLook() const;
    void BoxDrawn(const ViewRect& rect);
    // The latitude and longitude of the look's pixel at a position, as the picture window tells
    // them over a map.
    std::string PositionText(double column, double row) const;

private:
    void Judge();
    std::string JudgedText();
    void Remember();
    void Changed();

    Form1& form_;
    const PictureView& view_;
    std::function<void(const std::string&)> showOverview_;
    TileRequest request_;  // its box is valid only with box_
    std::array<std::string, 4> corners_;
    std::optional<MapCorners> box_;
    std::vector<std::string> recent_;
    std::string summary_;
    bool canFetch_ = false;
    bool canShow_ = false;
    std::string folder_;  // the temporary folder the look is fetched into
    std::string lookPath_;
    TileArea look_;
    std::int32_t lookZoom_ = 0;
};

}  // namespace kartivo
