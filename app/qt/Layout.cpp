#include "app/qt/Layout.h"

#include <algorithm>

namespace kartivo::qt {

const std::vector<LayoutEntry>& WindowLayout() {
    // Left, top, width, height in twips; left and top relative to the holding frame.
    static const std::vector<LayoutEntry> layout = {
        {"fraIn", WidgetKind::Frame, "", "In", 120, 0, 5775, 3855},
        {"fraOut", WidgetKind::Frame, "", "Out", 120, 3960, 5775, 4215},
        {"fraAmbulo", WidgetKind::Frame, "", "Ambulo", 120, 8280, 5775, 1335},
        {"Label7", WidgetKind::Caption, "fraIn", "File Path", 240, 240, 855, 0},
        {"txtInFilePathData", WidgetKind::TextBox, "fraIn", "", 1920, 240, 3735, 0},
        {"lblFileSize", WidgetKind::Caption, "fraIn", "File Size", 240, 600, 855, 0},
        {"lblFileSizeData", WidgetKind::DataLabel, "fraIn", "", 1920, 600, 975, 0},
        {"lblFileSizeUnit", WidgetKind::UnitCaption, "fraIn", "byte", 3000, 600, 330, 0},
        {"lblInImageSizeCaption", WidgetKind::Caption, "fraIn", "Image Size   Width", 240, 960, 1575, 0},
        {"lblImageWidthData", WidgetKind::DataLabel, "fraIn", "", 1920, 960, 975, 0},
        {"lblInImageWidthUnit", WidgetKind::UnitCaption, "fraIn", "pixel", 3000, 960, 360, 0},
        {"lblInImageHeightCaption", WidgetKind::Caption, "fraIn", "Height", 3600, 960, 615, 0},
        {"lblImageHeightData", WidgetKind::DataLabel, "fraIn", "", 4200, 960, 975, 0},
        {"lblInImageHeightUnit", WidgetKind::UnitCaption, "fraIn", "pixel", 5280, 960, 360, 0},
        {"lblInColorDepthCaption", WidgetKind::Caption, "fraIn", "Color Depth", 240, 1320, 1575, 0},
        {"lblColorDepthData", WidgetKind::DataLabel, "fraIn", "", 1920, 1320, 975, 0},
        {"lblInColorDepthUnit", WidgetKind::UnitCaption, "fraIn", "bit", 3000, 1320, 195, 0},
        {"lblInCompressionCaption", WidgetKind::Caption, "fraIn", "Compression", 240, 1680, 1575, 0},
        {"lblCompressionData", WidgetKind::DataLabel, "fraIn", "", 1920, 1680, 3495, 0},
        {"lblInResolutionCaption", WidgetKind::Caption, "fraIn", "Resolution   Width", 240, 2040, 1575, 0},
        {"lblResolutionWidthData", WidgetKind::DataLabel, "fraIn", "", 1920, 2040, 975, 0},
        {"lblInResolutionWidthUnit", WidgetKind::UnitCaption, "fraIn", "dpi", 3000, 2040, 225, 0},
        {"lblInResolutionHeightCaption", WidgetKind::Caption, "fraIn", "Height", 3600, 2040, 615, 0},
        {"lblResolutionHeightData", WidgetKind::DataLabel, "fraIn", "", 4320, 2040, 975, 0},
        {"lblInResolutionHeightUnit", WidgetKind::UnitCaption, "fraIn", "dpi", 5400, 2040, 225, 0},
        {"lblInBottomLatitudeCaption", WidgetKind::Caption, "fraIn", "Left-Bottom Latitude", 240, 2400, 1695, 0},
        {"txtInBottomLatitudeDegree", WidgetKind::TextBox, "fraIn", "", 1920, 2400, 1455, 0},
        {"lblInBottomLatitudeEquals", WidgetKind::Caption, "fraIn", "°=", 3480, 2400, 270, 0},
        {"txtInBottomLatitude3", WidgetKind::TextBox, "fraIn", "", 3960, 2400, 1695, 0},
        {"lblInLeftLongitudeCaption", WidgetKind::Caption, "fraIn", "Longitude", 1080, 2760, 735, 0},
        {"txtInLeftLongitudeDegree", WidgetKind::TextBox, "fraIn", "", 1920, 2760, 1455, 0},
        {"lblInLeftLongitudeEquals", WidgetKind::Caption, "fraIn", "°=", 3480, 2760, 270, 0},
        {"txtInLeftLongitude3", WidgetKind::TextBox, "fraIn", "", 3960, 2760, 1695, 0},
        {"lblInTopLatitudeCaption", WidgetKind::Caption, "fraIn", "Right-Top   Latitude", 240, 3120, 1695, 0},
        {"txtInTopLatitudeDegree", WidgetKind::TextBox, "fraIn", "", 1920, 3120, 1455, 0},
        {"lblInTopLatitudeEquals", WidgetKind::Caption, "fraIn", "°=", 3480, 3120, 270, 0},
        {"txtInTopLatitude3", WidgetKind::TextBox, "fraIn", "", 3960, 3120, 1695, 0},
        {"lblInRightLongitudeCaption", WidgetKind::Caption, "fraIn", "Longitude", 1080, 3480, 735, 0},
        {"txtInRightLongitudeDegree", WidgetKind::TextBox, "fraIn", "", 1920, 3480, 1455, 0},
        {"lblInRightLongitudeEquals", WidgetKind::Caption, "fraIn", "°=", 3480, 3480, 270, 0},
        {"txtInRightLongitude3", WidgetKind::TextBox, "fraIn", "", 3960, 3480, 1695, 0},
        {"lblDragIn", WidgetKind::DropTarget, "fraIn", "", 0, 0, 5775, 3855},
        {"Label14", WidgetKind::Caption, "fraOut", "File Path", 240, 240, 855, 0},
        {"txtOutFilePathData", WidgetKind::TextBox, "fraOut", "", 1920, 240, 3735, 0},
        {"Label8", WidgetKind::Caption, "fraOut", "File Size", 240, 600, 855, 0},
        {"lblOutFileSize", WidgetKind::DataLabel, "fraOut", "", 1920, 600, 975, 0},
        {"Label13", WidgetKind::UnitCaption, "fraOut", "byte", 3000, 600, 330, 0},
        {"lblOutImageSizeCaption", WidgetKind::Caption, "fraOut", "Image Size   Width", 240, 960, 1575, 0},
        {"txtImageWidthData", WidgetKind::TextBox, "fraOut", "", 1920, 960, 975, 0},
        {"lblOutImageWidthUnit", WidgetKind::UnitCaption, "fraOut", "pixel", 3000, 960, 360, 0},
        {"lblOutImageHeightCaption", WidgetKind::Caption, "fraOut", "Height", 3600, 960, 615, 0},
        {"txtImageHeightData", WidgetKind::TextBox, "fraOut", "", 4200, 960, 975, 0},
        {"lblOutImageHeightUnit", WidgetKind::UnitCaption, "fraOut", "pixel", 5280, 960, 360, 0},
        {"lblOutColorDepthCaption", WidgetKind::Caption, "fraOut", "Color Depth", 240, 1320, 1575, 0},
        {"cboColorDepthData", WidgetKind::ComboBox, "fraOut", "", 1920, 1320, 975, 300},
        {"lblOutColorDepthUnit", WidgetKind::UnitCaption, "fraOut", "bit", 3000, 1320, 195, 0},
        {"lblOutCompressionCaption", WidgetKind::Caption, "fraOut", "Compression", 240, 1680, 1575, 0},
        {"cboCompressionData", WidgetKind::ComboBox, "fraOut", "", 1920, 1680, 3255, 300},
        {"lblOutResolutionCaption", WidgetKind::Caption, "fraOut", "Resolution   Width", 240, 2040, 1575, 0},
        {"txtResolutionWidthData", WidgetKind::TextBox, "fraOut", "", 1920, 2040, 975, 0},
        {"lblOutResolutionWidthUnit", WidgetKind::UnitCaption, "fraOut", "dpi", 3000, 2040, 225, 0},
        {"lblOutResolutionHeightCaption", WidgetKind::Caption, "fraOut", "Height", 3600, 2040, 615, 0},
        {"txtResolutionHeightData", WidgetKind::TextBox, "fraOut", "", 4320, 2040, 975, 0},
        {"lblOutResolutionHeightUnit", WidgetKind::UnitCaption, "fraOut", "dpi", 5400, 2040, 225, 0},
        {"lblOutBottomLatitudeCaption", WidgetKind::Caption, "fraOut", "Left-Bottom Latitude", 240, 2400, 1695, 0},
        {"txtOutBottomLatitudeDegree", WidgetKind::TextBox, "fraOut", "", 1920, 2400, 1455, 0},
        {"lblOutBottomLatitudeEquals", WidgetKind::Caption, "fraOut", "°=", 3480, 2400, 270, 0},
        {"txtOutBottomLatitude3", WidgetKind::TextBox, "fraOut", "", 3960, 2400, 1695, 0},
        {"lblOutLeftLongitudeCaption", WidgetKind::Caption, "fraOut", "Longitude", 1080, 2760, 735, 0},
        {"txtOutLeftLongitudeDegree", WidgetKind::TextBox, "fraOut", "", 1920, 2760, 1455, 0},
        {"lblOutLeftLongitudeEquals", WidgetKind::Caption, "fraOut", "°=", 3480, 2760, 270, 0},
        {"txtOutLeftLongitude3", WidgetKind::TextBox, "fraOut", "", 3960, 2760, 1695, 0},
        {"lblOutTopLatitudeCaption", WidgetKind::Caption, "fraOut", "Right-Top   Latitude", 240, 3120, 1695, 0},
        {"txtOutTopLatitudeDegree", WidgetKind::TextBox, "fraOut", "", 1920, 3120, 1455, 0},
        {"lblOutTopLatitudeEquals", WidgetKind::Caption, "fraOut", "°=", 3480, 3120, 270, 0},
        {"txtOutTopLatitude3", WidgetKind::TextBox, "fraOut", "", 3960, 3120, 1695, 0},
        {"lblOutRightLongitudeCaption", WidgetKind::Caption, "fraOut", "Longitude", 1080, 3480, 735, 0},
        {"txtOutRightLongitudeDegree", WidgetKind::TextBox, "fraOut", "", 1920, 3480, 1455, 0},
        {"lblOutRightLongitudeEquals", WidgetKind::Caption, "fraOut", "°=", 3480, 3480, 270, 0},
        {"txtOutRightLongitude3", WidgetKind::TextBox, "fraOut", "", 3960, 3480, 1695, 0},
        {"cmdMake", WidgetKind::Button, "fraOut", "", 4800, 3840, 855, 0},
        {"lblAmbuloFilePath", WidgetKind::Caption, "fraAmbulo", "File Path", 120, 240, 855, 0},
        {"txtlblAmbuloFilePath", WidgetKind::TextBox, "fraAmbulo", "", 960, 240, 4695, 0},
        {"lblName", WidgetKind::Caption, "fraAmbulo", "Name", 120, 600, 495, 0},
        {"txtName", WidgetKind::TextBox, "fraAmbulo", "", 960, 600, 2055, 0},
        {"lblLayer", WidgetKind::Caption, "fraAmbulo", "Layer", 120, 960, 495, 0},
        {"cboLayer", WidgetKind::ComboBox, "fraAmbulo", "", 960, 960, 1575, 300},
        {"cmdWriteAmbuloData", WidgetKind::Button, "fraAmbulo", "", 3840, 960, 1815, 0},
        {"lblDragAmbulo", WidgetKind::DropTarget, "fraAmbulo", "", 0, 0, 5775, 1335},
    };
    return layout;
}

int EntryHeight(const LayoutEntry& entry) {
    if (entry.height != 0) return entry.height;
    switch (entry.kind) {
    case WidgetKind::TextBox: return TextBoxHeight;
    case WidgetKind::UnitCaption: return UnitLabelHeight;
    case WidgetKind::ComboBox: return ComboBoxHeight;
    case WidgetKind::Button: return ButtonHeight;
    default: return LabelHeight;
    }
}

namespace {

bool IsCaption(const LayoutEntry& entry) {
    return entry.kind == WidgetKind::Caption || entry.kind == WidgetKind::UnitCaption;
}

bool SharesRow(const LayoutEntry& a, const LayoutEntry& b) {
    return &a != &b && a.frame == b.frame && b.kind != WidgetKind::DropTarget && b.kind != WidgetKind::Frame &&
           a.top < b.top + EntryHeight(b) && b.top < a.top + EntryHeight(a);
}

}  // namespace

const LayoutEntry* ValueBefore(const LayoutEntry& caption) {
    if (!IsCaption(caption)) return nullptr;
    const LayoutEntry* nearest = nullptr;
    for (const LayoutEntry& other : WindowLayout()) {
        if (!SharesRow(caption, other) || other.top != caption.top || other.left >= caption.left) continue;
        if (nearest == nullptr || other.left > nearest->left) nearest = &other;
    }
    return nearest != nullptr && !IsCaption(*nearest) ? nearest : nullptr;
}

int RoomToTheRight(const LayoutEntry& entry) {
    int right = entry.left;
    for (const LayoutEntry& frame : WindowLayout()) {
        if (frame.name == entry.frame) right = frame.width - 60;  // clear of the frame's border
    }
    for (const LayoutEntry& other : WindowLayout()) {
        if (SharesRow(entry, other) && other.left > entry.left) right = std::min(right, other.left);
    }
    return right - entry.left;
}

const std::vector<std::string_view>& TabOrder() {
    static const std::vector<std::string_view> order = {
        "txtInBottomLatitudeDegree", "txtInLeftLongitudeDegree", "txtInBottomLatitude3", "txtInLeftLongitude3",
        "txtInTopLatitudeDegree", "txtInRightLongitudeDegree", "txtInTopLatitude3", "txtInRightLongitude3",
        "txtOutBottomLatitudeDegree", "txtOutLeftLongitudeDegree", "txtOutBottomLatitude3", "txtOutLeftLongitude3",
        "txtOutTopLatitudeDegree", "txtOutTopLatitude3", "txtOutRightLongitude3", "txtImageWidthData",
        "txtImageHeightData", "txtResolutionWidthData", "txtResolutionHeightData", "cboCompressionData",
        "cboColorDepthData", "txtOutRightLongitudeDegree", "txtOutFilePathData", "txtInFilePathData", "cmdMake",
        "cmdWriteAmbuloData", "txtName", "cboLayer", "txtlblAmbuloFilePath",
    };
    return order;
}

}  // namespace kartivo::qt
