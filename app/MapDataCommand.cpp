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

void Form1::cmdWriteAmbuloData_Click() {
    // As for Make: a refused text in the focused corner box never reaches the file.
    if (!LeaveActiveControl()) return;
    const std::string path = txtlblAmbuloFilePath.Text();
    MapDataFields fields;
    fields.name = txtName.Text();
    // A corner box that does not hold a number is refused before the file is touched.
    const auto top = NumericValue(txtOutTopLatitudeDegree.Text());
    const auto left = NumericValue(txtOutLeftLongitudeDegree.Text());
    const auto bottom = NumericValue(txtOutBottomLatitudeDegree.Text());
    const auto right = NumericValue(txtOutRightLongitudeDegree.Text());
    if (!top || !left || !bottom || !right) {
        ShowAlarm("Could not write " + path + ": " + MapDataErrorText(MapDataError::InvalidCoordinate) + ".");
        return;
    }
    fields.top = *top;
    fields.left = *left;
    fields.bottom = *bottom;
    fields.right = *right;
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
