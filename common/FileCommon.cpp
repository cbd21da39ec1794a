#include "common/FileCommon.h"

#include "common/PathParts.h"
#include "common/StringCommon.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <mutex>
#include <set>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <pthread.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace kartivo {

namespace {

// The file numbers of the open files. A number is claimed when a file opens and given back
// when it closes, so OpenFileWithRetry can hand out the lowest one nobody holds.
class FileNumbers {
public:
    static std::int16_t NextFree() {
        std::lock_guard lock(Mutex());
        for (int n = 1; n <= std::numeric_limits<std::int16_t>::max(); ++n) {
            if (!InUse().contains(static_cast<std::int16_t>(n))) return static_cast<std::int16_t>(n);
        }
        return 0;
    }
    static bool Claim(std::int16_t n) {
        std::lock_guard lock(Mutex());
        return n > 0 && InUse().insert(n).second;
    }
    static void Release(std::int16_t n) {
        std::lock_guard lock(Mutex());
        InUse().erase(n);
    }

private:
    static std::mutex& Mutex() {
        static std::mutex mutex;
        return mutex;
    }
    static std::set<std::int16_t>& InUse() {
        static std::set<std::int16_t> numbers;
        return numbers;
    }
};

// The temporary files a signal handler may have to remove. Plain fixed buffers: the handler can
// neither allocate nor take a lock, so an entry is claimed with an atomic flag and its path is
// complete before the flag says so.
struct PendingRemoval {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 holds a path to remove
    std::array<char, 4096> path{};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");
std::array<PendingRemoval, 32> pendingRemovals;

void RememberTemporaryFile(const std::string& path) {
    if (path.size() >= std::tuple_size_v<decltype(PendingRemoval::path)>) return;
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 0;
        if (!entry.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(entry.path.data(), path.c_str(), path.size() + 1);
        entry.state.store(2);
        return;
    }
    // More replacements at once than entries: this one is only removed the ordinary way.
}

}  // namespace

void ForgetTemporaryFile(const std::string& path) {
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 2;
        if (!entry.state.compare_exchange_strong(expected, 1)) continue;
        entry.state.store(std::strcmp(entry.path.data(), path.c_str()) == 0 ? 0 : 2);
    }
}

extern "C" void RemoveTemporaryFilesAndReraise(int signalNumber) {
    const int savedErrno = errno;
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 2;
        if (entry.state.compare_exchange_strong(expected, 1)) unlink(entry.path.data());
    }
    errno = savedErrno;
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

namespace {

// Holds the replacement signals back while a temporary file is created and remembered, so a
// signal finds it either not there yet or already on the list.
class SignalsHeldBack {
public:
    SignalsHeldBack() {
        sigset_t held;
        sigemptyset(&held);
        for (const int signalNumber : ReplacementSignals) sigaddset(&held, signalNumber);
        pthread_sigmask(SIG_BLOCK, &held, &earlier_);
    }
    ~SignalsHeldBack() { pthread_sigmask(SIG_SETMASK, &earlier_, nullptr); }
    SignalsHeldBack(const SignalsHeldBack&) = delete;
    SignalsHeldBack& operator=(const SignalsHeldBack&) = delete;

private:
    sigset_t earlier_;
};

bool SeekTo(std::FILE* file, std::uint64_t offset, int origin) {
#if defined(_WIN32)
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max())) return false;
    return _fseeki64(file, static_cast<__int64>(offset), origin) == 0;
#else
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return fseeko(file, static_cast<off_t>(offset), origin) == 0;
#endif
}

std::optional<std::uint64_t> Tell(std::FILE* file) {
#if defined(_WIN32)
    const __int64 position = _ftelli64(file);
#else
    const off_t position = ftello(file);
#endif
    if (position < 0) return std::nullopt;
    return static_cast<std::uint64_t>(position);
}

bool ResizeOpenFile(std::FILE* file, std::uint64_t size) {
#if defined(_WIN32)
    if (size > static_cast<std::uint64_t>(std::numeric_limits<__int64>::max())) return false;
    return _chsize_s(_fileno(file), static_cast<__int64>(size)) == 0;
#else
    if (size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) return false;
    return ftruncate(fileno(file), static_cast<off_t>(size)) == 0;
#endif
}

