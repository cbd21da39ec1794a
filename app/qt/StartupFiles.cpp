#include "app/qt/StartupFiles.h"

#include "app/qt/DropTarget.h"
#include "app/qt/MainWindow.h"
#include "common/File.h"
#include "common/MessageBox.h"
#include "common/PathParts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace kartivo::qt {

namespace {

// The options QApplication takes out of the command line itself, with whether each takes a
// value. The command line is read before QApplication exists, so they must be known here to
// be passed over rather than refused (their values are no file names either).
constexpr std::pair<const char*, bool> WindowSystemOptions[] = {
    {"platform", true},  {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"geometry", true},     {"qwindowtitle", true},  {"title", true},
    {"qwindowicon", true}, {"icon", true},             {"display", true},       {"name", true},
    {"session", true},   {"style", true},              {"stylesheet", true},    {"qmljsdebugger", true},
    {"reverse", false},  {"widgetcount", false},       {"testability", false},  {"nograb", false},
    {"dograb", false},   {"sync", false},
};

struct Parser {
    Parser() {
        parser.setApplicationDescription(
            "Prepares Mercator map pictures for the handheld GPS application Ambulo.\n"
            "A BMP picture named here is loaded as if dropped on the In frame, a map data file\n"
            "(.mbx) is chosen as if dropped on the Ambulo frame; of several, the first of each.");
        // Qt's own options are single words after one dash ("-platform"), not letters in a row.
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument("files", "A BMP picture and a map data file (.mbx) to open.",
                                     "[PICTURE.bmp] [MAP.mbx]");
        for (const auto& [name, takesValue] : WindowSystemOptions) {
            QCommandLineOption option(name, QString(), takesValue ? "value" : QString());
            option.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(option);
        }
    }
    QCommandLineParser parser;
};

void DropOn(MainWindow& window, const char* target, const QStringList& paths) {
    if (paths.isEmpty()) return;
    auto* dropTarget = qobject_cast<DropTarget*>(window.Widget(target));
    if (dropTarget != nullptr && dropTarget->onDrop) dropTarget->onDrop(paths);
}

// Why a named file cannot be opened, in the words the loading itself would use, or nothing
// when it can. Only a first word to the person: the loading judges the file on its own handle.
std::string Unopenable(const QFileInfo& info) {
    struct stat status {};
    if (::stat(info.absoluteFilePath().toStdString().c_str(), &status) != 0) return ErrorDescription(errno);
    if (const std::error_code kind = NotARegularFile(status.st_mode)) return ErrorDescription(kind);
    return {};
}

QtMessageHandler previousHandler = nullptr;

void ExitOnFatal(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg && previousHandler != nullptr) {
        previousHandler(type, context, message);
        return;
    }
    if (type != QtFatalMsg) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    std::fprintf(stderr, "kartivo: %s\n", qPrintable(message));
    std::fflush(stderr);
    // Nothing has been written yet; the half-made application must not be torn down.
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

QStringList ReadCommandLine(int argc, char* argv[]) {
    // A core application only: it needs no display.
    int probeArgc = argc;
    const QCoreApplication probe(probeArgc, argv);
    Parser parser;
    parser.parser.process(QCoreApplication::arguments());
    return parser.parser.positionalArguments();
}

StartupFailureExit::StartupFailureExit() {
    previousHandler = qInstallMessageHandler(ExitOnFatal);
}

StartupFailureExit::~StartupFailureExit() {
    qInstallMessageHandler(previousHandler);
}

void OpenGivenFiles(MainWindow& window, MessageBoxes& messages, const QStringList& files) {
    QStringList pictures;
    QStringList mapDataFiles;
    std::string refused;
    for (const QString& file : files) {
        const QFileInfo info(file);
        const QString path = info.absoluteFilePath();
        // Loading opens its file the way writing does, which makes a missing one: a mistyped
        // name must not leave an empty file behind, nor stand in a path box.
        if (const std::string reason = Unopenable(info); !reason.empty()) {
            std::fprintf(stderr, "kartivo: %s: %s\n", qPrintable(file), reason.c_str());
            refused += (refused.empty() ? "" : "\n") + path.toStdString() + ": " + reason;
        } else if (GetExtensionName(path.toStdString()) == "mbx") {
            mapDataFiles << path;
        } else {
            pictures << path;
        }
    }
    if (!refused.empty()) messages.ShowMessage("Cannot open\n" + refused, "Kartivo", MessageIcon::Exclamation);
    DropOn(window, "lblDragIn", pictures);
    DropOn(window, "lblDragAmbulo", mapDataFiles);
}

}  // namespace kartivo::qt
