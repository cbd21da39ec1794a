#include "common/FileDialog.h"

namespace kartivo {

FileDialogRequest OutputFileRequest(const std::string& type, const std::string& extension) {
    FileDialogRequest request;
    request.filter = {{type + "(*." + extension + ")", "*." + extension}};
    request.title = "Output " + type + " File";
    request.defaultExtension = extension;
    request.viewCommand = ViewCommandList;
    return request;
}

std::vector<FileFilter> EffectiveFilter(const std::vector<FileFilter>& filter) {
    if (filter.empty()) return {{"All(*.*)", "*.*"}};
    return filter;
}

std::uint32_t EffectiveFlags(std::uint32_t flags, bool save) {
    if (flags == 0) {
        flags = save ? DialogDefaultSaveFlags : DialogDefaultOpenFlags;
    }
    return flags | DialogAddedFlags;
}

}  // namespace kartivo
