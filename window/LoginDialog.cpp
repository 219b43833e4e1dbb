#include "window/LoginDialog.h"

#include "core/Answers.h"
#include "core/Characters.h"
#include "core/Feedback.h"
#include "core/Requests.h"
#include "core/Session.h"

#include <QKeyEvent>
#include <QTimer>

namespace ferrodock {

namespace {
constexpr int kCloseDelayMs = 1000;  // long enough to read "Logged in as …"
}  // namespace

LoginDialog::LoginDialog(Transport& transport, Session& session, QWidget* parent)
    : QDialog(parent), transport_(transport), session_(session) {
    ui_.setupUi(this);
    connect(ui_.loginButton, &QPushButton::clicked, this, &LoginDialog::loginPushed);
    connect(ui_.loginCancelButton, &QPushButton::clicked, this, &LoginDialog::cancelLogin);
}

void LoginDialog::showStatus(const QString& text) {
    ui_.loginResponse->setText(shownAnswer(text));
}

void LoginDialog::loginPushed() {
    // One login at a time: a second press (Return, say) while one runs sends nothing.
    if (running_) return;
    const QString user = ui_.username->text();
    const QString secret = ui_.password->text();
    running_ = true;
    showStatus(QStringLiteral("Logging in..."));
    setControls();
    // Each answer is handled with the name read at its own press, whatever the field says now.
    const FormRequest login = loginRequest(user, secret);
    handle_ =
        transport_.postFields(login.path, login.fields, this,
                              [this, user, serial = ++serial_](const TransportResult& result) {
                                  // Cancelled, or the window went meanwhile: the window already
                                  // says so.
                                  if (end(serial)) answered(result, user);
                              });
}

void LoginDialog::answered(const TransportResult& result, const QString& user) {
    const std::optional<QString> answer = answerText(result, lcLogin(), "login");
    if (!answer) return showStatus(loginFailedText(result));
    switch (classifyLoginAnswer(*answer)) {
        case LoginAnswer::Message:
            return showStatus(*answer);
        case LoginAnswer::Rejected:
            return ui_.loginResponse->setText(QStringLiteral("Login Incorrect"));
        case LoginAnswer::Accepted:
            break;
    }
    showStatus(QStringLiteral("Logged in as ") + user);
    // The password has done its work; it does not wait in the field for the next login.
    // setText, unlike clear(), also empties the field's undo history.
    ui_.password->setText(QString());
    session_.remember(user, *answer);
    QTimer::singleShot(kCloseDelayMs, this, &QDialog::close);
}

// Whether login `serial` still runs; if it does, it is over from now on.
bool LoginDialog::end(quint64 serial) {
    if (!running_ || serial != serial_) return false;
    running_ = false;
    handle_ = {};
    setControls();
    return true;
}

void LoginDialog::cancelLogin() {
    if (!running_) return;
    const TransferHandle handle = std::exchange(handle_, {});
    end(serial_);
    handle.cancel();
    showStatus(QStringLiteral("Login cancelled."));
}

// The keyboard focus goes from the button that turns off to the one that turns on.
void LoginDialog::setControls() {
    const bool focusOnCancel = ui_.loginCancelButton->hasFocus();
    ui_.loginCancelButton->setVisible(running_);
    ui_.loginButton->setEnabled(!running_);
    if (focusOnCancel) ui_.loginButton->setFocus(Qt::OtherFocusReason);
}

// Each time the window opens: a fresh status line, and the user name ready to type over, so
// no keystroke meant for the name lands in the password field. Shown again from minimised
// while a login runs, it still runs, and says so.
void LoginDialog::showEvent(QShowEvent* event) {
    if (!running_) {
        ui_.loginResponse->clear();
        ui_.username->setFocus(Qt::OtherFocusReason);
        ui_.username->selectAll();
    }
    QDialog::showEvent(event);
}

// A hide by the program, not a minimised window, means the window was closed.
void LoginDialog::hideEvent(QHideEvent* event) {
    if (!event->spontaneous()) cancelLogin();
    QDialog::hideEvent(event);
}

// Esc stops the login; it closes the window when none runs.
void LoginDialog::keyPressEvent(QKeyEvent* event) {
    if (running_ && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        return cancelLogin();
    QDialog::keyPressEvent(event);
}

}  // namespace ferrodock
