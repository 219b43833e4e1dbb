#pragma once

// ferrodock on the command line: upload, image, paste, history, login and logout with the window's
// transport, session file and answer rules, and no display.

#include <QString>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <optional>

namespace ferrodock {

class HistoryStore;
class ScratchFolder;
class Session;
class Transport;

// Exit statuses of a command.
enum CommandStatus { kCommandOk = 0, kCommandFailed = 1, kCommandUsage = 2 };

// Where a command reads and writes. The defaults are the process's own streams and terminal;
// the transport and the session are handed in by whoever runs the commands.
struct CommandStreams {
    std::FILE* in = stdin;
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    bool inIsTerminal = false;
    bool errIsTerminal = false;
    // Asks on the terminal, echoing the answer or not; none when there is no terminal or the
    // input ended (Ctrl+D) before a line.
    std::function<std::optional<QString>(const QString& prompt, bool echo)> ask;
    // Puts text on the clipboard, where it stays once the command has ended; false when no
    // display took it. None: no clipboard.
    std::function<bool(const QString& text)> copy;
    // The history's thumbnail of the picture file at a path; empty when there is none.
    std::function<QByteArray(const QString& path)> thumbnail;
    Transport* transport = nullptr;
    // The login the commands read and change, loaded.
    Session* session = nullptr;
    // Where each address is kept; none keeps nothing.
    HistoryStore* history = nullptr;
    // Where standard input waits as a file for its upload; none refuses "-" as a FILE.
    ScratchFolder* scratch = nullptr;

    // The process's streams and terminal; no clipboard and no thumbnails.
    static CommandStreams standard();
};

// The largest paste sent; a larger one is refused before anything goes out.
constexpr qint64 kPasteLimit = 16 * 1024 * 1024;

// Runs one command (`arguments` without the program name); an application object must exist.
// Returns a CommandStatus.
int runCommand(const QStringList& arguments, const CommandStreams& io);

// The program's run of a command: runCommand(), then a failure when what is still buffered
// for standard output cannot go out.
int runCommandLine(const QStringList& arguments, const CommandStreams& io);

}  // namespace ferrodock
