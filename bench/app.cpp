// ferrodock itself, started the way its own main() starts it, with a scenario played on the
// real window once its first frame is out. Each scenario prints one result line.
//
//   ferrodock-bench-window startup
//   ferrodock-bench-window upload FILE ORIGIN CA_PEM
//   ferrodock-bench-window paste TEXT_FILE ORIGIN CA_PEM
//   ferrodock-bench-window image JPEG [floor-first]
//   ferrodock-bench-window make-jpeg JPEG WIDTH HEIGHT
//   ferrodock-bench-window make-text TEXT_FILE MIB
//   ferrodock-bench-window make-history DATA_DIR
//   ferrodock-bench-window history DATA_DIR
#include "app/Application.h"
#include "bench/Probe.h"
#include "desktop/OpenPanel.h"
#include "desktop/Thumbnail.h"
#include "platform/LoadedTransport.h"
#include "window/FittedText.h"
#include "window/HistoryModel.h"
#include "window/HistoryWindow.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <utility>

using namespace ferrodock;
using namespace ferrodock::bench;

namespace {

// A chooser answering with `path`, as a person confirming the panel would; `answered` notes when.
class AnsweringPanel final : public OpenPanel {
public:
    AnsweringPanel(const QString& path, std::function<void()> answered)
        : path_(path), answered_(std::move(answered)) {}
    OpenPanelAnswer runModal(const OpenPanelSettings&, QWidget*) override {
        if (answered_) answered_();
        return {true, {QUrl::fromLocalFile(path_)}};
    }

private:
    QString path_;
    std::function<void()> answered_;
};

std::unique_ptr<OpenPanel> panelAnswering(const QString& path,
                                          std::function<void()> answered = nullptr) {
    return std::make_unique<AnsweringPanel>(path, std::move(answered));
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "ferrodock-bench-window: %s\n", what);
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

// ferrodock's own transport talks to the built-in origin; the scenarios talk to the local
// server instead (`origin` empty: the built-in one), through the same module, loaded alike.
std::unique_ptr<Transport> serviceAt(const QString& origin, const QString& caPath) {
    HttpsTransport::Options options;
    options.origin = origin.isEmpty() ? QStringLiteral(FERRODOCK_SERVICE_ORIGIN) : origin;
    QFile ca(caPath);
    if (!caPath.isEmpty() && !ca.open(QIODevice::ReadOnly)) fail("cannot read the CA certificate");
    if (!caPath.isEmpty()) options.extraCaPem = ca.readAll();
    return std::make_unique<LoadedTransport>(FERRODOCK_TRANSPORT_FILE, std::move(options));
}

// Turns the event loop every millisecond until `finished` says so, then calls `done` with
// the longest time between two turns and how much of it the main thread spent running
// rather than waiting for a core.
class LoopProbe final : public QObject {
public:
    struct Result {
        qint64 endNs, maxGapNs, maxGapCpuNs;
    };
    LoopProbe(QObject* parent, std::function<bool()> finished, std::function<void(Result)> done)
        : QObject(parent), finished_(std::move(finished)), done_(std::move(done)) {
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.setInterval(1);
        connect(&timer_, &QTimer::timeout, this, [this] { tick(); });
        last_ = monotonicNs();
        lastCpu_ = threadCpuNs();
        timer_.start();
    }

private:
    void tick() {
        const qint64 now = monotonicNs();
        const qint64 cpu = threadCpuNs();
        if (now - last_ > result_.maxGapNs) {
            result_.maxGapNs = now - last_;
            result_.maxGapCpuNs = cpu - lastCpu_;
        }
        last_ = now;
        lastCpu_ = cpu;
        if (!finished_()) return;
        timer_.stop();
        result_.endNs = now;
        done_(result_);
        deleteLater();
    }

