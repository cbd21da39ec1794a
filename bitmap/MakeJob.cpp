#include "bitmap/MakeJob.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

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

bool IsSamePicture(const std::string& inputPath, const std::string& outputPath) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(inputPath, outputPath, ec) && !ec) return true;
    const fs::path in = fs::weakly_canonical(inputPath, ec);
    if (ec) return inputPath == outputPath;
    const fs::path out = fs::weakly_canonical(outputPath, ec);
    if (ec) return inputPath == outputPath;
    return in == out;
}

MakeResult RunMake(const MakeRequest& request, const std::string& inputPath, const std::string& outputPath,
                   MessageBoxes& boxes, FileSystem& fileSystem, const std::function<void(bool)>& busy) {
    if (IsSamePicture(inputPath, outputPath)) return {MakeOutcome::SameFile, MakeError::None};
    // Every check is made before a file is opened: a vanished input would otherwise be created
    // empty by the open, and a short one is refused without touching the output.
    std::error_code ec;
    const std::uintmax_t sizeOnDisk = std::filesystem::file_size(inputPath, ec);
    if (ec) return {MakeOutcome::InputOpenFailed, MakeError::None};
    if (const MakeError error = ValidateMakeRequest(request, sizeOnDisk); error != MakeError::None) {
        return {MakeOutcome::Refused, error};
    }

    OpenResult input = OpenFileWithRetry(inputPath, OpenBinary, QuietFileNotFound, boxes,
                                         OpenOptions{.readOnlyFallback = true}, fileSystem);
    if (!input) return {MakeOutcome::InputOpenFailed, MakeError::None};
    // Checked again on the open file, which may have changed in between.
    const auto inputSize = input.file->Size();
    const MakeError sizeError = inputSize ? ValidateMakeRequest(request, *inputSize) : MakeError::InputReadFailed;
    if (sizeError != MakeError::None) return {MakeOutcome::Refused, sizeError};

    OpenResult output = OpenFileWithRetry(outputPath, OpenBinary, QuietNone, boxes, {}, fileSystem);
    if (!output) return {MakeOutcome::OutputOpenFailed, MakeError::None};

    if (busy) busy(true);
    const MakeError error = Resample(request, *input.file, *output.file);
    input.file->Close();
    const bool closed = output.file->Close();
    if (busy) busy(false);

    if (error != MakeError::None) return {MakeOutcome::Failed, error};
    if (!closed) return {MakeOutcome::CloseFailed, MakeError::None};
    return {MakeOutcome::Done, MakeError::None};
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

}  // namespace

std::string MakeRefusalText(const std::string& outputPath, const std::string& why) {
    return "Cannot make " + outputPath + ": " + why + ".";
}

std::string MakeResultText(const MakeResult& result, const std::string& inputPath, const std::string& outputPath) {
    switch (result.outcome) {
    case MakeOutcome::Done: return "";
    case MakeOutcome::SameFile:
        return "The output file " + outputPath + " is the input picture itself; choose another output file.";
    case MakeOutcome::Refused: return MakeRefusalText(outputPath, ErrorText(result.error));
    case MakeOutcome::InputOpenFailed: return "Could not Open Input File!";
    case MakeOutcome::OutputOpenFailed: return "Could not Open Output File!";
    case MakeOutcome::Failed:
        return "Making " + outputPath + " failed: " + ErrorText(result.error) + " (input " + inputPath +
               "). The output was not completed.";
    case MakeOutcome::CloseFailed:
        return "Making " + outputPath + " failed: the file could not be closed, so it may be incomplete.";
    }
    return "";
}

}  // namespace kartivo
