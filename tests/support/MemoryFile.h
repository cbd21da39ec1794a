#pragma once
// An OpenFile over a byte vector, with injectable faults, so tests can check how code
// behaves when a disk fills up or a flush loses data.

#include "common/File.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace kartivo::test {

class MemoryFile : public OpenFile {
public:
    explicit MemoryFile(std::vector<std::uint8_t> initial = {}) : bytes_(std::move(initial)) {}

    // Writes fail once this many bytes have been written in total; the write that crosses
    // the limit stores the bytes up to it and then reports failure, like a full disk.
    std::optional<std::size_t> failWritesAfter;
    // The write with this number (from 1) stores half its bytes and fails; the others succeed.
    std::optional<int> failWriteNumber;
    bool failSeek = false;
    bool failSync = false;

    const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
    std::size_t BytesWritten() const { return written_; }
    std::size_t BytesRead() const { return read_; }

    bool Read(std::span<std::uint8_t> buffer) override {
        return !closed_ && position_ <= bytes_.size() && bytes_.size() - position_ >= buffer.size() &&
               ReadSome(buffer) == buffer.size();
    }
    std::size_t ReadSome(std::span<std::uint8_t> buffer) override {
        if (closed_ || position_ >= bytes_.size()) return 0;
        const std::size_t count = std::min(buffer.size(), bytes_.size() - position_);
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position_), count, buffer.begin());
        position_ += count;
        read_ += count;
        return count;
    }
    bool Write(std::span<const std::uint8_t> data) override {
        if (closed_) return false;
        std::size_t allowed = data.size();
        if (failWriteNumber && ++writes_ == *failWriteNumber) allowed /= 2;
        if (failWritesAfter) allowed = std::min(allowed, *failWritesAfter - std::min(*failWritesAfter, written_));
        // A write past the end leaves zeros in the gap, as a disk does.
        if (position_ + allowed > bytes_.size()) bytes_.resize(position_ + allowed, 0);
        std::copy_n(data.begin(), allowed, bytes_.begin() + static_cast<std::ptrdiff_t>(position_));
        position_ += allowed;
        written_ += allowed;
        return allowed == data.size() || Failed(std::errc::no_space_on_device);
    }
    bool Seek(std::uint64_t offset) override {
        if (closed_ || failSeek) return Failed(std::errc::invalid_argument);
        position_ = static_cast<std::size_t>(offset);
        return true;
    }
    std::optional<std::uint64_t> Size() override { return closed_ ? std::nullopt : std::optional<std::uint64_t>(bytes_.size()); }
    bool Truncate(std::uint64_t size) override {
        if (closed_) return false;
        bytes_.resize(static_cast<std::size_t>(size), 0);
        return true;
    }
    bool Close() override { return !std::exchange(closed_, true); }
    bool Lock() override { return !closed_; }
    bool Sync() override { return (!closed_ && !failSync) || Failed(std::errc::io_error); }
    bool SetPermissions(std::uint32_t) override { return !closed_; }
    std::optional<FileIdentity> Identity() override { return std::nullopt; }
    std::error_code LastError() const override { return lastError_; }

private:
    std::vector<std::uint8_t> bytes_;
    std::size_t position_ = 0;
    std::size_t written_ = 0;
    std::size_t read_ = 0;
    int writes_ = 0;
    bool closed_ = false;
    std::error_code lastError_;

    bool Failed(std::errc reason) {
        lastError_ = std::make_error_code(reason);
        return false;
    }
};

}  // namespace kartivo::test