    std::function<bool()> finished_;
    std::function<void(Result)> done_;
    QTimer timer_;
    qint64 last_ = 0;
    qint64 lastCpu_ = 0;
    Result result_{0, 0, 0};
};

// Whether `button`'s title has changed since this was made.
std::function<bool()> titleChanged(QPushButton* button) {
    return [button, before = literalText(button)] { return literalText(button) != before; };
}

QString expectedAnswer() {
    return QStringLiteral("127.0.0.1/bench");
}

void checkAnswer(QPushButton* output) {
    if (literalText(output) != expectedAnswer()) {
        fail(qPrintable(QStringLiteral("unexpected answer: ") + literalText(output)));
    }
}

// The File page: choose the file, press upload, wait for the answer on fileOutput. The
// server times the request; this notes the CPU, memory and event loop around it.
void uploadScenario() {
    widget<QPushButton>("filePageButton2")->click();
    widget<QPushButton>("selectButton2")->click();
    // Let the page settle so that the figures below are the upload's alone.
    QTimer::singleShot(1000, [] {
        QPushButton* output = widget<QPushButton>("fileOutput");
        resetPeakMemory();  // else the idle peak is the start-up one, which is fine too
        const qint64 idleKib = statusKib("VmHWM");
        const double cpuBefore = cpuSeconds();
        new LoopProbe(output, titleChanged(output), [=](LoopProbe::Result upload) {
            const double cpu = cpuSeconds() - cpuBefore;
            checkAnswer(output);
            report(
                "cpu_s=%.4f idle_hwm_kib=%lld end_hwm_kib=%lld max_gap_ns=%lld "
                "max_gap_cpu_ns=%lld",
                cpu, idleKib, statusKib("VmHWM"), upload.maxGapNs, upload.maxGapCpuNs);
            QCoreApplication::quit();
        });
        widget<QPushButton>("fileUploadButton")->click();
    });
}

// Source-like text, the same every run.
QString sourceText(qint64 bytes) {
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

// The Paste page: the text is in pasteData, press the paste button. The server notes when
// the last byte came in; this reports when the button was pressed and the peak memory.
void pasteScenario(const QString& textFile) {
    QFile text(textFile);
    if (!text.open(QIODevice::ReadOnly)) fail("cannot read the text");
    widget<QPushButton>("pastePageButton2")->click();
    widget<QPlainTextEdit>("pasteData")->setPlainText(QString::fromUtf8(text.readAll()));
    QTimer::singleShot(1000, [] {
        QPushButton* output = widget<QPushButton>("pasteOutput");
        const qint64 pressNs = monotonicNs();
        new LoopProbe(output, titleChanged(output), [=](LoopProbe::Result result) {
            checkAnswer(output);
            report("press_ns=%lld hwm_kib=%lld max_gap_ns=%lld max_gap_cpu_ns=%lld", pressNs,
                   statusKib("VmHWM"), result.maxGapNs, result.maxGapCpuNs);
            QCoreApplication::quit();
        });
        widget<QPushButton>("pasteUploadButton")->click();
    });
}

// Qt's own scaled decode of the picture to `size`, the floor for the preview.
qint64 scaledDecodeNs(const QString& file, QSize size) {
    const qint64 start = monotonicNs();
    QImageReader reader(file);
    reader.setScaledSize(size);
    if (reader.read().isNull()) fail("cannot decode the picture");
    return monotonicNs() - start;
}

// The Image page: choose the picture and wait for the preview; and, before or after, decode
// it to the preview's size as Qt would.
void imageScenario(const QString& file, bool floorFirst, std::shared_ptr<qint64> answeredNs) {
    QTimer::singleShot(1000, [=] {
        QLabel* preview = widget<QLabel>("bgImage");
        // The preview's size depends only on the picture and the view, so the floor can come
        // first.
        const QSize full = QImageReader(file).size();
        const QSize box = preview->contentsRect().size();
        const QSize fitted =
            full.boundedTo(box) == full ? full : full.scaled(box, Qt::KeepAspectRatio);
        const qint64 floorFirstNs = floorFirst ? scaledDecodeNs(file, fitted) : 0;
        new LoopProbe(
            preview,
            [preview, before = preview->pixmap().cacheKey()] {
                return preview->pixmap().cacheKey() != before;
            },
            [=](LoopProbe::Result shown) {
                const QSize got = preview->pixmap().size();
                const qint64 floorNs = floorFirst ? floorFirstNs : scaledDecodeNs(file, got);
                report(
                    "preview_ns=%lld decode_ns=%lld max_gap_ns=%lld max_gap_cpu_ns=%lld "
                    "preview=%dx%d floor=%dx%d",
                    shown.endNs - *answeredNs, floorNs, shown.maxGapNs, shown.maxGapCpuNs,
                    got.width(), got.height(), fitted.width(), fitted.height());
                QCoreApplication::quit();
            });
        widget<QPushButton>("selectButton")->click();
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

// 100,000 entries, a third of them images with a thumbnail, named "photo-000000.jpg" on.
constexpr int kHistoryEntries = 100'000;
int makeHistory(const QString& dataDir) {
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataDir));
    HistoryStore(HistoryStore::defaultPath()).entries(1);  // makes the file and its tables
    QImage picture(640, 400, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(x % 256, y % 256, 90));
    const QByteArray thumbnail = thumbnailBytes(picture);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("fill"));
    db.setDatabaseName(HistoryStore::defaultPath());
    if (!db.open() || !db.transaction()) fail("cannot fill the history");
    QSqlQuery insert(db);
    insert.prepare(
        QStringLiteral("INSERT INTO uploads (time, kind, name, size, private, "
                       "anonymous, nsfw, address, user) VALUES "
                       "(?, ?, ?, ?, 0, 0, 0, ?, 'bench')"));
    QSqlQuery thumbnails(db);
    thumbnails.prepare(QStringLiteral("INSERT INTO thumbnails (id, picture) VALUES (?, ?)"));
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < kHistoryEntries; ++i) {
        const bool image = i % 3 == 0;
        insert.addBindValue(now - qint64(kHistoryEntries - i) * 60'000);
        insert.addBindValue(image ? QStringLiteral("image") : QStringLiteral("file"));
        insert.addBindValue(QStringLiteral("photo-%1.jpg").arg(i, 6, 10, QLatin1Char('0')));
        insert.addBindValue(1000 + i);
        insert.addBindValue(
            QStringLiteral("https://ferrodock.net/%1/b%2").arg(image ? 'i' : 'f').arg(i, 0, 36));
        if (!insert.exec()) fail("cannot fill the history");
        if (!image) continue;
        thumbnails.addBindValue(insert.lastInsertId());
        thumbnails.addBindValue(thumbnail);
        if (!thumbnails.exec()) fail("cannot fill the history");
    }
    return db.commit() ? 0 : 1;
}

// Runs `next` with the time once `view` has painted and the frame has been flushed.
void afterPaint(QWidget* view, std::function<void(qint64)> next) {
    struct Watch final : QObject {
        std::function<void(qint64)> next;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && next) {
                QTimer::singleShot(0, this, [this] {
                    std::exchange(next, nullptr)(monotonicNs());
                    deleteLater();
                });
            }
            return false;
        }
    };
    auto* watch = new Watch;
    watch->next = std::move(next);
    view->installEventFilter(watch);
}

