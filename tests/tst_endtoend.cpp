// The whole program, window to wire: login, paste and file upload against the HTTPS test service.
#include "support/ConnectedApp.h"
#include "support/Files.h"

#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

class EndToEndTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void login() {
        ConnectedApp app;
        app.service.setReply(Reply::text("0123456789abcdef0123456789abcdef"));
        app.delegate.login()->trigger();
        app.delegate.username()->setText("a b+c");
        app.delegate.password()->setText("p&q=r%s");
        QTest::keyClick(app.delegate.password(), Qt::Key_Return);
        QTRY_COMPARE(app.delegate.loginResponse()->text(), "Logged in as a b+c");
        QCOMPARE(app.lastRequest().path, "/api/validate/user");
        QCOMPARE(app.lastRequest().body, "username=a%20b%2Bc&password=p%26q%3Dr%25s");
    }

    void paste() {
        ConnectedApp app;
        app.service.setReply(Reply::text("ferrodock.net/p/abcdefghi"));
        app.press(app.delegate.pastePageButton2());
        app.delegate.pasteData()->setPlainText("é 100% & more");
        app.delegate.language()->setCurrentIndex(app.delegate.language()->findText("Python"));
        app.delegate.privPaste()->setChecked(true);
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()), "ferrodock.net/p/abcdefghi");
        QCOMPARE(app.lastRequest().body,
                 "pastedata=%C3%A9%20100%25%20%26%20more&language=python&priv=1&anon=0&apikey=");
    }

    void fileUpload() {
        ConnectedApp app({}, std::chrono::seconds(60), "ann,0123456789abcdef0123456789abcdef");
        app.service.setReply(Reply::text("ferrodock.net/f/abcdefgh"));
        const QByteArray content = patternBytes(300 * 1024);
        app.choose(makeFile(app.home.path(), "report.pdf", content), false);
        app.delegate.anonFile()->setChecked(true);
        app.press(app.delegate.fileUploadButton());
        QTRY_COMPARE(titleOf(app.delegate.fileOutput()), "ferrodock.net/f/abcdefgh");
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
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
