// The window program, which ferrodock becomes when it opens its window. It is also the
// clipboard's background owner and the maker of the command line's thumbnails, both of which
// need Qt Gui.
#include "app/Application.h"
#include "app/Programs.h"
#include "desktop/Clipboard.h"
#include "desktop/OpenPanel.h"
#include "desktop/Thumbnail.h"
#include "platform/ClipboardOwner.h"
#include "platform/Printable.h"
#include "platform/Process.h"
#include "platform/ThumbnailHelper.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

using namespace ferrodock;

namespace {

// Beside this program.
constexpr char kTransportModule[] = "ferrodock-transport.so";

int writeThumbnail(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) return 2;
    const QByteArray bytes = thumbnailOfFile(QFile::decodeName(argv[1]));
    const bool written =
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) == size_t(bytes.size());
    return written && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    guardProcess();
    installPrintableMessages();
    // Started again to keep a copied text on the clipboard.
    if (clipboard::startedAsOwner()) return clipboard::runOwner(argc, argv);
    if (qEnvironmentVariableIsSet(kThumbnailMode)) return writeThumbnail(argc, argv);
    return runApplication(argc, argv,
                          {serviceTransport(kTransportModule), std::make_unique<FileDialogPanel>(),
                           desktopNotices(), sessionInstance()});
}