// Go > History on 100,000 entries to the table's first frame, then one keystroke that narrows
// the filter to one entry (a scan of every row) to the table painted again.
void historyScenario() {
    QTimer::singleShot(500, [] {
        const qint64 startNs = monotonicNs();
        widget<QAction>("goHistory")->trigger();
        auto* window = mainWindow()->findChild<HistoryWindow*>();
        if (!window) fail("no history window");
        auto* table = window->findChild<QTableView*>(QStringLiteral("historyTable"));
        auto* filter = window->findChild<QLineEdit*>(QStringLiteral("historyFilter"));
        afterPaint(table->viewport(), [=](qint64 shownNs) {
            filter->setText(QStringLiteral("photo-01234"));
            QTimer::singleShot(300, [=] {
                const qint64 keyNs = monotonicNs();
                QKeyEvent key(QEvent::KeyPress, Qt::Key_5, Qt::NoModifier, QStringLiteral("5"));
                QCoreApplication::sendEvent(filter, &key);
                afterPaint(table->viewport(), [=](qint64 filteredNs) {
                    report("open_ns=%lld filter_ns=%lld rows=%d", shownNs - startNs,
                           filteredNs - keyNs, window->model()->rowCount());
                    QCoreApplication::quit();
                });
            });
        });
    });
}

