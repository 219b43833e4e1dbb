#pragma once

// Whether the window has a display to open on, asked before Qt is: Qt ends the program with a
// core dump when its platform cannot connect.

namespace ferrodock {

// The platforms QT_QPA_PLATFORM or -platform name (a list of fallbacks), or X11 then Wayland:
// true when one of them can be reached, or needs no display (offscreen, say).
bool displayAvailable(int argc, char** argv);

// The X connection displayAvailable() made stays open until this, to be called once Qt has
// made its own: an X server with no other client (a bare Xvfb) resets when its last client
// leaves, and Qt's connection would wait for that.
void releaseDisplayCheck();

}  // namespace ferrodock
