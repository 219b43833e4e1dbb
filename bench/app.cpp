// ferrodock itself, started the way its own main() starts it, with a scenario played on the
// real window once its first frame is out. Each scenario prints one result line.
//
//   ferrodock-bench-app startup
//   ferrodock-bench-app upload FILE ORIGIN CA_PEM
//   ferrodock-bench-app paste MIB ORIGIN CA_PEM
//   ferrodock-bench-app image JPEG
//   ferrodock-bench-app make-jpeg JPEG WIDTH HEIGHT
#include "bench/Probe.h"
#include "platform/Application.h"
#include "platform/HttpsTransport.h"
#include "platform/OpenPanel.h"
#include "platform/Toolkit.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>

using namespace ferrodock;
using namespace ferrodock::bench;

namespace {

// Answers the chooser with one file, as a person confirming the panel would, and notes when.
class ScriptedPanel final : public OpenPanel {
public:
    explicit ScriptedPanel(QString path) : path_(std::move(path)) {}
    OpenPanelAnswer runModal(const OpenPanelSettings&, QWidget*) override {
        answeredNs = monotonicNs();
        return {true, {QUrl::fromLocalFile(path_)}};
    }
    qint64 answeredNs = 0;

private:
    QString path_;
};

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "ferrodock-bench-app: %s\n", what);
    std::fflush(stderr);
    std::_Exit(1);
}

QMainWindow* mainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<QMainWindow*>(widget)) return window;
    }
    fail("no main window");
}

template <typename T>
T* widget(const char* name) {
    T* found = mainWindow()->findChild<T*>(QLatin1String(name));
    if (!found) fail(name);
    return found;
}

// The transport ferrodock installs at start talks to the built-in origin; the scenarios
// talk to the local receiver instead, through the same class.
void useService(const QString& origin, const QString& caPath) {
    QFile ca(caPath);
    if (!ca.open(QIODevice::ReadOnly)) fail("cannot read the CA certificate");
    HttpsTransport::Options options;
    options.origin = origin;
    options.extraCaPem = ca.readAll();
    installSharedTransport(std::make_unique<HttpsTransport>(std::move(options)));
}

// Calls `done` once `button`'s title is no longer `before`, looking every millisecond, and
// reports the longest time between two of those looks: how long the event loop went without
// a turn.
class AnswerWatch final : public QObject {
public:
    AnswerWatch(QPushButton* button, std::function<void(qint64 doneNs, qint64 maxGapNs)> done)
        : button_(button), before_(toolkit::title(button)), done_(std::move(done)) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
        last_ = monotonicNs();
        timer_.start();
    }

private:
    void tick() {
        const qint64 now = monotonicNs();
        maxGap_ = std::max(maxGap_, now - last_);
        last_ = now;
        if (toolkit::title(button_) == before_) return;
        timer_.stop();
        done_(now, maxGap_);
    }

    QPushButton* button_;
    QString before_;
    std::function<void(qint64, qint64)> done_;
    QTimer timer_;
    qint64 last_ = 0;
    qint64 maxGap_ = 0;
};

QString expectedAnswer() {
    return QStringLiteral("127.0.0.1/bench");
}

void checkAnswer(QPushButton* output) {
    if (toolkit::title(output) != expectedAnswer()) {
        fail(qPrintable(QStringLiteral("unexpected answer: ") + toolkit::title(output)));
    }
}

// The File page: choose the file, press upload, wait for the answer on fileOutput.
void uploadScenario(const QString& file, const QString& origin, const QString& ca) {
    useService(origin, ca);
    installSharedOpenPanel(std::make_unique<ScriptedPanel>(file));
    widget<QPushButton>("filePageButton2")->click();
    widget<QPushButton>("selectButton2")->click();
    // Let the page settle so that the figures below are the upload's alone.
    QTimer::singleShot(1000, [] {
        QPushButton* output = widget<QPushButton>("fileOutput");
        const bool reset = resetPeakMemory();
        const qint64 idleKib = statusKib("VmHWM");
        const double cpuBefore = cpuSeconds();
        const qint64 startNs = monotonicNs();
        auto* watch = new AnswerWatch(output, [=](qint64 doneNs, qint64 maxGapNs) {
            const double cpu = cpuSeconds() - cpuBefore;
            checkAnswer(output);
            report("wall_ns=%lld cpu_s=%.4f idle_hwm_kib=%lld end_hwm_kib=%lld max_gap_ns=%lld "
                   "peak_reset=%d",
                   doneNs - startNs, cpu, idleKib, statusKib("VmHWM"), maxGapNs, int(reset));
            QCoreApplication::quit();
        });
        watch->setParent(output);
        widget<QPushButton>("fileUploadButton")->click();
    });
}

