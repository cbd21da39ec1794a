#pragma once
// Writing a file so that it replaces the older one whole or not at all.
//
// The new bytes go into a hidden temporary file created inside the target's opened folder,
// readable by nobody else until it is whole (mode 0600). Commit() flushes it to the disk, gives
// it its final permission bits on the handle (the older target's, or the umask's for a new
// one), closes it, checks that the target's name denotes none of the command's inputs, and
// renames it within that folder. Whatever fails before the rename -- a write, a full disk, a
// file-size limit, the flush, the close, a signal -- leaves the older target byte for byte as
// it was (or no file where there was none) and removes the temporary file. After a hard kill
// at most the temporary file stays behind; its name starts with "." and ends in ".tmp".
//
// A target that is a symbolic link keeps the link; the file it points to is the one replaced,
// but only where the kernel would follow the link itself: a link another user planted in a
// shared sticky folder such as /tmp is refused. A folder, FIFO, device or socket is never
// replaced.
//
// Use:
//     ReplacementFile out(path, {inputIdentity});
//     if (!out.IsOpen()) return Fail(out.Error());
//     if (!out.File().Write(bytes)) return Fail(out.WriteError());
//     if (!out.Commit()) return Fail(out.Error());
//
// Error texts name the file and the system's reason ("Cannot write /maps/out.bmp: No space
// left on device").

#include "common/FileCommon.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <vector>

namespace kartivo {

// Refusals of our own, beside the system's reasons.
enum class ReplacementError {
    TargetIsInput = 1,  // the target is one of the files the command reads
    ForeignLink,        // a link another user planted in a shared sticky folder
    TooManyLinks,       // links leading to links without end
    TemporarySwapped,   // another user put something else under the temporary file's name
};

}  // namespace kartivo

template <>
struct std::is_error_code_enum<kartivo::ReplacementError> : std::true_type {};

namespace kartivo {

std::error_code make_error_code(ReplacementError error);

class ReplacementFile {
public:
    // Opens target's folder and creates the temporary file in it; target itself is not touched.
    // inputs are the files the command reads: a target that is one of them is refused. On
    // failure IsOpen() is false and Error() names the file and the reason.
    explicit ReplacementFile(std::string target, std::vector<FileIdentity> inputs = {},
                             FileSystem& fileSystem = DefaultFileSystem());
    // Discards the temporary file unless Commit() succeeded.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // The temporary file; write the whole new content through it. Valid while IsOpen().
    OpenFile& File() { return *file_; }
    const std::string& Target() const { return target_; }

    // True when the target turned out to be one of the inputs (now or at Commit()).
    bool TargetIsInput() const { return failure_ == std::error_code(ReplacementError::TargetIsInput); }

    // Flush to the disk, set the final bits, close, check the names, rename, flush the folder.
    // True when the target now holds the new content. On failure the temporary file is
    // removed, the target is as it was, and Error() says which step failed and why.
    bool Commit();
    // Commits files that belong together (the parts of one picture) as one: all land or none
    // does. Every file is flushed before any is renamed; the renames run back to back with the
    // termination signals held, each older target kept under a hidden name until the last
    // rename succeeded, and put back when a later one fails. Returns the file whose step
    // failed (its Error() says why), or nullptr when all landed.
    static ReplacementFile* CommitTogether(std::span<ReplacementFile* const> files);
    // Closes and removes the temporary file; the target is not touched. Safe to call twice.
    void Discard();

    // The failure of the constructor or of Commit(), naming the file and the reason.
    const std::string& Error() const { return error_; }
    // The system's reason alone, and how an open with retry classes it.
    const std::string& Reason() const { return reason_; }
    OpenFailure Failure() const;
    // "Cannot write TARGET: reason" for a write through File() that failed.
    std::string WriteError() const;
    // "Cannot read PATH: reason", for copying code that reads another file into this one.
    static std::string ReadError(const std::string& path, const OpenFile& file);

private:
    void Open();
    void Fail(const std::string& what, std::error_code error, const std::string& detail = {});
    // The steps of a commit: flush and close; rename over the target, keeping the older file
    // aside when asked; take a landed file back out.
    bool Finish();
    bool Land(bool keepOlder);
    std::error_code CheckNames() const;
    std::error_code KeepOlder();
    bool PutBack();
    std::string KeptAside() const;
    void Landed();

    std::string target_;
    std::vector<FileIdentity> inputs_;
    FileSystem& fileSystem_;
    FileDescriptor folder_;       // the folder the target (after its links) lives in
    std::string folderPath_;      // for messages
    std::string name_;            // the target's name in that folder
    std::string temporaryName_;   // the temporary file's name there, while it exists
    std::string backupName_;      // the older target under a hidden name, while a group lands
    bool landed_ = false;         // renamed over the target, the group not yet done
    std::optional<std::uint32_t> bits_;  // the older target's permission bits
    std::optional<FileIdentity> written_;  // the temporary file, as its handle knew it
    std::unique_ptr<OpenFile> file_;
    std::error_code failure_;
    std::string reason_;
    std::string error_;
};

// The output of a command that asks the person: a missing folder or a refused one is asked
// about as any open is (Retry, Cancel, Ignore to make the folder). The result is never null:
// one that is not open tells why (Reason(), TargetIsInput()).
std::unique_ptr<ReplacementFile> OpenReplacementWithRetry(const std::string& target, std::vector<FileIdentity> inputs,
                                                          MessageBoxes& boxes, FileSystem& fileSystem);

// From now on SIGINT, SIGTERM and SIGHUP remove every temporary file of a ReplacementFile
// that is still open, then end the program as the signal would have. For command-line tools;
// the handler only calls async-signal-safe functions.
void RemoveReplacementFilesOnSignals();

}  // namespace kartivo
