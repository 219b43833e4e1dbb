#include "app/AppDelegate.h"
#include "core/Answers.h"
#include "core/Characters.h"
#include "core/Feedback.h"
#include "core/SessionFile.h"
#include "core/Transport.h"
#include "platform/Toolkit.h"

#include <QKeyEvent>
#include <QTimer>

namespace ferrodock {

namespace {
constexpr int kCloseDelayMs = 1000;  // long enough to read "Logged in as …"

void showStatus(QLabel* statusLine, const QString& text) {
    if (statusLine) statusLine->setText(shownAnswer(text));
}

// The login on its way, if any, for one login window: while it runs the Log In button is off,
// Cancel shows beside it and Esc stops it; closing the window stops it too. A login stopped
// here is over for the window at once; whatever the transport still delivers for it is dropped.
class LoginFlight final : public QObject {
    Q_OBJECT
public:
    static LoginFlight* of(QDialog* window) {
        if (!window) return nullptr;
        auto* flight = window->findChild<LoginFlight*>(QString(), Qt::FindDirectChildrenOnly);
        return flight ? flight : new LoginFlight(window);
    }
    bool running() const { return running_; }

    // A new login; gives its number, by which its completion knows whether it still counts.
    quint64 begin(QLabel* status) {
        running_ = true;
        status_ = status;
        showStatus(status, QStringLiteral("Logging in..."));
        setControls();
        return ++serial_;
    }
    void attach(TransferHandle handle) { handle_ = std::move(handle); }
    // Whether login `serial` still runs; if it does, it is over from now on.
    bool end(quint64 serial) {
        if (!running_ || serial != serial_) return false;
        running_ = false;
        handle_ = {};
        setControls();
        return true;
    }
    void cancel() {
        if (!running_) return;
        const TransferHandle handle = std::exchange(handle_, {});
        end(serial_);
        handle.cancel();
        showStatus(status_, QStringLiteral("Login cancelled."));
    }

protected:
    // Esc stops the login (it closes the window when none runs); a hide by the program, not a
    // minimised window, means the window was closed.
    bool eventFilter(QObject*, QEvent* event) override {
        const auto* key =
            event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event) : nullptr;
        if (running_ && key && key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            cancel();
            return true;
        }
        if (event->type() == QEvent::Hide && !event->spontaneous()) cancel();
        return false;
    }

private:
    explicit LoginFlight(QDialog* window)
        : QObject(window),
          login_(window->findChild<QPushButton*>(QStringLiteral("loginButton"))),
          cancel_(window->findChild<QPushButton*>(QStringLiteral("loginCancelButton"))) {
        window->installEventFilter(this);
        if (cancel_) connect(cancel_, &QPushButton::clicked, this, &LoginFlight::cancel);
        setControls();
    }
    // The keyboard focus goes from the button that turns off to the one that turns on.
    void setControls() {
        const bool focusOnCancel = cancel_ && cancel_->hasFocus();
        if (cancel_) cancel_->setVisible(running_);
        if (login_) login_->setEnabled(!running_);
        if (login_ && focusOnCancel) login_->setFocus(Qt::OtherFocusReason);
    }

    QPointer<QPushButton> login_;
    QPointer<QPushButton> cancel_;
    QPointer<QLabel> status_;
    TransferHandle handle_;
    quint64 serial_ = 0;
    bool running_ = false;
};
}  // namespace

void AppDelegate::loginPushed(QObject*) {
    LoginFlight* flight = LoginFlight::of(loginWindow());
    // One login at a time: a second press (Return, say) while one runs sends nothing.
    if (flight && flight->running()) return;
    const QString user = username() ? username()->text() : QString();
    const QString secret = password() ? password()->text() : QString();
    if (loginResponse()) loginResponse()->setText(QString());
    const quint64 serial = flight ? flight->begin(loginResponse()) : 0;

    // Each answer is handled with the name read at its own press, whatever the field says now.
    const TransferHandle handle = transport->postFields(
        QStringLiteral("/api/validate/user"),
        {{QStringLiteral("username"), user}, {QStringLiteral("password"), secret}}, this,
        [this, user, flight = QPointer<LoginFlight>(flight),
         serial](const TransportResult& result) {
            // Cancelled, or the window went meanwhile: the window already says so.
            if (serial != 0 && !(flight && flight->end(serial))) return;
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
    if (flight) flight->attach(handle);
}

// Each time the login window opens: a fresh status line, and the user name ready to type over,
// so no keystroke meant for the name lands in the password field.
void AppDelegate::prepareLoginWindow() {
    // Shown again from minimised while a login runs: it still runs, and says so.
    if (LoginFlight* flight = LoginFlight::of(loginWindow()); flight && flight->running()) return;
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

#include "Login.moc"
