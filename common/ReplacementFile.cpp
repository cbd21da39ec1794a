#include "common/ReplacementFile.h"

#include "common/PathParts.h"

#include <csignal>

namespace kartivo {

namespace {

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
    : target_(ReplacementTarget(target)), fileSystem_(fileSystem) {
    if (!opened) {
        Fail("Cannot make", opened.failure);
        return;
    }
    file_ = std::move(opened.file);
    temporaryPath_ = std::move(opened.temporaryPath);
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
    ForgetTemporaryFile(temporaryPath_);
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
        ForgetTemporaryFile(temporaryPath_);
        temporaryPath_.clear();
    }
}

std::string ReplacementFile::WriteError() const {
    return "Cannot write " + target_ + ": " + ReasonOr(file_ ? file_->LastError() : std::string());
}

std::string ReplacementFile::ReadError(const std::string& path, OpenFile& file) {
    return "Cannot read " + path + ": " + ReasonOr(file.LastError());
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
