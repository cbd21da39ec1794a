#pragma once
// Opening files with a retry dialog: the alarm box that explains a refused open and lets the
// person give up, try again, or have a missing file or folder made.

#include "common/File.h"
#include "common/MessageBox.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace kartivo {

// Scoped so that a mode and a quiet selector cannot stand in for each other or for a number;
// the names stay usable unqualified.
enum class OpenMode : int {
    OpenInput = 0,   // reading; a missing file is a failure
    OpenOutput = 1,  // sequential writing; created, or emptied if it exists
    OpenAppend = 2,  // sequential writing at the end; created when missing
    OpenBinary = 3,  // reading and writing at any position; a missing file is created empty
    OpenRandom = 4,  // fixed-length records; created when missing
    // A new private file beside the path that later replaces it (ReplacementFile); the path
    // itself is never created. A missing folder, or a file that may not be written, is asked
    // about as in the other modes.
    OpenReplace = 5,
    // Reading and writing a file that must already be there: a missing one is a failure.
    OpenExisting = 6,
};
using enum OpenMode;

enum class QuietSelector : int {
    QuietNone = 0,
    QuietPathNotFound = 1,
    QuietFileNotFound = 2,
};
using enum QuietSelector;

// How an open attempt failed; the values are the error codes the alarm box shows.
enum class OpenFailure : int {
    None = 0,
    FileNotFound = 53,
    PermissionDenied = 70,
    PathNotFound = 76,
    Other = -1,
};

// One try at opening: the file, or how it failed and the system's words for it.
struct OpenAttempt {
    std::unique_ptr<OpenFile> file;
    OpenFailure failure = OpenFailure::None;
    std::string description;
};

// Which class of failure an error of opening path in mode is. A missing file only counts as
// such where the mode would not have created it and its folder is there.
OpenFailure ClassifyOpenError(std::error_code error, const std::string& path, OpenMode mode);

// The file services OpenFileWithRetry and ReplacementFile need; tests override them to make
// one step fail.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens path in one of the modes other than OpenReplace.
    virtual OpenAttempt Open(const std::string& path, OpenMode mode);
    virtual bool FolderExists(const std::string& path);
    virtual bool CreateFolder(const std::string& path);
    // Creates (or empties) a file; false when that fails.
    virtual bool CreateEmptyFile(const std::string& path);
    // Creates the new file name in the opened folder, private to this user (0600); it must not
    // exist yet.
    virtual std::unique_ptr<OpenFile> CreateTemporaryFile(int folder, const std::string& name, std::error_code& error);
    // Renames from to to, both in the opened folder.
    virtual std::error_code Rename(int folder, const std::string& from, const std::string& to);
    // Gives the file from a second name to in the opened folder (a hard link); to must be new.
    virtual std::error_code Link(int folder, const std::string& from, const std::string& to);
};

// The real file system of this machine.
FileSystem& DefaultFileSystem();

// The result of an open with retry: code > 0 the file is open (for OpenFileWithRetry, its file
// number); 0 a quiet or unhandled failure, -1 Abort on a missing folder, -2 Abort on a missing
// file, -3 Cancel on permission denied.
struct OpenResult {
    std::int16_t code = 0;
    std::unique_ptr<OpenFile> file;
    std::string failure;  // the system's reason for the last failed attempt, if any
    bool asked = false;   // an alarm box has told the person about the failure
    explicit operator bool() const { return code > 0; }
};

// Opens path in mode (not OpenReplace), asking the person what to do when it is refused. The
// file's number is given back when the file is closed or dropped.
OpenResult OpenFileWithRetry(const std::string& path, OpenMode mode, QuietSelector quiet, MessageBoxes& boxes,
                             FileSystem& fileSystem = DefaultFileSystem());

// The questions of OpenFileWithRetry around an open the caller makes itself: attempt is tried
// again after Retry, and after Ignore once the missing file or folder is made. On success the
// code is 1 and file is whatever the last attempt returned.
OpenResult RetryOpen(const std::string& path, OpenMode mode, QuietSelector quiet, MessageBoxes& boxes,
                     FileSystem& fileSystem, const std::function<OpenAttempt()>& attempt);

// Creates folder and every missing parent; true when the folder exists afterwards.
bool MakeFolderPath(const std::string& folder, FileSystem& fileSystem = DefaultFileSystem());

}  // namespace kartivo
