#include "cli/CommandSupport.h"

#include "core/Answers.h"
#include "core/Characters.h"
#include "core/ImageTypes.h"
#include "core/Languages.h"
#include "core/Requests.h"
#include "core/Session.h"
#include "platform/FileNames.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>

#include <cerrno>
#include <cstring>

namespace ferrodock::cli {

namespace {

QString imageTypesOnly() {
    return QStringLiteral("only jpg, jpeg, gif and png images can be uploaded as images");
}

// Why `path` cannot be uploaded, or nothing when it can.
QString uploadProblem(const QString& path, bool image) {
    if (!pathKeepsItsBytes(path)) {
        return QStringLiteral("the name is not valid UTF-8; rename the file to upload it");
    }
    if (image && !isImageFileName(path)) return imageTypesOnly();
    const QFileInfo info(path);
    if (info.isDir()) return QStringLiteral("is a folder");
    // A pipe or a device would block here or send a torn upload.
    if (info.exists() && !info.isFile()) return QStringLiteral("is not a regular file");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return file.errorString();
    return {};
}

std::optional<QString> languageNamed(const QString& name) {
    for (const LanguageChoice& choice : languageChoices()) {
        if (name.compare(choice.title, Qt::CaseInsensitive) == 0 || name == choice.identifier) {
            return choice.identifier.toString();
        }
    }
    return std::nullopt;
}

// Prints an upload's address; when standard output cannot take it, says it on standard error
// instead, so that it is not lost, and stops: the next address would be lost the same way.
bool keepAddress(const CommandStreams& io, const QString& what, const QString& address) {
    const QString problem = writeOut(io, address + QLatin1Char('\n'));
    if (problem.isEmpty()) return true;
    complain(io, what + QStringLiteral(": uploaded to ") + address +
                     QStringLiteral(", but standard output cannot take the address: ") + problem);
    return false;
}

}  // namespace

int uploadFiles(const CommandStreams& io, const QCommandLineParser& parser, bool image) {
    const QString command = image ? QStringLiteral("image") : QStringLiteral("upload");
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(io, command + QStringLiteral(": no FILE given"), command);
    // Standard input: checked before anything is read or sent.
    const QString name = parser.value(QStringLiteral("name"));
    const qsizetype piped = paths.count(QStringLiteral("-"));
    if (piped > 1) {
        return usageError(io,
                          command + QStringLiteral(": - is given twice; standard input is "
                                                   "read once"),
                          command);
    }
    if (parser.isSet(QStringLiteral("name")) && !piped) {
        return usageError(
            io, command + QStringLiteral(": --name names standard input; give - as the FILE"),
            command);
    }
    if (parser.isSet(QStringLiteral("name")) && !isFileName(name)) {
        return usageError(io,
                          command + QStringLiteral(": --name '") + name +
                              QStringLiteral("' is not a file name (at most 255 bytes, no '/')"),
                          command);
    }
    if (piped && io.inIsTerminal) {
        return usageError(io,
                          command +
                              (image ? QStringLiteral(": - reads a picture piped in, as in "
                                                      "'grim - | ferrodock image -'")
                                     : QStringLiteral(": - reads a file piped in, as in "
                                                      "'tar c DIR | ferrodock upload "
                                                      "--name DIR.tar -'")) +
                              QStringLiteral("; standard input is a terminal"),
                          command);
    }

    const FormRequest request = uploadRequest(image, flags(parser, image), io.session->apiKey());

    static const QMimeDatabase mimeDatabase;
    int status = kCommandOk;
    QString last;
    for (const QString& given : paths) {
        // What is read from standard input goes as a file of its name, and no further.
        ScratchRelease release(io.scratch);
        QString path = given, what = given;
        if (given == u"-") {
            what = QStringLiteral("standard input");
            if (image && !name.isEmpty() && !isImageFileName(name)) {
                complain(io, name + QStringLiteral(": ") + imageTypesOnly());
                status = kCommandFailed;
                continue;
            }
            const std::optional<QString> read = readIntoScratch(io, name, image, release);
            if (!read) {
                status = kCommandFailed;
                continue;
            }
            path = *read;
        }
        const QString problem = uploadProblem(path, image);
        if (!problem.isEmpty()) {
            complain(io, what + QStringLiteral(": ") + problem);
            status = kCommandFailed;
            continue;
        }
        const QString mimeType =
            mimeDatabase.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
        const TransportResult result =
            await(io, displayName(path), [&](QObject* context, TransportCompletion done) {
                io.transport->uploadFile(request.path, request.fields, path, mimeType, context,
                                         std::move(done));
            });
        const std::optional<QString> address = addressFrom(io, what, result);
        if (!address) {
            status = kCommandFailed;
            continue;
        }
        HistoryEntry kept;
        kept.kind = image ? QStringLiteral("image") : QStringLiteral("file");
        kept.name = QFileInfo(path).fileName();
        kept.size = QFileInfo(path).size();
        kept.address = *address;
        if (image && io.history && io.thumbnail) kept.thumbnail = io.thumbnail(path);
        keepInHistory(io, parser, std::move(kept));
        if (!keepAddress(io, what, *address)) return kCommandFailed;
        last = *address;
    }
    if (parser.isSet(QStringLiteral("copy"))) copyAddress(io, last);
    return status;
}

QString languageList() {
    QStringList names;
    for (const LanguageChoice& choice : languageChoices()) {
        names.append(choice.title.toString() + QStringLiteral(" (") + choice.identifier.toString() +
                     QLatin1Char(')'));
    }
    return names.join(QStringLiteral(", "));
}

int paste(const CommandStreams& io, const QCommandLineParser& parser) {
    const QString command = QStringLiteral("paste");
    const QStringList sources = parser.positionalArguments();
    if (sources.size() > 1)
        return usageError(io, QStringLiteral("paste: one FILE at most"), command);
    QString language = QStringLiteral("no-highlight");
    if (parser.isSet(QStringLiteral("language"))) {
        const std::optional<QString> chosen =
            languageNamed(parser.value(QStringLiteral("language")));
        if (!chosen) {
            // One line: the list is long, and the help shows it laid out.
            complain(io, QStringLiteral("paste: unknown language '") +
                             parser.value(QStringLiteral("language")) +
                             QStringLiteral("'; 'ferrodock paste --help' lists the languages"));
            return kCommandUsage;
        }
        language = *chosen;
    }

    const QString source = sources.isEmpty() ? QStringLiteral("-") : sources.first();
    const bool fromStdin = source == u"-";
    const QString what = fromStdin ? QStringLiteral("standard input") : source;
    // A file is read as a stream too, so that a pipe such as <(dmesg) works as well.
    if (!fromStdin && !pathKeepsItsBytes(source))
        return failed(io, what + QStringLiteral(": the name is not valid UTF-8; rename the file "
                                                "to paste it"));
    if (!fromStdin && QFileInfo(source).isDir())
        return failed(io, what + QStringLiteral(": is a folder"));
    std::FILE* stream =
        fromStdin ? io.in : std::fopen(QFile::encodeName(source).constData(), "rbe");
    if (!stream)
        return failed(io,
                      what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
    if (fromStdin && io.inIsTerminal)
        write(io.err, QStringLiteral("Type or paste the text, then press Ctrl+D.\n"));
    const QByteArray bytes = readStream(stream, kPasteLimit);
    const bool unread = std::ferror(stream);
    const QString why = QString::fromLocal8Bit(std::strerror(errno));
    if (!fromStdin) std::fclose(stream);
    if (unread)
        return failed(io, what + (fromStdin ? QStringLiteral(": ") + why
                                            : QStringLiteral(": cannot be read")));
    if (bytes.size() > kPasteLimit)
        return failed(
            io, what + QStringLiteral(": the text is over %1 MiB, the most one paste may hold")
                           .arg(kPasteLimit >> 20));
    const std::optional<QString> text = decodeUtf8(bytes);
    if (!text) return failed(io, what + QStringLiteral(": the text is not UTF-8"));
    if (text->isEmpty())
        return failed(io, what + QStringLiteral(": nothing to paste, the text is empty"));

    const FormRequest paste =
        pasteRequest(text->toUtf8(), language, flags(parser, false), io.session->apiKey());
    const TransportResult result =
        await(io, QStringLiteral("Pasting"), [&](QObject* context, TransportCompletion done) {
            io.transport->postFields(paste.path, paste.fields, context, std::move(done));
        });
    const std::optional<QString> address = addressFrom(io, what, result);
    if (!address) return kCommandFailed;
    HistoryEntry kept;
    kept.kind = command;
    kept.name = pasteHistoryName(bytes);
    kept.language = language;
    kept.size = bytes.size();
    kept.address = *address;
    keepInHistory(io, parser, std::move(kept));
    if (!keepAddress(io, what, *address)) return kCommandFailed;
    if (parser.isSet(QStringLiteral("copy"))) copyAddress(io, *address);
    return kCommandOk;
}

}  // namespace ferrodock::cli
