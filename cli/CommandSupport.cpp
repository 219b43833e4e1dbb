#include "cli/CommandSupport.h"

#include "core/Answers.h"
#include "core/Feedback.h"
#include "platform/Printable.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <cerrno>
#include <cstring>

namespace ferrodock::cli {

namespace {

// Shows a progress bar (a spinner until the size is known) on standard error while a request
// runs for more than a second, when standard error is a terminal.
class Activity {
public:
    Activity(const CommandStreams& io, const QString& label) : io_(io), label_(printable(label)) {
        if (!io.errIsTerminal) return;
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { draw(); });
        // Never early, so the spinner turns in even quarter seconds.
        timer_.setTimerType(Qt::PreciseTimer);
        timer_.start(250);
    }
    ~Activity() {
        if (drawn_) write(io_.err, QStringLiteral("\r\033[K"));
    }
    Activity(const Activity&) = delete;
    Activity& operator=(const Activity&) = delete;
    void update(const TransportProgress& progress) { progress_ = progress; }

private:
    void draw() {
        const qint64 ms = clock_.elapsed();
        if (ms < 1000) return;
        drawn_ = true;
        if (progress_.fullySent || progress_.total > 0) {
            constexpr int kWidth = 30;
            const qint64 percent =
                progress_.fullySent ? 100 : progress_.sent * 100 / progress_.total;
            const int filled = int(percent * kWidth / 100);
            write(io_.err,
                  QStringLiteral("\r\033[K%1 [%2%3] %4%%5")
                      .arg(label_, QString(filled, QLatin1Char('#')),
                           QString(kWidth - filled, QLatin1Char('-')))
                      .arg(percent)
                      .arg(progress_.fullySent ? QStringLiteral(", waiting for the service")
                                               : QString()));
            return;
        }
        static constexpr char kFrames[] = {'|', '/', '-', '\\'};
        write(io_.err, QStringLiteral("\r\033[K%1 %2 %3 s")
                           .arg(label_, QChar::fromLatin1(kFrames[(ms / 250) % 4]))
                           .arg(ms / 1000));
    }
    const CommandStreams& io_;
    QString label_;
    QElapsedTimer clock_;
    QTimer timer_;
    TransportProgress progress_;
    bool drawn_ = false;
};

}  // namespace

void write(std::FILE* stream, const QString& text) {
    std::fputs(text.toUtf8().constData(), stream);
}

QString writeOut(const CommandStreams& io, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    errno = 0;
    // No ferror() needed: every write to standard output comes through here, and clears the
    // error it reports.
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), io.out) == size_t(bytes.size()) &&
        std::fflush(io.out) == 0)
        return {};
    const int error = errno;
    // Said once: the next write starts afresh.
    std::clearerr(io.out);
    return error ? QString::fromLocal8Bit(std::strerror(error)) : QStringLiteral("write error");
}

void complain(const CommandStreams& io, const QString& message) {
    write(io.err, QStringLiteral("ferrodock: ") + printable(message) + QLatin1Char('\n'));
}

int failed(const CommandStreams& io, const QString& message) {
    complain(io, message);
    return kCommandFailed;
}

int usageError(const CommandStreams& io, const QString& message, const QString& command) {
    complain(io, message);
    const QString help = command.isEmpty()
                             ? QStringLiteral("ferrodock --help")
                             : QStringLiteral("ferrodock ") + command + QStringLiteral(" --help");
    write(io.err, QStringLiteral("Try '") + help + QStringLiteral("' for more information.\n"));
    return kCommandUsage;
}

// At most `limit` bytes of a stream; one more tells the caller it went on.
QByteArray readStream(std::FILE* stream, qint64 limit) {
    QByteArray bytes;
    char buffer[64 * 1024];
    while (bytes.size() <= limit) {
        const size_t n = std::fread(buffer, 1, sizeof buffer, stream);
        if (n == 0) break;
        bytes.append(buffer, qsizetype(n));
    }
    if (bytes.size() > limit + 1) bytes.truncate(limit + 1);
    return bytes;
}

// Starts one request and runs the event loop until it has finished.
TransportResult await(const CommandStreams& io, const QString& label,
                      const std::function<void(QObject*, TransportCompletion)>& start) {
    QObject context;
    QEventLoop loop;
    TransportResult outcome;
    bool done = false;
    Activity activity(io, label);
    io.transport->watchProgress(
        &context, [&activity](const TransportProgress& progress) { activity.update(progress); });
    start(&context, [&](const TransportResult& result) {
        outcome = result;
        done = true;
        loop.quit();
    });
    if (!done) loop.exec();
    io.transport->watchProgress(&context, {});
    return outcome;
}

// The address in a finished upload's answer, or none after saying on standard error why not.
std::optional<QString> addressFrom(const CommandStreams& io, const QString& what,
                                   const TransportResult& result) {
    const std::optional<QString> answer = result.ok ? decodeAnswer(result.body) : std::nullopt;
    if (!answer) {
        complain(io, what + QStringLiteral(": ") + uploadFailedText(result));
        return std::nullopt;
    }
    std::optional<QString> address = answerAddress(*answer);
    if (!address) {
        complain(io, what + QStringLiteral(": the service answered: ") + *answer);
    }
    return address;
}

void copyAddress(const CommandStreams& io, const QString& address) {
    if (address.isEmpty()) return;
    if (!io.copy || !io.copy(address)) {
        complain(io, QStringLiteral("no display: the address was not put on the clipboard"));
    }
}

UploadFlags flags(const QCommandLineParser& parser, bool image) {
    const auto flag = [&parser](const QString& name) {
        return parser.isSet(name) ? Flag::On : Flag::Off;
    };
    // Only the image command has --nsfw, and a parser warns of an option it does not have.
    return {flag(QStringLiteral("private")), flag(QStringLiteral("anonymous")),
            image ? flag(QStringLiteral("nsfw")) : Flag::Off};
}

}  // namespace ferrodock::cli
