#include "common/ReplacementFile.h"

#include "common/PathParts.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace kartivo {

// A temporary file a signal handler may have to remove. Plain fixed buffers: the handler can
// neither allocate nor take a lock, so an entry is claimed with an atomic flag and its path is
// complete before the flag says so.
struct PendingRemoval {
    std::atomic<int> state{0};  // 0 free, 1 being filled or emptied, 2 holds a path to remove
    std::array<char, 4096> path{};
};

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs lock-free flags");

std::array<PendingRemoval, 16> pendingRemovals;

PendingRemoval* RememberPending(const std::string& path) {
    if (path.size() >= std::tuple_size_v<decltype(PendingRemoval::path)>) return nullptr;
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 0;
        if (!entry.state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(entry.path.data(), path.c_str(), path.size() + 1);
        entry.state.store(2);
        return &entry;
    }
    return nullptr;  // more replacements at once than entries: this one is only removed normally
}

void ForgetPending(PendingRemoval*& entry) {
    if (entry) entry->state.store(0);
    entry = nullptr;
}

extern "C" void RemovePendingAndReraise(int signalNumber) {
    const int savedErrno = errno;
    for (PendingRemoval& entry : pendingRemovals) {
        int expected = 2;
        if (entry.state.compare_exchange_strong(expected, 1)) unlink(entry.path.data());
    }
    errno = savedErrno;
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
}

// Answers every alarm with giving up, for callers that have nobody to ask.
class GiveUpBoxes final : public MessageBoxes {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override {}
    AlarmAnswer ShowAlarmBox(const std::string&, const std::string&, AlarmButtons buttons) override {
        return buttons == AlarmButtons::RetryCancel ? AlarmAnswer::Cancel : AlarmAnswer::Abort;
    }
};

std::string ReasonOr(const std::string& reason) { return reason.empty() ? "Unknown error" : reason; }

}  // namespace

ReplacementFile::ReplacementFile(std::string target, FileSystem& fileSystem)
    : ReplacementFile(target, [&] {
          GiveUpBoxes boxes;
          return OpenFileWithRetry(target, OpenReplace, QuietNone, boxes, {}, fileSystem);
      }(), fileSystem) {}

ReplacementFile::ReplacementFile(std::string target, OpenResult&& opened, FileSystem& fileSystem)
    : target_(std::move(target)), fileSystem_(fileSystem) {
    if (!opened) {
        Fail("Cannot make", opened.failure);
        return;
    }
    file_ = std::move(opened.file);
    temporaryPath_ = std::move(opened.temporaryPath);
    pending_ = RememberPending(temporaryPath_);
}

ReplacementFile::~ReplacementFile() { Discard(); }

void ReplacementFile::Fail(const std::string& what, const std::string& reason) {
    error_ = what + " " + target_ + ": " + ReasonOr(reason);
    Discard();
}

bool ReplacementFile::Commit() {
    if (!file_) {
        if (error_.empty()) error_ = "Cannot make " + target_ + ": the new file is not open";
        return false;
    }
    // Flushing to the disk before the rename is what makes a power cut leave the older file
    // or the whole new one, never a renamed file whose blocks never arrived.
    if (!file_->Sync() || !file_->Close()) {
        Fail("Cannot write", file_->LastError());
        return false;
    }
    if (const auto bits = fileSystem_.PermissionBits(target_)) {
        if (const int error = fileSystem_.SetPermissionBits(temporaryPath_, *bits); error != 0) {
            Fail("Cannot keep the permissions of", ErrorDescription(error));
            return false;
        }
    }
    if (const int error = fileSystem_.Rename(temporaryPath_, target_); error != 0) {
        Fail("Cannot replace", ErrorDescription(error));
        return false;
    }
    ForgetPending(pending_);
    file_.reset();
    temporaryPath_.clear();
    // The new content is in place; a folder that cannot be flushed only loses the rename's
    // durability, which no message could help with.
    fileSystem_.SyncFolder(GetParentFolderName(target_));
    return true;
}

void ReplacementFile::Discard() {
    if (file_) {
        file_->Close();
        file_.reset();
    }
    if (!temporaryPath_.empty()) {
        fileSystem_.Remove(temporaryPath_);
        temporaryPath_.clear();
    }
    ForgetPending(pending_);
}

std::string ReplacementFile::WriteError() const {
    return "Cannot write " + target_ + ": " + ReasonOr(file_ ? file_->LastError() : std::string());
}

std::string ReplacementFile::ReadError(const std::string& path, OpenFile& file) {
    return "Cannot read " + path + ": " + ReasonOr(file.LastError());
}

void RemoveReplacementFilesOnSignals() {
    for (const int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction action {};
        action.sa_handler = RemovePendingAndReraise;
        sigemptyset(&action.sa_mask);
        // The other two wait while one is being handled, so no entry is removed twice at once.
        sigaddset(&action.sa_mask, SIGINT);
        sigaddset(&action.sa_mask, SIGTERM);
        sigaddset(&action.sa_mask, SIGHUP);
        sigaction(signalNumber, &action, nullptr);
    }
}

}  // namespace kartivo
