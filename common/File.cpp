#include "common/File.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kartivo {

namespace {

class FileKindErrors final : public std::error_category {
public:
    const char* name() const noexcept override { return "file kind"; }
    std::string message(int value) const override {
        switch (static_cast<FileKindError>(value)) {
        case FileKindError::Fifo: return "It is a FIFO, not a file";
        case FileKindError::Device: return "It is a device, not a file";
        case FileKindError::Socket: return "It is a socket, not a file";
        case FileKindError::Folder: return "Is a directory";
        case FileKindError::Other: break;
        }
        return "It is not a regular file";
    }
};

// Large transfers are cut into pieces the system takes in one call on every kernel.
constexpr std::size_t LargestTransfer = std::size_t{1} << 30;
constexpr std::uint64_t WriteBehindBytes = std::uint64_t{8} << 20;

bool FitsOffset(std::uint64_t value) { return value <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()); }

}  // namespace

const std::error_category& FileKindCategory() {
    static const FileKindErrors category;
    return category;
}

std::error_code make_error_code(FileKindError error) { return {static_cast<int>(error), FileKindCategory()}; }

std::string ErrorDescription(int error) {
    if (error == 0) return "Unknown error";
    // The C library's own text, but never translated: the window sets the user's locale, and a
    // reason in another language than the rest of the message helps nobody.
    if (const char* text = strerrordesc_np(error)) return text;
    return "Unknown error " + std::to_string(error);
}

bool ReadToEnd(OpenFile& file, std::string& text, std::size_t most) {
    std::array<std::uint8_t, 1 << 16> block{};
    while (most > 0) {
        const std::size_t got = file.ReadSome(std::span(block).first(std::min(block.size(), most)));
        if (got == 0) break;
        text.append(block.begin(), block.begin() + static_cast<std::ptrdiff_t>(got));
        most -= got;
    }
    return !file.LastError();
}

std::string ErrorDescription(std::error_code error) {
    if (!error) return "Unknown error";
    if (error.category() == std::generic_category() || error.category() == std::system_category()) {
        return ErrorDescription(error.value());
    }
    return error.message();
}

std::error_code NotARegularFile(std::uint32_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG: return {};
    case S_IFDIR: return FileKindError::Folder;
    case S_IFIFO: return FileKindError::Fifo;
    case S_IFCHR:
    case S_IFBLK: return FileKindError::Device;
    case S_IFSOCK: return FileKindError::Socket;
    default: return FileKindError::Other;
    }
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        Close();
        descriptor_ = other.Release();
    }
    return *this;
}

std::error_code FileDescriptor::Close() {
    if (descriptor_ < 0) return {};
    // Linux releases the descriptor even when close fails; retrying could close another's.
    const int result = ::close(Release());
    return result == 0 || errno == EINTR ? std::error_code() : std::error_code(errno, std::generic_category());
}

bool DescriptorFile::Usable() {
    if (descriptor_) return true;
    error_ = std::make_error_code(std::errc::bad_file_descriptor);
    return false;
}

bool DescriptorFile::Failed(int error) {
    error_ = std::error_code(error != 0 ? error : EIO, std::generic_category());
    return false;
}

bool DescriptorFile::Read(std::span<std::uint8_t> buffer) {
    const std::size_t count = ReadSome(buffer);
    if (count == buffer.size()) return true;
    // A file that ends early has no error number of its own.
    if (!error_) error_ = std::make_error_code(std::errc::io_error);
    return false;
}

std::size_t DescriptorFile::ReadSome(std::span<std::uint8_t> buffer) {
    if (!Usable()) return 0;
    std::size_t done = 0;
    while (done < buffer.size()) {
        const std::size_t piece = std::min(buffer.size() - done, LargestTransfer);
        const ssize_t count = ::pread(descriptor_.Get(), buffer.data() + done, piece, static_cast<off_t>(position_));
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) {
            Failed(errno);
            break;
        }
        if (count == 0) break;
        done += static_cast<std::size_t>(count);
        position_ += static_cast<std::uint64_t>(count);
    }
    return done;
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