// A file opened through the C library. The C streams need a flush or a seek between a write
// and a following read (and a seek between a read and a following write); the file keeps
// track of its last operation so callers can mix them freely. Every failure keeps its error
// number, so messages can say why.
class StdioFile final : public OpenFile {
public:
    // writeBehind: the file will be flushed to the disk whole (a replacement), so its pages are
    // sent on their way while it is written, rather than all at once by the final flush.
    StdioFile(std::FILE* file, std::int16_t number, bool writeBehind = false)
        : file_(file), number_(number), writeBehind_(writeBehind) {}
    ~StdioFile() override { Close(); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    bool Read(std::span<std::uint8_t> buffer) override {
        const std::size_t count = ReadSome(buffer);
        if (count == buffer.size()) return true;
        if (error_ == 0) error_ = EIO;  // a file that ends early has no error number of its own
        return false;
    }

    std::size_t ReadSome(std::span<std::uint8_t> buffer) override {
        if (!Usable() || !SwitchTo(Operation::Read)) return 0;
        errno = 0;
        const std::size_t count = std::fread(buffer.data(), 1, buffer.size(), file_);
        if (count < buffer.size() && std::ferror(file_)) Failed();
        return count;
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        if (!Usable() || !SwitchTo(Operation::Write)) return false;
        // An empty span may carry no buffer at all, and fwrite's pointer must not be null.
        if (bytes.empty()) return true;
        errno = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) return Failed();
        if (writeBehind_ && (unsent_ += bytes.size()) >= WriteBehindBytes) {
            unsent_ = 0;
            if (std::fflush(file_) != 0) return Failed();
#if defined(__linux__)
            // Only starts the write-out; a failure here shows again at the final flush.
            sync_file_range(fileno(file_), 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
        }
        return true;
    }

    bool Seek(std::uint64_t offset) override {
        if (!Usable()) return false;
        errno = 0;
        if (!SeekTo(file_, offset, SEEK_SET)) return Failed();
        last_ = Operation::None;
        return true;
    }

    std::optional<std::uint64_t> Size() override {
        if (!Usable()) return std::nullopt;
        errno = 0;
        const std::optional<std::uint64_t> position = Tell(file_);
        std::optional<std::uint64_t> end;
        if (position && SeekTo(file_, 0, SEEK_END)) end = Tell(file_);
        if (!end || !SeekTo(file_, *position, SEEK_SET)) {
            Failed();
            return std::nullopt;
        }
        last_ = Operation::None;
        return end;
    }

    bool Truncate(std::uint64_t size) override {
        if (!Usable()) return false;
        errno = 0;
        if (std::fflush(file_) != 0) return Failed();
        last_ = Operation::None;
        return ResizeOpenFile(file_, size) || Failed();
    }

    bool Lock() override {
        if (!Usable()) return false;
#if defined(_WIN32)
        return true;
#else
        // flock belongs to this open file, so closing some other handle of the same file in
        // this process cannot drop it, as it would an fcntl lock.
        int result = 0;
        do {
            errno = 0;
            result = flock(fileno(file_), LOCK_EX);
        } while (result != 0 && errno == EINTR);
        return result == 0 || Failed();
#endif
    }

    bool Sync() override {
        if (!Usable()) return false;
        errno = 0;
        if (std::fflush(file_) != 0) return Failed();
#if defined(_WIN32)
        return _commit(_fileno(file_)) == 0 || Failed();
#else
        return fsync(fileno(file_)) == 0 || Failed();
#endif
    }

    bool Close() override {
        if (!Usable()) return false;
        errno = 0;
        const bool stored = std::fclose(file_) == 0;
        if (!stored) Failed();
        file_ = nullptr;
        FileNumbers::Release(number_);
        return stored;
    }

    std::string LastError() const override { return error_ == 0 ? std::string() : ErrorDescription(error_); }

    std::int16_t Number() const override { return number_; }

private:
    enum class Operation { None, Read, Write };

    bool Usable() {
        if (file_) return true;
        error_ = EBADF;
        return false;
    }

    // Keeps the error number of the call that just failed; returns false for "return ... || Failed()".
    bool Failed() {
        error_ = errno != 0 ? errno : EIO;
        return false;
    }

    bool SwitchTo(Operation next) {
        bool ok = true;
        errno = 0;
        if (last_ == Operation::Write && next == Operation::Read) ok = std::fflush(file_) == 0;
        if (last_ == Operation::Read && next == Operation::Write) ok = SeekTo(file_, 0, SEEK_CUR);
        last_ = next;
        return ok || Failed();
    }

    static constexpr std::size_t WriteBehindBytes = 8u << 20;

    std::FILE* file_;
    std::int16_t number_;
    bool writeBehind_;
    std::size_t unsent_ = 0;
    Operation last_ = Operation::None;
    int error_ = 0;
};

}  // namespace

