#include "bench/Probe.h"

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QMainWindow>
#include <QTimer>

#include <sys/resource.h>
#include <xcb/xcb.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>

namespace ferrodock::bench {

qint64 threadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

qint64 statusKib(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status) return -1;
    const size_t length = std::strlen(field);
    char line[256];
    qint64 kib = -1;
    while (std::fgets(line, sizeof line, status)) {
        if (std::strncmp(line, field, length) == 0 && line[length] == ':') {
            kib = std::strtoll(line + length + 1, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kib;
}

bool resetPeakMemory() {
    std::FILE* file = std::fopen("/proc/self/clear_refs", "w");
    if (!file) return false;
    const bool ok = std::fputs("5", file) >= 0;
    return std::fclose(file) == 0 && ok;
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

namespace {

std::function<void(qint64)>& pending() {
    static std::function<void(qint64)> next;
    return next;
}

// Waits until the X server has handled every request sent so far, the frame's pixels included.
void roundTrip() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return;  // not on xcb: the flush is the best there is
    xcb_connection_t* connection = x11->connection();
    std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

// Sees every event of the application; the first paint of a main window means its first
// frame is being drawn. The backing store has been flushed once the event loop turns again.
class FrameWatch final : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!fired_ && event->type() == QEvent::Paint && qobject_cast<QMainWindow*>(watched)) {
            fired_ = true;
            QTimer::singleShot(0, this, [this] {
                roundTrip();
                const qint64 frameNs = monotonicNs();
                QCoreApplication::instance()->removeEventFilter(this);
                if (auto next = std::exchange(pending(), nullptr)) next(frameNs);
            });
        }
        return false;
    }

private:
    bool fired_ = false;
};

}  // namespace

void onFirstFrame(std::function<void(qint64)> next) {
    pending() = std::move(next);
}

void installFrameWatch() {
    if (!pending()) return;
    QCoreApplication* app = QCoreApplication::instance();
    app->installEventFilter(new FrameWatch(app));
}

void measureStartUp() {
    onFirstFrame([](qint64 frameNs) {
        QTimer::singleShot(1000, QCoreApplication::instance(), [frameNs] {
            QSize size;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (qobject_cast<QMainWindow*>(widget)) size = widget->size();
            }
            report("frame_ns=%lld hwm_kib=%lld window=%dx%d", frameNs, statusKib("VmHWM"),
                   size.width(), size.height());
            QCoreApplication::quit();
        });
    });
}

void report(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::putchar('\n');
    std::fflush(stdout);
}

}  // namespace ferrodock::bench
