#pragma once
// The open and save file dialogs, and the arguments the window passes them.

#include <cstdint>
#include <string>
#include <vector>

namespace kartivo {

// Option bits of the dialogs.
inline constexpr std::uint32_t DialogFileMustExist = 0x1000;
inline constexpr std::uint32_t DialogPathMustExist = 0x800;
inline constexpr std::uint32_t DialogHideReadOnly = 0x4;
inline constexpr std::uint32_t DialogNoReadOnlyReturn = 0x8000;
inline constexpr std::uint32_t DialogOverwritePrompt = 0x2;
inline constexpr std::uint32_t DialogNoChangeDir = 0x400;  // a report bit; ignored on input
inline constexpr std::uint32_t DialogDefaultOpenFlags = 0x1804;
inline constexpr std::uint32_t DialogDefaultSaveFlags = 0x8806;
// Explorer style, resizable, hook: added to every flag set.
inline constexpr std::uint32_t DialogAddedFlags = 0x880020;
// The file list's plain list view.
inline constexpr std::uint32_t ViewCommandList = 28715;

// One entry of a dialog's type list: the text shown, and the pattern of names it lists.
struct FileFilter {
    std::string description;  // "BMP(*.bmp)"
    std::string pattern;      // "*.bmp"
    bool operator==(const FileFilter&) const = default;
};

struct FileDialogRequest {
    std::vector<FileFilter> filter;  // empty: all files
    std::uint32_t flags = 0;       // 0: the dialog's defaults
    std::string initialFolder;     // empty: the current folder
    std::string title;             // empty: the toolkit's default title
    std::string defaultExtension;  // save only
    std::string initialFileName;   // save only
    std::uint32_t viewCommand = ViewCommandList;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The chosen full path, or "" when the user cancels or the dialog fails.
    virtual std::string ShowOpenDialog(const FileDialogRequest& request) = 0;
    virtual std::string ShowSaveDialog(const FileDialogRequest& request) = 0;
};

// The filter "type(*.ext)", "*.ext" and the title "Output type File" of the dialogs that choose
// an output of one file type.
FileDialogRequest OutputFileRequest(const std::string& type, const std::string& extension);

// The filter and flags the dialogs really use: "All(*.*)" for an empty filter, the default
// flags for 0, and the added bits.
std::vector<FileFilter> EffectiveFilter(const std::vector<FileFilter>& filter);
std::uint32_t EffectiveFlags(std::uint32_t flags, bool save);

}  // namespace kartivo
