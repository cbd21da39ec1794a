#include "common/FileCommon.h"

#include "common/PathParts.h"
#include "common/StringCommon.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <mutex>
#include <set>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
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
// track of its last operation so callers can mix them freely.
class StdioFile final : public OpenFile {
public:
    StdioFile(std::FILE* file, std::int16_t number) : file_(file), number_(number) {}
    ~StdioFile() override { Close(); }
    StdioFile(const StdioFile&) = delete;
    StdioFile& operator=(const StdioFile&) = delete;

    bool Read(std::span<std::uint8_t> buffer) override { return ReadSome(buffer) == buffer.size(); }

    std::size_t ReadSome(std::span<std::uint8_t> buffer) override {
        if (!file_ || !SwitchTo(Operation::Read)) return 0;
        return std::fread(buffer.data(), 1, buffer.size(), file_);
    }

    bool Write(std::span<const std::uint8_t> bytes) override {
        if (!file_ || !SwitchTo(Operation::Write)) return false;
        return std::fwrite(bytes.data(), 1, bytes.size(), file_) == bytes.size();
    }

    bool Seek(std::uint64_t offset) override {
        if (!file_ || !SeekTo(file_, offset, SEEK_SET)) return false;
        last_ = Operation::None;
        return true;
    }

    std::optional<std::uint64_t> Size() override {
        if (!file_) return std::nullopt;
        const std::optional<std::uint64_t> position = Tell(file_);
        if (!position || !SeekTo(file_, 0, SEEK_END)) return std::nullopt;
        const std::optional<std::uint64_t> end = Tell(file_);
        if (!SeekTo(file_, *position, SEEK_SET)) return std::nullopt;
        last_ = Operation::None;
        return end;
    }

    bool Truncate(std::uint64_t size) override {
        if (!file_ || std::fflush(file_) != 0) return false;
        last_ = Operation::None;
        return ResizeOpenFile(file_, size);
    }

    bool Close() override {
        if (!file_) return false;
        const bool stored = std::fclose(file_) == 0;
        file_ = nullptr;
        FileNumbers::Release(number_);
        return stored;
    }

    std::int16_t Number() const override { return number_; }

private:
    enum class Operation { None, Read, Write };

    bool SwitchTo(Operation next) {
        bool ok = true;
        if (last_ == Operation::Write && next == Operation::Read) ok = std::fflush(file_) == 0;
        if (last_ == Operation::Read && next == Operation::Write) ok = SeekTo(file_, 0, SEEK_CUR);
        last_ = next;
        return ok;
    }

    std::FILE* file_;
    std::int16_t number_;
    Operation last_ = Operation::None;
};

// The description shown in the alarm box. The common texts are spelled out here because the
// C library translates its own texts into the user's language once the window sets the locale.
std::string Describe(int error) {
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
    default: break;
    }
    return error == 0 ? "Unknown error" : std::generic_category().message(error);
}

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

OpenFailure Classify(int error, const std::string& path, int mode) {
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
    OpenAttempt Open(const std::string& path, int mode, std::int16_t number, bool readOnlyFallback) override {
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
    static OpenAttempt Failed(int error, const std::string& path, int mode) {
        return {nullptr, Classify(error, path, mode), Describe(error)};
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

FileSystem& DefaultFileSystem() {
    static RealFileSystem fileSystem;
    return fileSystem;
}

OpenResult OpenFileWithRetry(const std::string& path, int mode, int quiet, MessageBoxes& boxes, OpenOptions options,
                             FileSystem& fileSystem) {
    const std::int16_t number = FileNumbers::NextFree();
    if (number <= 0) return {};
    for (;;) {
        OpenAttempt attempt = fileSystem.Open(path, mode, number, options.readOnlyFallback);
        if (attempt.file) return {number, std::move(attempt.file)};

        // The path goes in before the code and the description are filled, so a path that
        // itself holds "%1%" or "%2%" shows them; the button lines are added afterwards and
        // are never filled.
        const std::string message = ReplacePlaceholders(
            "Cannot Open %0%\r\nby Error Code=%1%:%2%\r\n",
            {path, static_cast<std::int32_t>(attempt.failure), attempt.description});

        switch (attempt.failure) {
        case OpenFailure::FileNotFound: {
            if (quiet == QuietFileNotFound) return {};
            const AlarmAnswer answer = boxes.ShowAlarmBox(
                WithButtonLines(message, {AbortLine, RetryLine, IgnoreFileLine}), AlarmTitle,
                AlarmButtons::AbortRetryIgnore);
            if (answer == AlarmAnswer::Abort) return {-2, nullptr};
            if (answer == AlarmAnswer::Retry) continue;
            if (answer == AlarmAnswer::Ignore && fileSystem.CreateEmptyFile(path)) continue;
            return {};
        }
        case OpenFailure::PermissionDenied: {
            const AlarmAnswer answer = boxes.ShowAlarmBox(WithButtonLines(message, {RetryLine, CancelLine}),
                                                          AlarmTitle, AlarmButtons::RetryCancel);
            if (answer == AlarmAnswer::Retry) continue;
            return {-3, nullptr};
        }
        case OpenFailure::PathNotFound: {
            if (quiet == QuietPathNotFound) return {};
            const AlarmAnswer answer = boxes.ShowAlarmBox(
                WithButtonLines(message, {AbortLine, RetryLine, IgnoreFolderLine}), AlarmTitle,
                AlarmButtons::AbortRetryIgnore);
            if (answer == AlarmAnswer::Abort) return {-1, nullptr};
            if (answer == AlarmAnswer::Retry) continue;
            if (answer == AlarmAnswer::Ignore && MakeFolderPath(GetParentFolderName(path), fileSystem) &&
                fileSystem.CreateEmptyFile(path)) {
                continue;
            }
            return {};
        }
        default:
            return {};
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
