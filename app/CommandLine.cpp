#include "app/CommandLine.h"

#include "app/Answers.h"
#include "app/Characters.h"
#include "app/ImageTypes.h"
#include "app/PasteUpload.h"
#include "app/SessionFile.h"
#include "platform/HttpsTransport.h"
#include "platform/OpenPanel.h"
#include "platform/Toolkit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeDatabase>
#include <QStringDecoder>
#include <QTimer>
#include <QUrl>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>

namespace ferrodock {

namespace {

constexpr qint64 kPasswordLimit = 64 * 1024;

void write(std::FILE* stream, const QString& text) {
    std::fputs(text.toUtf8().constData(), stream);
    std::fflush(stream);
}

void complain(const CommandStreams& io, const QString& message) {
    write(io.err, QStringLiteral("ferrodock: ") + message + QLatin1Char('\n'));
}

int usageError(const CommandStreams& io, const QString& message, const QString& command = {}) {
    complain(io, message);
    const QString help = command.isEmpty()
                             ? QStringLiteral("ferrodock --help")
                             : QStringLiteral("ferrodock ") + command + QStringLiteral(" --help");
    write(io.err, QStringLiteral("Try '") + help + QStringLiteral("' for more information.\n"));
    return kCommandUsage;
}

// The service's text as it may safely reach a terminal: control characters other than line
// feeds and tabs become U+FFFD.
QString printable(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control && c != u'\n' && c != u'\t') {
            c = QChar::ReplacementCharacter;
        }
    }
    return text;
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

std::optional<QString> strictUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

// Shows a progress bar (a spinner until the size is known) on standard error while a request
// runs for more than a second, when standard error is a terminal.
class Activity {
public:
    Activity(const CommandStreams& io, const QString& label) : io_(io), label_(label) {
        if (!io.errIsTerminal) return;
        clock_.start();
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { draw(); });
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

// Starts one request and runs the event loop until it has finished.
TransportResult await(const CommandStreams& io, const QString& label,
                      const std::function<void(QObject*, TransportCompletion)>& start) {
    QObject context;
    QEventLoop loop;
    TransportResult outcome;
    bool done = false;
    Activity activity(io, label);
    sharedTransport().watchProgress(
        &context, [&activity](const TransportProgress& progress) { activity.update(progress); });
    start(&context, [&](const TransportResult& result) {
        outcome = result;
        done = true;
        loop.quit();
    });
    if (!done) loop.exec();
    sharedTransport().watchProgress(&context, {});
    return outcome;
}

// The address in a finished upload's answer, or none after saying on standard error why not.
std::optional<QString> addressFrom(const CommandStreams& io, const QString& what,
                                   const TransportResult& result) {
    if (!result.ok) {
        complain(io, what + QStringLiteral(": upload failed: ") + result.error);
        return std::nullopt;
    }
    const std::optional<QString> answer = decodeAnswer(result.body);
    if (!answer) {
        complain(io, what + QStringLiteral(": upload failed: the answer is not UTF-8 text"));
        return std::nullopt;
    }
    std::optional<QString> address = answerAddress(*answer);
    if (!address) {
        complain(io, what + QStringLiteral(": the service answered: ") + printable(*answer));
    }
    return address;
}

QString apiKey() {
    const std::optional<Session> session = readSessionFile();
    return session ? session->apiKey : QString();
}

void copyAddress(const CommandStreams& io, const QString& address) {
    if (address.isEmpty()) return;
    if (!io.copy || !io.copy(address)) {
        complain(io, QStringLiteral("no display: the address was not put on the clipboard"));
    }
}

QString flag(const QCommandLineParser& parser, const QString& name) {
    return parser.isSet(name) ? QStringLiteral("1") : QStringLiteral("0");
}

// Why `path` cannot be uploaded, or nothing when it can.
QString uploadProblem(const QString& path, bool image) {
    if (!pathKeepsItsBytes(path)) {
        return QStringLiteral("the name is not valid UTF-8; rename the file to upload it");
    }
    if (image && !imageFileTypes().contains(QFileInfo(path).suffix(), Qt::CaseInsensitive)) {
        return QStringLiteral("only jpg, jpeg, gif and png images can be uploaded as images");
    }
    const QFileInfo info(path);
    if (info.isDir()) return QStringLiteral("is a folder");
    // A pipe or a device would block here or send a torn upload.
    if (info.exists() && !info.isFile()) return QStringLiteral("is not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    return {};
}

int uploadFiles(const CommandStreams& io, const QCommandLineParser& parser, bool image) {
    const QString command = image ? QStringLiteral("image") : QStringLiteral("upload");
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(io, command + QStringLiteral(": no FILE given"), command);

    QList<FormField> fields{{QStringLiteral("priv"), flag(parser, QStringLiteral("private"))},
                            {QStringLiteral("anon"), flag(parser, QStringLiteral("anonymous"))}};
    if (image) fields.append({QStringLiteral("nsfw"), flag(parser, QStringLiteral("nsfw"))});
    fields.append({QStringLiteral("apikey"), apiKey()});
    const QString endpoint =
        image ? QStringLiteral("/api/upload/image") : QStringLiteral("/api/upload/file");

    static const QMimeDatabase mimeDatabase;
    int status = kCommandOk;
    QString last;
    for (const QString& path : paths) {
        const QString problem = uploadProblem(path, image);
        if (!problem.isEmpty()) {
            complain(io, path + QStringLiteral(": ") + problem);
            status = kCommandFailed;
            continue;
        }
        const QString mimeType =
            mimeDatabase.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
        const TransportResult result =
            await(io, displayName(path), [&](QObject* context, TransportCompletion done) {
                sharedTransport().uploadFile(endpoint, fields, path, mimeType, context,
                                             std::move(done));
            });
        const std::optional<QString> address = addressFrom(io, path, result);
        if (!address) {
            status = kCommandFailed;
            continue;
        }
        write(io.out, *address + QLatin1Char('\n'));
        last = *address;
    }
    if (parser.isSet(QStringLiteral("copy"))) copyAddress(io, last);
    return status;
}

std::optional<QString> languageNamed(const QString& name) {
    for (const LanguageChoice& choice : languageChoices()) {
        if (name.compare(choice.title, Qt::CaseInsensitive) == 0 || name == choice.identifier) {
            return choice.identifier.toString();
        }
    }
    return std::nullopt;
}

QString languageList() {
    QStringList names;
    for (const LanguageChoice& choice : languageChoices()) {
        names.append(choice.title.toString() + QStringLiteral(" (") + choice.identifier.toString() +
                     QLatin1Char(')'));
    }
    return names.join(QStringLiteral(", "));
}

int paste(const CommandStreams& io, const QCommandLineParser& parser) {
    const QString command = QStringLiteral("paste");
    const QStringList sources = parser.positionalArguments();
    if (sources.size() > 1)
        return usageError(io, QStringLiteral("paste: one FILE at most"), command);
    QString language = QStringLiteral("no-highlight");
    if (parser.isSet(QStringLiteral("language"))) {
        const std::optional<QString> chosen =
            languageNamed(parser.value(QStringLiteral("language")));
        if (!chosen) {
            return usageError(io,
                              QStringLiteral("paste: unknown language '") +
                                  parser.value(QStringLiteral("language")) +
                                  QStringLiteral("'; choose one of: ") + languageList(),
                              command);
        }
        language = *chosen;
    }

    const QString source = sources.isEmpty() ? QStringLiteral("-") : sources.first();
    const QString what = source == u"-" ? QStringLiteral("standard input") : source;
    QByteArray bytes;
    if (source == u"-") {
        if (io.inIsTerminal) {
            write(io.err, QStringLiteral("Type or paste the text, then press Ctrl+D.\n"));
        }
        bytes = readStream(io.in, kPasteLimit);
        if (std::ferror(io.in)) {
            complain(io,
                     what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
            return kCommandFailed;
        }
    } else {
        // Read as a stream, so that a pipe such as <(dmesg) works as well as a file.
        if (QFileInfo(source).isDir()) {
            complain(io, what + QStringLiteral(": is a folder"));
            return kCommandFailed;
        }
        std::FILE* file = std::fopen(QFile::encodeName(source).constData(), "rbe");
        if (!file) {
            complain(io,
                     what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
            return kCommandFailed;
        }
        bytes = readStream(file, kPasteLimit);
        const bool failed = std::ferror(file);
        std::fclose(file);
        if (failed) {
            complain(io, what + QStringLiteral(": cannot be read"));
            return kCommandFailed;
        }
    }
    if (bytes.size() > kPasteLimit) {
        complain(io, what + QStringLiteral(": the text is over %1 MiB, the most one paste may hold")
                                .arg(kPasteLimit >> 20));
        return kCommandFailed;
    }
    const std::optional<QString> text = strictUtf8(bytes);
    if (!text) {
        complain(io, what + QStringLiteral(": the text is not UTF-8"));
        return kCommandFailed;
    }
    if (text->isEmpty()) {
        complain(io, what + QStringLiteral(": nothing to paste, the text is empty"));
        return kCommandFailed;
    }

    const QList<FormField> fields{
        {QStringLiteral("pastedata"), *text},
        {QStringLiteral("language"), language},
        {QStringLiteral("priv"), flag(parser, QStringLiteral("private"))},
        {QStringLiteral("anon"), flag(parser, QStringLiteral("anonymous"))},
        {QStringLiteral("apikey"), apiKey()}};
    const TransportResult result =
        await(io, QStringLiteral("Pasting"), [&](QObject* context, TransportCompletion done) {
            sharedTransport().postFields(QStringLiteral("/api/upload/paste"), fields, context,
                                         std::move(done));
        });
    const std::optional<QString> address = addressFrom(io, what, result);
    if (!address) return kCommandFailed;
    write(io.out, *address + QLatin1Char('\n'));
    if (parser.isSet(QStringLiteral("copy"))) copyAddress(io, *address);
    return kCommandOk;
}

int login(const CommandStreams& io, const QCommandLineParser& parser) {
    const QString command = QStringLiteral("login");
    const QStringList names = parser.positionalArguments();
    if (names.size() > 1) return usageError(io, QStringLiteral("login: one USER at most"), command);
    const bool fromStdin = parser.isSet(QStringLiteral("password-stdin"));
    if (fromStdin && names.isEmpty()) {
        return usageError(io, QStringLiteral("login: --password-stdin needs the USER"), command);
    }
    if (!documentsDirectory()) {
        complain(io, QStringLiteral("login: there is no Documents folder to keep the login in"));
        return kCommandFailed;
    }

    QString user;
    if (!names.isEmpty()) {
        user = names.first();
    } else {
        const std::optional<QString> typed =
            io.ask ? io.ask(QStringLiteral("User name: "), true) : std::nullopt;
        if (!typed) {
            complain(io, QStringLiteral("login: no terminal to ask for the user name; give USER"));
            return kCommandFailed;
        }
        user = *typed;
    }

    QString secret;
    if (fromStdin) {
        QByteArray bytes = readStream(io.in, kPasswordLimit);
        if (bytes.endsWith('\n')) bytes.chop(1);
        if (bytes.endsWith('\r')) bytes.chop(1);
        secret = QString::fromUtf8(bytes);
        bytes.fill('\0');
    } else {
        const std::optional<QString> typed =
            io.ask ? io.ask(QStringLiteral("Password for ") + user + QStringLiteral(": "), false)
                   : std::nullopt;
        if (!typed) {
            complain(io, QStringLiteral("login: no terminal to ask for the password; use "
                                        "--password-stdin"));
            return kCommandFailed;
        }
        secret = *typed;
    }

    const TransportResult result =
        await(io, QStringLiteral("Logging in"), [&](QObject* context, TransportCompletion done) {
            sharedTransport().postFields(
                QStringLiteral("/api/validate/user"),
                {{QStringLiteral("username"), user}, {QStringLiteral("password"), secret}}, context,
                std::move(done));
        });
    secret.fill(QLatin1Char('\0'));
    const std::optional<QString> answer = result.ok ? decodeAnswer(result.body) : std::nullopt;
    if (!answer) {
        complain(io,
                 QStringLiteral("login failed: ") +
                     (result.ok ? QStringLiteral("the answer is not UTF-8 text") : result.error));
        return kCommandFailed;
    }
    switch (classifyLoginAnswer(*answer)) {
        case LoginAnswer::Message:
            complain(io, QStringLiteral("login: the service answered: ") + printable(*answer));
            return kCommandFailed;
        case LoginAnswer::Rejected:
            complain(io, QStringLiteral("login incorrect"));
            return kCommandFailed;
        case LoginAnswer::Accepted:
            break;
    }
    if (!writeSessionFile(user, *answer)) {
        complain(io, QStringLiteral("login: accepted, but it could not be saved in ") +
                         *documentsDirectory() + QLatin1Char('/') +
                         QLatin1String(kSessionFileName));
        return kCommandFailed;
    }
    write(io.err, QStringLiteral("Logged in as ") + user + QLatin1Char('\n'));
    return kCommandOk;
}

int logout(const CommandStreams& io, const QCommandLineParser& parser) {
    if (!parser.positionalArguments().isEmpty()) {
        return usageError(io, QStringLiteral("logout: takes no arguments"),
                          QStringLiteral("logout"));
    }
    clearSessionFile();
    write(io.err, QStringLiteral("Logged out\n"));
    return kCommandOk;
}

QString origin() {
    return QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
}

QString programHelp() {
    return QStringLiteral(
               "Usage: ferrodock [COMMAND [OPTIONS] [ARGUMENTS]]\n"
               "Uploads files, images and text pastes to %1 and prints their addresses.\n"
               "With no command, ferrodock opens its window.\n"
               "\n"
               "Commands:\n"
               "  upload [-p] [-a] [--copy] FILE...\n"
               "                        Upload files, one address per file.\n"
               "  image [-p] [-a] [--nsfw] [--copy] FILE...\n"
               "                        Upload jpg, jpeg, gif or png images.\n"
               "  paste [-l LANGUAGE] [-p] [-a] [--copy] [FILE|-]\n"
               "                        Paste a UTF-8 text file, or standard input.\n"
               "  login [--password-stdin] [USER]\n"
               "                        Log in; the window shares the login.\n"
               "  logout                Forget the login.\n"
               "\n"
               "Options:\n"
               "  -p, --private         Keep the upload out of public listings.\n"
               "  -a, --anonymous       Do not link the upload to the account.\n"
               "  --nsfw                Mark the image not safe for work.\n"
               "  -l, --language LANGUAGE\n"
               "                        Highlight the paste as LANGUAGE, a name such as C++\n"
               "                        (any case) or its identifier such as cpp;\n"
               "                        'ferrodock paste --help' lists them.\n"
               "  --copy                Also put the last address on the clipboard (needs a\n"
               "                        display).\n"
               "  --password-stdin      Read the password from standard input.\n"
               "  -h, --help            Show this help, or a command's help after it.\n"
               "  -v, --version         Show the version.\n"
               "\n"
               "Standard output holds only the addresses, one per line; messages go to\n"
               "standard error. The login is kept in ~/Documents/ferrodock.data, where the\n"
               "window keeps it; logged out, uploads go out without a key.\n"
               "\n"
               "Exit status:\n"
               "  0  everything succeeded\n"
               "  1  something failed (the other files were still uploaded)\n"
               "  2  the command line is wrong\n")
        .arg(origin());
}

struct Command {
    const char16_t* name;
    const char16_t* synopsis;
    const char16_t* summary;
    int (*run)(const CommandStreams&, const QCommandLineParser&);
    bool uploads, image, paste, login;
};

const Command kCommands[] = {
    {u"upload", u"[-p] [-a] [--copy] FILE...", u"Uploads each FILE and prints its address.",
     [](const CommandStreams& io, const QCommandLineParser& p) {
         return uploadFiles(io, p, false);
     },
     true, false, false, false},
    {u"image", u"[-p] [-a] [--nsfw] [--copy] FILE...",
     u"Uploads each jpg, jpeg, gif or png image and prints its address.",
     [](const CommandStreams& io, const QCommandLineParser& p) { return uploadFiles(io, p, true); },
     true, true, false, false},
    {u"paste", u"[-l LANGUAGE] [-p] [-a] [--copy] [FILE|-]",
     u"Pastes the UTF-8 text of FILE, or of standard input, and prints its address.", paste, true,
     false, true, false},
    {u"login", u"[--password-stdin] [USER]",
     u"Logs in and remembers the login for the window and the command line.", login, false, false,
     false, true},
    {u"logout", u"", u"Forgets the login.", logout, false, false, false, false},
};

}  // namespace

CommandStreams CommandStreams::standard() {
    CommandStreams io;
    io.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
    io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    io.ask = [](const QString& prompt, bool echo) -> std::optional<QString> {
        const int fd = ::open("/dev/tty", O_RDWR | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) return std::nullopt;
        const QByteArray shown = prompt.toUtf8();
        if (::write(fd, shown.constData(), size_t(shown.size())) < 0) {
            ::close(fd);
            return std::nullopt;
        }
        // Echo comes back even when Ctrl+C ends the program at the prompt.
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
        QByteArray line;
        bool ended = false;
        char c = 0;
        for (;;) {
            const ssize_t n = ::read(fd, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            if (c == '\n') {
                ended = true;
                break;
            }
            if (line.size() < kPasswordLimit) line.append(c);
        }
        if (quiet) {
            ::tcsetattr(fd, TCSAFLUSH, &saved);
            ::sigaction(SIGINT, &previous, nullptr);
            // The line feed typed was not echoed; a prompt that follows starts on a new line.
            if (::write(fd, "\n", 1) < 0) {
            }
        }
        ::close(fd);
        const QString answer = QString::fromUtf8(line);
        line.fill('\0');
        if (!ended && answer.isEmpty()) return std::nullopt;
        return answer;
    };
    io.copy = [](const QString& text) {
        // Only a GUI application reaches a clipboard, and the offscreen one holds no real one.
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return false;
        const QString platform = QGuiApplication::platformName();
        if (platform == u"offscreen" || platform == u"minimal") return false;
        toolkit::writeClipboardText(text);
        return true;
    };
    return io;
}

bool wantsCommandLine(int argc, char** argv) {
    if (argc < 2) return false;
    const QByteArray first(argv[1]);
    if (!first.startsWith('-')) return true;
    return first == "-h" || first == "--help" || first == "-v" || first == "--version";
}

std::optional<QString> answerAddress(const QString& answer) {
    for (const QChar c : answer) {
        if (c.isSpace() || c.category() == QChar::Other_Control ||
            c.category() == QChar::Other_Format) {
            return std::nullopt;
        }
    }
    // A host with a dot, then a path: "ferrodock.net/AbC123".
    const qsizetype slash = answer.indexOf(QLatin1Char('/'));
    if (slash <= 0 || slash + 1 >= answer.size()) return std::nullopt;
    const QString address = QStringLiteral("https://") + answer;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || !url.host().contains(QLatin1Char('.')) || !url.userInfo().isEmpty()) {
        return std::nullopt;
    }
    return address;
}

int runCommand(const QStringList& arguments, const CommandStreams& io) {
    if (arguments.isEmpty()) return usageError(io, QStringLiteral("no command given"));
    const QString& word = arguments.first();
    if (word == u"-h" || word == u"--help") {
        write(io.out, programHelp());
        return kCommandOk;
    }
    if (word == u"-v" || word == u"--version") {
        write(io.out, QStringLiteral("ferrodock %1\n").arg(QStringLiteral(FERRODOCK_VERSION)));
        return kCommandOk;
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (word == QStringView(candidate.name)) command = &candidate;
    }
    if (!command) {
        return usageError(io, word.startsWith(QLatin1Char('-'))
                                  ? QStringLiteral("unknown option '") + word + QLatin1Char('\'')
                                  : QStringLiteral("unknown command '") + word + QLatin1Char('\''));
    }

    const QString name = QString::fromUtf16(command->name);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf16(command->summary));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    if (command->uploads) {
        parser.addOption({{QStringLiteral("p"), QStringLiteral("private")},
                          QStringLiteral("Keep the upload out of public listings.")});
        parser.addOption({{QStringLiteral("a"), QStringLiteral("anonymous")},
                          QStringLiteral("Do not link the upload to the account.")});
        parser.addOption({QStringLiteral("copy"),
                          QStringLiteral("Also put the last address on the clipboard.")});
    }
    if (command->image) {
        parser.addOption(
            {QStringLiteral("nsfw"), QStringLiteral("Mark the image not safe for work.")});
    }
    if (command->paste) {
        parser.addOption({{QStringLiteral("l"), QStringLiteral("language")},
                          QStringLiteral("Highlight the paste as LANGUAGE: one of ") +
                              languageList() + QLatin1Char('.'),
                          QStringLiteral("LANGUAGE")});
    }
    if (command->login) {
        parser.addOption({QStringLiteral("password-stdin"),
                          QStringLiteral("Read the password from standard input.")});
    }
    if (!parser.parse(QStringList{QStringLiteral("ferrodock")} + arguments.mid(1))) {
        return usageError(io, name + QStringLiteral(": ") + parser.errorText(), name);
    }
    if (parser.isSet(help)) {
        // Qt's first line names the program by its path; the rest lists the options.
        QString text = parser.helpText();
        text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
        write(io.out, QStringLiteral("Usage: ferrodock ") + name + QLatin1Char(' ') +
                          QString::fromUtf16(command->synopsis) + QLatin1Char('\n') + text);
        return kCommandOk;
    }
    return command->run(io, parser);
}

int runCommandLine(int argc, char** argv) {
    bool copy = false;
    for (int i = 1; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        copy = copy || std::strcmp(argv[i], "--copy") == 0;
    }
    // The clipboard needs a GUI application, and that a display; a display that cannot be
    // reached falls back to none rather than ending the program.
    const bool display =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    std::unique_ptr<QCoreApplication> app;
    if (copy && display) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
                                           ? "xcb;offscreen"
                                           : "wayland;xcb;offscreen");
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("ferrodock"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FERRODOCK_VERSION));

    HttpsTransport::Options options;
    options.origin = origin();
    installSharedTransport(std::make_unique<HttpsTransport>(options));
    const int status = runCommand(QCoreApplication::arguments().mid(1), CommandStreams::standard());
    installSharedTransport(nullptr);
    return status;
}

}  // namespace ferrodock
