#pragma once

// Text put on the clipboard that outlives the process putting it there. An X11 or Wayland
// clipboard is only a promise by its owner to hand the text over when asked, so the owner
// is a small background copy of this program: it holds no network and no window, gives the
// text to a clipboard manager at once where one runs, and otherwise serves it until another
// client takes the clipboard.

#include <QString>

namespace ferrodock::clipboard {

// Starts a background owner for `text` and returns once it holds the clipboard; false
// (nothing started or left running) when there is no display or the owner could not take it.
// Needs no GUI application.
bool keepOnClipboard(const QString& text);

// Puts `text` on the clipboard of this GUI application, in place of whatever was there.
void put(const QString& text);

// For a GUI application at its end: when it owns the clipboard's text, hands it to a
// background owner, so that it stays pasteable once the application is gone.
void keepClipboardAfterQuit();

// Whether this process was started as the background owner, and its whole run (the
// program's main returns what it returns).
bool startedAsOwner();
int runOwner(int argc, char** argv);

}  // namespace ferrodock::clipboard
