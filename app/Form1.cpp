#include "app/Form1.h"

#include "bitmap/OutputLayout.h"
#include "common/NumberText.h"
#include "common/PathParts.h"
#include "geo/CoordinateText.h"

#include <utility>

namespace kartivo {

namespace {

// What a corner box takes, for its tooltip, with an example in the box's own form.
std::string CornerHint(bool dms, std::int32_t limit, bool lowerLimitIncluded) {
    const bool latitude = limit == 90;
    const double example = latitude ? 35.6 : 139.6;
    return std::string(latitude ? "A latitude " : "A longitude ") + (lowerLimitIncluded ? "from " : "above ") +
           std::to_string(-limit) + (lowerLimitIncluded ? " to " : " up to ") + std::to_string(limit) +
           (dms ? " in degrees, minutes and seconds, " : " in degrees, ") +
           (latitude ? "north positive, e.g. " : "east positive, e.g. ") +
           (dms ? DegreeToDmsText(example) : DegreeText(example));
}

}  // namespace

Form1::Form1(UserInterface& ui, FileSystem& fileSystem) : ui_(ui), fileSystem_(fileSystem) {
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
        &mnuFile, &mnuFileOpenInFile, &mnuFileSelectOutFile, &mnuFileSelectAmbuloFile, &mnuFileImportPicture, &mnuFileNop0,
        &mnuFileQuit,
    };
    WireEvents();
    for (const CornerField* field : {&inBottom_, &inLeft_, &inTop_, &inRight_, &outBottom_, &outLeft_, &outTop_,
                                     &outRight_}) {
        field->degree.SetToolTip(CornerHint(false, field->limit, field->lowerLimitIncluded));
        field->dms.SetToolTip(CornerHint(true, field->limit, field->lowerLimitIncluded));
    }
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
    lblImageWidthData.onChange = [this] { lblImageWidthData_Change(); };
    lblImageHeightData.onChange = [this] { lblImageHeightData_Change(); };
    lblColorDepthData.onChange = [this] { lblColorDepthData_Change(); };
    lblCompressionData.onChange = [this] { lblCompressionData_Change(); };
    lblResolutionWidthData.onChange = [this] { lblResolutionWidthData_Change(); };
    lblResolutionHeightData.onChange = [this] { lblResolutionHeightData_Change(); };
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

    // Each handler accepts zero and brings its pair, and the output pair, into agreement.
    txtInBottomLatitude3.SetText("+0°0' 0''");
    txtInBottomLatitude3_Validate();
    txtInLeftLongitude3.SetText("0°0' 0''");
    txtInLeftLongitude3_Validate();
    txtInTopLatitude3.SetText("0°0' 0''");
    txtInTopLatitude3_Validate();
    txtInRightLongitude3.SetText("0°0' 0''");
    txtInRightLongitude3_Validate();

    txtImageWidthData.SetEnabled(false);
    cboColorDepthData.SetEnabled(false);
    cboCompressionData.SetEnabled(false);
}

std::optional<std::int32_t> Form1::GetOutputImageSize() const {
    const auto width = WholeNumber(txtImageWidthData.Text());
    const auto height = WholeNumber(txtImageHeightData.Text());
    const auto depth = WholeNumber(cboColorDepthData.Text());
    if (!width || !height || !depth) return std::nullopt;
    return OutputImageSize(*width, *height, *depth);
}

std::optional<std::int32_t> Form1::GetOutputFileSize() const {
    const auto image = GetOutputImageSize();
    return image ? OutputFileSize(*image, inputHeaders.file.bfOffBits()) : std::nullopt;
}

void Form1::RefreshOutputFileSize() {
    const auto size = GetOutputFileSize();
    lblOutFileSize.SetText(size ? std::to_string(*size) : NoDataText);
}

bool Form1::ValidateDegree(const CornerField& field) {
    const auto inRange = [&field](double v) {
        const double limit = field.limit;
        return (field.lowerLimitIncluded ? v >= -limit : v > -limit) && v <= limit;
    };
    const auto value = NumericValue(field.degree.Text());
    if (!value || !inRange(*value)) return false;
    // The value has to be in range also as the two texts show it, or leaving either box again
    // would refuse what the program wrote there: an input longitude within 0.00005 seconds
    // above -180 is shown as -180.
    const std::string degreeText = DegreeText(*value);
    const std::string dmsText = DegreeToDmsText(*value);
    double shownDms = 0;
    if (!inRange(HeldByDegreeBox(*value)) || !DmsTextToDegree(dmsText, field.limit, shownDms) ||
        !inRange(shownDms)) {
        return false;
    }

    field.degree.SetText(degreeText);
    field.dms.SetText(dmsText);
    if (field.outDegree != nullptr) {
        field.outDegree->SetText(field.degree.Text());
        field.outDms->SetText(field.dms.Text());
    }
    UpdateMakeEnabled();
    if (onMapChange) onMapChange(false);
    return true;
}

