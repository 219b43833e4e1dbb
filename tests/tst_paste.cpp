// The paste page: what reaches the service, what comes back on the link button, and copying.
#include "platform/Toolkit.h"
#include "support/ConnectedApp.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

Q_DECLARE_METATYPE(ferrodock::test::Reply)

namespace {
const QString kAddress = "ferrodock.net/p/abcdefghi";  // 25 characters
}

class PasteTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bodies_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("language");  // "<none>": nothing selected
        QTest::addColumn<bool>("priv");
        QTest::addColumn<bool>("anon");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("example") << "abc"
                                 << "Python" << true << false
                                 << QByteArray(
                                        "pastedata=abc&language=python&priv=1&anon=0&apikey=");
        QTest::newRow("empty text")
            << ""
            << "C#" << false << false << QByteArray("pastedata=&language=cs&priv=0&anon=0&apikey=");
        QTest::newRow("both flags")
            << "x"
            << "Objective C" << true << true
            << QByteArray("pastedata=x&language=objectivec&priv=1&anon=1&apikey=");
        QTest::newRow("wrong case")
            << "x"
            << "python" << false << false
            << QByteArray("pastedata=x&language=no-highlight&priv=0&anon=0&apikey=");
        QTest::newRow("no selection")
            << "x"
            << "<none>" << false << false
            << QByteArray("pastedata=x&language=no-highlight&priv=0&anon=0&apikey=");
        QTest::newRow("reserved")
            << "a&b=c C++ 100%"
            << "C++" << false << true
            << QByteArray(
                   "pastedata=a%26b%3Dc%20C%2B%2B%20100%25&language=cpp&priv=0&anon=1&apikey=");
        QTest::newRow("lines and utf-8")
            << "é\n\tline 2\u00a0"
            << "Bash" << false << false
            << QByteArray(
                   "pastedata=%C3%A9%0A%09line%202%C2%A0&language=bash&priv=0&anon=0&apikey=");
    }
    void bodies() {
        QFETCH(QString, text);
        QFETCH(QString, language);
        QFETCH(bool, priv);
        QFETCH(bool, anon);
        QFETCH(QByteArray, body);
        ConnectedApp app;
        app.service.setReply(Reply::text(kAddress.toUtf8()));
        app.press(app.delegate.pastePageButton2());
        app.delegate.pasteData()->setPlainText(text);
        QComboBox* box = app.delegate.language();
        if (language == "<none>") {
            box->setCurrentIndex(-1);
        } else {
            if (box->findText(language) < 0) box->addItem(language);
            box->setCurrentIndex(box->findText(language));
        }
        app.delegate.privPaste()->setChecked(priv);
        app.delegate.anonPaste()->setChecked(anon);
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(app.service.requestCount(), 1);
        const RecordedRequest request = app.lastRequest();
        QCOMPARE(request.path, QStringLiteral("/api/upload/paste"));
        QCOMPARE(request.body, body);
        QCOMPARE(request.form.value("pastedata"), text);
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()), kAddress);
        QCOMPARE(toolkit::titleColor(app.delegate.pasteOutput()), QColor(Qt::white));
    }

    // Typed line breaks reach the service as "\n", whichever key made them; no-break spaces
    // stay as typed.
    void typedLineBreaks() {
        ConnectedApp app;
        app.press(app.delegate.pastePageButton2());
        QPlainTextEdit* view = app.delegate.pasteData();
        QTest::keyClicks(view, "a");
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, "b");
        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClicks(view, "c\u00a0d");
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(app.service.requestCount(), 1);
        QCOMPARE(app.lastRequest().form.value("pastedata"), QStringLiteral("a\nb\nc\u00a0d"));
    }

    void keyGoesOutAsHeld() {
        ConnectedApp app;
        toolkit::setTitle(app.delegate.savedapikey(), "k&y=+%");
        app.service.setReply(Reply::text("ok"));
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(app.service.requestCount(), 1);
        QVERIFY(app.lastRequest().body.endsWith("&apikey=k%26y%3D%2B%25"));
        QCOMPARE(app.lastRequest().form.value("apikey"), QStringLiteral("k&y=+%"));
    }

    void failuresShowTheFailureText_data() {
        QTest::addColumn<Reply>("reply");
        QTest::newRow("dropped") << replyOf(Reply::Kind::Drop);
        Reply huge = replyOf(Reply::Kind::Huge);
        huge.hugeBytes = (1 << 20) + 1;
        QTest::newRow("over 1 MiB") << huge;
        QTest::newRow("not utf-8") << Reply::text("\xc3\x28");
    }
    void failuresShowTheFailureText() {
        QFETCH(Reply, reply);
        ConnectedApp app;
        app.service.setReply(reply);
        app.press(app.delegate.pastePageButton2());
        app.delegate.pasteData()->setPlainText("keep me");
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()),
                     QStringLiteral("Upload failed. Please try again."));
        QCOMPARE(app.delegate.pasteData()->toPlainText(), QStringLiteral("keep me"));
        app.press(app.delegate.pasteOutput());  // not an address: nothing happens
        QCOMPARE(app.delegate.pasteData()->toPlainText(), QStringLiteral("keep me"));
    }

    void untrustedServiceFails() {
        ConnectedApp app;
        HttpsTransport::Options options;
        options.origin = app.service.origin();  // no test CA: the certificate is not trusted
        installSharedTransport(std::make_unique<HttpsTransport>(options));
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE_WITH_TIMEOUT(titleOf(app.delegate.pasteOutput()),
                                  QStringLiteral("Upload failed. Please try again."), 10000);
        QCOMPARE(app.service.requestCount(), 0);
    }

    void silentServiceTimesOut() {
        ConnectedApp app({}, std::chrono::milliseconds(1500));
        app.service.setReply(replyOf(Reply::Kind::Silent));
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE_WITH_TIMEOUT(titleOf(app.delegate.pasteOutput()),
                                  QStringLiteral("Upload failed. Please try again."), 10000);
    }

    void lastOverlappingAnswerStays() {
        ConnectedApp app;
        Reply slow = Reply::text("first, slow");
        slow.delay = std::chrono::milliseconds(600);
        app.service.setReply(slow);
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(app.service.requestCount(), 1);
        app.service.setReply(Reply::text("second, fast"));
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()), QStringLiteral("second, fast"));
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()), QStringLiteral("first, slow"));
    }
};

QTEST_MAIN(PasteTest)
#include "tst_paste.moc"
