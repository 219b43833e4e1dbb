// ferrodock: becomes the window program or the command line's program, both beside it
// (FERRODOCK_WINDOW_PROGRAM and FERRODOCK_COMMANDS_PROGRAM, relative to this program's folder).
// It loads nothing but the C library, so that neither pays for the other's libraries, nor for
// this step, more than an exec.
#include "app/Launch.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    const bool window = ferrodock::opensWindow(argc, argv);
    char program[PATH_MAX];
    ferrodock::besideSelf(window ? FERRODOCK_WINDOW_PROGRAM : FERRODOCK_COMMANDS_PROGRAM, program);
    // With the same arguments and name: X11 names the window's class after it, and the
    // commands' messages and help say "ferrodock".
    ::execv(program, argv);
    const char* why = std::strerror(errno);
    std::fprintf(stderr, "ferrodock: cannot start the %s program ",
                 window ? "window" : "command line's");
    // The folder is the installer's choice: every byte that could move the cursor or the
    // terminal's state is shown as \xNN.
    for (const char* c = program; *c; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        if (byte < 0x20 || byte >= 0x7f)
            std::fprintf(stderr, "\\x%02x", byte);
        else
            std::fputc(byte, stderr);
    }
    std::fprintf(stderr, ": %s\n", why);
    return 1;
}
