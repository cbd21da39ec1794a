// "Make": the re-projected output picture, and choosing where it goes.

#include "app/Form1.h"

#include "bitmap/MakeJob.h"
#include "bitmap/OutputHeader.h"
#include "common/NumberText.h"
#include "common/PathParts.h"

#include <optional>
#include <tuple>

namespace kartivo {

namespace {

// The first reason the window's fields cannot make a request, or nothing.
std::optional<std::string> ReadNumber(const Control& box, const char* what, double& value) {
    const auto number = NumericValue(box.Text());
    if (!number) return std::string(what) + " \"" + box.Text() + "\" is not a number";
    value = *number;
    return std::nullopt;
}

}  // namespace

void Form1::cmdMake_Click() {
    // The focused corner box may not have been left yet (a command run without moving the
    // focus): its text is checked before any box is read.
    if (!LeaveActiveControl()) return;
    const std::string inputPath = txtInFilePathData.Text();
    const std::string outputPath = txtOutFilePathData.Text();
    const auto refuse = [&](const std::string& why) { ShowAlarm(MakeRefusalText(outputPath, why)); };

    if (inputHeaders.error != HeaderError::None) {
        refuse("the input picture was not recognised as a bitmap");
        return;
    }
    MakeRequest request = RequestFromHeaders(inputHeaders);
    for (const auto& [box, what, value] :
         {std::tuple{&txtOutBottomLatitudeDegree, "the output bottom latitude", &request.outBottomLatitude},
          std::tuple{&txtOutTopLatitudeDegree, "the output top latitude", &request.outTopLatitude},
          std::tuple{&txtInBottomLatitudeDegree, "the input bottom latitude", &request.inBottomLatitude},
          std::tuple{&txtInTopLatitudeDegree, "the input top latitude", &request.inTopLatitude}}) {
        if (const auto problem = ReadNumber(*box, what, *value)) {
            refuse(*problem);
            return;
        }
    }
    const auto height = WholeNumber(txtImageHeightData.Text());
    if (!height) {
        refuse("the output height \"" + txtImageHeightData.Text() + "\" is not a whole number");
        return;
    }
    request.outputRows = *height;

    // The rows are copied whole, so the output must keep the loaded picture's width and depth.
    const auto width = WholeNumber(txtImageWidthData.Text());
    const auto depth = WholeNumber(cboColorDepthData.Text());
    if (!width || *width != request.width || !depth || *depth != request.bitCount) {
        refuse("the output width or colour depth differs from the input picture's (" +
               std::to_string(request.width) + " pixels, " + std::to_string(request.bitCount) + " bits)");
        return;
    }
    if (request.form == HeaderForm::Windows) {
        double dpiX = 0;
        double dpiY = 0;
        for (const auto& [box, what, value] :
             {std::tuple{&txtResolutionWidthData, "the horizontal resolution", &dpiX},
              std::tuple{&txtResolutionHeightData, "the vertical resolution", &dpiY}}) {
            if (const auto problem = ReadNumber(*box, what, *value)) {
                refuse(*problem);
                return;
            }
        }
        const auto x = PelsPerMeterFromDpi(dpiX);
        const auto y = PelsPerMeterFromDpi(dpiY);
        if (!x || !y) {
            refuse("a resolution is too large for a bitmap header");
            return;
        }
        request.xPelsPerMeter = *x;
        request.yPelsPerMeter = *y;
    }

    const MakeResult result = RunMake(request, inputHeaders, inputPath, outputPath, ui_, fileSystem_, [this](bool busy) {
        ui_.SetBusyPointer(busy);
        cmdMake.SetEnabled(!busy);
    });
    if (result.outcome != MakeOutcome::Done) ShowAlarm(MakeResultText(result, inputPath, outputPath));
}

void Form1::ChooseOutputFile() {
    FileDialogRequest request = OutputFileRequest("BMP", "bmp");
    // No overwrite question: the output is meant to be made again and again.
    request.flags = DialogNoChangeDir;
    request.initialFolder = GetParentFolderName(txtOutFilePathData.Text());
    request.initialFileName = txtOutFilePathData.Text();
    const std::string path = ui_.ShowSaveDialog(request);
    if (!path.empty()) txtOutFilePathData.SetText(path);
}

void Form1::txtOutFilePathData_DblClick() {
    ChooseOutputFile();
}

void Form1::mnuFileSelectOutFile_Click() {
    ChooseOutputFile();
}

// Quit ends the program, as its caption says.
void Form1::mnuFileQuit_Click() {
    ui_.CloseWindow();
}

}  // namespace kartivo
