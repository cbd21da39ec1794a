#pragma once
// The pieces of a path as the window uses them: parent folder, base name, extension.
// Both '/' and the platform's own separator count as separators.

#include <string>
#include <string_view>

namespace kartivo {

// The platform's separator, used to join a folder and a file name.
char PreferredSeparator();

// The path up to its last separator, without it; the root keeps its separator ("/a" gives "/").
// A path without a separator has no parent folder: "".
std::string GetParentFolderName(std::string_view path);
// The last component: "Tokyo(35,139,36,140).bmp".
std::string GetFileName(std::string_view path);
// The last component up to its last "." (the whole component when it has none).
std::string GetBaseName(std::string_view path);
// The last component after its last "." ("" when it has none).
std::string GetExtensionName(std::string_view path);

// True when a regular file (not a folder) exists there; any error counts as "no".
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);

}  // namespace kartivo
