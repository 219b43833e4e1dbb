#include "app/Application.h"
#include "app/CommandLine.h"
#include "platform/ClipboardOwner.h"

#include <sys/prctl.h>

int main(int argc, char** argv) {
    // Holds a password and an API key: no core dumps, and no other process of the user may
    // attach to read them.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    // This program started again to keep a copied text on the clipboard.
    if (ferrodock::clipboard::startedAsOwner()) return ferrodock::clipboard::runOwner(argc, argv);
    // A command word runs without a window or a display.
    if (ferrodock::wantsCommandLine(argc, argv)) return ferrodock::runCommandLine(argc, argv);
    return ferrodock::runApplication(argc, argv);
}
