#include "app/Control.h"

#include <utility>

namespace kartivo {

namespace {
const std::string EmptyText;
}

Control::Control(std::string name, ControlKind kind, std::string frame, std::string text)
    : name_(std::move(name)), kind_(kind), frame_(std::move(frame)), text_(std::move(text)) {}

const std::string& Control::Text() const {
    if (kind_ == ControlKind::ComboBox) {
        return listIndex_ >= 0 && listIndex_ < static_cast<int>(items_.size())
                   ? items_[static_cast<std::size_t>(listIndex_)]
                   : EmptyText;
    }
    return text_;
}

void Control::SetText(std::string text) {
    if (kind_ == ControlKind::ComboBox) {
        SelectText(text);
        return;
    }
    if (text == text_) return;
    text_ = std::move(text);
    Updated();
    if (onChange) onChange();
}

void Control::ClearItems() {
    if (items_.empty() && listIndex_ == -1) return;
    items_.clear();
    listIndex_ = -1;
    Updated();
}

void Control::AddItem(std::string item) {
    items_.push_back(std::move(item));
    Updated();
}

void Control::SetListIndex(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    if (index == listIndex_) return;
    listIndex_ = index;
    Updated();
    if (onChange) onChange();
}

bool Control::SelectText(const std::string& text) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i] == text) {
            SetListIndex(static_cast<int>(i));
            return true;
        }
    }
    return false;
}

void Control::SetEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    Updated();
}

void Control::SetToolTip(std::string text) {
    if (text == toolTip_) return;
    toolTip_ = std::move(text);
    Updated();
}

void Control::Updated() {
    if (onUpdate) onUpdate(*this);
}

}  // namespace kartivo
