#include "desktop/Clipboard.h"

#include "platform/ClipboardOwner.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <sys/socket.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <cstdlib>

namespace ferrodock::clipboard {

namespace {

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

}  // namespace

void put(const QString& text) {
    QClipboard* board = QGuiApplication::clipboard();
    board->clear();
    auto* data = new QMimeData;
    data->setText(text);
    board->setMimeData(data);
}

void keepClipboardAfterQuit() {
    QClipboard* board = QGuiApplication::clipboard();
    // The owner is this program again.
    if (board->ownsClipboard()) keepOnClipboard(board->text(), "/proc/self/exe");
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
    for (ssize_t n = 0; text.size() <= kTextLimit &&
                        (n = TEMP_FAILURE_RETRY(::read(kChannel, buffer, sizeof buffer))) > 0;)
        text.append(buffer, n);
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
