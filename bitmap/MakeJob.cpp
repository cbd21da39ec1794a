#include "bitmap/MakeJob.h"

#include "common/ReplacementFile.h"

#include <array>
#include <cstdlib>

namespace kartivo {

MakeRequest RequestFromHeaders(const BitmapHeaders& headers) {
    MakeRequest request;
    request.form = headers.form;
    request.inputPixelOffset = headers.file.bfOffBits();
    if (headers.form == HeaderForm::Os2) {
        request.width = headers.core.bcWidth;
        request.bitCount = headers.core.bcBitCount;
        request.inputRows = headers.core.bcHeight;
    } else {
        request.width = headers.info.biWidth;
        request.bitCount = headers.info.biBitCount;
        request.compression = headers.info.biCompression;
        request.inputTopDown = headers.info.biHeight < 0;
        // INT32_MIN has no positive counterpart; it is no picture anyone can hold anyway.
        request.inputRows = headers.info.biHeight == INT32_MIN ? 0 : std::abs(headers.info.biHeight);
        request.clrUsed = headers.info.biClrUsed;
        request.clrImportant = headers.info.biClrImportant;
    }
    return request;
}

MakeResult RunMake(const MakeRequest& request, const BitmapHeaders& loaded, const std::string& inputPath,
                   const std::string& outputPath, MessageBoxes& boxes, FileSystem& fileSystem,
                   const std::function<void(bool)>& busy, const std::vector<FileIdentity>& alsoRead) {
    // Everything below reads through this one open, so the headers checked, the identity the
    // output is kept apart from and the rows copied all come from the same file, whatever
    // happens to its name meanwhile.
    OpenResult input = OpenFileWithRetry(inputPath, OpenInput, QuietFileNotFound, boxes, fileSystem);
    if (!input) return {MakeOutcome::InputOpenFailed, MakeError::None, input.failure};
    std::array<std::uint8_t, HeaderReadSize> first{};
    input.file->ReadSome(first);
    if (!(RecognizeBitmap(first) == loaded)) return {MakeOutcome::InputChanged, MakeError::None, {}};
    const auto inputSize = input.file->Size();
    const auto identity = input.file->Identity();
    if (!inputSize || !identity) {
        return {MakeOutcome::Failed, MakeError::InputReadFailed, ReplacementFile::ReadError(inputPath, *input.file)};
    }
    // Refused before the output is opened, so a refusal asks nothing about the output path.
    if (const MakeError error = ValidateMakeRequest(request, *inputSize); error != MakeError::None) {
        return {MakeOutcome::Refused, error, {}};
    }

    std::vector<FileIdentity> inputs = alsoRead;
    inputs.push_back(*identity);
    const auto output = OpenReplacementWithRetry(outputPath, std::move(inputs), boxes, fileSystem);
    if (output->TargetIsInput()) return {MakeOutcome::SameFile, MakeError::None, {}};
    if (!output->IsOpen()) return {MakeOutcome::OutputOpenFailed, MakeError::None, output->Reason()};

    if (busy) busy(true);
    MakeResult result;
    if (const MakeError error = Resample(request, *input.file, output->File()); error != MakeError::None) {
        result = {MakeOutcome::Failed, error,
                  error == MakeError::InputReadFailed ? ReplacementFile::ReadError(inputPath, *input.file)
                                                      : output->WriteError()};
        output->Discard();
    } else if (!output->Commit()) {
        result = output->TargetIsInput() ? MakeResult{MakeOutcome::SameFile, MakeError::None, {}}
                                         : MakeResult{MakeOutcome::CloseFailed, MakeError::None, output->Error()};
    }
    input.file->Close();
    if (busy) busy(false);
    return result;
}

namespace {

std::string ErrorText(MakeError error) {
    switch (error) {
    case MakeError::None: return "";
    case MakeError::InputTooFewRows: return "the input picture has fewer than 2 rows";
    case MakeError::NegativeOutputHeight: return "the output height is negative";
    case MakeError::LatitudeOutOfRange: return "a latitude lies at or beyond 90 degrees north or south";
    case MakeError::CompressedInput: return "the input picture is compressed; only uncompressed rows can be copied";
    case MakeError::InvalidPictureSize: return "the input picture has no usable width or colour depth";
    case MakeError::SizeOverflow: return "the output picture would be too large for a bitmap file";
    case MakeError::PixelOffsetInsideHeaders: return "the input's pixel data would start inside its own headers";
    case MakeError::InputFileTooShort: return "the input file ends before its last row";
    case MakeError::InputReadFailed: return "the input file could not be read";
    case MakeError::OutputWriteFailed: return "the output file could not be written";
    }
    return "";
}

// Whatever failed, the rename never happened.
std::string UnchangedText(const std::string& outputPath) {
    return "Any earlier " + outputPath + " is unchanged.";
}

}  // namespace

std::string MakeRefusalText(const std::string& outputPath, const std::string& why) {
    return "Cannot make " + outputPath + ": " + why + ".";
}

std::string MakeResultText(const MakeResult& result, const std::string& inputPath, const std::string& outputPath) {
    // The fixed texts come first, then which file and the system's reason.
    const auto withReason = [&](const std::string& text, const std::string& path) {
        return result.reason.empty() ? text : text + " (" + path + ": " + result.reason + ")";
    };
    switch (result.outcome) {
    case MakeOutcome::Done: return "";
    case MakeOutcome::SameFile:
        return "The output file " + outputPath + " is the input picture itself; choose another output file.";
    case MakeOutcome::Refused: return MakeRefusalText(outputPath, ErrorText(result.error));
    case MakeOutcome::InputChanged:
        return MakeRefusalText(outputPath,
                               "the input file " + inputPath + " is not the picture that was loaded; load it again");
    case MakeOutcome::InputOpenFailed: return withReason("Could not Open Input File!", inputPath);
    case MakeOutcome::OutputOpenFailed: return withReason("Could not Open Output File!", outputPath);
    case MakeOutcome::Failed:
    case MakeOutcome::CloseFailed:
        // The reason names the file that failed, the input or the output.
        return "Making " + outputPath + " failed: " + (result.reason.empty() ? ErrorText(result.error) : result.reason) +
               ". " + UnchangedText(outputPath);
    }
    return "";
}

}  // namespace kartivo