void watch() {
    installFrameWatch();
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(watch)

int main(int argc, char** argv) {
    // Started through ferrodock, which passes on no arguments of its own, the scenario comes by
    // name.
    const QString mode = qEnvironmentVariableIsSet("FERRODOCK_BENCH_MODE")
                             ? qEnvironmentVariable("FERRODOCK_BENCH_MODE")
                         : argc > 1 ? QString::fromLocal8Bit(argv[1])
                                    : QString();
    auto arg = [argc, argv](int i) {
        if (i >= argc) fail("missing argument");
        return QString::fromLocal8Bit(argv[i]);
    };
    if (mode == QLatin1String("make-jpeg")) {
        QCoreApplication app(argc, argv);
        return makeJpeg(arg(2), arg(3).toInt(), arg(4).toInt());
    }
    if (mode == QLatin1String("make-text")) {
        QFile out(arg(2));
        const bool ok = out.open(QIODevice::WriteOnly) &&
                        out.write(sourceText(arg(3).toLongLong() << 20).toUtf8()) >= 0;
        return ok && out.flush() ? 0 : 1;
    }
    if (mode == QLatin1String("make-history")) {
        QCoreApplication app(argc, argv);
        return makeHistory(arg(2));
    }
    // What the window program hands the window, but for the scenario's service and chooser,
    // and no instance on the bus: each run opens its own window.
    WindowParts parts{nullptr, std::make_unique<FileDialogPanel>(), desktopNotices(), nullptr};
    if (mode == QLatin1String("history")) {
        parts.transport = serviceAt({}, {});
        qputenv("XDG_DATA_HOME", QFile::encodeName(arg(2)));
        onFirstFrame([](qint64) { historyScenario(); });
    } else if (mode == QLatin1String("startup")) {
        parts.transport = serviceAt({}, {});
        measureStartUp();
    } else if (mode == QLatin1String("upload")) {
        parts.transport = serviceAt(arg(3), arg(4));
        parts.openPanel = panelAnswering(arg(2));
        onFirstFrame([](qint64) { uploadScenario(); });
    } else if (mode == QLatin1String("paste")) {
        parts.transport = serviceAt(arg(3), arg(4));
        onFirstFrame([text = arg(2)](qint64) { pasteScenario(text); });
    } else if (mode == QLatin1String("image")) {
        parts.transport = serviceAt({}, {});
        auto answeredNs = std::make_shared<qint64>(0);
        parts.openPanel = panelAnswering(arg(2), [answeredNs] { *answeredNs = monotonicNs(); });
        onFirstFrame([file = arg(2), floorFirst = argc > 3, answeredNs](qint64) {
            imageScenario(file, floorFirst, answeredNs);
        });
    } else {
        fail(
            "usage: ferrodock-bench-window "
            "startup|upload|paste|image|history|make-jpeg|make-text|make-history ...");
    }
    // Only the program's name goes on: ferrodock takes no arguments.
    int appArgc = 1;
    return runApplication(appArgc, argv, std::move(parts));
}
