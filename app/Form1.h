#pragma once
// The main window's model: every control, the window's own tables, the input picture's
// headers, and the procedures that run on its events. Plain C++; the Qt view mirrors it.

#include "app/Control.h"
#include "app/UserInterface.h"
#include "bitmap/BitmapHeader.h"
#include "bitmap/MapGeometry.h"
#include "common/FileCommon.h"
#include "geo/ControlPoints.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kartivo {

namespace geoimport {
class ImportJob;
}

class Form1 {
public:
    // Files are opened through fileSystem, which tests replace to inject failures.
    explicit Form1(UserInterface& ui, FileSystem& fileSystem = DefaultFileSystem());
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    // The person in front of the window, for the parts of the window beside this one.
    UserInterface& Interface() const { return ui_; }

    // Start-up: lists, default texts, enabled states, the corner boxes.
    void Form_Load();

    // Every control, in declaration order; Find gives nullptr for an unknown name.
    const std::vector<Control*>& Controls() const { return controls_; }
    Control* Find(const std::string& name) const;

    // Window state that is not a control.
    std::string NoDataText;
    std::array<std::string, 4> CompressionNames;
    BitmapHeaders inputHeaders;  // the last input picture read; all zero before the first

    // Frames.
    Control fraIn{"fraIn", ControlKind::Frame, "", "In"};
    Control fraOut{"fraOut", ControlKind::Frame, "", "Out"};
    Control fraAmbulo{"fraAmbulo", ControlKind::Frame, "", "Ambulo"};

    // The input picture.
    Control txtInFilePathData{"txtInFilePathData", ControlKind::TextBox, "fraIn", ""};
    Control lblFileSizeData{"lblFileSizeData", ControlKind::Label, "fraIn", "Label1"};
    Control lblImageWidthData{"lblImageWidthData", ControlKind::Label, "fraIn", "0"};
    Control lblImageHeightData{"lblImageHeightData", ControlKind::Label, "fraIn", "0"};
    Control lblColorDepthData{"lblColorDepthData", ControlKind::Label, "fraIn", ""};
    Control lblCompressionData{"lblCompressionData", ControlKind::Label, "fraIn", ""};
    Control lblResolutionWidthData{"lblResolutionWidthData", ControlKind::Label, "fraIn", "96"};
    Control lblResolutionHeightData{"lblResolutionHeightData", ControlKind::Label, "fraIn", "96"};
    Control txtInBottomLatitudeDegree{"txtInBottomLatitudeDegree", ControlKind::TextBox, "fraIn"};
    Control txtInBottomLatitude3{"txtInBottomLatitude3", ControlKind::TextBox, "fraIn"};
    Control txtInLeftLongitudeDegree{"txtInLeftLongitudeDegree", ControlKind::TextBox, "fraIn"};
    Control txtInLeftLongitude3{"txtInLeftLongitude3", ControlKind::TextBox, "fraIn"};
    Control txtInTopLatitudeDegree{"txtInTopLatitudeDegree", ControlKind::TextBox, "fraIn"};
    Control txtInTopLatitude3{"txtInTopLatitude3", ControlKind::TextBox, "fraIn"};
    Control txtInRightLongitudeDegree{"txtInRightLongitudeDegree", ControlKind::TextBox, "fraIn"};
    Control txtInRightLongitude3{"txtInRightLongitude3", ControlKind::TextBox, "fraIn"};
    Control lblDragIn{"lblDragIn", ControlKind::Label, "fraIn", ""};

