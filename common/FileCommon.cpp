// Opening files with a retry dialog, and the file numbers of the open files.
#include "common/FileCommon.h"

#include "common/PathParts.h"
#include "common/StringCommon.h"

#include <cerrno>
#include <filesystem>
#include <limits>
#include <mutex>
#include <set>

#include <fcntl.h>
#include <unistd.h>

namespace kartivo {

namespace {

// The file numbers of the open files. A number is claimed when a file opens and given back
// when it closes, so OpenFileWithRetry can hand out the lowest one nobody holds.
class FileNumbers {
public:
    static std::int16_t Claim() {
        std::lock_guard lock(Mutex());
        for (int n = 1; n <= std::numeric_limits<std::int16_t>::max(); ++n) {
            if (InUse().insert(static_cast<std::int16_t>(n)).second) return static_cast<std::int16_t>(n);
        }
        return 0;
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

// An open file holding its number until it is closed or dropped.
class NumberedFile final : public OpenFile {
public:
    NumberedFile(std::unique_ptr<OpenFile> inner, std::int16_t number) : inner_(std::move(inner)), number_(number) {}
    ~NumberedFile() override { GiveBack(); }
    NumberedFile(const NumberedFile&) = delete;
    NumberedFile& operator=(const NumberedFile&) = delete;

    bool Read(std::span<std::uint8_t> buffer) override { return inner_->Read(buffer); }
    std::size_t ReadSome(std::span<std::uint8_t> buffer) override { return inner_->ReadSome(buffer); }
    bool Write(std::span<const std::uint8_t> bytes) override { return inner_->Write(bytes); }
    bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
    std::optional<std::uint64_t> Size() override { return inner_->Size(); }
    bool Truncate(std::uint64_t size) override { return inner_->Truncate(size); }
    bool Close() override {
        const bool closed = inner_->Close();
        GiveBack();
        return closed;
    }
    bool Lock() override { return inner_->Lock(); }
    bool Sync() override { return inner_->Sync(); }
    bool SetPermissions(std::uint32_t bits) override { return inner_->SetPermissions(bits); }
    std::optional<FileIdentity> Identity() override { return inner_->Identity(); }
    std::error_code LastError() const override { return inner_->LastError(); }

private:
    void GiveBack() {
        if (number_ > 0) FileNumbers::Release(std::exchange(number_, std::int16_t{0}));
    }
    std::unique_ptr<OpenFile> inner_;
    std::int16_t number_;
};

bool IsPermissionError(std::error_code error) {
    if (error.category() != std::generic_category()) return false;
    switch (static_cast<std::errc>(error.value())) {
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

int OpenFlags(OpenMode mode) {
    switch (mode) {
    case OpenInput: return O_RDONLY;
    case OpenOutput: return O_WRONLY | O_CREAT | O_TRUNC;
    case OpenAppend: return O_WRONLY | O_CREAT | O_APPEND;
    case OpenBinary:
    case OpenRandom: return O_RDWR | O_CREAT;
    case OpenExisting: return O_RDWR;
    case OpenReplace: break;
    }
    return -1;
}

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

OpenFailure ClassifyOpenError(std::error_code error, const std::string& path, OpenMode mode) {
    if (IsPermissionError(error)) return OpenFailure::PermissionDenied;
    if (error == std::errc::not_a_directory) return OpenFailure::PathNotFound;
    if (error == std::errc::no_such_file_or_directory) {
        const std::string parent = GetParentFolderName(path);
        const bool folderExists = parent.empty() || FolderExists(parent);
        const bool mustExist = mode == OpenInput || mode == OpenExisting;
        return mustExist && folderExists ? OpenFailure::FileNotFound : OpenFailure::PathNotFound;
    }
    return OpenFailure::Other;
}

OpenAttempt FileSystem::Open(const std::string& path, OpenMode mode) {
    std::error_code error;
    const int flags = OpenFlags(mode);
    if (path.empty() || flags < 0) error = std::make_error_code(std::errc::invalid_argument);
    std::unique_ptr<OpenFile> file = error ? nullptr : OpenRegularFile(path, flags, error);
    if (file) return {std::move(file)};
    return {nullptr, ClassifyOpenError(error, path, mode), ErrorDescription(error)};
}

bool FileSystem::FolderExists(const std::string& path) { return kartivo::FolderExists(path); }

bool FileSystem::CreateFolder(const std::string& path) {
    std::error_code ec;
    std::filesystem::create_directory(path, ec);
    return !ec && kartivo::FolderExists(path);
}

bool FileSystem::CreateEmptyFile(const std::string& path) {
    std::error_code error;
    std::unique_ptr<DescriptorFile> file = OpenRegularFile(path, O_WRONLY | O_CREAT | O_TRUNC, error);
    return file && file->Close();
}

std::unique_ptr<OpenFile> FileSystem::CreateTemporaryFile(int folder, const std::string& name, std::error_code& error) {
    int descriptor = -1;
    do {
        descriptor = ::openat(folder, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        error = std::error_code(errno, std::generic_category());
        return nullptr;
    }
    error.clear();
    return std::make_unique<DescriptorFile>(FileDescriptor(descriptor), true);
}

std::error_code FileSystem::Rename(int folder, const std::string& from, const std::string& to) {
    if (::renameat(folder, from.c_str(), folder, to.c_str()) == 0) return {};
    return {errno, std::generic_category()};
}

std::error_code FileSystem::Link(int folder, const std::string& from, const std::string& to) {
    if (::linkat(folder, from.c_str(), folder, to.c_str(), 0) == 0) return {};
    return {errno, std::generic_category()};
}

FileSystem& DefaultFileSystem() {
    static FileSystem fileSystem;
    return fileSystem;
}

OpenResult RetryOpen(const std::string& path, OpenMode mode, QuietSelector quiet, MessageBoxes& boxes,
                     FileSystem& fileSystem, const std::function<OpenAttempt()>& attempt) {
    bool asked = false;
    for (;;) {
        OpenAttempt tried = attempt();
        if (tried.failure == OpenFailure::None) return {1, std::move(tried.file), {}, asked};

        // Given up: the code, and the reason for the messages that follow.
        const auto givenUp = [&](std::int16_t code) { return OpenResult{code, nullptr, tried.description, asked}; };
        // The path goes in before the code and the description are filled, so a path that
        // itself holds "%1%" or "%2%" shows them; the button lines are added afterwards and
        // are never filled.
        const std::string message = ReplacePlaceholders(
            "Cannot Open %0%\r\nby Error Code=%1%:%2%\r\n",
            {path, static_cast<std::int32_t>(tried.failure), tried.description});
        const auto ask = [&](std::initializer_list<std::string_view> lines, AlarmButtons buttons) {
            asked = true;
            return boxes.ShowAlarmBox(WithButtonLines(message, lines), AlarmTitle, buttons);
        };

        switch (tried.failure) {
        case OpenFailure::FileNotFound: {
            if (quiet == QuietFileNotFound) return givenUp(0);
            const AlarmAnswer answer = ask({AbortLine, RetryLine, IgnoreFileLine}, AlarmButtons::AbortRetryIgnore);
            if (answer == AlarmAnswer::Abort) return givenUp(-2);
            if (answer == AlarmAnswer::Retry) continue;
            if (answer == AlarmAnswer::Ignore && fileSystem.CreateEmptyFile(path)) continue;
            return givenUp(0);
        }
        case OpenFailure::PermissionDenied: {
            if (ask({RetryLine, CancelLine}, AlarmButtons::RetryCancel) == AlarmAnswer::Retry) continue;
            return givenUp(-3);
        }
        case OpenFailure::PathNotFound: {
            if (quiet == QuietPathNotFound) return givenUp(0);
            const AlarmAnswer answer = ask({AbortLine, RetryLine, IgnoreFolderLine}, AlarmButtons::AbortRetryIgnore);
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

OpenResult OpenFileWithRetry(const std::string& path, OpenMode mode, QuietSelector quiet, MessageBoxes& boxes,
                             FileSystem& fileSystem) {
    const std::int16_t number = FileNumbers::Claim();
    if (number <= 0) return {};
    OpenResult result = RetryOpen(path, mode, quiet, boxes, fileSystem, [&] { return fileSystem.Open(path, mode); });
    if (!result) {
        FileNumbers::Release(number);
        return result;
    }
    result.code = number;
    result.file = std::make_unique<NumberedFile>(std::move(result.file), number);
    return result;
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
