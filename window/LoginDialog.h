#pragma once

#include "core/Transport.h"
#include "ui_LoginWindow.h"

#include <QDialog>

namespace ferrodock {

class Session;

// The login window: a user name and a password checked with the service, whose key the
// session then keeps. While a login runs the Log In button is off, Cancel shows beside it and
// Esc stops it; closing the window stops it too. A login stopped is over for the window at
// once; whatever the transport still delivers for it is dropped. A window of its own, so that
// whichever of it and the main window is closed last ends the application.
class LoginDialog final : public QDialog {
    Q_OBJECT
public:
    LoginDialog(Transport& transport, Session& session, QWidget* parent = nullptr);

public Q_SLOTS:
    void loginPushed();
    void cancelLogin();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool end(quint64 serial);
    void setControls();
    void showStatus(const QString& text);
    void answered(const TransportResult& result, const QString& user);

    Ui::LoginWindow ui_;
    Transport& transport_;
    Session& session_;
    TransferHandle handle_;
    quint64 serial_ = 0;
    bool running_ = false;
};

}  // namespace ferrodock
