#pragma once
// One run of Make from start to end: the checks, opening both files, the re-projection, and
// closing. The window and the batch tool both run it, so they refuse, write and report alike.

#include "bitmap/BitmapHeader.h"
#include "bitmap/Resample.h"
#include "common/FileCommon.h"

#include <functional>
#include <string>

namespace kartivo {

// The parts of a request that come from the loaded input picture's headers.
MakeRequest RequestFromHeaders(const BitmapHeaders& headers);

enum class MakeOutcome {
    Done,
    SameFile,          // the output names the input picture itself; nothing opened
    Refused,           // a check failed before the output was opened; error says which
    InputOpenFailed,   // "Could not Open Input File!"
    OutputOpenFailed,  // "Could not Open Output File!"
    Failed,            // reading or writing failed; error says which; the output is cut to nothing
    CloseFailed,       // the output could not be closed: what was written may be incomplete
};

struct MakeResult {
    MakeOutcome outcome = MakeOutcome::Done;
    MakeError error = MakeError::None;
};

// True when both paths name the same file: the same text after resolving, or the same file
// reached through another name.
bool IsSamePicture(const std::string& inputPath, const std::string& outputPath);

// Checks the request, opens the input (read access is enough) and checks it against its size,
// then opens the output, writes it and closes both. busy(true) and busy(false) frame the work
// once the output is open, on every path.
MakeResult RunMake(const MakeRequest& request, const std::string& inputPath, const std::string& outputPath,
                   MessageBoxes& boxes, FileSystem& fileSystem, const std::function<void(bool)>& busy = {});

// "Cannot make OUTPUT: why.", the form of every refusal.
std::string MakeRefusalText(const std::string& outputPath, const std::string& why);

// The message that tells the person what went wrong, naming the files where it helps.
std::string MakeResultText(const MakeResult& result, const std::string& inputPath, const std::string& outputPath);

}  // namespace kartivo
