// The floor for start-up: the barest Qt Widgets window, a main window with one label, built
// with the same flags and watched the same way as ferrodock.
#include "bench/Probe.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>

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
    window.show();
    return QApplication::exec();
}
