#pragma once
// The window's layout: every widget by name, kind, frame, caption and place, in twips as the
// window was drawn (15 twips make one pixel).

#include <string_view>
#include <vector>

namespace kartivo::qt {

enum class WidgetKind { Frame, Caption, UnitCaption, DataLabel, TextBox, ComboBox, Button, DropTarget };

struct LayoutEntry {
    std::string_view name;
    WidgetKind kind;
    std::string_view frame;    // "" for the frames themselves
    std::string_view caption;  // static captions only; other texts come from the model
    int left;
    int top;
    int width;
    int height;  // 0: the kind's usual height
};

inline constexpr int TwipsPerPixel = 15;
inline constexpr int ClientWidthTwips = 6000;
inline constexpr int ClientHeightTwips = 9690;

// The usual heights, in twips.
inline constexpr int TextBoxHeight = 270;
inline constexpr int LabelHeight = 255;
inline constexpr int UnitLabelHeight = 180;
inline constexpr int ComboBoxHeight = 300;
inline constexpr int ButtonHeight = 330;

const std::vector<LayoutEntry>& WindowLayout();
// The height an entry really gets, in twips.
int EntryHeight(const LayoutEntry& entry);

// The value widget a caption follows on its row (the caption names its unit), or nullptr.
const LayoutEntry* ValueBefore(const LayoutEntry& caption);
// The width an entry may take, in twips: up to the next widget on its row, or the frame's edge.
int RoomToTheRight(const LayoutEntry& entry);

// Names of the widgets in keyboard focus order.
const std::vector<std::string_view>& TabOrder();

}  // namespace kartivo::qt
