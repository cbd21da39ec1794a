#pragma once
// One control of the window: its text or caption, list entries and selection, enabled state.
// Setting a value that differs from the current one raises the control's change event at
// once, nested inside the setter; setting the same value raises nothing.

#include <functional>
#include <string>
#include <vector>

namespace kartivo {

enum class ControlKind { Frame, Label, TextBox, ComboBox, Button, MenuItem };

class Control {
public:
    Control(std::string name, ControlKind kind, std::string frame, std::string text = {});
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const std::string& Name() const { return name_; }
    ControlKind Kind() const { return kind_; }
    // The frame that holds the control; "" for frames and menu items.
    const std::string& Frame() const { return frame_; }

    // The text of a text box, the caption of a label, button, frame or menu item, and the
    // text of the selected entry of a list ("" when none is selected).
    const std::string& Text() const;
    void SetText(std::string text);

    const std::vector<std::string>& Items() const { return items_; }
    void ClearItems();
    void AddItem(std::string item);
    // Selected position, 0-based; -1 for none.
    int ListIndex() const { return listIndex_; }
    void SetListIndex(int index);
    // Selects the entry whose text equals text; false (and no change) when there is none.
    bool SelectText(const std::string& text);

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool enabled);

    // What the control tells when the pointer rests on it; "" for nothing.
    const std::string& ToolTip() const { return toolTip_; }
    void SetToolTip(std::string text);

    // The control's change event (Change for texts and captions, Click for list selections).
    std::function<void()> onChange;
    // Told of every change of any property, before the change event runs; the view mirrors
    // the model through it.
    std::function<void(const Control&)> onUpdate;

private:
    void Updated();

    std::string name_;
    ControlKind kind_;
    std::string frame_;
    std::string text_;
    std::vector<std::string> items_;
    int listIndex_ = -1;
    bool enabled_ = true;
    std::string toolTip_;
};

}  // namespace kartivo
