#include "core/Answers.h"

#include "core/Characters.h"

#include <QStringDecoder>
#include <QUrl>

#include <algorithm>

namespace ferrodock {

std::optional<QString> decodeUtf8(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder(bytes);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

std::optional<QString> decodeAnswer(QByteArrayView body) {
    std::optional<QString> text = decodeUtf8(body);
    if (text && text->startsWith(QChar::ByteOrderMark)) text->remove(0, 1);
    return text;
}

namespace {
bool isControl(QChar c) {
    return c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
           c == QChar::ParagraphSeparator;
}
}  // namespace

LoginAnswer classifyLoginAnswer(const QString& answer) {
    if (answer.size() != kApiKeyLength) return LoginAnswer::Message;
    if (answer == kRejectionAnswer) return LoginAnswer::Rejected;
    const bool storable = std::none_of(answer.cbegin(), answer.cend(), [](QChar c) {
        return c == QLatin1Char(',') || isControl(c);
    });
    return storable ? LoginAnswer::Accepted : LoginAnswer::Message;
}

std::optional<QString> answerAddress(const QString& answer) {
    const bool plain = std::none_of(answer.cbegin(), answer.cend(), [](QChar c) {
        return c.isSpace() || isControl(c) || c.category() == QChar::Other_Format;
    });
    // A host with a dot, then a path: "ferrodock.net/AbC123".
    const qsizetype slash = answer.indexOf(QLatin1Char('/'));
    if (!plain || slash <= 0 || slash + 1 >= answer.size()) return std::nullopt;
    QString address = QStringLiteral("https://") + answer;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || !url.host().contains(QLatin1Char('.')) || !url.userInfo().isEmpty())
        return std::nullopt;
    return address;
}

std::optional<QString> linkAddress(const QString& shown, qsizetype length) {
    if (graphemeCount(shown) != length) return std::nullopt;
    return answerAddress(shown);
}

}  // namespace ferrodock
