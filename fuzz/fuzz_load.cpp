// The whole load of a picture through the window model, from a real file on disk.
#include "FuzzCheck.h"
#include "app/Form1.h"
#include "app/UserInterface.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace kartivo;

namespace {

// Nobody answers: every alarm gives up, every dialog is cancelled.
class QuietUserInterface : public UserInterface {
public:
    void ShowMessage(const std::string&, const std::string&, MessageIcon) override { ++messages; }
    AlarmAnswer ShowAlarmBox(const std::string&, const std::string&, AlarmButtons buttons) override {
        return buttons == AlarmButtons::AbortRetryIgnore ? AlarmAnswer::Abort : AlarmAnswer::Cancel;
    }
    std::string ShowOpenDialog(const FileDialogRequest&) override { return {}; }
    std::string ShowSaveDialog(const FileDialogRequest&) override { return {}; }
    void SetBusyPointer(bool) override {}
    void CloseWindow() override {}

    int messages = 0;
};

// One folder per process, so parallel fuzzing jobs do not share the picture file; it goes
// away with the process.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string folder = (std::filesystem::temp_directory_path() / "kartivo-fuzz-load-XXXXXX").string();
        if (mkdtemp(folder.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        folder_ = folder;
        picture_ = folder_ / "map.bmp";
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    const std::filesystem::path& Picture() const { return picture_; }

private:
    std::filesystem::path folder_;
    std::filesystem::path picture_;
};

const std::filesystem::path& PicturePath() {
    static const ScratchFolder scratch;
    return scratch.Picture();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream out(PicturePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        FUZZ_CHECK(out.good());
    }
    QuietUserInterface ui;
    Form1 form(ui);
    form.Form_Load();
    form.LoadInputMap(PicturePath().string());
    return 0;
}
