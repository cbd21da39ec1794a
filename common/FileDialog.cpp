#include "common/FileDialog.h"

namespace kartivo {

std::string EffectiveFilter(const std::string& filter) {
    if (filter.empty()) {
        return std::string("All(*.*)\0*.*\0", 14);
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
