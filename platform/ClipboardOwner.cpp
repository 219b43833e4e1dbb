#include "platform/ClipboardOwner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <cerrno>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace ferrodock::clipboard {

namespace {

// The owner's mode is asked for in its environment; the text comes through descriptor 3,
// never on the command line or in the environment, which other processes can read.
constexpr char kModeVariable[] = "FERRODOCK_CLIPBOARD_OWNER";
constexpr int kChannel = 3;
constexpr qint64 kTextLimit = 1024 * 1024;
// How long the owner may take to reach the display and take the clipboard.
constexpr int kStartLimitMs = 10000;

bool displayNamed() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Whether an X11 clipboard manager runs: it takes the text when the owner's application
// ends (Qt's handover through CLIPBOARD_MANAGER and SAVE_TARGETS).
bool managerRuns() {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11) return false;
    xcb_connection_t* connection = x11->connection();
    static constexpr char kName[] = "CLIPBOARD_MANAGER";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof kName - 1, kName), nullptr);
    const xcb_atom_t selection = atom ? atom->atom : xcb_atom_t(XCB_NONE);
    std::free(atom);
    if (selection == XCB_NONE) return false;
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        connection, xcb_get_selection_owner(connection, selection), nullptr);
    const bool runs = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return runs;
}

// Starts this program again as the owner, in its own session, its standard streams on
// /dev/null (a pipe the command writes to is not held open), in / (it keeps no folder in
// use) and `channel` as descriptor 3.
pid_t startOwner(int channel) {
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_adddup2(&files, channel, kChannel);
    for (int stream = 0; stream < 3; ++stream)
        posix_spawn_file_actions_addopen(&files, stream, "/dev/null", O_RDWR, 0);
    posix_spawn_file_actions_addclosefrom_np(&files, kChannel + 1);
    posix_spawn_file_actions_addchdir_np(&files, "/");
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> environment;
    for (char** variable = environ; *variable; ++variable) environment.push_back(*variable);
    char mode[] = "FERRODOCK_CLIPBOARD_OWNER=1";
    environment.push_back(mode);
    environment.push_back(nullptr);
    char name[] = "ferrodock-clipboard";
    char* arguments[] = {name, nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, "/proc/self/exe", &files, &attributes, arguments, environment.data()) !=
        0)
        pid = 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Sends the text, then waits for the owner's one byte saying it holds the clipboard.
bool handOver(int channel, const QByteArray& text) {
    for (qsizetype sent = 0; sent < text.size();) {
        const ssize_t n =
            ::send(channel, text.constData() + sent, size_t(text.size() - sent), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += n;
    }
    ::shutdown(channel, SHUT_WR);
    pollfd wait{channel, POLLIN, 0};
    int ready = 0;
    while ((ready = ::poll(&wait, 1, kStartLimitMs)) < 0 && errno == EINTR) {
    }
    char held = 0;
    return ready == 1 && ::read(channel, &held, 1) == 1 && held == 1;
}

}  // namespace

bool keepOnClipboard(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty() || bytes.size() > kTextLimit || !displayNamed()) return false;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const pid_t owner = startOwner(ends[1]);
    ::close(ends[1]);
    const bool held = owner > 0 && handOver(ends[0], bytes);
    ::close(ends[0]);
    if (owner > 0 && !held) {
        ::kill(owner, SIGKILL);
        ::waitpid(owner, nullptr, 0);
    }
    return held;
}

void put(const QString& text) {
    QClipboard* board = QGuiApplication::clipboard();
    board->clear();
    auto* data = new QMimeData;
    data->setText(text);
    board->setMimeData(data);
}

void keepClipboardAfterQuit() {
    QClipboard* board = QGuiApplication::clipboard();
    if (board->ownsClipboard()) keepOnClipboard(board->text());
}

bool startedAsOwner() {
    return qEnvironmentVariableIsSet(kModeVariable);
}

int runOwner(int argc, char** argv) {
    qunsetenv(kModeVariable);
    // Not a client of the desktop's session manager: nothing to restore at the next login.
    qunsetenv("SESSION_MANAGER");
    // X11 where there is an X server: compositors pass its clipboard on to Wayland clients.
    qputenv("QT_QPA_PLATFORM",
            qEnvironmentVariableIsEmpty("DISPLAY") ? "wayland;offscreen" : "xcb;offscreen");
    QByteArray text;
    char buffer[4096];
    for (ssize_t n = 0; text.size() <= kTextLimit;) {
        n = ::read(kChannel, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, n);
    }
    if (text.isEmpty() || text.size() > kTextLimit) return 1;
    QGuiApplication app(argc, argv);
    if (QGuiApplication::platformName() == u"offscreen") return 1;
    QClipboard* board = QGuiApplication::clipboard();
    board->setText(QString::fromUtf8(text));
    if (!board->ownsClipboard()) return 1;
    const char held = 1;
    const bool told = ::send(kChannel, &held, 1, MSG_NOSIGNAL) == 1;
    ::close(kChannel);
    // Ending the application hands the text to the manager.
    if (!told || managerRuns()) return 0;
    QObject::connect(board, &QClipboard::changed, &app, [board](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard && !board->ownsClipboard()) QCoreApplication::quit();
    });
    return QGuiApplication::exec();
}

}  // namespace ferrodock::clipboard
