#include "common/ReplacementFile.h"

#include "common/PathParts.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kartivo {

namespace {

class ReplacementErrors final : public std::error_category {
public:
    const char* name() const noexcept override { return "replacement"; }
    std::string message(int value) const override {
        switch (static_cast<ReplacementError>(value)) {
        case ReplacementError::TargetIsInput: return "It is one of the files being read";
        case ReplacementError::ForeignLink:
            return "It is a symbolic link that another user owns in a folder everyone may write to";
        case ReplacementError::TemporarySwapped:
            return "Its temporary file was replaced by another file meanwhile; nothing was renamed";
        case ReplacementError::TooManyLinks: break;
        }
        return "Too many levels of symbolic links";
    }
};

// The temporary files a signal handler may have to remove, each as its folder's descriptor and
// its name there. Plain fixed buffers: the handler can neither allocate nor take a lock, so an
// entry is claimed with an atomic flag and is complete before the flag says so.
struct PendingRemoval {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 holds a file to remove
    int folder = -1;
    std::array<char, 256> name{};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");
std::array<PendingRemoval, 32> pendingRemovals;

void Remember(int folder, const std::string& name) {
    if (name.size() >= std::tuple_size_v<decltype(PendingRemoval::name)>) return;
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 0;
        if (!entry.state.compare_exchange_strong(expected, 1)) continue;
        entry.folder = folder;
        std::memcpy(entry.name.data(), name.c_str(), name.size() + 1);
        entry.state.store(2);
        return;
    }
    // More replacements at once than entries: this one is only removed the ordinary way.
}

void Forget(int folder, const std::string& name) {
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 2;
        if (!entry.state.compare_exchange_strong(expected, 1)) continue;
        const bool same = entry.folder == folder && std::strcmp(entry.name.data(), name.c_str()) == 0;
        entry.state.store(same ? 0 : 2);
    }
}

extern "C" void RemoveTemporaryFilesAndReraise(int signalNumber) {
    const int savedErrno = errno;
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 2;
        if (entry.state.compare_exchange_strong(expected, 1)) unlinkat(entry.folder, entry.name.data(), 0);
    }
    errno = savedErrno;
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

constexpr int ReplacementSignals[] = {SIGINT, SIGTERM, SIGHUP};

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

// The bits a new file of this user gets. Asking the system for the umask means setting it, which
// another thread could notice; /proc tells it without.
std::uint32_t NewFileBits() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:")) return 0666 & ~static_cast<std::uint32_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    const mode_t mask = umask(022);
    umask(mask);
    return 0666 & ~static_cast<std::uint32_t>(mask);
}

std::error_code Errno() { return {errno, std::generic_category()}; }

std::optional<struct stat> StatAt(int folder, const std::string& name, std::error_code& error) {
    struct stat status {};
    if (fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) return status;
    error = Errno();
    return std::nullopt;
}

bool IsInput(const struct stat& status, const std::vector<FileIdentity>& inputs) {
    return std::find(inputs.begin(), inputs.end(), IdentityOf(status)) != inputs.end();
}

// The kernel's rule for links in shared folders (protected_symlinks): in a sticky folder that
// everyone may write to, only a link of this user's or of the folder's owner is followed.
bool MayFollow(const struct stat& link, const struct stat& folder) {
    const bool shared = (folder.st_mode & S_ISVTX) != 0 && (folder.st_mode & S_IWOTH) != 0;
    return !shared || link.st_uid == geteuid() || link.st_uid == folder.st_uid;
}

std::string LeafName(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TemporaryName(const std::string& name, int attempt) {
    // The name only has to be new in this folder; O_EXCL makes sure of that, the mix of
    // process, counter and clock just keeps the retries few.
    static std::atomic<std::uint32_t> counter{0};
    std::uint64_t seed = static_cast<std::uint64_t>(getpid()) * 2654435761u + counter++ * 40503u + attempt +
                         static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // Room for the dot in front and the part behind within the usual 255-byte limit on names.
    std::string temporary = "." + name.substr(0, 200) + ".";
    for (int i = 0; i < 6; ++i, seed /= 36) temporary += "0123456789abcdefghijklmnopqrstuvwxyz"[seed % 36];
    return temporary + ".tmp";
}

}  // namespace

std::error_code make_error_code(ReplacementError error) {
    static const ReplacementErrors category;
    return {static_cast<int>(error), category};
}