    // The output picture.
    Control txtOutFilePathData{"txtOutFilePathData", ControlKind::TextBox, "fraOut", "Text1"};
    Control lblOutFileSize{"lblOutFileSize", ControlKind::Label, "fraOut", "0"};
    Control txtImageWidthData{"txtImageWidthData", ControlKind::TextBox, "fraOut", "0"};
    Control txtImageHeightData{"txtImageHeightData", ControlKind::TextBox, "fraOut", "0"};
    Control cboColorDepthData{"cboColorDepthData", ControlKind::ComboBox, "fraOut"};
    Control cboCompressionData{"cboCompressionData", ControlKind::ComboBox, "fraOut"};
    Control txtResolutionWidthData{"txtResolutionWidthData", ControlKind::TextBox, "fraOut", "96"};
    Control txtResolutionHeightData{"txtResolutionHeightData", ControlKind::TextBox, "fraOut", "96"};
    Control txtOutBottomLatitudeDegree{"txtOutBottomLatitudeDegree", ControlKind::TextBox, "fraOut"};
    Control txtOutBottomLatitude3{"txtOutBottomLatitude3", ControlKind::TextBox, "fraOut"};
    Control txtOutLeftLongitudeDegree{"txtOutLeftLongitudeDegree", ControlKind::TextBox, "fraOut"};
    Control txtOutLeftLongitude3{"txtOutLeftLongitude3", ControlKind::TextBox, "fraOut"};
    Control txtOutTopLatitudeDegree{"txtOutTopLatitudeDegree", ControlKind::TextBox, "fraOut"};
    Control txtOutTopLatitude3{"txtOutTopLatitude3", ControlKind::TextBox, "fraOut"};
    Control txtOutRightLongitudeDegree{"txtOutRightLongitudeDegree", ControlKind::TextBox, "fraOut"};
    Control txtOutRightLongitude3{"txtOutRightLongitude3", ControlKind::TextBox, "fraOut"};
    Control cmdMake{"cmdMake", ControlKind::Button, "fraOut", "Make"};

    // The map data file.
    Control txtlblAmbuloFilePath{"txtlblAmbuloFilePath", ControlKind::TextBox, "fraAmbulo", "Text1"};
    Control txtName{"txtName", ControlKind::TextBox, "fraAmbulo", "Text1"};
    Control cboLayer{"cboLayer", ControlKind::ComboBox, "fraAmbulo"};
    Control cmdWriteAmbuloData{"cmdWriteAmbuloData", ControlKind::Button, "fraAmbulo", "Write Informations"};
    Control lblDragAmbulo{"lblDragAmbulo", ControlKind::Label, "fraAmbulo", ""};

    // The menu.
    Control mnuFile{"mnuFile", ControlKind::MenuItem, "", "File"};
    Control mnuFileOpenInFile{"mnuFileOpenInFile", ControlKind::MenuItem, "", "Open Input BMP File"};
    Control mnuFileSelectOutFile{"mnuFileSelectOutFile", ControlKind::MenuItem, "", "Select Output BMP File"};
    Control mnuFileSelectAmbuloFile{"mnuFileSelectAmbuloFile", ControlKind::MenuItem, "", "Select Ambulo2 File"};
    // Present only where Kartivo is built with the import (ImportAvailable()).
    Control mnuFileImportPicture{"mnuFileImportPicture", ControlKind::MenuItem, "",
                                 "Import Georeferenced Picture..."};
    Control mnuFileNop0{"mnuFileNop0", ControlKind::MenuItem, "", "-"};
    Control mnuFileQuit{"mnuFileQuit", ControlKind::MenuItem, "", "Quit"};

    // Expected output file size from the output width, height and colour depth texts and the
    // input's pixel-data offset; nothing while a text is not a whole number or a value
    // overflows 32 bits.
    std::optional<std::int32_t> GetOutputFileSize() const;
    // The pixel data size alone: row size times height.
    std::optional<std::int32_t> GetOutputImageSize() const;

    // The enabling rules of the two command buttons. UpdateMakeEnabled ends by running
    // UpdateWriteEnabled.
    void UpdateMakeEnabled();
    void UpdateWriteEnabled();

