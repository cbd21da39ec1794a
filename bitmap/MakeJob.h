#pragma once
// One run of Make from start to end: the checks, opening both files, the re-projection, and
// closing. The window and the batch tool both run it, so they refuse, write and report alike.

#include "bitmap/BitmapHeader.h"
#include "bitmap/Resample.h"
#include "common/FileCommon.h"

#include <functional>
#include <vector>
#include <string>

namespace kartivo {

// The parts of a request that come from the loaded input picture's headers.
MakeRequest RequestFromHeaders(const BitmapHeaders& headers);

enum class MakeOutcome {
    Done,
    SameFile,          // the output name denotes the input picture itself; nothing replaced
    Refused,           // a check failed before the output was opened; error says which
    InputOpenFailed,   // "Could not Open Input File!"
    OutputOpenFailed,  // "Could not Open Output File!"
    InputChanged,      // the input path no longer holds the picture the request was made from
    Failed,            // reading or writing failed; error says which; the older output is unchanged
    CloseFailed,       // the finished output could not be flushed, closed or put in place; older one unchanged
};

struct MakeResult {
    MakeOutcome outcome = MakeOutcome::Done;
    MakeError error = MakeError::None;
    std::string reason;  // the system's reason, naming the file ("Cannot write /a.bmp: No space left on device")
};

// Opens the input once, read-only, and through that one open checks that it still holds the
// loaded headers and is long enough, then copies its rows. The output is written into a new
// temporary file beside it that replaces it only when complete (ReplacementFile): a refusal or
// any failure leaves an older output as it was, and an output name that denotes the input or
// one of alsoRead -- when Make starts or by the time it would replace it -- replaces nothing. busy(true) and busy(false) frame the work once
// the output is open, on every path.
MakeResult RunMake(const MakeRequest& request, const BitmapHeaders& loaded, const std::string& inputPath,
                   const std::string& outputPath, MessageBoxes& boxes, FileSystem& fileSystem,
                   const std::function<void(bool)>& busy = {}, const std::vector<FileIdentity>& alsoRead = {});

// "Cannot make OUTPUT: why.", the form of every refusal.
std::string MakeRefusalText(const std::string& outputPath, const std::string& why);

// The message that tells the person what went wrong, naming the files where it helps.
std::string MakeResultText(const MakeResult& result, const std::string& inputPath, const std::string& outputPath);

}  // namespace kartivo
