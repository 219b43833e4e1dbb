#pragma once
// The login ferrodock remembers: the user name and API key, kept in memory for the run and in the
// session file between runs. The window and the command line share this one object.
#include <QObject>
#include <QString>

namespace ferrodock {

class Session : public QObject {
    Q_OBJECT
public:
    // Starts with what the session file holds: logged out when there is none or it cannot be
    // read.
    explicit Session(QObject* parent = nullptr);

    QString userName() const { return userName_; }
    QString apiKey() const { return apiKey_; }
    bool isLoggedIn() const { return !apiKey_.isEmpty(); }

    // Keeps the login for this run and writes the session file; returns whether the file holds it.
    bool remember(const QString& userName, const QString& apiKey);
    // Forgets the login and clears the session file.
    void forget();

signals:
    void changed();

private:
    QString userName_;
    QString apiKey_;
};

}  // namespace ferrodock
