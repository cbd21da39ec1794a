// "Write Informations": the map's name, the output corners and the layer into a map data file.

#include "app/Form1.h"

#include "common/NumberText.h"
#include "common/PathParts.h"
#include "mapdata/MapDataFile.h"

namespace kartivo {

void Form1::ShowAlarm(const std::string& text) {
    ui_.ShowMessage(text, "Kartivo Alarm", MessageIcon::Stop);
}

void Form1::SetMapDataFile(const std::string& path) {
    if (!path.empty() && TakesMapDataDrop(path)) txtlblAmbuloFilePath.SetText(path);
    UpdateWriteEnabled();
}

namespace {

std::optional<MapCorners> CornersIn(const Control& bottom, const Control& left, const Control& top,
                                    const Control& right) {
    const auto b = NumericValue(bottom.Text()), l = NumericValue(left.Text());
    const auto t = NumericValue(top.Text()), r = NumericValue(right.Text());
    if (!b || !l || !t || !r) return std::nullopt;
    return MapCorners{*b, *l, *t, *r};
}

}  // namespace

std::optional<MapCorners> Form1::InCorners() const {
    return CornersIn(txtInBottomLatitudeDegree, txtInLeftLongitudeDegree, txtInTopLatitudeDegree,
                     txtInRightLongitudeDegree);
}

std::optional<MapCorners> Form1::OutCorners() const {
    return CornersIn(txtOutBottomLatitudeDegree, txtOutLeftLongitudeDegree, txtOutTopLatitudeDegree,
                     txtOutRightLongitudeDegree);
}

void Form1::cmdWriteAmbuloData_Click() {
    // As for Make: a refused text in the focused corner box never reaches the file.
    if (!LeaveActiveControl()) return;
    const std::string path = txtlblAmbuloFilePath.Text();
    MapDataFields fields;
    fields.name = txtName.Text();
    // A corner box that does not hold a number is refused before the file is touched.
    const std::optional<MapCorners> corners = OutCorners();
    if (!corners) {
        ShowAlarm("Could not write " + path + ": " + MapDataErrorText(MapDataError::InvalidCoordinate) + ".");
        return;
    }
    fields.top = corners->top;
    fields.left = corners->left;
    fields.bottom = corners->bottom;
    fields.right = corners->right;
    fields.layer = static_cast<std::uint8_t>(cboLayer.ListIndex() + 1);

    const MapDataResult result = WriteMapDataFile(path, fields, ui_, fileSystem_);
    // A failed open has been explained by the alarm box where there was one.
    if (result.error != MapDataError::None && !result.asked) {
        ShowAlarm("Could not write " + path + ": " + MapDataFailureText(result) + ".");
    }
}

void Form1::ChooseMapDataFile() {
    FileDialogRequest request = OutputFileRequest("Ambuloフルカラー地図データ", "mbx");
    // Only an existing file can be annotated; it is not asked about, since only its head changes.
    request.flags = DialogFileMustExist | DialogNoChangeDir;
    request.initialFileName = txtlblAmbuloFilePath.Text();
    SetMapDataFile(ui_.ShowSaveDialog(request));
}

void Form1::mnuFileSelectAmbuloFile_Click() {
    ChooseMapDataFile();
}

void Form1::txtlblAmbuloFilePath_DblClick() {
    ChooseMapDataFile();
}

void Form1::lblDragAmbulo_OLEDragDrop(const std::vector<std::string>& files) {
    if (!files.empty() && LeaveActiveControl()) SetMapDataFile(files.front());
}

}  // namespace kartivo
