// Shows the picture window over a loaded map as a person opens it (View > Show Picture), zoomed
// in a few wheel notches when asked, or the tile server's dialog with Show pressed over a source,
// and saves a picture of the whole X screen: used by scripts/screenshots.sh. Not a test.
#include "app/qt/Desktop.h"
#include "app/qt/PictureWindow.h"
#include "app/TileServerMap.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fputs("usage: picture_shot PICTURE.bmp OUT.png [NOTCHES [OUT_BOTTOM OUT_TOP [PREVIEW_HEIGHT]]]\n"
                   "       picture_shot PICTURE OUT.png points\n"
                   "       picture_shot TEMPLATE OUT.png tiles ZOOM BOTTOM LEFT TOP RIGHT\n", stderr);
        return 2;
    }
    kartivo::qt::Desktop desktop;
    kartivo::Form1& form = desktop.form;
    kartivo::qt::MainWindow& window = desktop.window;
    if (std::string(argv[3 % argc]) == "points") {
        // Georeferencing the picture by the points kept beside it: the offer is answered Yes.
        QTimer::singleShot(300, [] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                box->button(QMessageBox::Yes)->click();
            }
        });
        desktop.workspace.StartGeoreferencing(argv[1]);
        QTimer::singleShot(1500, [&] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
            app.exit(0);
        });
        return QApplication::exec();
    }
    if (std::string(argv[3 % argc]) == "tiles" && argc > 8) {
        window.MenuAction("mnuFileTileServer")->trigger();
        kartivo::TileServerMap& tiles = desktop.workspace.tiles;
        tiles.SetSource(argv[1]);
        tiles.SetZoom(std::atoi(argv[4]));
        for (int i = 0; i < 4; ++i) tiles.SetCorner(static_cast<kartivo::BoxEdge>(i), argv[5 + i]);
        window.findChild<QPushButton*>("tileShow")->click();
        QTimer::singleShot(1500, [&] {
            QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
            app.exit(0);
        });
        return QApplication::exec();
    }
    form.LoadInputMap(argv[1]);
    // The output's band: its latitudes typed into their boxes and accepted.
    if (argc > 5) {
        form.txtOutBottomLatitudeDegree.SetText(argv[4]);
        form.txtOutTopLatitudeDegree.SetText(argv[5]);
        form.ValidateHandler(form.txtOutBottomLatitudeDegree)();
        form.ValidateHandler(form.txtOutTopLatitudeDegree)();
    }
    if (argc > 6) form.txtImageHeightData.SetText(argv[6]);
    window.MenuAction("mnuViewShowPicture")->trigger();
    QWidget* canvas = window.Picture()->Canvas()->viewport();
    if (argc > 3) {
        const QPointF at = canvas->rect().center() + QPoint(60, -40);
        QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 120 * std::atoi(argv[3])), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &wheel);
    }
    if (argc > 6) window.Picture()->findChild<QAction*>("previewOutput")->trigger();
    QTimer::singleShot(1500, [&] {
        const bool saved = QGuiApplication::primaryScreen()->grabWindow(0).save(QString::fromLocal8Bit(argv[2]));
        if (!saved) std::fprintf(stderr, "picture_shot: cannot save %s\n", argv[2]);
        app.exit(saved ? 0 : 1);
    });
    return QApplication::exec();
}
