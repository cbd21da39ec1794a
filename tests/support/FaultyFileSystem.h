#pragma once
// The real disk, except that one step of writing a file fails: the N-th write, the flush to
// the disk, the close, the permission bits or the rename (or raises a signal instead), and
// hard links may be missing. Files stay real, so a test can look at what is left.

#include "common/FileCommon.h"

#include <csignal>
#include <memory>
#include <string>

namespace kartivo::test {

enum class FailingStep { None, Write, Sync, Close, Rename, Permissions };

class FaultyFileSystem : public FileSystem {
public:
    explicit FaultyFileSystem(FailingStep step = FailingStep::None, int failingWrite = 1)
        : step_(step), failingWrite_(failingWrite) {}

    OpenAttempt Open(const std::string& path, OpenMode mode) override {
        inputOpens += mode == OpenInput;
        OpenAttempt attempt = FileSystem::Open(path, mode);
        if (attempt.file && mode != OpenInput) attempt.file = std::make_unique<FaultyFile>(std::move(attempt.file), *this);
        return attempt;
    }
    std::unique_ptr<OpenFile> CreateTemporaryFile(int folder, const std::string& name, std::error_code& error) override {
        std::unique_ptr<OpenFile> file = FileSystem::CreateTemporaryFile(folder, name, error);
        return file ? std::make_unique<FaultyFile>(std::move(file), *this) : nullptr;
    }
    std::error_code Rename(int folder, const std::string& from, const std::string& to) override {
        return Fails(FailingStep::Rename) ? std::make_error_code(std::errc::io_error) : FileSystem::Rename(folder, from, to);
    }
    std::error_code Link(int folder, const std::string& from, const std::string& to) override {
        // As on FAT and exFAT, which have none.
        return hardLinks ? FileSystem::Link(folder, from, to) : std::make_error_code(std::errc::operation_not_permitted);
    }

    int inputOpens = 0;  // a second open of the input could meet another picture under its name
    // The step other than a write fails from its firstFailing-th time on (over every file).
    int firstFailing = 1;
    // Not 0: the step raises this signal instead of failing, then goes on as the real one.
    int signalNumber = 0;
    bool hardLinks = true;

private:
    class FaultyFile final : public OpenFile {
    public:
        FaultyFile(std::unique_ptr<OpenFile> inner, FaultyFileSystem& owner) : inner_(std::move(inner)), owner_(owner) {}
        bool Read(std::span<std::uint8_t> buffer) override { return inner_->Read(buffer); }
        std::size_t ReadSome(std::span<std::uint8_t> buffer) override { return inner_->ReadSome(buffer); }
        bool Write(std::span<const std::uint8_t> bytes) override {
            if (++owner_.writes_ != owner_.failingWrite_ || owner_.step_ != FailingStep::Write) return inner_->Write(bytes);
            inner_->Write(bytes.first(bytes.size() / 2));  // half the bytes arrive, as on a disk that fills up
            return Failed(std::errc::no_space_on_device);
        }
        bool Seek(std::uint64_t offset) override { return inner_->Seek(offset); }
        std::optional<std::uint64_t> Size() override { return inner_->Size(); }
        bool Truncate(std::uint64_t size) override { return inner_->Truncate(size); }
        bool Lock() override { return inner_->Lock(); }
        bool Sync() override { return owner_.Fails(FailingStep::Sync) ? Failed(std::errc::io_error) : inner_->Sync(); }
        bool SetPermissions(std::uint32_t bits) override {
            return Fails(FailingStep::Permissions) ? Failed(std::errc::operation_not_permitted) : inner_->SetPermissions(bits);
        }
        bool Close() override { return inner_->Close() && (!Fails(FailingStep::Close) || Failed(std::errc::io_error)); }
        std::optional<FileIdentity> Identity() override { return inner_->Identity(); }
        std::error_code LastError() const override { return reason_ ? reason_ : inner_->LastError(); }

    private:
        bool Fails(FailingStep step) const { return owner_.step_ == step; }
        bool Failed(std::errc reason) {
            reason_ = std::make_error_code(reason);
            return false;
        }
        std::unique_ptr<OpenFile> inner_;
        FaultyFileSystem& owner_;
        std::error_code reason_;
    };

    // Counts the step when it is the one to fail; true when it fails this time.
    bool Fails(FailingStep step) {
        if (step != step_ || ++times_ < firstFailing) return false;
        if (signalNumber == 0) return true;
        raise(signalNumber);
        return false;
    }

    FailingStep step_;
    int failingWrite_;
    int writes_ = 0;  // over every file this opened for writing
    int times_ = 0;   // how often the failing step was taken
};

}  // namespace kartivo::test
