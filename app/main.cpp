#include "app/Application.h"
#include "cli/CommandLine.h"
#include "platform/ClipboardOwner.h"
#include "platform/Printable.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>

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
    ferrodock::installPrintableMessages();
    // This program started again to keep a copied text on the clipboard.
    if (ferrodock::clipboard::startedAsOwner()) return ferrodock::clipboard::runOwner(argc, argv);
    // A command word runs without a window or a display.
    if (ferrodock::wantsCommandLine(argc, argv)) return ferrodock::runCommandLine(argc, argv);
    return ferrodock::runApplication(argc, argv);
}
