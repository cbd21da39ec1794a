#pragma once
// Writing a file so that it replaces the older one whole or not at all.
//
// The new bytes go into a hidden temporary file in the target's own folder (so the final
// rename never crosses file systems). Commit() flushes it to the disk, closes it, gives it
// the older target's permission bits (a new target keeps the usual umask-based bits) and
// renames it over the target. Whatever fails before the rename -- a write, a full disk, the
// flush, the close, a signal -- leaves the older target byte for byte as it was (or no file
// where there was none) and removes the temporary file. After a hard kill at most the
// temporary file stays behind; its name starts with "." and ends in ".tmp", so nothing takes
// it for a picture.
//
// Use:
//     ReplacementFile out(path);
//     if (!out.IsOpen()) return Fail(out.Error());
//     if (!out.File().Write(bytes)) return Fail(out.WriteError());
//     if (!out.Commit()) return Fail(out.Error());
//
// Error texts name the file and the system's reason, e.g.
// "Cannot write /maps/out.bmp: No space left on device".

#include "common/FileCommon.h"

#include <memory>
#include <string>

namespace kartivo {

struct PendingRemoval;

class ReplacementFile {
public:
    // Creates the temporary file beside target; target itself is not touched. On failure
    // IsOpen() is false and Error() names the folder and the reason.
    explicit ReplacementFile(std::string target, FileSystem& fileSystem = DefaultFileSystem());
    // Takes over a temporary file that OpenFileWithRetry(target, OpenReplace, ...) created, so
    // callers that ask the person about the output path keep that dialog flow.
    ReplacementFile(std::string target, OpenResult&& opened, FileSystem& fileSystem = DefaultFileSystem());
    // Discards the temporary file unless Commit() succeeded.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // The temporary file; write the whole new content through it. Valid while IsOpen().
    OpenFile& File() { return *file_; }
    const std::string& Target() const { return target_; }
    const std::string& TemporaryPath() const { return temporaryPath_; }

    // Flush to the disk, close, keep the permission bits, rename over the target, flush the
    // folder. True when the target now holds the new content. On failure the temporary file
    // is removed, the target is as it was, and Error() says which step failed and why.
    bool Commit();
    // Closes and removes the temporary file; the target is not touched. Safe to call twice.
    void Discard();

    // The failure of the constructor or of Commit(), naming the file and the reason.
    const std::string& Error() const { return error_; }
    // "Cannot write TARGET: reason" for a write through File() that failed.
    std::string WriteError() const;
    // "Cannot read PATH: reason", for copying code that reads another file into this one.
    static std::string ReadError(const std::string& path, OpenFile& file);

private:
    void Fail(const std::string& what, const std::string& reason);

    std::string target_;
    FileSystem& fileSystem_;
    std::unique_ptr<OpenFile> file_;
    std::string temporaryPath_;
    std::string error_;
    PendingRemoval* pending_ = nullptr;  // where a signal handler finds the temporary file
};

// From now on SIGINT, SIGTERM and SIGHUP remove every temporary file of a ReplacementFile
// that is still open, then end the program as the signal would have. For command-line tools;
// the handler only calls async-signal-safe functions.
void RemoveReplacementFilesOnSignals();

}  // namespace kartivo
