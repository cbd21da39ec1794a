#pragma once
// The program's own command line: --help and --version, and the files it is asked to open.

#include <QStringList>

namespace kartivo {
class MessageBoxes;
}

namespace kartivo::qt {

class MainWindow;

// Reads the whole command line before any window system is contacted, so --help, --help-all,
// --version and a mistyped option are answered on the terminal (and the program ended) also
// without a display. Returns the files it names.
QStringList ReadCommandLine(int argc, char* argv[]);

// While alive, a fatal Qt error (no display to connect to, no platform plugin) ends the
// program with its message and status 1 rather than with a crash.
class StartupFailureExit {
public:
    StartupFailureExit();
    ~StartupFailureExit();
    StartupFailureExit(const StartupFailureExit&) = delete;
    StartupFailureExit& operator=(const StartupFailureExit&) = delete;
};

// Hands files to the window as a drop would: map data files (".mbx") to the Ambulo frame,
// every other file to the In frame. Each frame takes the first of its files, as from a drop
// of several. Relative paths are taken from the current folder. A file that cannot be opened
// (missing, a folder) is left out and reported on standard error and in one message box.
void OpenGivenFiles(MainWindow& window, MessageBoxes& messages, const QStringList& files);

}  // namespace kartivo::qt
