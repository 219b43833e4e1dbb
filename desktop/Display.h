#pragma once

// Whether the window has a display to open on, asked before Qt is: Qt ends the program with a
// core dump when its platform cannot connect.

namespace ferrodock {

// The platforms QT_QPA_PLATFORM or -platform name (a list of fallbacks), or X11 then Wayland:
// true when one of them can be reached, or needs no display (offscreen, say).
bool displayAvailable(int argc, char** argv);

}  // namespace ferrodock
