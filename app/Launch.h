#pragma once

// What ferrodock decides before it loads any library but the C library: which of its two
// programs a start asks for, and where that program is. Header-only, so that the launcher links
// nothing else.

#include <unistd.h>

#include <climits>
#include <cstring>
#include <string_view>

namespace ferrodock {

// The window for no arguments, "open", or one of Qt's own options ("-platform offscreen", also
// with two dashes); any other first argument is a command, or a mistake the command line
// explains.
inline bool opensWindow(int argc, char** argv) {
    if (argc < 2) return true;
    std::string_view first(argv[1]);
    if (first == "open") return true;
    if (first.starts_with("--")) first.remove_prefix(1);
    first = first.substr(0, first.find('='));
    static constexpr std::string_view kQtOptions[] = {"-platform",
                                                      "-platformpluginpath",
                                                      "-platformtheme",
                                                      "-plugin",
                                                      "-display",
                                                      "-geometry",
                                                      "-qwindowgeometry",
                                                      "-qwindowicon",
                                                      "-qwindowtitle",
                                                      "-reverse",
                                                      "-session",
                                                      "-style",
                                                      "-stylesheet",
                                                      "-widgetcount",
                                                      "-nograb",
                                                      "-dograb",
                                                      "-sync",
                                                      "-qmljsdebugger"};
    for (const std::string_view option : kQtOptions) {
        if (first == option) return true;
    }
    return false;
}

// `relative` to the folder this program really is in (symbolic links followed), so that the
// build tree and an installed copy both work; `relative` itself if that folder is unknown or the
// path would not fit.
inline void besideSelf(const char* relative, char (&path)[PATH_MAX]) {
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path);
    char* slash = nullptr;
    if (n > 0 && n < ssize_t(sizeof path)) {
        path[n] = '\0';
        slash = std::strrchr(path, '/');
    }
    if (!slash || size_t(slash + 1 - path) + std::strlen(relative) >= sizeof path) {
        std::strncpy(path, relative, sizeof path - 1);
        path[sizeof path - 1] = '\0';
        return;
    }
    std::strcpy(slash + 1, relative);
}

}  // namespace ferrodock
