#include "platform/ClipboardOwner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ferrodock::clipboard {

namespace {

// How long the owner may take to reach the display and take the clipboard.
constexpr int kStartLimitMs = 10000;

bool displayNamed() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// Starts `program` as the owner, in its own session, its standard streams on
// /dev/null (a pipe the command writes to is not held open), in / (it keeps no folder in
// use) and `channel` as descriptor 3.
pid_t startOwner(const QByteArray& program, int channel) {
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
    if (::posix_spawn(&pid, program.constData(), &files, &attributes, arguments,
                      environment.data()) != 0)
        pid = 0;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Sends the text, then waits for the owner's one byte saying it holds the clipboard.
bool handOver(int channel, const QByteArray& text) {
    for (qsizetype sent = 0; sent < text.size();) {
        const ssize_t n = TEMP_FAILURE_RETRY(
            ::send(channel, text.constData() + sent, size_t(text.size() - sent), MSG_NOSIGNAL));
        if (n <= 0) return false;
        sent += n;
    }
    ::shutdown(channel, SHUT_WR);
    pollfd wait{channel, POLLIN, 0};
    const int ready = TEMP_FAILURE_RETRY(::poll(&wait, 1, kStartLimitMs));
    char held = 0;
    return ready == 1 && ::read(channel, &held, 1) == 1 && held == 1;
}

}  // namespace

bool keepOnClipboard(const QString& text, const QByteArray& program) {
    const QByteArray bytes = text.toUtf8();
    if (bytes.isEmpty() || bytes.size() > kTextLimit || !displayNamed()) return false;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return false;
    const pid_t owner = startOwner(program, ends[1]);
    ::close(ends[1]);
    const bool held = owner > 0 && handOver(ends[0], bytes);
    ::close(ends[0]);
    if (owner > 0 && !held) {
        ::kill(owner, SIGKILL);
        ::waitpid(owner, nullptr, 0);
    }
    return held;
}

bool startedAsOwner() {
    return qEnvironmentVariableIsSet(kModeVariable);
}

}  // namespace ferrodock::clipboard