ReplacementFile::ReplacementFile(std::string target, std::vector<FileIdentity> inputs, FileSystem& fileSystem)
    : target_(std::move(target)), inputs_(std::move(inputs)), fileSystem_(fileSystem) {
    Open();
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Fail(const std::string& what, std::error_code error, const std::string& detail) {
    failure_ = error;
    reason_ = ErrorDescription(error) + detail;
    error_ = what + " " + target_ + ": " + reason_;
    Discard();
}

OpenFailure ReplacementFile::Failure() const {
    if (!failure_) return OpenFailure::None;
    return ClassifyOpenError(failure_, target_, OpenReplace);
}

void ReplacementFile::Open() {
    const auto fail = [&](std::error_code error, const std::string& detail = {}) { Fail("Cannot make", error, detail); };
    if (target_.empty()) return fail(std::make_error_code(std::errc::invalid_argument));
    // Each name is looked at in its opened folder; a link is read there and its target's folder
    // opened in turn, so the file replaced is the one the link pointed to when it was read.
    std::string path = target_;
    for (int links = 0;; ++links) {
        if (links > 40) return fail(ReplacementError::TooManyLinks);
        folderPath_ = GetParentFolderName(path);
        if (folderPath_.empty()) folderPath_ = ".";
        name_ = LeafName(path);
        if (name_.empty() || name_ == "." || name_ == "..") return fail(FileKindError::Folder);
        folder_ = FileDescriptor(::open(folderPath_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!folder_) return fail(Errno());
        std::error_code error;
        const auto status = StatAt(folder_.Get(), name_, error);
        if (!status && error != std::errc::no_such_file_or_directory) return fail(error);
        if (!status) break;  // a new file, or the end of a dangling link
        if (S_ISLNK(status->st_mode)) {
            struct stat folderStatus {};
            if (fstat(folder_.Get(), &folderStatus) != 0) return fail(Errno());
            if (!MayFollow(*status, folderStatus)) return fail(ReplacementError::ForeignLink);
            std::array<char, 4096> link{};
            const ssize_t length = readlinkat(folder_.Get(), name_.c_str(), link.data(), link.size());
            // Replaced by a file or removed since it was looked at: look again.
            if (length < 0 && (errno == EINVAL || errno == ENOENT)) continue;
            if (length < 0) return fail(Errno());
            if (static_cast<std::size_t>(length) == link.size()) return fail(std::make_error_code(std::errc::filename_too_long));
            const std::string to(link.data(), static_cast<std::size_t>(length));
            path = to.starts_with('/') ? to : folderPath_ + "/" + to;
            continue;
        }
        if (const std::error_code kind = NotARegularFile(status->st_mode)) return fail(kind);
        if (IsInput(*status, inputs_)) return fail(ReplacementError::TargetIsInput);
        // A file the person may not write stays theirs, even though its folder would let a
        // rename replace it.
        if (faccessat(folder_.Get(), name_.c_str(), W_OK, AT_EACCESS) != 0) return fail(Errno());
        bits_ = static_cast<std::uint32_t>(status->st_mode & 07777);
        break;
    }

    std::error_code error = std::make_error_code(std::errc::file_exists);
    for (int attempt = 0; attempt < 100 && error == std::errc::file_exists; ++attempt) {
        const std::string name = TemporaryName(name_, attempt);
        const SignalsHeldBack held;
        file_ = fileSystem_.CreateTemporaryFile(folder_.Get(), name, error);
        if (file_) {
            temporaryName_ = name;
            Remember(folder_.Get(), name);
            return;
        }
    }
    return fail(error, " (no new file can be made in " + folderPath_ + ")");
}

bool ReplacementFile::Commit() {
    ReplacementFile* const self = this;
    return CommitTogether({&self, 1}) == nullptr;
}

ReplacementFile* ReplacementFile::CommitTogether(std::span<ReplacementFile* const> files) {
    const auto giveUp = [&](ReplacementFile* failed) {
        for (ReplacementFile* file : files) file->Discard();
        return failed;
    };
    for (ReplacementFile* file : files) {
        if (!file->Finish()) return giveUp(file);
    }
    // Held back from the first rename to the last, a signal finds either no file replaced or
    // all of them; one file alone is replaced by a rename, which keeps nothing to put back.
    const SignalsHeldBack held;
    const bool together = files.size() > 1;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files[i]->Land(together)) continue;
        for (std::size_t j = i; j-- > 0;) {
            if (!files[j]->PutBack()) files[i]->error_ += files[j]->KeptAside();
        }
        return giveUp(files[i]);
    }
    for (ReplacementFile* file : files) file->Landed();
    return nullptr;
}

bool ReplacementFile::Finish() {
    if (!file_) {
        if (error_.empty()) error_ = "Cannot make " + target_ + ": the new file is not open";
        return false;
    }
    // Flushing to the disk before the rename is what makes a power cut leave the older file
    // or the whole new one, never a renamed file whose blocks never arrived.
    if (!file_->Sync()) {
        Fail("Cannot write", file_->LastError());
        return false;
    }
    // On the handle, so no name swapped in meanwhile gets these bits.
    if (!file_->SetPermissions(bits_ ? *bits_ : NewFileBits())) {
        Fail("Cannot keep the permissions of", file_->LastError());
        return false;
    }
    written_ = file_->Identity();
    if (!written_ || !file_->Close()) {
        Fail("Cannot write", file_->LastError());
        return false;
    }
    return true;
}

