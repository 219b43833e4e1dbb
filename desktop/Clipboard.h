#pragma once

// The clipboard of a GUI application, and the background owner that platform/ClipboardOwner
// starts: this program again, in the owner's mode.

#include <QString>

namespace ferrodock::clipboard {

// Puts `text` on the clipboard of this GUI application, in place of whatever was there.
void put(const QString& text);

// For a GUI application at its end: when it owns the clipboard's text, hands it to a
// background owner, so that it stays pasteable once the application is gone.
void keepClipboardAfterQuit();

// The background owner's whole run (the program's main returns what it returns), when
// startedAsOwner().
int runOwner(int argc, char** argv);

}  // namespace ferrodock::clipboard
