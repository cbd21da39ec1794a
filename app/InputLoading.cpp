// Loading the input picture, and the rules that carry its properties into the output fields.

#include "app/Form1.h"

#include "bitmap/FileNameConvention.h"
#include "bitmap/PictureLoading.h"
#include "common/NumberText.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kartivo {

namespace {

constexpr const char* LoadTitle = "Kartivo";

}  // namespace

void Form1::LoadInputMap(const std::string& path) {
    ReadInputMap(path);
    if (onMapChange) onMapChange(true);
}

void Form1::ReadInputMap(const std::string& path) {
    txtInFilePathData.SetText(path);
    txtOutFilePathData.SetText(ProposeOutputPath(path));

    const LoadedHeaders loaded = ReadPictureHeaders(path, ui_, fileSystem_);
    if (loaded.read) inputHeaders = loaded.headers;
    if (loaded.problem == LoadProblem::OpenFailed) {
        // The system's reason, unless an alarm box has just given it.
        const std::string reason = loaded.reason.empty() ? "" : "\r\n" + path + ": " + loaded.reason;
        ui_.ShowMessage(LoadProblemText(loaded.problem) + reason, LoadTitle, MessageIcon::Exclamation);
        return;
    }
    if (loaded.problem == LoadProblem::NotBitmap) {
        ui_.ShowMessage(LoadProblemText(loaded.problem), LoadTitle, MessageIcon::Exclamation);
        return;
    }
    const BitmapPropertyTexts texts = PropertyTexts(inputHeaders);
    lblFileSizeData.SetText(texts.fileSize);
    if (loaded.problem == LoadProblem::UnknownForm) {
        ui_.ShowMessage(LoadProblemText(loaded.problem), LoadTitle, MessageIcon::Exclamation);
        return;
    }
    // One at a time: each caption's carry-over runs before the next is set.
    lblImageWidthData.SetText(texts.width);
    lblImageHeightData.SetText(texts.height);
    lblColorDepthData.SetText(texts.colorDepth);
    lblCompressionData.SetText(texts.compression);
    lblResolutionWidthData.SetText(texts.resolutionWidth);
    lblResolutionHeightData.SetText(texts.resolutionHeight);

    ReadCornersFromFileName(path);
}

void Form1::ReadCornersFromFileName(const std::string& path) {
    const FileNameCorners found = ReadFileNameConvention(path);
    if (found.name) txtName.SetText(*found.name);
    if (!found.corners) return;
    const auto [bottom, left, top, right] = *found.corners;
    // Latitudes first, then longitudes; each handler carries its value to the output.
    // A value a box refuses (a longitude too close to -180 to be shown apart from it) leaves
    // the box as it was.
    WriteDegree(inBottom_, GeneralNumberText(bottom));
    WriteDegree(inTop_, GeneralNumberText(top));
    WriteDegree(inLeft_, GeneralNumberText(left));
    WriteDegree(inRight_, GeneralNumberText(right));
}

void Form1::ChooseInputFile() {
    const std::string path = ui_.ShowOpenDialog({.filter = {{"BMP(*.bmp)", "*.bmp"}},
                                                 .viewCommand = ViewCommandList});
    if (!path.empty()) LoadInputMap(path);
}

void Form1::mnuFileOpenInFile_Click() {
    ChooseInputFile();
}

void Form1::txtInFilePathData_DblClick() {
    ChooseInputFile();
}

void Form1::lblDragIn_OLEDragDrop(const std::vector<std::string>& files) {
    // A drop acts on the window as a command does: a refused text in the focused corner box
    // stops it.
    if (files.empty() || !LeaveActiveControl()) return;
    if (IsImportablePicture(files.front())) {
        ImportPicture(files.front());
        return;
    }
    LoadInputMap(files.front());
}

void Form1::lblImageWidthData_Change() {
    txtImageWidthData.SetText(lblImageWidthData.Text());
}

// The caption shows the header's value, negative for a picture stored top row first; the
// output wants its number of rows.
void Form1::lblImageHeightData_Change() {
    const std::string& caption = lblImageHeightData.Text();
    const std::optional<std::int32_t> rows = WholeNumber(caption);
    txtImageHeightData.SetText(rows && *rows < 0 && *rows != INT32_MIN ? std::to_string(-*rows) : caption);
}

// A caption no entry matches ("No Data", a depth of 2) leaves the selection as it was.
void Form1::lblColorDepthData_Change() {
    cboColorDepthData.SelectText(lblColorDepthData.Text());
}

void Form1::lblCompressionData_Change() {
    cboCompressionData.SelectText(lblCompressionData.Text());
}

void Form1::lblResolutionWidthData_Change() {
    txtResolutionWidthData.SetText(lblResolutionWidthData.Text());
}

void Form1::lblResolutionHeightData_Change() {
    txtResolutionHeightData.SetText(lblResolutionHeightData.Text());
}

}  // namespace kartivo
