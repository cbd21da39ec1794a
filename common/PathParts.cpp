#include "common/PathParts.h"

#include <filesystem>
#include <system_error>

namespace kartivo {

namespace {

bool IsSeparator(char c) {
    return c == '/' || c == static_cast<char>(std::filesystem::path::preferred_separator);
}

std::size_t LastSeparator(std::string_view path) {
    for (std::size_t i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return i - 1;
    }
    return std::string_view::npos;
}

std::string_view LastComponent(std::string_view path) {
    const std::size_t sep = LastSeparator(path);
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

}  // namespace

char PreferredSeparator() {
    return static_cast<char>(std::filesystem::path::preferred_separator);
}

std::string GetParentFolderName(std::string_view path) {
    const std::size_t sep = LastSeparator(path);
    if (sep == std::string_view::npos) return {};
    if (sep == 0) return std::string(path.substr(0, 1));  // the root folder
    if (sep == 2 && path[1] == ':') return std::string(path.substr(0, 3));  // a drive root, C:\ or C:/
    return std::string(path.substr(0, sep));
}

std::string GetFileName(std::string_view path) { return std::string(LastComponent(path)); }

std::string GetBaseName(std::string_view path) {
    const std::string_view name = LastComponent(path);
    const std::size_t dot = name.rfind('.');
    return std::string(dot == std::string_view::npos ? name : name.substr(0, dot));
}

std::string GetExtensionName(std::string_view path) {
    const std::string_view name = LastComponent(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

bool FileExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_regular_file(path, ec);
}

bool FolderExists(const std::string& path) {
    std::error_code ec;
    return !path.empty() && std::filesystem::is_directory(path, ec);
}

}  // namespace kartivo
