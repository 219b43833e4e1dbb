// The whole program, window to wire, against the HTTPS test service: a login, then a paste and
// a file upload with the key it gave. How fields and files are written is tried in
// tst_transport, what each page sends in tst_pages; here they meet.
#include "support/AppHarness.h"
#include "support/Files.h"
#include "support/TestService.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

using namespace ferrodock;
using namespace ferrodock::test;

class EndToEndTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void loginThenUploads() {
        const QByteArray key = "0123456789abcdef0123456789abcdef";
        TestService service;  // outlives the window's transport; each path its own answer
        service.setReply("/api/validate/user", Reply::text(key));
        service.setReply("/api/upload/paste", Reply::text("ferrodock.net/p/abcdefghi"));
        service.setReply("/api/upload/file", Reply::text("ferrodock.net/f/abcdefgh"));
        TestApp app({}, service.makeTransport());
        app.find<QAction>("login")->trigger();
        app.find<QLineEdit>("username")->setText("a b+c");
        app.find<QLineEdit>("password")->setText("p&q=r%s");
        QTest::keyClick(app.find<QLineEdit>("password"), Qt::Key_Return);
        QTRY_COMPARE(app.find<QLabel>("loginResponse")->text(), "Logged in as a b+c");
        app.press(app.button("pastePageButton2"));
        app.find<QPlainTextEdit>("pasteData")->setPlainText("é 100% & more");
        app.find<QComboBox>("language")->setCurrentText("Python");
        app.press(app.upload("paste"));
        QTRY_COMPARE(literalText(app.link("paste")), "ferrodock.net/p/abcdefghi");
        const QByteArray content = patternBytes(300 * 1024);
        app.choose(makeFile(app.home.path(), "report.pdf", content), false);
        app.press(app.upload("file"));
        QTRY_COMPARE(literalText(app.link("file")), "ferrodock.net/f/abcdefgh");
        const QList<RecordedRequest> sent = service.requests();
        QCOMPARE(sent.size(), 3);
        QCOMPARE(sent[0].body, "username=a%20b%2Bc&password=p%26q%3Dr%25s");
        QCOMPARE(sent[1].body,
                 "pastedata=%C3%A9%20100%25%20%26%20more&language=python&priv=0&anon=0"
                 "&apikey=" +
                     key);
        QCOMPARE(sent[2].parts.value(2).content, key);
        QVERIFY(sent[2].parts.value(3).content == content);
    }
};

QTEST_MAIN(EndToEndTest)
#include "tst_endtoend.moc"