// Source-like text, the same every run.
QString pasteText(qint64 bytes) {
    QString text;
    text.reserve(bytes);
    for (int line = 0; text.size() < bytes; ++line) {
        text += QStringLiteral("    total_%1 = combine(total_%2, 0x%3); // step %4\n")
                    .arg(line)
                    .arg(line / 2)
                    .arg(line * 2654435761u % 65536, 4, 16, QLatin1Char('0'))
                    .arg(line % 97);
    }
    text.truncate(bytes);
    return text;
}

// The Paste page: the text is in pasteData, press the paste button. The receiver notes when
// the last byte came in; this reports when the button was pressed.
void pasteScenario(qint64 bytes, const QString& origin, const QString& ca) {
    useService(origin, ca);
    widget<QPushButton>("pastePageButton2")->click();
    widget<QPlainTextEdit>("pasteData")->setPlainText(pasteText(bytes));
    QTimer::singleShot(1000, [] {
        QPushButton* output = widget<QPushButton>("pasteOutput");
        const qint64 pressNs = monotonicNs();
        auto* watch = new AnswerWatch(output, [=](qint64 doneNs, qint64) {
            checkAnswer(output);
            report("press_ns=%lld done_ns=%lld", pressNs, doneNs);
            QCoreApplication::quit();
        });
        watch->setParent(output);
        widget<QPushButton>("pasteUploadButton")->click();
    });
}

// The Image page: choose the picture; then decode it whole, the floor.
void imageScenario(const QString& file) {
    auto panel = std::make_unique<ScriptedPanel>(file);
    ScriptedPanel* scripted = panel.get();
    installSharedOpenPanel(std::move(panel));
    QTimer::singleShot(1000, [file, scripted] {
        QLabel* preview = widget<QLabel>("bgImage");
        widget<QPushButton>("selectButton")->click();
        const qint64 shownNs = monotonicNs();
        if (preview->pixmap().isNull()) fail("no preview");
        const QSize shown = preview->pixmap().size();

        const qint64 decodeStart = monotonicNs();
        QImageReader reader(file);
        const QImage full = reader.read();
        const qint64 decodeNs = monotonicNs() - decodeStart;
        if (full.isNull()) fail("cannot decode the picture");
        report("preview_ns=%lld decode_ns=%lld preview=%dx%d full=%dx%d",
               shownNs - scripted->answeredNs, decodeNs, shown.width(), shown.height(),
               full.width(), full.height());
        QCoreApplication::quit();
    });
}

// A photograph-like picture: smooth light with grain, so the JPEG decoder has real work.
int makeJpeg(const QString& path, int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    quint32 state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = int(state & 63) - 32;
            auto channel = [grain](int base) { return std::clamp(base + grain, 0, 255); };
            row[x] = qRgb(channel(x * 255 / width), channel(y * 255 / height),
                          channel(((x + y) / 7) % 256));
        }
    }
    return image.save(path, "JPEG", 90) ? 0 : 1;
}

void watch() {
    installFrameWatch();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(watch)

int main(int argc, char** argv) {
    const QString mode = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto arg = [argc, argv](int i) {
        if (i >= argc) fail("missing argument");
        return QString::fromLocal8Bit(argv[i]);
    };
    if (mode == QLatin1String("make-jpeg")) {
        QCoreApplication app(argc, argv);
        return makeJpeg(arg(2), arg(3).toInt(), arg(4).toInt());
    }
    if (mode == QLatin1String("startup")) {
        measureStartUp();
    } else if (mode == QLatin1String("upload")) {
        onFirstFrame([file = arg(2), origin = arg(3), ca = arg(4)](qint64) {
            uploadScenario(file, origin, ca);
        });
    } else if (mode == QLatin1String("paste")) {
        onFirstFrame([bytes = arg(2).toLongLong() << 20, origin = arg(3), ca = arg(4)](qint64) {
            pasteScenario(bytes, origin, ca);
        });
    } else if (mode == QLatin1String("image")) {
        onFirstFrame([file = arg(2)](qint64) { imageScenario(file); });
    } else {
        fail("usage: ferrodock-bench-app startup|upload|paste|image|make-jpeg ...");
    }
    // Only the program's name goes on: ferrodock takes no arguments.
    int appArgc = 1;
    return runApplication(appArgc, argv);
}
