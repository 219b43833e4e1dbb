#include "app/Text.h"

#include <QStringDecoder>
#include <QTextBoundaryFinder>
#include <QUrl>

namespace ferrodock {

qsizetype graphemeCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() != -1) ++count;
    return count;
}

QString firstGraphemes(const QString& text, qsizetype count) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype end = 0;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype next = finder.toNextBoundary();
        if (next == -1) break;
        end = next;
    }
    return text.left(end);
}

QString displayName(const QString& path) {
    const QString name = path.section(QLatin1Char('/'), -1);
    if (graphemeCount(name) <= kDisplayNameLimit) return name;
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot < 0 ? QString() : name.mid(dot + 1);
    return firstGraphemes(name, kDisplayNameLimit) + QStringLiteral("...") + extension;
}

QByteArray formBody(const QList<FormPiece>& pieces) {
    QByteArray body;
    for (const FormPiece& piece : pieces) {
        if (!body.isEmpty()) body += '&';
        body += piece.first.toUtf8();
        body += '=';
        body += QUrl::toPercentEncoding(piece.second);
    }
    return body;
}

std::optional<QString> decodeAnswer(QByteArrayView body) {
    // A leading byte-order mark is kept: it is part of what the service sent.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(body);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

LoginAnswer classifyLoginAnswer(const QString& answer) {
    if (answer.size() != kApiKeyLength) return LoginAnswer::Message;
    if (answer == kRejectionAnswer) return LoginAnswer::Rejected;
    return LoginAnswer::Accepted;
}

bool hasAddressLength(const QString& title, qsizetype addressLength) {
    return graphemeCount(title) == addressLength;
}

}  // namespace ferrodock
