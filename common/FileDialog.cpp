#include "common/FileDialog.h"

namespace kartivo {

FileDialogRequest OutputFileRequest(const std::string& type, const std::string& extension) {
    FileDialogRequest request;
    request.filter = type + "(*." + extension + ")" + '\0' + "*." + extension + '\0';
    request.title = "Output " + type + " File";
    request.defaultExtension = extension;
    request.viewCommand = ViewCommandList;
    return request;
}

std::string EffectiveFilter(const std::string& filter) {
    if (filter.empty()) {
        return std::string("All(*.*)\0*.*\0", 13);
    }
    if (filter.back() != '\0') {
        return filter + '\0';
    }
    return filter;
}

std::uint32_t EffectiveFlags(std::uint32_t flags, bool save) {
    if (flags == 0) {
        flags = save ? DialogDefaultSaveFlags : DialogDefaultOpenFlags;
    }
    return flags | DialogAddedFlags;
}

std::string TrimAtNul(const std::string& text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace kartivo
