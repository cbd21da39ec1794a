#include "bitmap/PictureLoading.h"

#include "common/PathParts.h"

#include <array>

namespace kartivo {

LoadedHeaders ReadPictureHeaders(const std::string& path, MessageBoxes& boxes, FileSystem& fileSystem) {
    LoadedHeaders loaded;
    std::array<std::uint8_t, HeaderReadSize> bytes{};
    {
        OpenResult opened = OpenFileWithRetry(path, OpenInput, QuietFileNotFound, boxes, fileSystem);
        if (!opened) {
            loaded.problem = LoadProblem::OpenFailed;
            if (!opened.asked) loaded.reason = opened.failure;
            return loaded;
        }
        opened.file->ReadSome(bytes);
        opened.file->Close();
    }
    loaded.read = true;
    loaded.headers = RecognizeBitmap(bytes);
    if (loaded.headers.error == HeaderError::NotBitmap) loaded.problem = LoadProblem::NotBitmap;
    if (loaded.headers.error == HeaderError::UnknownForm) loaded.problem = LoadProblem::UnknownForm;
    return loaded;
}

const char* LoadProblemText(LoadProblem problem) {
    switch (problem) {
    case LoadProblem::None: return "";
    case LoadProblem::OpenFailed: return "Failed to Open File.";
    case LoadProblem::NotBitmap: return "This file is not BMP.";
    case LoadProblem::UnknownForm: return "Could not define file type (OS/2 or Windows).";
    }
    return "";
}

std::string ProposeOutputPath(const std::string& path) {
    const std::string folder = GetParentFolderName(path);
    const std::string name = GetBaseName(path) + "_." + GetExtensionName(path);
    return folder.empty() ? name : folder + PreferredSeparator() + name;
}

}  // namespace kartivo