// The common texts are spelled out here because the C library translates its own texts into
// the user's language once the window sets the locale.
std::string ErrorDescription(int error) {
    switch (static_cast<std::errc>(error)) {
    case std::errc::no_such_file_or_directory: return "No such file or directory";
    case std::errc::not_a_directory: return "Not a directory";
    case std::errc::is_a_directory: return "Is a directory";
    case std::errc::permission_denied: return "Permission denied";
    case std::errc::operation_not_permitted: return "Operation not permitted";
    case std::errc::read_only_file_system: return "Read-only file system";
    case std::errc::text_file_busy: return "Text file busy";
    case std::errc::device_or_resource_busy: return "Device or resource busy";
    case std::errc::invalid_argument: return "Invalid argument";
    case std::errc::bad_file_descriptor: return "Bad file number";
    case std::errc::no_space_on_device: return "No space left on device";
    case std::errc::io_error: return "Input/output error";
    case std::errc::file_too_large: return "File too large";
    case std::errc::filename_too_long: return "File name too long";
    default: break;
    }
    return error == 0 ? "Unknown error" : std::generic_category().message(error);
}

namespace {

bool IsPermissionError(int error) {
    switch (static_cast<std::errc>(error)) {
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
    case std::errc::read_only_file_system:
    case std::errc::text_file_busy:
    case std::errc::device_or_resource_busy:
        return true;
    default:
        return false;
    }
}

OpenFailure Classify(int error, const std::string& path, OpenMode mode) {
    if (IsPermissionError(error)) return OpenFailure::PermissionDenied;
    if (error == static_cast<int>(std::errc::not_a_directory)) return OpenFailure::PathNotFound;
    if (error == static_cast<int>(std::errc::no_such_file_or_directory)) {
        // A missing file only counts as such where the mode would not have created it.
        const std::string parent = GetParentFolderName(path);
        const bool folderExists = parent.empty() || FolderExists(parent);
        return mode == OpenInput && folderExists ? OpenFailure::FileNotFound : OpenFailure::PathNotFound;
    }
    return OpenFailure::Other;
}

std::FILE* OpenStream(const std::string& path, const char* how, int& error) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), how);
    error = file ? 0 : errno;
    return file;
}

// Opens for reading and writing without emptying the file; a missing file is created. The
// exclusive create cannot empty a file that another program made in between: that case
// simply opens the newcomer.
std::FILE* OpenReadWrite(const std::string& path, int& error) {
    std::FILE* file = OpenStream(path, "r+b", error);
    if (file || error != ENOENT) return file;
    file = OpenStream(path, "w+bx", error);
    if (file || error != EEXIST) return file;
    return OpenStream(path, "r+b", error);
}

class RealFileSystem final : public FileSystem {
public:
    OpenAttempt Open(const std::string& path, OpenMode mode, std::int16_t number, bool readOnlyFallback) override {
        if (path.empty() || mode < OpenInput || mode > OpenRandom) {
            return Failed(static_cast<int>(std::errc::invalid_argument), path, mode);
        }
        std::error_code ec;
        if (std::filesystem::is_directory(path, ec)) {
            // Reading a folder "succeeds" on some systems and fails at the first read instead.
            return Failed(static_cast<int>(std::errc::is_a_directory), path, mode);
        }
        if (!FileNumbers::Claim(number)) {
            return Failed(static_cast<int>(std::errc::bad_file_descriptor), path, mode);
        }
        int error = 0;
        std::FILE* file = nullptr;
        switch (mode) {
        case OpenInput: file = OpenStream(path, "rb", error); break;
        case OpenOutput: file = OpenStream(path, "wb", error); break;
        case OpenAppend: file = OpenStream(path, "ab", error); break;
        default:
            file = OpenReadWrite(path, error);
            if (!file && readOnlyFallback && IsPermissionError(error)) {
                int readError = 0;
                file = OpenStream(path, "rb", readError);
            }
            break;
        }
        if (!file) {
            FileNumbers::Release(number);
            return Failed(error, path, mode);
        }
        return {std::make_unique<StdioFile>(file, number), OpenFailure::None, {}};
    }