    // The sixteen corner box handlers: true accepts the box's text, false refuses it (the
    // focus then stays in the box and nothing else changes).
    bool txtInBottomLatitudeDegree_Validate();
    bool txtInLeftLongitudeDegree_Validate();
    bool txtInTopLatitudeDegree_Validate();
    bool txtInRightLongitudeDegree_Validate();
    bool txtOutBottomLatitudeDegree_Validate();
    bool txtOutLeftLongitudeDegree_Validate();
    bool txtOutTopLatitudeDegree_Validate();
    bool txtOutRightLongitudeDegree_Validate();
    bool txtInBottomLatitude3_Validate();
    bool txtInLeftLongitude3_Validate();
    bool txtInTopLatitude3_Validate();
    bool txtInRightLongitude3_Validate();
    bool txtOutBottomLatitude3_Validate();
    bool txtOutLeftLongitude3_Validate();
    bool txtOutTopLatitude3_Validate();
    bool txtOutRightLongitude3_Validate();
    // The handler of a corner box, for the view to run before the focus leaves it; empty for
    // every other control.
    std::function<bool()> ValidateHandler(const Control& box);
    // The longest text a corner box shows once its handler has written it, "" for every other
    // control: the view makes room for it.
    std::string LongestCornerText(const Control& box) const;

    // The control that has the window's focus, nullptr for none of these; the view keeps it
    // current. It stays while a dialog or another program holds the keyboard: a click or a drop
    // reaching the window then still leaves it. Moving the focus forgets that the box left
    // behind was checked.
    void SetActiveControl(const Control* control);
    const Control* ActiveControl() const { return activeControl_; }
    // Runs the handler of the corner box that has the focus, as the focus is about to leave it
    // or a command or a drop is about to act; true when no corner box has the focus or its
    // handler accepts. One visit to a box runs the handler once per text: a second run of a
    // DMS box's handler would round its partner again, so a box whose text is still what
    // its accepted handler left there is not checked again until the focus moves.
    bool LeaveActiveControl();

    // Told after a picture was loaded (true, whatever came of it), a corner box's value was
    // accepted or the output height changed (false): what a view of the map shows follows.
    std::function<void(bool pictureLoaded)> onMapChange;

    // The corners the In and Out Degree boxes hold, as numbers; nothing while a box holds none.
    std::optional<MapCorners> InCorners() const;
    std::optional<MapCorners> OutCorners() const;

    // Loading an input picture: both path boxes, the headers, the property labels (each
    // carried into the output fields at once), then the name and corners of its file name.
    void LoadInputMap(const std::string& path);

    // Importing a georeferenced picture (GeoTIFF, a picture with a world file): a save dialog
    // proposing Name(bottom,left,top,right).bmp beside it, the import under a progress dialog,
    // then the bitmap loaded as if dropped on "In". False when nothing was written.
    static bool ImportAvailable();
    bool ImportPicture(const std::string& sourcePath);
    // The same for a scan placed by control points, their map coordinates in the system the WKT
    // pointsCrs names (empty: WGS 84), with the transform given.
    bool ImportPicture(const std::string& sourcePath, const std::vector<ControlPoint>& points, PointTransform transform,
                       const std::string& pointsCrs);
    // What every import ends in once prepared: the save dialog proposing its first part's name
    // (a second part, east of 180 degrees, goes beside it), the write under a progress dialog
    // titled title and saying doing, what the person should know of it told (notes naming
    // source), and the bitmap loaded as if dropped on "In". False when nothing was written.
    bool SaveImport(geoimport::ImportJob& job, const std::string& title, const std::string& doing,
                    const std::string& source);
    // Asked when the import refuses a picture for carrying no georeference: true when the
    // person goes on to georeference it with control points instead.
    std::function<bool(const std::string& sourcePath)> offerGeoreference;
    // True when the file is a georeferenced picture that is not a bitmap, so a drop offers
    // the import instead of loading it.
    static bool IsImportablePicture(const std::string& path);
    // What a drop would act on, so a drag can be refused before it ends in nothing: on "In"
    // a bitmap (by its name or its first bytes) or a picture to import, on "Ambulo" a name
    // ending in exactly "mbx". Only the first of several files counts, as in the drops.
    static bool TakesInputDrop(const std::string& path);
    static bool TakesMapDataDrop(const std::string& path);

