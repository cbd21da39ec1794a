#include "app/Form1.h"

#include "bitmap/OutputLayout.h"
#include "common/NumberText.h"
#include "common/PathParts.h"

namespace kartivo {

Form1::Form1(UserInterface& ui) : ui_(ui) {
    controls_ = {
        &fraIn, &fraOut, &fraAmbulo,
        &txtInFilePathData, &lblFileSizeData, &lblImageWidthData, &lblImageHeightData, &lblColorDepthData,
        &lblCompressionData, &lblResolutionWidthData, &lblResolutionHeightData,
        &txtInBottomLatitudeDegree, &txtInBottomLatitude3, &txtInLeftLongitudeDegree, &txtInLeftLongitude3,
        &txtInTopLatitudeDegree, &txtInTopLatitude3, &txtInRightLongitudeDegree, &txtInRightLongitude3,
        &lblDragIn,
        &txtOutFilePathData, &lblOutFileSize, &txtImageWidthData, &txtImageHeightData, &cboColorDepthData,
        &cboCompressionData, &txtResolutionWidthData, &txtResolutionHeightData,
        &txtOutBottomLatitudeDegree, &txtOutBottomLatitude3, &txtOutLeftLongitudeDegree, &txtOutLeftLongitude3,
        &txtOutTopLatitudeDegree, &txtOutTopLatitude3, &txtOutRightLongitudeDegree, &txtOutRightLongitude3,
        &cmdMake,
        &txtlblAmbuloFilePath, &txtName, &cboLayer, &cmdWriteAmbuloData, &lblDragAmbulo,
        &mnuFile, &mnuFileOpenInFile, &mnuFileSelectOutFile, &mnuFileSelectAmbuloFile, &mnuFileNop0, &mnuFileQuit,
    };
    WireEvents();
}

Control* Form1::Find(const std::string& name) const {
    for (Control* control : controls_) {
        if (control->Name() == name) return control;
    }
    return nullptr;
}

void Form1::WireEvents() {
    cboColorDepthData.onChange = [this] { cboColorDepthData_Click(); };
    txtImageWidthData.onChange = [this] { txtImageWidthData_Change(); };
    txtImageHeightData.onChange = [this] { txtImageHeightData_Change(); };
    txtlblAmbuloFilePath.onChange = [this] { txtlblAmbuloFilePath_Change(); };
}

void Form1::Form_Load() {
    NoDataText = kartivo::NoDataText;
    for (std::size_t i = 0; i < CompressionNames.size(); ++i) {
        CompressionNames[i] = kartivo::CompressionNames[i];
    }

    // The drop targets cover their frames; the view places them (it owns the geometry).

    cboColorDepthData.ClearItems();
    for (const char* depth : {"1", "4", "8", "16", "24", "32"}) {
        cboColorDepthData.AddItem(depth);
    }
    cboColorDepthData.SetListIndex(0);

    cboCompressionData.ClearItems();
    for (const std::string& name : CompressionNames) {
        cboCompressionData.AddItem(name);
    }
    cboCompressionData.SetListIndex(0);

    cmdMake.SetEnabled(false);

    cboLayer.ClearItems();
    for (int n = 1; n <= 4; ++n) {
        cboLayer.AddItem("Layer" + std::to_string(n));
    }
    cboLayer.SetListIndex(0);

    UpdateMakeEnabled();

    txtImageWidthData.SetEnabled(false);
    cboColorDepthData.SetEnabled(false);
    cboCompressionData.SetEnabled(false);
}

std::optional<std::int32_t> Form1::GetOutputFileSize() const {
    const auto width = WholeNumber(txtImageWidthData.Text());
    const auto height = WholeNumber(txtImageHeightData.Text());
    const auto depth = WholeNumber(cboColorDepthData.Text());
    if (!width || !height || !depth) return std::nullopt;
    return OutputFileSize(*width, *height, *depth, inputHeaders.file.bfOffBits());
}

void Form1::RefreshOutputFileSize() {
    const auto size = GetOutputFileSize();
    lblOutFileSize.SetText(size ? std::to_string(*size) : NoDataText);
}

bool Form1::RectanglesAreOrdered() const {
    const auto greater = [](const Control& high, const Control& low) {
        return LeadingNumber(high.Text()) > LeadingNumber(low.Text());
    };
    return greater(txtInTopLatitudeDegree, txtInBottomLatitudeDegree) &&
           greater(txtInRightLongitudeDegree, txtInLeftLongitudeDegree) &&
           greater(txtOutTopLatitudeDegree, txtOutBottomLatitudeDegree) &&
           greater(txtOutRightLongitudeDegree, txtOutLeftLongitudeDegree);
}

void Form1::UpdateMakeEnabled() {
    const std::string& in = txtInFilePathData.Text();
    const std::string& out = txtOutFilePathData.Text();
    cmdMake.SetEnabled(!in.empty() && !out.empty() && in != out && RectanglesAreOrdered() &&
                       cboCompressionData.ListIndex() == 0);
    UpdateWriteEnabled();
}

void Form1::UpdateWriteEnabled() {
    const std::string& path = txtlblAmbuloFilePath.Text();
    cmdWriteAmbuloData.SetEnabled(!path.empty() && FileExists(path) && GetExtensionName(path) == "mbx" &&
                                  RectanglesAreOrdered());
}

void Form1::txtlblAmbuloFilePath_Change() {
    UpdateWriteEnabled();
}

void Form1::cboColorDepthData_Click() {
    RefreshOutputFileSize();
}

void Form1::txtImageWidthData_Change() {
    RefreshOutputFileSize();
}

void Form1::txtImageHeightData_Change() {
    RefreshOutputFileSize();
}

}  // namespace kartivo