    bool FolderExists(const std::string& path) override { return kartivo::FolderExists(path); }

    bool CreateFolder(const std::string& path) override {
        std::error_code ec;
        std::filesystem::create_directory(path, ec);
        return !ec && kartivo::FolderExists(path);
    }

    bool CreateEmptyFile(const std::string& path) override {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        return file && std::fclose(file) == 0;
    }

private:
    static OpenAttempt Failed(int error, const std::string& path, OpenMode mode) {
        return {nullptr, Classify(error, path, mode), ErrorDescription(error)};
    }
};

constexpr const char* AlarmTitle = "Kartivo Alarm";
constexpr const char* AbortLine = "[Abort]---- Cancel Opening File.";
constexpr const char* RetryLine = "[Retry]---- Retry Openning the Same File.";
constexpr const char* CancelLine = "[Cancel]--- Cancel Opening File.";
constexpr const char* IgnoreFileLine = "[Ignore]--- Make This File and Open It.";
constexpr const char* IgnoreFolderLine = "[Ignore]--- Make This Folder & File and Open It.";

// The filled message, an empty line, then one line per button; the last has no line break.
std::string WithButtonLines(std::string message, std::initializer_list<std::string_view> lines) {
    for (const std::string_view line : lines) {
        message += "\r\n";
        message += line;
    }
    return message;
}

}  // namespace

#if !defined(_WIN32)
OpenAttempt FileSystem::CreateTemporaryFile(const std::string& target, std::int16_t number) {
    const std::string folder = GetParentFolderName(target);
    std::string fileName =
        GetBaseName(target) + (GetExtensionName(target).empty() ? "" : "." + GetExtensionName(target));
    // Room for the dot in front and the part behind within the usual 255-byte limit on names.
    if (fileName.size() > 200) fileName.resize(200);
    const std::string stem = (folder.empty() ? std::string() : folder + "/") + "." + fileName + ".";
    // The name only has to be new in this folder; O_EXCL makes sure of that, the mix of
    // process, counter and clock just keeps the retries few.
    static std::atomic<std::uint32_t> counter{0};
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        std::uint64_t seed = static_cast<std::uint64_t>(getpid()) * 2654435761u + counter++ * 40503u +
                             static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::string name = stem;
        for (int i = 0; i < 6; ++i, seed /= 36) name += "0123456789abcdefghijklmnopqrstuvwxyz"[seed % 36];
        name += ".tmp";
        // 0666 under the umask: the bits any new file of this user gets, not mkstemp's 0600.
        int descriptor = -1;
        {
            const SignalsHeldBack held;
            descriptor = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor >= 0) RememberTemporaryFile(name);
        }
        if (descriptor < 0) {
            error = errno;
            continue;
        }
        std::FILE* file = fdopen(descriptor, "w+b");
        if (!file) {
            error = errno;
            close(descriptor);
            unlink(name.c_str());
            ForgetTemporaryFile(name);
            break;
        }
        if (!FileNumbers::Claim(number)) {
            std::fclose(file);
            unlink(name.c_str());
            ForgetTemporaryFile(name);
            error = EBADF;
            break;
        }
        return {std::make_unique<StdioFile>(file, number, true), OpenFailure::None, {}, name};
    }
    return {nullptr, Classify(error, target, OpenReplace),
            ErrorDescription(error) + " (no new file can be made in " + (folder.empty() ? "." : folder) + ")"};
}

int FileSystem::Rename(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int FileSystem::Remove(const std::string& path) {
    return unlink(path.c_str()) == 0 ? 0 : errno;
}

std::optional<std::uint32_t> FileSystem::PermissionBits(const std::string& path) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) return std::nullopt;
    return static_cast<std::uint32_t>(status.st_mode & 07777);
}

int FileSystem::SetPermissionBits(const std::string& path, std::uint32_t bits) {
    return chmod(path.c_str(), static_cast<mode_t>(bits)) == 0 ? 0 : errno;
}

int FileSystem::SyncFolder(const std::string& folder) {
    const int descriptor = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return errno;
    const int error = fsync(descriptor) == 0 ? 0 : errno;
    close(descriptor);
    return error;
}
#endif

std::string ReplacementTarget(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_symlink(path, ec)) return path;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    return ec ? path : resolved.string();
}