bool DescriptorFile::Write(std::span<const std::uint8_t> bytes) {
    if (!Usable()) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
        if (!FitsOffset(position_)) return Failed(EFBIG);
        const std::size_t piece = std::min(bytes.size() - done, LargestTransfer);
        const ssize_t count = ::pwrite(descriptor_.Get(), bytes.data() + done, piece, static_cast<off_t>(position_));
        if (count < 0 && errno == EINTR) continue;
        // A write that stores nothing without a reason would otherwise repeat for ever.
        if (count <= 0) return Failed(count < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(count);
        position_ += static_cast<std::uint64_t>(count);
    }
    if (writeBehind_ && (unsent_ += bytes.size()) >= WriteBehindBytes) {
        unsent_ = 0;
        // Only starts the write-out; a failure here shows again at the final flush.
        ::sync_file_range(descriptor_.Get(), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    return true;
}

bool DescriptorFile::Seek(std::uint64_t offset) {
    if (!Usable()) return false;
    if (!FitsOffset(offset)) return Failed(EINVAL);
    position_ = offset;
    return true;
}

std::optional<std::uint64_t> DescriptorFile::Size() {
    struct stat status {};
    if (!Usable()) return std::nullopt;
    if (::fstat(descriptor_.Get(), &status) != 0) {
        Failed(errno);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(status.st_size);
}

bool DescriptorFile::Truncate(std::uint64_t size) {
    if (!Usable()) return false;
    if (!FitsOffset(size)) return Failed(EFBIG);
    return ::ftruncate(descriptor_.Get(), static_cast<off_t>(size)) == 0 || Failed(errno);
}

bool DescriptorFile::Close() {
    if (!descriptor_) return false;
    error_ = descriptor_.Close();
    return !error_;
}

bool DescriptorFile::Lock() {
    if (!Usable()) return false;
    while (::flock(descriptor_.Get(), LOCK_EX) != 0) {
        if (errno != EINTR) return Failed(errno);
    }
    return true;
}

bool DescriptorFile::Sync() {
    if (!Usable()) return false;
    return ::fsync(descriptor_.Get()) == 0 || Failed(errno);
}

bool DescriptorFile::SetPermissions(std::uint32_t bits) {
    if (!Usable()) return false;
    return ::fchmod(descriptor_.Get(), static_cast<mode_t>(bits & 07777)) == 0 || Failed(errno);
}

std::optional<FileIdentity> DescriptorFile::Identity() {
    struct stat status {};
    if (!Usable()) return std::nullopt;
    if (::fstat(descriptor_.Get(), &status) != 0) {
        Failed(errno);
        return std::nullopt;
    }
    return IdentityOf(status);
}

FileIdentity IdentityOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

std::optional<FileIdentity> IdentityOfPath(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::nullopt;
    return IdentityOf(status);
}

std::unique_ptr<DescriptorFile> OpenRegularFile(const std::string& path, int flags, std::error_code& error) {
    error.clear();
    const int openFlags = flags | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    int descriptor = -1;
    do {
        descriptor = ::open(path.c_str(), openFlags, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        error = std::error_code(errno, std::generic_category());
        return nullptr;
    }
    FileDescriptor held(descriptor);
    struct stat status {};
    if (::fstat(held.Get(), &status) != 0) {
        error = std::error_code(errno, std::generic_category());
        return nullptr;
    }
    if ((error = NotARegularFile(status.st_mode))) return nullptr;
    // Blocking again, so a read or write waits for the disk instead of failing with EAGAIN.
    const int statusFlags = ::fcntl(held.Get(), F_GETFL);
    if (statusFlags < 0 || ::fcntl(held.Get(), F_SETFL, statusFlags & ~O_NONBLOCK) != 0) {
        error = std::error_code(errno, std::generic_category());
        return nullptr;
    }
    return std::make_unique<DescriptorFile>(std::move(held));
}

}  // namespace kartivo
