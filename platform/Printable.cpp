#include "platform/Printable.h"

#include <QtGlobal>

namespace ferrodock {

namespace {

bool escaped(char16_t c) {
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029 ||
           (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

QtMessageHandler previousHandler = nullptr;

void printableHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    previousHandler(type, context, printable(message));
}

}  // namespace

QString printable(QStringView text) {
    QString shown;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!escaped(u))
            shown += c;
        else if (u <= 0xff)
            shown += QStringLiteral("\\x%1").arg(uint(u), 2, 16, QLatin1Char('0'));
        else
            shown += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
    }
    return shown;
}

void installPrintableMessages() {
    previousHandler = qInstallMessageHandler(printableHandler);
}

}  // namespace ferrodock
