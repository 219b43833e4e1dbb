// Uploads while they run, against a transport the test drives by hand: their progress,
// cancelling them, failures named by their cause, what the desktop is told, and closing the
// window over them.
#include "app/UploadProgress.h"
#include "platform/DesktopNotices.h"
#include "support/AppHarness.h"
#include "support/Files.h"

#include <QApplication>
#include <QMessageBox>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

struct Notices final : DesktopNotices {
    void notify(const QString& summary, const QString& body) override {
        shown.append(summary + ": " + body);
    }
    void showProgress(std::optional<double> fraction) override { progress = fraction; }
    QStringList shown;
    std::optional<double> progress = 0.5;
};

// The real window with a fake transport, 2000 bytes ready on each page, and the desktop's
// notices kept for the test.
struct App : FakeApp {
    App() {
        installSharedNotices(std::unique_ptr<Notices>(notices));
        delegate.pasteData()->setPlainText(QString(2000, 'p'));
        choose(makeFile(dir.path(), "big.bin", QByteArray(2000, 'x')), false);
        choose(makeFile(dir.path(), "big.png", QByteArray(2000, 'x')), true);
    }
    // Shows `page` alone and presses its upload button.
    void send(const QString& page) {
        delegate.switchPaste(nullptr);
        if (page == "file") delegate.switchFile(nullptr);
        if (page == "image") delegate.switchImage(nullptr);
        press(upload(page));
    }
    QWidget* panel(const QString& page) const {
        return link(page)->parentWidget()->findChild<QWidget*>(page + "Progress");
    }
    QTemporaryDir dir;
    Notices* notices = new Notices;
};

}  // namespace

class ProgressTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // The figures take the link's place after a moment, then the answer or a cancel (button
    // or Esc) puts the link back; a cancel stops the transfer and loses nothing.
    void progressThenEnd_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("end");  // "answer", "cancel" or "escape"
        QTest::newRow("file, Cancel") << "file"
                                      << "cancel";
        QTest::newRow("image, Esc") << "image"
                                    << "escape";
        QTest::newRow("paste, Cancel") << "paste"
                                       << "cancel";
        QTest::newRow("file, answer") << "file"
                                      << "answer";
        QTest::newRow("paste, answer") << "paste"
                                       << "answer";
    }
    void progressThenEnd() {
        QFETCH(QString, page);
        QFETCH(QString, end);
        App app;
        const QString kept =
            titleOf(app.delegate.savedpath()) + app.delegate.pasteData()->toPlainText();
        app.send(page);
        QCOMPARE(app.delegate.pasteView()->isVisible(), page == "paste");
        const QRect geometry = app.link(page)->geometry();
        const FakeRequest request = app.net->requests.value(0);
        request.progress({500, 2000, false});
        QTRY_VERIFY(app.panel(page) && app.panel(page)->isVisible());
        QVERIFY(!app.link(page)->isVisible());
        const QLabel* text = app.panel(page)->findChild<QLabel*>(page + "ProgressText");
        const QString label =
            page == "paste" ? "2.0 kB of text" : "big." + request.filePath.right(3);
        QVERIFY2(text->text().startsWith("Uploading " + label + ": 25%, 500 bytes of 2.0 kB"),
                 qPrintable(text->text()));
        QCOMPARE(app.panel(page)->findChild<QProgressBar*>()->value() * 4,
                 app.panel(page)->findChild<QProgressBar*>()->maximum());
        request.progress({2000, 2000, true});
        QCOMPARE(text->text(), QStringLiteral("Waiting for the service..."));
        if (end == "answer") app.net->answer("ferrodock.net/f/abcdefgh");
        if (end == "cancel")
            app.press(app.panel(page)->findChild<QPushButton*>(page + "CancelButton"));
        if (end == "escape") QApplication::setActiveWindow(app.interface.mainWindow.get());
        if (end == "escape") QTest::keyClick(app.interface.mainWindow.get(), Qt::Key_Escape);
        QVERIFY(app.link(page)->isVisible() && !app.panel(page)->isVisible());
        QCOMPARE(app.link(page)->geometry(), geometry);
        QCOMPARE(request.cancelled(), end != "answer");
        if (end != "answer")  // the transport's late word changes nothing
            app.net->finish({false, {}, "aborted", TransportError::Cancelled});
        QCOMPARE(titleOf(app.link(page)),
                 end == "answer" ? "ferrodock.net/f/abcdefgh" : "Upload cancelled.");
        QCOMPARE(titleOf(app.delegate.savedpath()) + app.delegate.pasteData()->toPlainText(), kept);
        QCOMPARE(app.notices->progress, std::nullopt);
    }

    // Each cause of a failure is named on the page and in the login window; the desktop hears
    // of it when the window is not in front.
    void failureNamesItsCause_data() {
        QTest::addColumn<TransportError>("kind");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("cause");
        using E = TransportError;
        const auto row = [](const char* name, E kind, int ms, const char* cause) {
            QTest::newRow(name) << kind << ms << QString(cause);
        };
        row("unreachable", E::Unreachable, 0, ": could not reach ferrodock.net");
        row("lost", E::ConnectionLost, 0, ": the connection was lost");
        row("silent", E::NoAnswer, 1001, ": the service sent no answer for 2 s");
        row("119 s", E::NoAnswer, 119000, ": the service sent no answer for 119 s");
        row("10 min", E::NoAnswer, 629000, ": the service sent no answer for 10 min");
        row("no deadline", E::NoAnswer, 0, ": the service sent no answer");
        row("untrusted", E::Untrusted, 0, ": the service's certificate is not trusted");
        row("file changed", E::FileChanged, 0, ": the file changed while it was being sent");
        row("unreadable", E::FileUnreadable, 0, ": the file could not be read");
        row("not text", E::NotText, 0, ": the service's answer was not text");
        row("too large", E::TooLarge, 0, ": the service's answer was too large");
        row("other", E::Other, 0, "");
    }
    void failureNamesItsCause() {
        QFETCH(TransportError, kind);
        QFETCH(int, limitMs);
        QFETCH(QString, cause);
        App app;
        QWidget other;
        other.show();
        QApplication::setActiveWindow(&other);
        QTRY_VERIFY(!app.interface.mainWindow->isActiveWindow());
        const TransportResult result{false, {}, "detail", kind, std::chrono::milliseconds(limitMs)};
        app.send("file");
        QTest::ignoreMessage(QtWarningMsg, "file upload failed: detail");
        app.net->finish(result);
        app.delegate.loginPushed(nullptr);
        QTest::ignoreMessage(QtWarningMsg, "login failed: detail");
        app.net->finish(result);
        const QString text = " failed" + cause + ". Please try again.";
        QCOMPARE(titleOf(app.link("file")), "Upload" + text);
        QCOMPARE(app.delegate.loginResponse()->text(), "Login" + text);
        QCOMPARE(app.notices->shown, QStringList{"File upload failed: Upload" + text});
    }

    // Closing the window over running uploads asks first; keeping it keeps the uploads.
    void closingAsksFirst_data() {
        QTest::addColumn<int>("uploads");
        QTest::addColumn<QString>("button");  // "": no question asked
        QTest::newRow("none running") << 0 << "";
        QTest::newRow("keep uploading") << 1 << "Keep Uploading";
        QTest::newRow("cancel uploads") << 2 << "Cancel Uploads";
    }
    void closingAsksFirst() {
        QFETCH(int, uploads);
        QFETCH(QString, button);
        App app;
        for (int i = 0; i < uploads; ++i) app.send("paste");
        QString asked;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            for (QAbstractButton* b : box ? box->buttons() : QList<QAbstractButton*>{})
                if (b->text() == button) asked = box->text(), b->click();
        });
        app.interface.mainWindow->close();
        QCOMPARE(asked, QStringList({"", "An upload is still running.",
                                     "2 uploads are still running."})[uploads]);
        QCOMPARE(app.interface.mainWindow->isVisible(), uploads == 1);
        QCOMPARE(titleOf(app.link("paste")) == "Upload cancelled.", uploads == 2);
        for (const FakeRequest& request : app.net->requests)
            QCOMPARE(request.cancelled(), uploads == 2);
    }

    void progressFigures() {
        QCOMPARE(progressText("a", 12'300'000, 33'100'000, 4'200'000),
                 "Uploading a: 37%, 12.3 MB of 33.1 MB, 4.2 MB/s, about 5 s left");
        QCOMPARE(progressText("a", 1'000'000'000, 2'000'000'000, 1'000'000),
                 "Uploading a: 50%, 1.0 GB of 2.0 GB, 1.0 MB/s, about 17 min left");
        QCOMPARE(progressText("a", 0, 999'960, 100),
                 "Uploading a: 0%, 0 bytes of 1.0 MB, 100 bytes/s, about 2 h 47 min left");
    }
};

QTEST_MAIN(ProgressTest)
#include "tst_progress.moc"