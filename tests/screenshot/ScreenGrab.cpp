// Saves a picture of the whole X screen: scripts/screenshots.sh uses it to show the window as a
// person's desktop shows it. Not a test.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: screen_grab OUT.png\n", stderr);
        return 2;
    }
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    if (screen.isNull() || !screen.save(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "screen_grab: cannot save %s\n", argv[1]);
        return 1;
    }
    return 0;
}
