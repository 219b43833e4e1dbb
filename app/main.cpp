// ferrodock: the commands, which need no display library; for the window it becomes the
// window program, which lives beside it (FERRODOCK_WINDOW_PROGRAM, relative to this program's
// folder), so that the commands never load Qt Gui or a display library.
#include "app/Programs.h"
#include "cli/CommandLine.h"
#include "core/HistoryStore.h"
#include "core/ScratchFolder.h"
#include "core/Session.h"
#include "platform/ClipboardOwner.h"
#include "platform/Printable.h"
#include "platform/Process.h"
#include "platform/ThumbnailHelper.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace ferrodock;

namespace {

QByteArray windowProgram() {
    return besideProgram(FERRODOCK_WINDOW_PROGRAM);
}

// A command runs without a window or a display; --copy and the history's thumbnails use the
// window program, in the background.
int runCommands(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ferrodock"));
    QCoreApplication::setApplicationVersion(QStringLiteral(FERRODOCK_VERSION));
    const std::unique_ptr<Transport> transport = serviceTransport(FERRODOCK_TRANSPORT_MODULE);
    Session session;
    session.load();
    HistoryStore history;
    ScratchFolder scratch;
    const QByteArray window = windowProgram();
    CommandStreams io = CommandStreams::standard();
    io.transport = transport.get();
    io.session = &session;
    io.history = &history;
    io.scratch = &scratch;
    io.copy = [window](const QString& text) { return clipboard::keepOnClipboard(text, window); };
    io.thumbnail = [window](const QString& path) { return thumbnailByHelper(window, path); };
    return runCommandLine(QCoreApplication::arguments().mid(1), io);
}

// Becomes the window program, with the same arguments and name (X11 names the window's class
// after it).
int startWindow(char** argv) {
    const QByteArray program = windowProgram();
    ::execv(program.constData(), argv);
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    std::fprintf(stderr, "ferrodock: cannot start the window program %s: %s\n",
                 qUtf8Printable(printable(QFile::decodeName(program))), qUtf8Printable(why));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    guardProcess();
    installPrintableMessages();
    const bool opening = argc > 1 && std::strcmp(argv[1], "open") == 0;
    if (!opening && wantsCommandLine(argc, argv)) return runCommands(argc, argv);
    return startWindow(argv);
}