namespace {

// OpenReplace: the checks an open of the path itself would make, then a new temporary file
// beside it. The path is never created, so giving up leaves nothing behind.
OpenAttempt OpenReplacement(const std::string& path, std::int16_t number, FileSystem& fileSystem) {
    const auto fail = [&](int error) {
        return OpenAttempt{nullptr, Classify(error, path, OpenReplace), ErrorDescription(error)};
    };
    if (path.empty()) return fail(EINVAL);
    const std::string folder = GetParentFolderName(path);
    if (!folder.empty() && !fileSystem.FolderExists(folder)) return fail(ENOENT);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return fail(EISDIR);
    // A file the person may not write stays theirs, even though its folder would let a
    // rename replace it.
    if (fileSystem.PermissionBits(path) && access(path.c_str(), W_OK) != 0) return fail(errno);
    return fileSystem.CreateTemporaryFile(ReplacementTarget(path), number);
}

}  // namespace

FileSystem& DefaultFileSystem() {
    static RealFileSystem fileSystem;
    return fileSystem;
}

OpenResult OpenFileWithRetry(const std::string& path, OpenMode mode, QuietSelector quiet, MessageBoxes& boxes, OpenOptions options,
                             FileSystem& fileSystem) {
    const std::int16_t number = FileNumbers::NextFree();
    if (number <= 0) return {};
    for (;;) {
        OpenAttempt attempt = mode == OpenReplace ? OpenReplacement(path, number, fileSystem)
                                                  : fileSystem.Open(path, mode, number, options.readOnlyFallback);
        if (attempt.file) return {number, std::move(attempt.file), attempt.temporaryPath, {}};

        // The path goes in before the code and the description are filled, so a path that
        // itself holds "%1%" or "%2%" shows them; the button lines are added afterwards and
        // are never filled.
        // Given up: the code, and the reason for the messages that follow.
        const auto givenUp = [&](std::int16_t code) { return OpenResult{code, nullptr, {}, attempt.description}; };
        const std::string message = ReplacePlaceholders(
            "Cannot Open %0%\r\nby Error Code=%1%:%2%\r\n",
            {path, static_cast<std::int32_t>(attempt.failure), attempt.description});

        switch (attempt.failure) {
        case OpenFailure::FileNotFound: {
            if (quiet == QuietFileNotFound) return givenUp(0);
            const AlarmAnswer answer = boxes.ShowAlarmBox(
                WithButtonLines(message, {AbortLine, RetryLine, IgnoreFileLine}), AlarmTitle,
                AlarmButtons::AbortRetryIgnore);
            if (answer == AlarmAnswer::Abort) return givenUp(-2);
            if (answer == AlarmAnswer::Retry) continue;
            if (answer == AlarmAnswer::Ignore && fileSystem.CreateEmptyFile(path)) continue;
            return givenUp(0);
        }
        case OpenFailure::PermissionDenied: {
            const AlarmAnswer answer = boxes.ShowAlarmBox(WithButtonLines(message, {RetryLine, CancelLine}),
                                                          AlarmTitle, AlarmButtons::RetryCancel);
            if (answer == AlarmAnswer::Retry) continue;
            return givenUp(-3);
        }
        case OpenFailure::PathNotFound: {
            if (quiet == QuietPathNotFound) return givenUp(0);
            const AlarmAnswer answer = boxes.ShowAlarmBox(
                WithButtonLines(message, {AbortLine, RetryLine, IgnoreFolderLine}), AlarmTitle,
                AlarmButtons::AbortRetryIgnore);
            if (answer == AlarmAnswer::Abort) return givenUp(-1);
            if (answer == AlarmAnswer::Retry) continue;
            // A replacement only needs the folder: an empty file there would outlive a failed write.
            if (answer == AlarmAnswer::Ignore && MakeFolderPath(GetParentFolderName(path), fileSystem) &&
                (mode == OpenReplace || fileSystem.CreateEmptyFile(path))) {
                continue;
            }
            return givenUp(0);
        }
        default:
            return givenUp(0);
        }
    }
}

bool MakeFolderPath(const std::string& folder, FileSystem& fileSystem) {
    if (fileSystem.FolderExists(folder)) return true;
    const std::string parent = GetParentFolderName(folder);
    // A root that does not exist, or a name without any folder above it, cannot be made.
    if (folder.empty() || parent.empty() || parent == folder) return false;
    if (!fileSystem.FolderExists(parent) && !MakeFolderPath(parent, fileSystem)) return false;
    return fileSystem.CreateFolder(folder);
}

}  // namespace kartivo
