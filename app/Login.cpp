#include "app/AppDelegate.h"
#include "app/Feedback.h"
#include "app/SessionFile.h"
#include "app/Text.h"
#include "platform/Toolkit.h"
#include "platform/Transport.h"

#include <QTimer>

namespace ferrodock {

namespace {
constexpr int kCloseDelayMs = 1000;  // long enough to read "Logged in as …"
}

void AppDelegate::loginPushed(QObject*) {
    const QString user = username() ? username()->text() : QString();
    const QString secret = password() ? password()->text() : QString();
    if (loginResponse()) loginResponse()->setText(QString());

    // Each answer is handled with the name read at its own press, whatever the field says now.
    sharedTransport().postFields(
        QStringLiteral("/api/validate/user"),
        {{QStringLiteral("username"), user}, {QStringLiteral("password"), secret}}, this,
        [this, user](const TransportResult& result) {
            const std::optional<QString> answer =
                result.ok ? decodeAnswer(result.body) : std::nullopt;
            if (!answer) {
                reportFailure("login", result.ok ? QStringLiteral("the answer is not UTF-8 text")
                                                 : result.error);
                if (loginResponse()) loginResponse()->setText(loginFailedText());
                return;
            }
            switch (classifyLoginAnswer(*answer)) {
                case LoginAnswer::Message:
                    if (loginResponse()) loginResponse()->setText(*answer);
                    return;
                case LoginAnswer::Rejected:
                    if (loginResponse())
                        loginResponse()->setText(QStringLiteral("Login Incorrect"));
                    return;
                case LoginAnswer::Accepted:
                    break;
            }
            if (loginResponse()) loginResponse()->setText(QStringLiteral("Logged in as ") + user);
            if (savedusername()) toolkit::setTitle(savedusername(), user);
            if (savedapikey()) toolkit::setTitle(savedapikey(), *answer);
            if (window()) toolkit::setWindowTitle(window(), QStringLiteral("ferrodock - ") + user);
            writeSessionFile(user, *answer);
            QTimer::singleShot(kCloseDelayMs, this, [this] {
                if (loginWindow()) loginWindow()->close();
            });
        });
}

void AppDelegate::logout(QObject*) {
    // With no Documents folder there is no session file to forget, and nothing happens.
    if (!documentsDirectory()) return;
    clearSessionFile();
    if (window()) toolkit::setWindowTitle(window(), QStringLiteral("ferrodock"));
    if (savedapikey()) toolkit::setTitle(savedapikey(), QString());
    if (savedusername()) toolkit::setTitle(savedusername(), QString());
}

}  // namespace ferrodock
