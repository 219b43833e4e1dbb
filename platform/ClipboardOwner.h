#pragma once

// Text put on the clipboard that outlives the process putting it there. An X11 or Wayland
// clipboard is only a promise by its owner to hand the text over when asked, so the owner
// is a small background copy of the window program: it holds no network and no window, gives
// the text to a clipboard manager at once where one runs, and otherwise serves it until
// another client takes the clipboard. Starting it needs no display library.

#include <QString>

namespace ferrodock::clipboard {

// The owner's mode is asked for in its environment; the text comes through descriptor
// kChannel, never on the command line or in the environment, which other processes can read.
inline constexpr char kModeVariable[] = "FERRODOCK_CLIPBOARD_OWNER";
inline constexpr int kChannel = 3;
inline constexpr qint64 kTextLimit = 1024 * 1024;

// Starts `program` as a background owner for `text` and returns once it holds the clipboard;
// false (nothing started or left running) when there is no display or the owner could not
// take it.
bool keepOnClipboard(const QString& text, const QByteArray& program);

// Whether this process was started as the background owner.
bool startedAsOwner();

}  // namespace ferrodock::clipboard
