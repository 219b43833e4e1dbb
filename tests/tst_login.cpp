// Signing in and out through the login window, against the test service.
#include "app/SessionFile.h"
#include "support/ConnectedApp.h"
#include "support/OutputCapture.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {
const QByteArray kKey = "0123456789abcdef0123456789abcdef";
const QByteArray kRejection = "3b7f0c52a9d14e68b2c5f7091d4a6e83";

void logIn(ConnectedApp& app, const QString& user, const QString& password) {
    app.delegate.login()->trigger();
    app.delegate.username()->setText(user);
    app.delegate.password()->setText(password);
    QTest::keyClick(app.delegate.password(), Qt::Key_Return);  // presses the login button
}

QByteArray sessionOnDisk(const ConnectedApp& app) {
    QFile file(app.home.sessionFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}
}  // namespace

class LoginTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bodies_data() {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty") << ""
                               << "" << QByteArray("username=&password=");
        QTest::newRow("ann") << "ann"
                             << "" << QByteArray("username=ann&password=");
        QTest::newRow("reserved") << "a b+c"
                                  << "p&q=r%s"
                                  << QByteArray("username=a%20b%2Bc&password=p%26q%3Dr%25s");
    }
    void bodies() {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(QByteArray, body);
        ConnectedApp app;
        app.service.setReply(Reply::text(kRejection));
        logIn(app, user, password);
        QTRY_COMPARE(app.service.requestCount(), 1);
        const RecordedRequest request = app.lastRequest();
        QCOMPARE(request.path, QStringLiteral("/api/validate/user"));
        QCOMPARE(request.contentType, QStringLiteral("application/x-www-form-urlencoded"));
        QCOMPARE(request.body, body);
        QCOMPARE(request.form.value("username"), user);
        QCOMPARE(request.form.value("password"), password);
    }

    // Answers that are not a key change nothing but the status line.
    void answers_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("shown");
        QTest::newRow("rejection") << kRejection << 200 << "Login Incorrect";
        QTest::newRow("31") << QByteArray(31, 'k') << 200 << QString(31, 'k');
        QTest::newRow("33") << QByteArray(33, 'k') << 200 << QString(33, 'k');
        QTest::newRow("empty") << QByteArray() << 200 << "";
        QTest::newRow("error status")
            << QByteArray("Service unavailable") << 503 << "Service unavailable";
        QTest::newRow("markup") << QByteArray("<b>no</b> & <i>yes</i>") << 200
                                << "<b>no</b> & <i>yes</i>";
        QTest::newRow("not utf-8")
            << QByteArray("\xff\xfe") << 200 << "Login failed. Please try again.";
        // 32 units the session file could not hold: a message, not a key.
        for (const char* odd : {",", "\n", "\r", "\t", "\x7f", "\xE2\x80\xA8"}) {
            const QByteArray answer =
                kKey.left(10) + odd + kKey.left(22 - QString::fromUtf8(odd).size());
            QTest::addRow("32 with %s", QByteArray(odd).toPercentEncoding().constData())
                << answer << 200 << QString::fromUtf8(answer);
        }
    }
    void answers() {
        QFETCH(QByteArray, answer);
        QFETCH(int, status);
        QFETCH(QString, shown);
        ConnectedApp app({}, std::chrono::seconds(60), "old," + kKey);
        app.service.setReply(Reply::text(answer, status));
        // Signed in from the session file before this press.
        QCOMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(kKey));
        logIn(app, "ann", "secret");
        QTRY_COMPARE(app.service.requestCount(), 1);
        QTRY_COMPARE(app.delegate.loginResponse()->text(), shown);
        QTest::qWait(50);
        QCOMPARE(app.delegate.loginResponse()->text(), shown);
        QCOMPARE(titleOf(app.delegate.savedusername()), QStringLiteral("old"));
        QCOMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(kKey));
        QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock - old"));
        QCOMPARE(sessionOnDisk(app), "old," + kKey);
        QVERIFY(app.delegate.loginWindow()->isVisible());
        QCOMPARE(app.delegate.password()->text(), QStringLiteral("secret"));
    }

    void success_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("key") << kKey << kKey;
        QTest::newRow("rejection in capitals") << kRejection.toUpper() << kRejection.toUpper();
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + kKey << kKey;
    }
    void success() {
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, key);
        ConnectedApp app;
        app.service.setReply(Reply::text(answer));
        logIn(app, "ann", "secret");
        // The name read at the press counts, not what the field says when the answer comes.
        app.delegate.username()->setText("changed meanwhile");
        QTRY_COMPARE(app.delegate.loginResponse()->text(), QStringLiteral("Logged in as ann"));
        QCOMPARE(titleOf(app.delegate.savedusername()), QStringLiteral("ann"));
        QCOMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(key));
        QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock - ann"));
        QCOMPARE(sessionOnDisk(app), "ann," + key);
        QVERIFY(app.delegate.password()->text().isEmpty());  // the password is not kept

        // The window stays for about a second while the main thread keeps answering.
        QElapsedTimer clock;
        clock.start();
        int turns = 0;
        while (app.delegate.loginWindow()->isVisible() && clock.elapsed() < 5000) {
            QTest::qWait(10);
            ++turns;
        }
        QVERIFY(!app.delegate.loginWindow()->isVisible());
        QVERIFY2(clock.elapsed() > 700, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(turns > 20);
    }

    void transportFailureShowsItAndChangesNothingElse() {
        ConnectedApp app;
        app.service.setReply(replyOf(Reply::Kind::Drop));
        logIn(app, "ann", "secret");
        QTRY_COMPARE(app.delegate.loginResponse()->text(),
                     QStringLiteral("Login failed. Please try again."));
        QVERIFY(titleOf(app.delegate.savedapikey()).isEmpty());
        QCOMPARE(sessionOnDisk(app), QByteArray("<none>"));
        QVERIFY(app.delegate.loginWindow()->isVisible());
    }

    // Neither the password nor the key shows up in anything the program writes, on success
    // or on failure.
    void secretsStayOutOfOutput() {
        const QString password = "pa55-w0rd&secret";
        OutputCapture out(stdout);
        OutputCapture err(stderr);
        {
            ConnectedApp app;
            app.service.setReply(Reply::text(kKey));
            logIn(app, "ann", password);
            QTRY_COMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(kKey));
            app.service.setReply(replyOf(Reply::Kind::Drop));
            logIn(app, "ann", password);
            app.press(app.delegate.pasteUploadButton());
            app.press(app.delegate.imageUploadButton());
            QTRY_COMPARE(app.delegate.loginResponse()->text(),
                         QStringLiteral("Login failed. Please try again."));
            QTRY_COMPARE(titleOf(app.delegate.pasteOutput()),
                         QStringLiteral("Upload failed. Please try again."));
        }
        const QByteArray written = out.text() + err.text();
        QVERIFY(!written.contains(password.toUtf8()));
        QVERIFY(!written.contains(QUrl::toPercentEncoding(password)));
        QVERIFY(!written.contains(kKey));
    }

    // Opened again after a login and a logout, the window starts afresh: typing a name, Tab and
    // a password sends them as the person meant.
    void reopenedWindowStartsAtTheName() {
        ConnectedApp app;
        app.service.setReply(Reply::text(kKey));
        logIn(app, "ann", "secret");
        QTRY_VERIFY_WITH_TIMEOUT(!app.delegate.loginWindow()->isVisible(), 5000);
        app.delegate.logout()->trigger();
        app.delegate.login()->trigger();
        QDialog* dialog = app.delegate.loginWindow();
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->focusWidget(), app.delegate.username());
        QCOMPARE(app.delegate.username()->selectedText(), QStringLiteral("ann"));
        QVERIFY(app.delegate.loginResponse()->text().isEmpty());
        app.service.setReply(Reply::text(kRejection));
        QTest::keyClicks(dialog->focusWidget(), "bob");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(dialog->focusWidget(), "x");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        QTRY_COMPARE(app.service.requestCount(), 2);
        QCOMPARE(app.lastRequest().body, QByteArray("username=bob&password=x"));
    }

    void logout_data() {
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("signed in") << true;
        QTest::newRow("signed out") << false;
    }
    void logout() {
        QFETCH(bool, signedIn);
        ConnectedApp app;
        if (signedIn) {
            app.service.setReply(Reply::text(kKey));
            logIn(app, "ann", "secret");
            QTRY_COMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(kKey));
        }
        app.delegate.logout()->trigger();
        QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock"));
        QVERIFY(titleOf(app.delegate.savedapikey()).isEmpty());
        QVERIFY(titleOf(app.delegate.savedusername()).isEmpty());
        QVERIFY(!QFile::exists(app.home.sessionFile()));
        // The login window keeps what it said.
        if (signedIn)
            QCOMPARE(app.delegate.loginResponse()->text(), QStringLiteral("Logged in as ann"));

        // The next paste carries an empty key.
        app.service.setReply(Reply::text("ok"));
        app.press(app.delegate.pasteUploadButton());
        QTRY_VERIFY(app.lastRequest().path == QStringLiteral("/api/upload/paste"));
        QVERIFY(app.lastRequest().body.endsWith("&apikey="));
    }
};

QTEST_MAIN(LoginTest)
#include "tst_login.moc"
