#pragma once
// An open file over a POSIX descriptor. Everything about a file -- its identity, its kind, its
// bytes -- comes from the one handle, so another program renaming or replacing the name meanwhile
// changes nothing of what the program reads or decides. Every failure keeps the system's reason.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <system_error>
#include <utility>

struct stat;  // <sys/stat.h>, for IdentityOf

namespace kartivo {

// Which file a handle holds, whatever names lead to it.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Names that are not files, in words of their own: the system has no error number that says
// "this is a FIFO".
enum class FileKindError { Fifo = 1, Device, Socket, Folder, Other };
const std::error_category& FileKindCategory();
std::error_code make_error_code(FileKindError error);

// The system's text for an error, in English whatever the locale ("No space left on device").
std::string ErrorDescription(std::error_code error);
std::string ErrorDescription(int error);

// A descriptor that is closed when its owner goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    FileDescriptor(FileDescriptor&& other) noexcept : descriptor_(other.Release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Close(); }

    int Get() const { return descriptor_; }
    explicit operator bool() const { return descriptor_ >= 0; }
    int Release() { return std::exchange(descriptor_, -1); }
    // The close's own failure: a file system that stores data late reports it here.
    std::error_code Close();

private:
    int descriptor_ = -1;
};

// An open file. Every operation reports failure through its result and LastError(); the
// destructor closes a file that was not closed explicitly (ignoring the result, so callers
// that care call Close()).
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
    // Closes; false when anything written could not be stored.
    virtual bool Close() = 0;
    // Waits for an exclusive advisory lock on the whole file, held until the file is closed.
    virtual bool Lock() = 0;
    // Flushes everything written so far to the disk itself (not only to the system's cache).
    virtual bool Sync() = 0;
    // Sets the permission bits of this file, whatever its name now points to.
    virtual bool SetPermissions(std::uint32_t bits) = 0;
    // This file's identity; nothing for a file that lives nowhere on a disk.
    virtual std::optional<FileIdentity> Identity() = 0;
    // The system's reason for the last operation that failed; empty when none failed.
    virtual std::error_code LastError() const = 0;
};

// Appends everything from the current position to the end of the file, but never more than
// most bytes; false when a read fails (the file's LastError says why).
bool ReadToEnd(OpenFile& file, std::string& text, std::size_t most);

// A file of this machine, over its descriptor. Reads and writes go straight to the system:
// every caller moves large blocks, so a buffer of our own would only copy them once more.
class DescriptorFile final : public OpenFile {
public:
    // writeBehind: the file will be flushed to the disk whole (a replacement), so its pages are
    // sent on their way while it is written, rather than all at once by the final flush.
    explicit DescriptorFile(FileDescriptor descriptor, bool writeBehind = false)
        : descriptor_(std::move(descriptor)), writeBehind_(writeBehind) {}
    ~DescriptorFile() override { Close(); }

    bool Read(std::span<std::uint8_t> buffer) override;
    std::size_t ReadSome(std::span<std::uint8_t> buffer) override;
    bool Write(std::span<const std::uint8_t> bytes) override;
    bool Seek(std::uint64_t offset) override;
    std::optional<std::uint64_t> Size() override;
    bool Truncate(std::uint64_t size) override;
    bool Close() override;
    bool Lock() override;
    bool Sync() override;
    bool SetPermissions(std::uint32_t bits) override;
    std::optional<FileIdentity> Identity() override;
    std::error_code LastError() const override { return error_; }

private:
    bool Usable();
    bool Failed(int error);

    FileDescriptor descriptor_;
    bool writeBehind_;
    std::uint64_t position_ = 0;
    std::uint64_t unsent_ = 0;
    std::error_code error_;
};

// Opens path with open(2)'s flags (O_RDONLY, O_RDWR | O_CREAT, ...), but only as a regular file:
// a folder, FIFO, device or socket is refused with its own reason, never opened for use (a FIFO
// would otherwise hold the open until a writer came). Links are followed as the kernel follows
// them; a file created here gets the bits the umask leaves of 0666.
std::unique_ptr<DescriptorFile> OpenRegularFile(const std::string& path, int flags, std::error_code& error);

// Past a file-size limit (ulimit -f) the system would end the program without a word and leave
// a temporary file behind; once this is called at start-up, such a write fails with "File too
// large" instead. Every program calls it first.
void IgnoreFileSizeSignal();

// The identity in a status the system filled in (stat, fstat, fstatat).
FileIdentity IdentityOf(const struct stat& status);

// The identity of the file path leads to now, for files a command was given by name and only
// names elsewhere (nothing when there is none). A handle's own Identity() is better where there
// is a handle.
std::optional<FileIdentity> IdentityOfPath(const std::string& path);

// The kind of file a stat result describes: nothing for a regular file, else why it is refused.
std::error_code NotARegularFile(std::uint32_t mode);

}  // namespace kartivo

template <>
struct std::is_error_code_enum<kartivo::FileKindError> : std::true_type {};
