#pragma once
// Opening files with a retry dialog, and the open file handle every command uses.

#include "common/MessageBox.h"

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace kartivo {

// Scoped so that a mode and a quiet selector cannot stand in for each other or for a number;
// the names stay usable unqualified.
enum class OpenMode : int {
    OpenInput = 0,   // sequential reading; a missing file is a failure
    OpenOutput = 1,  // sequential writing; created, or emptied if it exists
    OpenAppend = 2,  // sequential writing at the end; created when missing
    OpenBinary = 3,  // reading and writing at any position; a missing file is created empty
    OpenRandom = 4,  // fixed-length records; created when missing
    // A new hidden temporary file beside the path, to replace it later (ReplacementFile); the
    // path itself is not created or changed. A missing folder, or an existing file that may
    // not be written, fails as the other modes do.
    OpenReplace = 5,
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

// An open file. Every operation reports failure; the destructor closes a file that was not
// closed explicitly (ignoring the result, so callers that care call Close()).
class OpenFile {
public:
    virtual ~OpenFile() = default;
    // Reads exactly buffer.size() bytes at the current position; false when fewer were there.
    virtual bool Read(std::span<std::uint8_t> buffer) = 0;
    // Reads up to buffer.size() bytes; returns how many were read (fewer only at the end).
    virtual std::size_t ReadSome(std::span<std::uint8_t> buffer) = 0;
    virtual bool Write(std::span<const std::uint8_t> bytes) = 0;
    // Moves the current position to offset from the start of the file.
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual std::optional<std::uint64_t> Size() = 0;
    // Cuts (or extends with zeros) the file to size bytes.
    virtual bool Truncate(std::uint64_t size) = 0;
    // Flushes and closes; false when anything written could not be stored.
    virtual bool Close() = 0;
    // Waits for an exclusive advisory lock on the whole file, held until the file is closed.
    virtual bool Lock() = 0;
    // Flushes everything written so far to the disk itself (not only to the system's cache).
    virtual bool Sync() = 0;
    // The system's reason for the last operation that failed ("No space left on device"), or
    // "" when none failed or the reason is unknown.
    virtual std::string LastError() const = 0;
    // The file number of this open file: positive, unique among the open files.
    virtual std::int16_t Number() const = 0;
};

struct OpenAttempt {
    std::unique_ptr<OpenFile> file;        // set on success
    OpenFailure failure = OpenFailure::None;
    std::string description;               // the platform's text for the failure
    std::string temporaryPath;             // OpenReplace: the temporary file that was created
};

// The file services OpenFileWithRetry needs. Replaceable so tests can inject failures.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // readOnlyFallback allows a read-only handle where writing is refused.
    virtual OpenAttempt Open(const std::string& path, OpenMode mode, std::int16_t number, bool readOnlyFallback) = 0;
    virtual bool FolderExists(const std::string& path) = 0;
    virtual bool CreateFolder(const std::string& path) = 0;
    // Creates (or empties) a file; false when that fails.
    virtual bool CreateEmptyFile(const std::string& path) = 0;

    // The steps of replacing a file (ReplacementFile). The defaults act on this machine's disk;
    // tests override them to make one step fail. Each returns 0 on success, else the error
    // number (errno) of the failure.
    //
    // Creates a new file ".NAME.XXXXXX.tmp" in target's folder, for reading and writing, with
    // the permission bits a new file gets from the umask.
    virtual OpenAttempt CreateTemporaryFile(const std::string& target, std::int16_t number);
    virtual int Rename(const std::string& from, const std::string& to);
    virtual int Remove(const std::string& path);
    // The permission bits of an existing file (nothing when it does not exist), and setting them.
    virtual std::optional<std::uint32_t> PermissionBits(const std::string& path);
    virtual int SetPermissionBits(const std::string& path, std::uint32_t bits);
    // Flushes a folder's entries to the disk, so a rename in it survives a power cut.
    virtual int SyncFolder(const std::string& folder);
};

// The file a replacement of path replaces: the file a symbolic link points to (the link stays a
// link), else path itself.
std::string ReplacementTarget(const std::string& path);

// The temporary files of replacements still under way, which RemoveReplacementFilesOnSignals
// removes on a signal. CreateTemporaryFile remembers each before a signal can see it exist;
// forget it once it is renamed or removed.
void ForgetTemporaryFile(const std::string& path);
// The signals that remove those files, and the handler that does (async-signal-safe; it ends
// the program as the signal would have).
inline constexpr int ReplacementSignals[] = {SIGINT, SIGTERM, SIGHUP};
extern "C" void RemoveTemporaryFilesAndReraise(int signalNumber);

// The system's text for an error number, in English whatever the locale.
std::string ErrorDescription(int error);

// The real file system of this machine.
FileSystem& DefaultFileSystem();

// The result of OpenFileWithRetry: code > 0 is the file number of the open file,
// 0 a quiet or unhandled failure, -1 Abort on a missing folder, -2 Abort on a missing file,
// -3 Cancel on permission denied.
struct OpenResult {
    std::int16_t code = 0;
    std::unique_ptr<OpenFile> file;
    std::string temporaryPath;  // OpenReplace: the temporary file beside the path
    std::string failure;        // the system's reason for the last failed attempt, if any
    explicit operator bool() const { return code > 0 && file != nullptr; }
};

struct OpenOptions {
    // For callers that only read: a file that refuses writing may be opened read-only.
    bool readOnlyFallback = false;
};

OpenResult OpenFileWithRetry(const std::string& path, OpenMode mode, QuietSelector quiet, MessageBoxes& boxes,
                             OpenOptions options = {}, FileSystem& fileSystem = DefaultFileSystem());

// Creates folder and every missing parent; true when the folder exists afterwards.
bool MakeFolderPath(const std::string& folder, FileSystem& fileSystem = DefaultFileSystem());

}  // namespace kartivo