// The last look before the rename, in the opened folder. The temporary name must still denote
// the file written: in a folder others may write to (a memory card shows every folder so),
// another user could have put a link there meanwhile. The target must be neither an input (put
// there under this name since the start) nor something that is not a file.
std::error_code ReplacementFile::CheckNames() const {
    std::error_code error;
    const auto temporary = StatAt(folder_.Get(), temporaryName_, error);
    if (!temporary) return error;
    if (IdentityOf(*temporary) != *written_) return ReplacementError::TemporarySwapped;
    if (const auto status = StatAt(folder_.Get(), name_, error)) {
        if (IsInput(*status, inputs_)) return ReplacementError::TargetIsInput;
        return S_ISLNK(status->st_mode) ? std::error_code() : NotARegularFile(status->st_mode);
    }
    return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
}

// A second name for the older target keeps it while the new file takes its place. Where the
// file system has no hard links (FAT, exFAT) it is moved aside instead, which leaves the name
// empty for the moment until the rename: only a hard kill there can leave it so, with the older
// file still under the hidden name.
std::error_code ReplacementFile::KeepOlder() {
    std::error_code error = std::make_error_code(std::errc::file_exists);
    for (int attempt = 0; attempt < 100 && error == std::errc::file_exists; ++attempt) {
        const std::string backup = TemporaryName(name_, attempt);
        error = fileSystem_.Link(folder_.Get(), name_, backup);
        if (error && error != std::errc::file_exists && error != std::errc::no_such_file_or_directory) {
            error.clear();
            if (renameat2(folder_.Get(), name_.c_str(), folder_.Get(), backup.c_str(), RENAME_NOREPLACE) != 0) {
                error = Errno();
            }
        }
        if (!error) backupName_ = backup;
    }
    // No older file: nothing to keep.
    return error == std::errc::no_such_file_or_directory ? std::error_code() : error;
}

bool ReplacementFile::Land(bool keepOlder) {
    std::error_code error = CheckNames();
    if (!error && keepOlder) error = KeepOlder();
    if (!error) error = fileSystem_.Rename(folder_.Get(), temporaryName_, name_);
    if (error) {
        const bool putBack = PutBack();
        Fail("Cannot replace", error);
        if (!putBack) error_ += KeptAside();
        return false;
    }
    Forget(folder_.Get(), temporaryName_);
    temporaryName_.clear();
    landed_ = true;
    return true;
}

// The older target back under its name (a rename over the new file, or over itself where the
// rename never happened); a target that was new is removed. False when the older file stays
// under its hidden name.
bool ReplacementFile::PutBack() {
    if (!backupName_.empty()) {
        if (renameat(folder_.Get(), backupName_.c_str(), folder_.Get(), name_.c_str()) != 0) return false;
        unlinkat(folder_.Get(), backupName_.c_str(), 0);
        backupName_.clear();
    } else if (landed_) {
        unlinkat(folder_.Get(), name_.c_str(), 0);
    }
    landed_ = false;
    return true;
}

std::string ReplacementFile::KeptAside() const {
    return "; the older " + target_ + " is kept as " + folderPath_ + "/" + backupName_;
}

void ReplacementFile::Landed() {
    // The new content is in place; a folder that cannot be flushed only loses the rename's
    // durability, which no message could help with.
    fsync(folder_.Get());
    if (!backupName_.empty()) unlinkat(folder_.Get(), backupName_.c_str(), 0);
    backupName_.clear();
    file_.reset();
    folder_.Close();
}

void ReplacementFile::Discard() {
    if (file_) {
        file_->Close();
        file_.reset();
    }
    if (!temporaryName_.empty()) {
        unlinkat(folder_.Get(), temporaryName_.c_str(), 0);
        Forget(folder_.Get(), temporaryName_);
        temporaryName_.clear();
    }
}

std::string ReplacementFile::WriteError() const {
    const std::error_code error = file_ ? file_->LastError() : std::error_code();
    return "Cannot write " + target_ + ": " + ErrorDescription(error);
}

std::string ReplacementFile::ReadError(const std::string& path, const OpenFile& file) {
    return "Cannot read " + path + ": " + ErrorDescription(file.LastError());
}

std::unique_ptr<ReplacementFile> OpenReplacementWithRetry(const std::string& target, std::vector<FileIdentity> inputs,
                                                          MessageBoxes& boxes, FileSystem& fileSystem) {
    std::unique_ptr<ReplacementFile> replacement;
    RetryOpen(target, OpenReplace, QuietNone, boxes, fileSystem, [&] {
        replacement = std::make_unique<ReplacementFile>(target, inputs, fileSystem);
        return OpenAttempt{nullptr, replacement->Failure(), replacement->Reason()};
    });
    return replacement;
}

void RemoveReplacementFilesOnSignals() {
    for (const int signalNumber : ReplacementSignals) {
        struct sigaction action {};
        action.sa_handler = RemoveTemporaryFilesAndReraise;
        sigemptyset(&action.sa_mask);
        // The others wait while one is handled, so no file is removed twice at once.
        for (const int other : ReplacementSignals) sigaddset(&action.sa_mask, other);
        sigaction(signalNumber, &action, nullptr);
    }
}

}  // namespace kartivo
