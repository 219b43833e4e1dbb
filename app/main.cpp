#include "app/Application.h"
#include "cli/CommandLine.h"
#include "core/HistoryStore.h"
#include "core/ScratchFolder.h"
#include "core/Session.h"
#include "platform/ClipboardOwner.h"
#include "platform/DesktopNotices.h"
#include "platform/HttpsTransport.h"
#include "platform/OpenPanel.h"
#include "platform/Printable.h"

#include <QCoreApplication>

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>

using namespace ferrodock;

namespace {

std::unique_ptr<HttpsTransport> serviceTransport() {
    HttpsTransport::Options options;
    options.origin = QStringLiteral(FERRODOCK_SERVICE_ORIGIN);
    return std::make_unique<HttpsTransport>(options);
}

// A command runs without a window or a display; --copy needs no GUI application either, as a
// background owner holds the clipboard.
int runCommands(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ferrodock"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FERRODOCK_VERSION));
    const std::unique_ptr<HttpsTransport> transport = serviceTransport();
    Session session;
    session.load();
    HistoryStore history;
    ScratchFolder scratch;
    CommandStreams io = CommandStreams::standard();
    io.transport = transport.get();
    io.session = &session;
    io.history = &history;
    io.scratch = &scratch;
    return runCommandLine(QCoreApplication::arguments().mid(1), io);
}

}  // namespace

int main(int argc, char** argv) {
    // Holds a password and an API key: no core dumps, and no other process of the user may
    // attach to read them.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // A standard stream that was closed gets a stand-in that fails every read or write, so
    // reading it is an error and no file or socket opened later takes its number.
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int stand = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (stand >= 0 && stand != fd) {
                ::dup2(stand, fd);
                ::close(stand);
            }
        }
    }
    installPrintableMessages();
    // This program started again to keep a copied text on the clipboard.
    if (clipboard::startedAsOwner()) return clipboard::runOwner(argc, argv);
    if (wantsCommandLine(argc, argv)) return runCommands(argc, argv);
    return runApplication(argc, argv,
                          {serviceTransport(), std::make_unique<FileDialogPanel>(),
                           makeBusNotices(QStringLiteral(FERRODOCK_APP_ID))});
}
