#include "cli/CommandSupport.h"

#include "core/Answers.h"
#include "core/Feedback.h"
#include "core/Requests.h"
#include "core/Session.h"
#include "core/SessionFile.h"
#include "platform/Printable.h"

#include <QCommandLineParser>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace ferrodock {

namespace {
// A password longer than this is surely something else piped in by mistake.
constexpr qint64 kPasswordLimit = 4096;

// Whether there is a terminal to ask on, as the prompt opens it: asked only once a prompt got
// nothing, to say why.
bool hasTerminal() {
    const int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
    return tty >= 0 && ::close(tty) == 0;
}
}  // namespace

namespace cli {

int login(const CommandStreams& io, const QCommandLineParser& parser) {
    const QString command = QStringLiteral("login");
    const QStringList names = parser.positionalArguments();
    if (names.size() > 1) return usageError(io, QStringLiteral("login: one USER at most"), command);
    const bool fromStdin = parser.isSet(QStringLiteral("password-stdin"));
    if (fromStdin && names.isEmpty()) {
        return usageError(io, QStringLiteral("login: --password-stdin needs the USER"), command);
    }
    if (!documentsDirectory())
        return failed(io,
                      QStringLiteral("login: there is no Documents folder to keep the login in"));

    QString user;
    if (!names.isEmpty()) {
        user = names.first();
    } else {
        const std::optional<QString> typed =
            io.ask ? io.ask(QStringLiteral("User name: "), true) : std::nullopt;
        if (!typed)
            return failed(
                io, hasTerminal()
                        ? QStringLiteral("login: no user name typed; nothing was sent")
                        : QStringLiteral("login: no terminal to ask for the user name; give USER"));
        user = *typed;
    }

    QString secret;
    QString problem;
    if (fromStdin) {
        QByteArray bytes = readStream(io.in, kPasswordLimit + 1);
        if (std::ferror(io.in)) {
            problem = QStringLiteral("standard input cannot be read: ") +
                      QString::fromLocal8Bit(std::strerror(errno));
        }
        if (bytes.endsWith('\n')) bytes.chop(1);
        if (bytes.endsWith('\r')) bytes.chop(1);
        secret = QString::fromUtf8(bytes);
        bytes.fill('\0');
    } else {
        const std::optional<QString> typed =
            io.ask ? io.ask(QStringLiteral("Password for ") + user + QStringLiteral(": "), false)
                   : std::nullopt;
        if (!typed)
            return failed(io, hasTerminal()
                                  ? QStringLiteral("login: no password typed; nothing was sent")
                                  : QStringLiteral("login: no terminal to ask for the password; "
                                                   "use --password-stdin"));
        secret = *typed;
    }
    if (problem.isEmpty() && secret.isEmpty()) problem = QStringLiteral("the password is empty");
    if (problem.isEmpty() && secret.toUtf8().size() > kPasswordLimit) {
        problem = QStringLiteral("the password is over %1 bytes").arg(kPasswordLimit);
    }
    if (!problem.isEmpty()) {
        secret.fill(QLatin1Char('\0'));
        return failed(io,
                      QStringLiteral("login: ") + problem + QStringLiteral("; nothing was sent"));
    }

    const TransportResult result =
        await(io, QStringLiteral("Logging in"), [&](QObject* context, TransportCompletion done) {
            const FormRequest login = loginRequest(user, secret);
            io.transport->postFields(login.path, login.fields, context, std::move(done));
        });
    secret.fill(QLatin1Char('\0'));
    const std::optional<QString> answer = result.ok ? decodeAnswer(result.body) : std::nullopt;
    if (!answer) return failed(io, loginFailedText(result));
    switch (classifyLoginAnswer(*answer)) {
        case LoginAnswer::Message:
            return failed(io, QStringLiteral("login: the service answered: ") + *answer);
        case LoginAnswer::Rejected:
            return failed(io, QStringLiteral("login incorrect"));
        case LoginAnswer::Accepted:
            break;
    }
    if (!io.session->remember(user, *answer))
        return failed(io, QStringLiteral("login: accepted, but it could not be saved in ") +
                              *documentsDirectory() + QLatin1Char('/') +
                              QLatin1String(kSessionFileName));
    write(io.err, QStringLiteral("Logged in as ") + printable(user) + QLatin1Char('\n'));
    return kCommandOk;
}

int logout(const CommandStreams& io, const QCommandLineParser& parser) {
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(io, QStringLiteral("logout: takes no arguments"),
                          QStringLiteral("logout"));
    }
    io.session->forget();
    write(io.err, QStringLiteral("Logged out\n"));
    return kCommandOk;
}

}  // namespace cli

CommandStreams CommandStreams::standard() {
    CommandStreams io;
    io.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
    io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    io.ask = [](const QString& prompt, bool echo) -> std::optional<QString> {
        const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return std::nullopt;
        // Echo goes off before the prompt is shown, so nothing typed once it shows is echoed,
        // and comes back even when Ctrl+C ends the program at the prompt.
        static termios saved{};
        static int savedFd = -1;
        const bool quiet = !echo && ::tcgetattr(fd, &saved) == 0;
        struct sigaction previous {};
        if (quiet) {
            savedFd = fd;
            termios silent = saved;
            silent.c_lflag &= tcflag_t(~ECHO);
            struct sigaction restore {};
            restore.sa_handler = [](int signal) {
                ::tcsetattr(savedFd, TCSAFLUSH, &saved);
                std::signal(signal, SIG_DFL);
                std::raise(signal);
            };
            ::sigaction(SIGINT, &restore, &previous);
            ::tcsetattr(fd, TCSAFLUSH, &silent);
        }
        const QByteArray shown = prompt.toUtf8();
        const bool asked = ::write(fd, shown.constData(), size_t(shown.size())) >= 0;
        QByteArray line;
        bool ended = false;
        char c = 0;
        while (asked) {
            if (TEMP_FAILURE_RETRY(::read(fd, &c, 1)) <= 0) break;
            if (c == '\n') {
                ended = true;
                break;
            }
            // One byte over the limit, so that a longer line is refused rather than cut.
            if (line.size() <= kPasswordLimit) line.append(c);
        }
        if (quiet) {
            ::tcsetattr(fd, TCSAFLUSH, &saved);
            ::sigaction(SIGINT, &previous, nullptr);
        }
        // The line feed typed at a silent prompt was not echoed, and Ctrl+D echoes none: what
        // follows starts on a new line.
        if ((quiet || !ended) && ::write(fd, "\n", 1) < 0) {
        }
        ::close(fd);
        const QString answer = QString::fromUtf8(line);
        line.fill('\0');
        if (!ended && answer.isEmpty()) return std::nullopt;
        return answer;
    };
    return io;
}

}  // namespace ferrodock
