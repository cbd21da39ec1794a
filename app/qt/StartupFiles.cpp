#include "app/qt/StartupFiles.h"

#include "app/qt/DropTarget.h"
#include "app/qt/MainWindow.h"
#include "common/PathParts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

namespace kartivo::qt {

namespace {

struct Parser {
    Parser() {
        parser.setApplicationDescription(
            "Prepares Mercator map pictures for the handheld GPS application Ambulo.\n"
            "A BMP picture named here is loaded as if dropped on the In frame, a map data file\n"
            "(.mbx) is chosen as if dropped on the Ambulo frame; of several, the first of each.");
        parser.addHelpOption();
        parser.addVersionOption();
        parser.addPositionalArgument("files", "A BMP picture and a map data file (.mbx) to open.",
                                     "[PICTURE.bmp] [MAP.mbx]");
    }
    QCommandLineParser parser;
};

void DropOn(MainWindow& window, const char* target, const QStringList& paths) {
    if (paths.isEmpty()) return;
    auto* dropTarget = qobject_cast<DropTarget*>(window.Widget(target));
    if (dropTarget != nullptr && dropTarget->onDrop) dropTarget->onDrop(paths);
}

}  // namespace

void AnswerInformationOptions(int argc, char* argv[]) {
    // A core application only: it needs no display. Qt's own window options (-platform,
    // -style, ...) are unknown to it; the full parse after the window system is up judges them.
    int probeArgc = argc;
    const QCoreApplication probe(probeArgc, argv);
    Parser probeParser;
    probeParser.parser.parse(QCoreApplication::arguments());
    if (probeParser.parser.isSet("help")) probeParser.parser.showHelp(0);
    if (probeParser.parser.isSet("version")) probeParser.parser.showVersion();
}

QStringList GivenFiles(const QStringList& arguments) {
    Parser parser;
    parser.parser.process(arguments);
    return parser.parser.positionalArguments();
}

void OpenGivenFiles(MainWindow& window, const QStringList& files) {
    QStringList pictures;
    QStringList mapDataFiles;
    for (const QString& file : files) {
        const QFileInfo info(file);
        const QString path = info.absoluteFilePath();
        if (GetExtensionName(path.toStdString()) == "mbx") {
            mapDataFiles << path;  // the map data frame only notes a path; writing checks it
        } else if (info.isFile()) {
            pictures << path;
        } else {
            // Loading opens its file the way writing does, which makes a missing one: a
            // mistyped name must not leave an empty file behind.
            std::fprintf(stderr, "kartivo: %s: %s\n", qPrintable(file),
                         info.exists() ? "not a file" : "no such file");
        }
    }
    DropOn(window, "lblDragIn", pictures);
    DropOn(window, "lblDragAmbulo", mapDataFiles);
}

}  // namespace kartivo::qt
