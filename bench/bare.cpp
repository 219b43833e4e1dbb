// The floors built with Qt alone, with the same flags and watched the same way as ferrodock:
//
//   ferrodock-bench-bare startup [WIDTHxHEIGHT]         a main window with one label
//   ferrodock-bench-bare text WIDTHxHEIGHT TEXT_FILE    a main window holding the text in a
//                                                       QPlainTextEdit
//
// The size is ferrodock's window's, so that both draw and keep as many pixels.
#include "bench/Probe.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>

#include <cstdio>

static void watch() {
    ferrodock::bench::installFrameWatch();
}
Q_COREAPP_STARTUP_FUNCTION(watch)

int main(int argc, char** argv) {
    ferrodock::bench::measureStartUp();
    QApplication app(argc, argv);
    QMainWindow window;
    if (argc > 3) {
        QFile file(QString::fromLocal8Bit(argv[3]));
        if (!file.open(QIODevice::ReadOnly)) return 1;
        auto* view = new QPlainTextEdit(&window);
        view->setPlainText(QString::fromUtf8(file.readAll()));
        window.setCentralWidget(view);
    } else {
        window.setCentralWidget(new QLabel(QStringLiteral("ferrodock"), &window));
    }
    if (argc > 2) {
        int width = 0, height = 0;
        if (std::sscanf(argv[2], "%dx%d", &width, &height) == 2) window.resize(width, height);
    }
    window.show();
    return QApplication::exec();
}
