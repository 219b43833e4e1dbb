// The whole program, window to wire: login, paste and file upload (then in the history) against
// the HTTPS test service.
#include "support/ConnectedApp.h"
#include "support/Files.h"
#include "window/HistoryModel.h"
#include "window/HistoryWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

class EndToEndTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void login() {
        ConnectedApp app;
        app.service.setReply(Reply::text("0123456789abcdef0123456789abcdef"));
        app.find<QAction>("login")->trigger();
        app.find<QLineEdit>("username")->setText("a b+c");
        app.find<QLineEdit>("password")->setText("p&q=r%s");
        QTest::keyClick(app.find<QLineEdit>("password"), Qt::Key_Return);
        QTRY_COMPARE(app.find<QLabel>("loginResponse")->text(), "Logged in as a b+c");
        QCOMPARE(app.lastRequest().path, "/api/validate/user");
        QCOMPARE(app.lastRequest().body, "username=a%20b%2Bc&password=p%26q%3Dr%25s");
    }

    void paste() {
        ConnectedApp app;
        app.service.setReply(Reply::text("ferrodock.net/p/abcdefghi"));
        app.press(app.find<QPushButton>("pastePageButton2"));
        app.find<QPlainTextEdit>("pasteData")->setPlainText("é 100% & more");
        app.find<QComboBox>("language")->setCurrentText("Python");
        app.find<QCheckBox>("privPaste")->setChecked(true);
        app.press(app.find<QPushButton>("pasteUploadButton"));
        QTRY_COMPARE(titleOf(app.find<QPushButton>("pasteOutput")), "ferrodock.net/p/abcdefghi");
        QCOMPARE(app.lastRequest().body,
                 "pastedata=%C3%A9%20100%25%20%26%20more&language=python&priv=1&anon=0&apikey=");
    }

    void fileUpload() {
        ConnectedApp app({}, std::chrono::seconds(60), "ann,0123456789abcdef0123456789abcdef");
        app.service.setReply(Reply::text("ferrodock.net/f/abcdefgh"));
        const QByteArray content = patternBytes(300 * 1024);
        app.choose(makeFile(app.home.path(), "report.pdf", content), false);
        app.find<QCheckBox>("anonFile")->setChecked(true);
        app.press(app.find<QPushButton>("fileUploadButton"));
        QTRY_COMPARE(titleOf(app.find<QPushButton>("fileOutput")), "ferrodock.net/f/abcdefgh");
        const RecordedRequest request = app.lastRequest();
        QCOMPARE(request.path, "/api/upload/file");
        QStringList parts;
        for (const RecordedPart& part : request.parts)
            parts << part.name + "=" + part.fileName + ";" + part.contentType + ";" +
                         part.content.left(32);
        QCOMPARE(parts,
                 QStringList({"priv=;;0", "anon=;;1", "apikey=;;0123456789abcdef0123456789abcdef",
                              "file=report.pdf;application/pdf;" + content.left(32)}));
        QVERIFY(request.parts.last().content == content);
        app.find<QAction>("goHistory")->trigger();
        const QAbstractItemModel* history = app.window->historyWindow()->model();
        QCOMPARE((QStringList{history->index(0, 0).data().toString(),
                              history->index(0, 2).data().toString(),
                              history->index(0, 3).data().toString()}),
                 (QStringList{"report.pdf", "Anonymous", "https://ferrodock.net/f/abcdefgh"}));
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
