#pragma once
// The real file system, except that one path opens as an in-memory file whose writes fail
// after a given number of bytes.

#include "MemoryFile.h"
#include "common/FileCommon.h"

#include <memory>
#include <string>

namespace kartivo::test {

class FaultyFileSystem : public FileSystem {
public:
    FaultyFileSystem(std::string path, std::vector<std::uint8_t> content, std::size_t failWritesAfter)
        : path_(std::move(path)), content_(std::move(content)), failWritesAfter_(failWritesAfter) {}

    OpenAttempt Open(const std::string& path, int mode, std::int16_t number, bool readOnlyFallback) override {
        if (path != path_) return DefaultFileSystem().Open(path, mode, number, readOnlyFallback);
        auto file = std::make_unique<MemoryFile>(content_, number);
        file->failWritesAfter = failWritesAfter_;
        opened = file.get();
        return {std::move(file), OpenFailure::None, ""};
    }
    bool FolderExists(const std::string& path) override { return DefaultFileSystem().FolderExists(path); }
    bool CreateFolder(const std::string& path) override { return DefaultFileSystem().CreateFolder(path); }
    bool CreateEmptyFile(const std::string& path) override { return DefaultFileSystem().CreateEmptyFile(path); }

    MemoryFile* opened = nullptr;  // valid while the command that opened it runs

private:
    std::string path_;
    std::vector<std::uint8_t> content_;
    std::size_t failWritesAfter_;
};

}  // namespace kartivo::test
