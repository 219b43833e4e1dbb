// The floor for start-up: the barest Qt Widgets window, a main window with one label, built
// with the same flags and watched the same way as ferrodock.
//
//   ferrodock-bench-bare startup [WIDTHxHEIGHT]   (the size of ferrodock's window, so that
//                                                  both draw and keep as many pixels)
#include "bench/Probe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

#include <cstdio>

static void watch() {
    ferrodock::bench::installFrameWatch();
}
Q_COREAPP_STARTUP_FUNCTION(watch)

int main(int argc, char** argv) {
    ferrodock::bench::measureStartUp();
    QApplication app(argc, argv);
    QMainWindow window;
    QLabel label(QStringLiteral("ferrodock"));
    window.setCentralWidget(&label);
    if (argc > 2) {
        int width = 0, height = 0;
        if (std::sscanf(argv[2], "%dx%d", &width, &height) == 2) window.resize(width, height);
    }
    window.show();
    return QApplication::exec();
}
