// The application against a hostile service and a hostile disk: it never crashes, shows what
// it was sent literally, loses nothing and keeps its memory bounded.
#include "app/SessionFile.h"
#include "platform/Toolkit.h"
#include "support/ConnectedApp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QString kFailed = "Upload failed. Please try again.";

qint64 peakResidentKiB() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

QString makeFile(const QTemporaryDir& dir, const QString& name, qint64 bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !file.resize(bytes))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

}  // namespace

class HostileTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Whatever the service says is shown as written, never as markup or a mnemonic, and never
    // more of it than the first 200 characters: a long answer would freeze the window.
    void answersShownLiterally_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        for (const char* row : {"<b>bold</b> <img src=x> &amp; <script>", "Tom & Jerry && &x",
                                "line\nbreak\ttab\x01"})
            QTest::newRow(row) << QByteArray(row) << QString::fromUtf8(row);
        QTest::newRow("byte-order mark") << QByteArray(
                                                "\xEF\xBB\xBF"
                                                "ferrodock.net/p/abcdefghi")
                                         << "ferrodock.net/p/abcdefghi";
        const QByteArray family =
            "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
            "\xF0\x9F\x91\xA7\xE2\x80\x8D\xF0\x9F\x91\xA6";
        QTest::newRow("1 MiB of families") << family.repeated(((1 << 20) - 4096) / family.size())
                                           << QString::fromUtf8(family.repeated(200)) + "...";
        QTest::newRow("one character of 520k marks")
            << "a" + QByteArray("\xCC\x81").repeated(520000) << "...";
    }
    void answersShownLiterally() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        ConnectedApp app;
        app.service.setReply(Reply::text(answer));
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()), shown);
        QVERIFY(app.delegate.pasteOutput()->shortcut().isEmpty());
        logInWith(app, "ann");
        QTRY_COMPARE(app.delegate.loginResponse()->text(), shown);
        QCOMPARE(app.delegate.loginResponse()->textFormat(), Qt::PlainText);
    }

    // A 1 GiB answer fails at the cap; it is never held.
    void hugeAnswerFailsWithoutBeingHeld() {
        ConnectedApp app;
        Reply huge = replyOf(Reply::Kind::Huge);
        huge.hugeBytes = qint64(1) << 30;
        app.service.setReply(huge);
        const qint64 before = peakResidentKiB();
        app.press(app.delegate.pasteUploadButton());
        QTRY_COMPARE_WITH_TIMEOUT(titleOf(app.delegate.pasteOutput()), kFailed, 20000);
        QVERIFY2(peakResidentKiB() - before < 32 * 1024,
                 qPrintable(QString("peak grew by %1 KiB").arg(peakResidentKiB() - before)));
    }

    // 200 presses before the first answer: every one reaches the service and is answered.
    void manyOverlappingPastes() {
        ConnectedApp app;
        Reply answer = Reply::text("ferrodock.net/p/abcdefghi");
        answer.delay = std::chrono::milliseconds(20);
        app.service.setReply(answer);
        app.press(app.delegate.pastePageButton2());
        for (int i = 0; i < 200; ++i) {
            app.delegate.pasteData()->setPlainText(QString::number(i));
            app.press(app.delegate.pasteUploadButton());
        }
        QTRY_COMPARE_WITH_TIMEOUT(app.service.requestCount(), 200, 30000);
        QTRY_COMPARE(titleOf(app.delegate.pasteOutput()),
                     QStringLiteral("ferrodock.net/p/abcdefghi"));
        QSet<QString> texts;
        for (const RecordedRequest& request : app.service.requests()) {
            texts.insert(request.form.value("pastedata"));
        }
        QCOMPARE(texts.size(), 200);
    }

    // Quitting with uploads in flight ends promptly, with no completion afterwards.
    void quitWithUploadsInFlight() {
        QTemporaryDir dir;
        const QString path = makeFile(dir, "big.bin", 64 << 20);
        QElapsedTimer clock;
        {
            ConnectedApp app;
            Reply stall = replyOf(Reply::Kind::Silent);
            stall.readDelay = std::chrono::seconds(30);
            app.service.setReply(stall);
            app.choose(path, false);
            for (int i = 0; i < 20; ++i) app.press(app.delegate.fileUploadButton());
            QTest::qWait(300);
            clock.start();
            installSharedTransport(nullptr);
            QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
            QCoreApplication::processEvents();
            QCOMPARE(titleOf(app.delegate.fileOutput()),
                     QStringLiteral("Choose a file, then press upload."));
        }
    }

    // A file that changes under the upload fails it; it does not hang or send a torn file.
    void fileGrowingDuringUpload() {
        QTemporaryDir dir;
        const QString path = makeFile(dir, "log.txt", 32 << 20);
        ConnectedApp app;
        Reply slow = Reply::text("ferrodock.net/f/abcdefgh");
        slow.readDelay = std::chrono::milliseconds(500);  // the upload stalls part-way
        app.service.setReply(slow);
        app.choose(path, false);
        app.press(app.delegate.fileUploadButton());
        QTest::qWait(200);
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        file.write(QByteArray(1 << 20, 'x'));
        file.close();
        QTRY_COMPARE_WITH_TIMEOUT(titleOf(app.delegate.fileOutput()), kFailed, 20000);
    }

    // Without a Documents folder the login holds for the run and nothing is created.
    void loginWithoutDocumentsFolder() {
        ConnectedApp app;
        QVERIFY(QDir(app.home.documents()).removeRecursively());
        app.service.setReply(Reply::text("0123456789abcdef0123456789abcdef"));
        logInWith(app, "ann");
        QTRY_COMPARE(titleOf(app.delegate.savedapikey()),
                     QStringLiteral("0123456789abcdef0123456789abcdef"));
        QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock - ann"));
        QVERIFY(!QFileInfo::exists(app.home.documents()));
    }

    void readOnlyDocumentsFolder() {
        if (::geteuid() == 0) QSKIP("root writes into read-only folders");
        ConnectedApp app;
        QVERIFY(QFile::setPermissions(app.home.documents(),
                                      QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        app.service.setReply(Reply::text("0123456789abcdef0123456789abcdef"));
        logInWith(app, "ann");
        QTRY_COMPARE(app.delegate.loginResponse()->text(), QStringLiteral("Logged in as ann"));
        QVERIFY(QDir(app.home.documents()).isEmpty());
        QVERIFY(QFile::setPermissions(app.home.documents(), QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ExeOwner));
    }

private:
    static void logInWith(ConnectedApp& app, const QString& user) {
        app.delegate.username()->setText(user);
        app.press(app.interface.loginWindow->findChild<QPushButton*>("loginButton"));
    }
};

QTEST_MAIN(HostileTest)
#include "tst_hostile.moc"
