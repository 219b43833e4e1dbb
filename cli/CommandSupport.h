#pragma once

// What the commands share: writing to their streams, running one request to its end, and
// reading an upload's answer as an address. Only the command line uses it.

#include "cli/CommandLine.h"
#include "core/HistoryStore.h"
#include "core/Requests.h"
#include "core/Transport.h"

#include <QByteArray>
#include <QString>

#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

class QCommandLineParser;
class QObject;

namespace ferrodock {
class ScratchFolder;
}

namespace ferrodock::cli {

// Writes `text` to `stream` as UTF-8: standard error, which is not buffered, so each piece is
// out before the next step.
void write(std::FILE* stream, const QString& text);
// Writes `text` to standard output and flushes it: empty when it all went out, else why not.
QString writeOut(const CommandStreams& io, const QString& text);
// "ferrodock: " and the message, made printable, on standard error.
void complain(const CommandStreams& io, const QString& message);
// complain(); returns kCommandFailed.
int failed(const CommandStreams& io, const QString& message);
// complain(), then where to find help; returns kCommandUsage.
int usageError(const CommandStreams& io, const QString& message, const QString& command = {});
// At most `limit` bytes of a stream; one more tells the caller it went on.
QByteArray readStream(std::FILE* stream, qint64 limit);

// Starts one request and runs the event loop until it has finished, showing on a terminal
// that something is going on.
TransportResult await(const CommandStreams& io, const QString& label,
                      const std::function<void(QObject*, TransportCompletion)>& start);
// The address in a finished upload's answer, or none after saying on standard error why not.
std::optional<QString> addressFrom(const CommandStreams& io, const QString& what,
                                   const TransportResult& result);

void copyAddress(const CommandStreams& io, const QString& address);
// The --private, --anonymous and (images) --nsfw options as flags.
UploadFlags flags(const QCommandLineParser& parser, bool image);

// Whether --name may give the upload this name: one piece of a path, with no controls.
bool isFileName(const QString& name);

// Releases the scratch file standard input was read into when it goes out of scope, and, as
// far as a signal allows, when Ctrl+C or another ending signal stops the program before.
class ScratchRelease {
public:
    explicit ScratchRelease(ScratchFolder* folder);
    ~ScratchRelease();
    ScratchRelease(const ScratchRelease&) = delete;
    ScratchRelease& operator=(const ScratchRelease&) = delete;
    void hold(const QString& path);

private:
    ScratchFolder* folder_;
    QString path_;
    // The ending signals whose handler was replaced, with the handler before.
    std::vector<std::pair<int, struct sigaction>> taken_;
};

// Streams standard input into a scratch file named `name`, or, with none, "stdin" and the
// extension of the picture type its first bytes show; for an image, bytes of no such type are
// refused. The file's path, or none after saying why.
std::optional<QString> readIntoScratch(const CommandStreams& io, const QString& name, bool image,
                                       ScratchRelease& release);

// The commands.
int uploadFiles(const CommandStreams& io, const QCommandLineParser& parser, bool image);
int paste(const CommandStreams& io, const QCommandLineParser& parser);
int login(const CommandStreams& io, const QCommandLineParser& parser);
int logout(const CommandStreams& io, const QCommandLineParser& parser);
int history(const CommandStreams& io, const QCommandLineParser& parser);
// Keeps a command's upload in the history, with the flags of its command line; a failure is
// said once and the upload stands.
void keepInHistory(const CommandStreams& io, const QCommandLineParser& parser, HistoryEntry entry);
// The languages a paste may name, as the help lists them.
QString languageList();

}  // namespace ferrodock::cli