    // The map data file: taken when its extension is exactly "mbx"; the write rule follows.
    void SetMapDataFile(const std::string& path);

    // The three file dialogs.
    void ChooseInputFile();
    void ChooseOutputFile();
    void ChooseMapDataFile();

    // Commands.
    void cmdMake_Click();
    void cmdWriteAmbuloData_Click();

    // Events of the window.
    void mnuFileOpenInFile_Click();
    void mnuFileSelectOutFile_Click();
    void mnuFileSelectAmbuloFile_Click();
    void mnuFileImportPicture_Click();
    void mnuFileQuit_Click();
    void txtInFilePathData_DblClick();
    void txtOutFilePathData_DblClick();
    void txtlblAmbuloFilePath_DblClick();
    void lblDragIn_OLEDragDrop(const std::vector<std::string>& files);
    void lblDragAmbulo_OLEDragDrop(const std::vector<std::string>& files);
    void lblImageWidthData_Change();
    void lblImageHeightData_Change();
    void lblColorDepthData_Change();
    void lblCompressionData_Change();
    void lblResolutionWidthData_Change();
    void lblResolutionHeightData_Change();
    void cboColorDepthData_Click();
    void txtImageWidthData_Change();
    void txtImageHeightData_Change();
    void txtlblAmbuloFilePath_Change();

private:
    // One corner value: its pair of boxes, its range, and for an input value the output pair
    // that follows it.
    struct CornerField {
        Control& degree;
        Control& dms;
        std::int32_t limit;         // 90 or 180
        bool lowerLimitIncluded;    // false only for the input longitudes, which refuse -180
        Control* outDegree;         // input values only
        Control* outDms;
    };
    const CornerField* FieldOf(const Control& box) const;
    bool ValidateDegree(const CornerField& field);
    bool ValidateDms(const CornerField& field);
    // Writes a value into a Degree box and runs its handler; a refusal puts the earlier text
    // back, so the program never leaves a text in a box that the box would refuse.
    bool WriteDegree(const CornerField& field, std::string text);

    void WireEvents();
    void ReadInputMap(const std::string& path);
    void RefreshOutputFileSize();
    void ReadCornersFromFileName(const std::string& path);
    void ShowAlarm(const std::string& text);
    bool RectanglesAreOrdered() const;

    UserInterface& ui_;
    FileSystem& fileSystem_;
    const CornerField inBottom_{txtInBottomLatitudeDegree, txtInBottomLatitude3, 90, true,
                                &txtOutBottomLatitudeDegree, &txtOutBottomLatitude3};
    const CornerField inLeft_{txtInLeftLongitudeDegree, txtInLeftLongitude3, 180, false,
                              &txtOutLeftLongitudeDegree, &txtOutLeftLongitude3};
    const CornerField inTop_{txtInTopLatitudeDegree, txtInTopLatitude3, 90, true,
                             &txtOutTopLatitudeDegree, &txtOutTopLatitude3};
    const CornerField inRight_{txtInRightLongitudeDegree, txtInRightLongitude3, 180, false,
                               &txtOutRightLongitudeDegree, &txtOutRightLongitude3};
    const CornerField outBottom_{txtOutBottomLatitudeDegree, txtOutBottomLatitude3, 90, true, nullptr, nullptr};
    const CornerField outLeft_{txtOutLeftLongitudeDegree, txtOutLeftLongitude3, 180, true, nullptr, nullptr};
    const CornerField outTop_{txtOutTopLatitudeDegree, txtOutTopLatitude3, 90, true, nullptr, nullptr};
    const CornerField outRight_{txtOutRightLongitudeDegree, txtOutRightLongitude3, 180, true, nullptr, nullptr};
    std::vector<Control*> controls_;
    const Control* activeControl_ = nullptr;
    const Control* checkedControl_ = nullptr;  // the active box, once its handler accepted
    std::string checkedText_;                  // and the text that handler left in it
};

}  // namespace kartivo
