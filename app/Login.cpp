#include "app/Answers.h"
#include "app/AppDelegate.h"
#include "app/Characters.h"
#include "app/Feedback.h"
#include "app/SessionFile.h"
#include "platform/Toolkit.h"
#include "platform/Transport.h"

#include <QTimer>

namespace ferrodock {

namespace {
constexpr int kCloseDelayMs = 1000;  // long enough to read "Logged in as …"

void showStatus(QLabel* statusLine, const QString& text) {
    if (statusLine) statusLine->setText(shownAnswer(text));
}
}  // namespace

void AppDelegate::loginPushed(QObject*) {
    const QString user = username() ? username()->text() : QString();
    const QString secret = password() ? password()->text() : QString();
    if (loginResponse()) loginResponse()->setText(QString());

    // Each answer is handled with the name read at its own press, whatever the field says now.
    sharedTransport().postFields(
        QStringLiteral("/api/validate/user"),
        {{QStringLiteral("username"), user}, {QStringLiteral("password"), secret}}, this,
        [this, user](const TransportResult& result) {
            const std::optional<QString> answer = answerText(result, lcLogin(), "login");
            if (!answer) {
                showStatus(loginResponse(), loginFailedText(result));
                return;
            }
            switch (classifyLoginAnswer(*answer)) {
                case LoginAnswer::Message:
                    showStatus(loginResponse(), *answer);
                    return;
                case LoginAnswer::Rejected:
                    if (loginResponse())
                        loginResponse()->setText(QStringLiteral("Login Incorrect"));
                    return;
                case LoginAnswer::Accepted:
                    break;
            }
            showStatus(loginResponse(), QStringLiteral("Logged in as ") + user);
            // The password has done its work; it does not wait in the field for the next login.
            // setText, unlike clear(), also empties the field's undo history.
            if (password()) password()->setText(QString());
            if (savedusername()) toolkit::setTitle(savedusername(), user);
            if (savedapikey()) toolkit::setTitle(savedapikey(), *answer);
            if (window()) toolkit::setWindowTitle(window(), QStringLiteral("ferrodock - ") + user);
            writeSessionFile(user, *answer);
            QTimer::singleShot(kCloseDelayMs, this, [this] {
                if (loginWindow()) loginWindow()->close();
            });
        });
}

// Each time the login window opens: a fresh status line, and the user name ready to type over,
// so no keystroke meant for the name lands in the password field.
void AppDelegate::prepareLoginWindow() {
    if (loginResponse()) loginResponse()->clear();
    if (!username()) return;
    username()->setFocus(Qt::OtherFocusReason);
    username()->selectAll();
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
