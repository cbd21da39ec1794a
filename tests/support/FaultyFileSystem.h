#pragma once
// The real disk, except that one step of writing a file fails: the N-th write, the flush to
// the disk, the close or the rename. Files stay real, so a test can look at what is left.

#include "common/FileCommon.h"

#include <memory>
#include <string>

namespace kartivo::test {

enum class FailingStep { None, Write, Sync, Close, Rename, Permissions };

class FaultyFileSystem : public FileSystem {
public:
    explicit FaultyFileSystem(FailingStep step = FailingStep::None, int failingWrite = 1)
        : step_(step), failingWrite_(failingWrite) {}

    OpenAttempt Open(const std::string& path, OpenMode mode, std::int16_t number, bool readOnlyFallback) override {
        inputOpens += mode == OpenInput;
        return Wrapped(DefaultFileSystem().Open(path, mode, number, readOnlyFallback), mode != OpenInput);
    }
    OpenAttempt CreateTemporaryFile(const std::string& target, std::int16_t number) override {
        return Wrapped(FileSystem::CreateTemporaryFile(target, number), true);
    }
    int SetPermissionBits(const std::string& path, std::uint32_t bits) override {
        return step_ == FailingStep::Permissions ? EPERM : FileSystem::SetPermissionBits(path, bits);
    }
    int Rename(const std::string& from, const std::string& to) override {
        return step_ == FailingStep::Rename ? EIO : FileSystem::Rename(from, to);
    }
    bool FolderExists(const std::string& path) override { return DefaultFileSystem().FolderExists(path); }
    bool CreateFolder(const std::string& path) override { return DefaultFileSystem().CreateFolder(path); }
    bool CreateEmptyFile(const std::string& path) override { return DefaultFileSystem().CreateEmptyFile(path); }

    int inputOpens = 0;  // a second open of the input could meet another picture under its name

private:
    class FaultyFile final : public OpenFile {
    public:
        FaultyFile(std::unique_ptr<OpenFile> inner, FaultyFileSystem& owner) : inner_(std::move(inner)), owner_(owner) {}
        bool Read(std::span<std::uint8_t> buffer) override { return inner_->Read(buffer); }
        std::size_t ReadSome(std::span<std::uint8_t> buffer) override { return inner_->ReadSome(buffer); }
        bool Write(std::span<const std::uint8_t> bytes) override {
            if (++owner_.writes_ != owner_.failingWrite_ || owner_.step_ != FailingStep::Write) return inner_->Write(bytes);
            inner_->Write(bytes.first(bytes.size() / 2));  // half the bytes arrive, as on a disk that fills up
            return Failed("No space left on device");
        }
        bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
        std::optional<std::uint64_t> Size() override { return inner_->Size(); }
        bool Truncate(std::uint64_t size) override { return inner_->Truncate(size); }
        bool Lock() override { return inner_->Lock(); }
        bool Sync() override { return owner_.step_ == FailingStep::Sync ? Failed("Input/output error") : inner_->Sync(); }
        bool Close() override { return inner_->Close() && (owner_.step_ != FailingStep::Close || Failed("Input/output error")); }
        std::string LastError() const override { return reason_.empty() ? inner_->LastError() : reason_; }
        std::int16_t Number() const override { return inner_->Number(); }

    private:
        bool Failed(const char* reason) {
            reason_ = reason;
            return false;
        }
        std::unique_ptr<OpenFile> inner_;
        FaultyFileSystem& owner_;
        std::string reason_;
    };

    OpenAttempt Wrapped(OpenAttempt attempt, bool writing) {
        if (attempt.file && writing) attempt.file = std::make_unique<FaultyFile>(std::move(attempt.file), *this);
        return attempt;
    }

    FailingStep step_;
    int failingWrite_;
    int writes_ = 0;  // over every file this opened for writing
};

}  // namespace kartivo::test
