#pragma once
// Reading a picture's headers as loading does, and where its output is proposed to go.

#include "bitmap/BitmapHeader.h"
#include "common/FileCommon.h"

#include <string>

namespace kartivo {

enum class LoadProblem { None, OpenFailed, NotBitmap, UnknownForm };

struct LoadedHeaders {
    BitmapHeaders headers;  // also kept when the check fails: what the file's first bytes hold
    LoadProblem problem = LoadProblem::None;
    bool read = false;      // false when the file could not be opened
    std::string reason;     // why it could not be opened, where no alarm box has said so
};

// Opens the picture read-only (a missing one is never created), reads its first 54 bytes
// (zeros past a short file's end), closes it at once and recognises the headers.
LoadedHeaders ReadPictureHeaders(const std::string& path, MessageBoxes& boxes,
                                 FileSystem& fileSystem = DefaultFileSystem());

// The message that tells why a picture was not loaded.
const char* LoadProblemText(LoadProblem problem);

// Beside the picture, "_" added to its base name: /maps/Tokyo.bmp gives /maps/Tokyo_.bmp.
// A bare file name stays bare rather than moving to the root folder.
std::string ProposeOutputPath(const std::string& path);

}  // namespace kartivo