bool Form1::WriteDegree(const CornerField& field, std::string text) {
    std::string earlier = field.degree.Text();
    field.degree.SetText(std::move(text));
    if (ValidateDegree(field)) return true;
    field.degree.SetText(std::move(earlier));
    return false;
}

bool Form1::ValidateDms(const CornerField& field) {
    double value = 0;
    if (!DmsTextToDegree(field.dms.Text(), field.limit, value)) return false;
    // A value its Degree box refuses (an input longitude of -180) is refused here as well:
    // accepting it would leave the Degree box holding a text it refuses.
    return WriteDegree(field, GeneralNumberText(value));
}

bool Form1::txtInBottomLatitudeDegree_Validate() { return ValidateDegree(inBottom_); }
bool Form1::txtInLeftLongitudeDegree_Validate() { return ValidateDegree(inLeft_); }
bool Form1::txtInTopLatitudeDegree_Validate() { return ValidateDegree(inTop_); }
bool Form1::txtInRightLongitudeDegree_Validate() { return ValidateDegree(inRight_); }
bool Form1::txtOutBottomLatitudeDegree_Validate() { return ValidateDegree(outBottom_); }
bool Form1::txtOutLeftLongitudeDegree_Validate() { return ValidateDegree(outLeft_); }
bool Form1::txtOutTopLatitudeDegree_Validate() { return ValidateDegree(outTop_); }
bool Form1::txtOutRightLongitudeDegree_Validate() { return ValidateDegree(outRight_); }
bool Form1::txtInBottomLatitude3_Validate() { return ValidateDms(inBottom_); }
bool Form1::txtInLeftLongitude3_Validate() { return ValidateDms(inLeft_); }
bool Form1::txtInTopLatitude3_Validate() { return ValidateDms(inTop_); }
bool Form1::txtInRightLongitude3_Validate() { return ValidateDms(inRight_); }
bool Form1::txtOutBottomLatitude3_Validate() { return ValidateDms(outBottom_); }
bool Form1::txtOutLeftLongitude3_Validate() { return ValidateDms(outLeft_); }
bool Form1::txtOutTopLatitude3_Validate() { return ValidateDms(outTop_); }
bool Form1::txtOutRightLongitude3_Validate() { return ValidateDms(outRight_); }

const Form1::CornerField* Form1::FieldOf(const Control& box) const {
    for (const CornerField* field : {&inBottom_, &inLeft_, &inTop_, &inRight_, &outBottom_, &outLeft_, &outTop_,
                                     &outRight_}) {
        if (&box == &field->degree || &box == &field->dms) return field;
    }
    return nullptr;
}

std::function<bool()> Form1::ValidateHandler(const Control& box) {
    const CornerField* field = FieldOf(box);
    if (field == nullptr) return {};
    if (&box == &field->degree) return [this, field] { return ValidateDegree(*field); };
    return [this, field] { return ValidateDms(*field); };
}

std::string Form1::LongestCornerText(const Control& box) const {
    const CornerField* field = FieldOf(box);
    if (field == nullptr) return "";
    // The texts of the range's end are as long as any other: three digits of degrees at most.
    return &box == &field->degree ? DegreeText(-field->limit) : DegreeToDmsText(-field->limit);
}

void Form1::SetActiveControl(const Control* control) {
    if (control == activeControl_) return;
    activeControl_ = control;
    checkedControl_ = nullptr;
}

bool Form1::LeaveActiveControl() {
    if (activeControl_ == nullptr) return true;
    const auto validate = ValidateHandler(*activeControl_);
    if (!validate) return true;
    if (checkedControl_ == activeControl_ && checkedText_ == activeControl_->Text()) return true;
    if (!validate()) return false;
    checkedControl_ = activeControl_;
    checkedText_ = activeControl_->Text();
    return true;
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
    if (onMapChange) onMapChange(false);
}

}  // namespace kartivo
