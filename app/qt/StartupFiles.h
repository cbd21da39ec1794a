#pragma once
// The program's own command line: --help and --version, and the files it is asked to open.

#include <QStringList>

namespace kartivo::qt {

class MainWindow;

// Answers --help and --version on the terminal and ends the program, before any window
// system is contacted, so both work without a display. Returns when neither is asked.
void AnswerInformationOptions(int argc, char* argv[]);

// The files named on a command line (the program's name first); refuses an unknown option on
// the terminal and ends the program.
QStringList GivenFiles(const QStringList& arguments);

// Hands files to the window as a drop would: map data files (".mbx") to the Ambulo frame,
// every other file to the In frame. Each frame takes the first of its files, as from a drop
// of several. Relative paths are taken from the current folder. A picture that does not exist
// is reported on standard error and left out.
void OpenGivenFiles(MainWindow& window, const QStringList& files);

}  // namespace kartivo::qt
