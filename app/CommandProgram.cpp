// The command line's program, which ferrodock becomes for a command. It runs without a window
// or a display and loads no display library; --copy and the history's thumbnails use the window
// program beside it, in the background.
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

using namespace ferrodock;

namespace {

// Beside this program.
constexpr char kWindowProgram[] = "ferrodock-window";
constexpr char kTransportModule[] = "ferrodock-transport.so";

}  // namespace

int main(int argc, char** argv) {
    guardProcess();
    installPrintableMessages();
    QCoreApplication app(argc, argv);
    const std::unique_ptr<Transport> transport = serviceTransport(kTransportModule);
    Session session;
    HistoryStore history;
    ScratchFolder scratch;
    const QByteArray window = besideProgram(kWindowProgram);
    CommandStreams io = CommandStreams::standard();
    io.transport = transport.get();
    io.session = &session;
    io.history = &history;
    io.scratch = &scratch;
    io.copy = [window](const QString& text) { return clipboard::keepOnClipboard(text, window); };
    io.thumbnail = [window](const QString& path) { return thumbnailByHelper(window, path); };
    return runCommandLine(QCoreApplication::arguments().mid(1), io);
}
