#include "cli/CommandSupport.h"
#include "core/HistoryStore.h"
#include "core/Session.h"
#include "platform/Printable.h"

#include <QCommandLineParser>
#include <QJsonDocument>
#include <QJsonObject>

namespace ferrodock::cli {

namespace {

QString flagLetters(const HistoryEntry& e) {
    return QString(e.isPrivate ? u'p' : u'-') + (e.anonymous ? u'a' : u'-') +
           (e.nsfw ? u'n' : u'-');
}

QString jsonLine(const HistoryEntry& e) {
    const QJsonValue none(QJsonValue::Null);
    const QJsonObject object{
        {QStringLiteral("time"), e.when.toString(Qt::ISODateWithMs)},
        {QStringLiteral("kind"), e.kind},
        {QStringLiteral("name"), e.name},
        {QStringLiteral("language"), e.language.isEmpty() ? none : QJsonValue(e.language)},
        {QStringLiteral("size"), e.size < 0 ? none : QJsonValue(e.size)},
        {QStringLiteral("private"), e.isPrivate},
        {QStringLiteral("anonymous"), e.anonymous},
        {QStringLiteral("nsfw"), e.nsfw},
        {QStringLiteral("user"), e.user.isEmpty() ? none : QJsonValue(e.user)},
        {QStringLiteral("address"), e.address}};
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

// Aligned columns: when, kind, flags, name (shortened), address.
QString table(const QList<HistoryEntry>& entries) {
    QList<QStringList> rows;
    qsizetype widths[4] = {};
    for (const HistoryEntry& e : entries) {
        QString name = printable(e.name);
        if (name.size() > 40) name = name.left(39) + QChar(0x2026);
        rows.append({e.when.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")), e.kind,
                     flagLetters(e), name, printable(e.address)});
        for (int i = 0; i < 4; ++i) widths[i] = qMax(widths[i], rows.last()[i].size());
    }
    QString text;
    for (const QStringList& row : rows) {
        for (int i = 0; i < 4; ++i) text += row[i].leftJustified(widths[i] + 2);
        text += row[4] + QLatin1Char('\n');
    }
    return text;
}

}  // namespace

void keepInHistory(const CommandStreams& io, const QCommandLineParser& parser, HistoryEntry entry) {
    if (!io.history) return;
    const UploadFlags sent = flags(parser, entry.kind == u"image");
    entry.isPrivate = sent.priv == Flag::On;
    entry.anonymous = sent.anon == Flag::On;
    entry.nsfw = sent.nsfw == Flag::On;
    if (io.session->isLoggedIn()) entry.user = io.session->userName();
    io.history->add(std::move(entry));
}

int history(const CommandStreams& io, const QCommandLineParser& parser) {
    const QString command = QStringLiteral("history");
    if (!parser.positionalArguments().isEmpty())
        return usageError(io, QStringLiteral("history: takes no arguments"), command);
    bool valid = true;
    const QString n = parser.value(QStringLiteral("n"));
    const int count = parser.isSet(QStringLiteral("n")) ? n.toInt(&valid) : 20;
    if (!valid || count < 1)
        return usageError(
            io, QStringLiteral("history: -n takes a positive whole number, not '%1'").arg(n),
            command);
    if (!io.history || !io.history->open()) return kCommandFailed;
    if (parser.isSet(QStringLiteral("clear"))) {
        const int removed = io.history->clear();
        if (removed < 0) return kCommandFailed;
        write(io.err, QStringLiteral("Removed %1 %2 from the history.\n")
                          .arg(removed)
                          .arg(removed == 1 ? QStringLiteral("entry") : QStringLiteral("entries")));
        return kCommandOk;
    }
    const QList<HistoryEntry> entries = io.history->entries(count);
    QString text;
    if (parser.isSet(QStringLiteral("json"))) {
        for (const HistoryEntry& e : entries) text += jsonLine(e) + QLatin1Char('\n');
    } else {
        text = table(entries);
    }
    const QString problem = writeOut(io, text);
    if (problem.isEmpty()) return kCommandOk;
    return failed(io, QStringLiteral("cannot write to standard output: ") + problem);
}

}  // namespace ferrodock::cli
