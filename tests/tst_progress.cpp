// Long uploads through the real window: their progress, cancelling them, failures named by
// their cause, and what the desktop is told.
#include "app/UploadProgress.h"
#include "platform/DesktopNotices.h"
#include "support/ConnectedApp.h"
#include "support/RawService.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

enum class Page { File, Image, Paste };

struct Notices final : DesktopNotices {
    void notify(const QString& summary, const QString& body) override {
        shown.append(summary + QStringLiteral(": ") + body);
    }
    void showProgress(std::optional<double> fraction) override { progress = fraction; }
    QStringList shown;
    std::optional<double> progress;
};

// A page of the window with something ready to upload: `bytes` of file or of paste text.
struct PageUnderTest {
    PageUnderTest(ConnectedApp& harness, Page which, qint64 bytes) : app(harness), page(which) {
        if (page == Page::Paste) {
            app.delegate.switchPaste(nullptr);
            app.delegate.pasteData()->setPlainText(QString(bytes, QLatin1Char('p')));
            return;
        }
        path = dir.filePath(page == Page::Image ? QStringLiteral("big.png")
                                                : QStringLiteral("big.bin"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.resize(bytes));
        file.close();
        app.choose(path, page == Page::Image);
        if (page == Page::File) app.delegate.switchFile(nullptr);
        app.delegate.privFile()->setChecked(true);
    }
    QPushButton* link() const {
        return page == Page::File    ? app.delegate.fileOutput()
               : page == Page::Image ? app.delegate.imageOutput()
                                     : app.delegate.pasteOutput();
    }
    QPushButton* upload() const {
        return page == Page::File    ? app.delegate.fileUploadButton()
               : page == Page::Image ? app.delegate.imageUploadButton()
                                     : app.delegate.pasteUploadButton();
    }
    QString name() const {
        return page == Page::File    ? QStringLiteral("file")
               : page == Page::Image ? QStringLiteral("image")
                                     : QStringLiteral("paste");
    }
    QWidget* panel() const {
        return link()->parentWidget()->findChild<QWidget*>(name() + "Progress");
    }
    QString progress() const {
        QLabel* text = panel() ? panel()->findChild<QLabel*>(name() + "ProgressText") : nullptr;
        return text && panel()->isVisible() ? text->text() : QString();
    }
    // What the user chose or typed, which an upload, cancelled or not, leaves alone.
    QString kept() const {
        if (page == Page::Paste) return app.delegate.pasteData()->toPlainText().left(10);
        return titleOf(app.delegate.savedpath()) +
               QString::number(app.delegate.privFile()->isChecked());
    }

    ConnectedApp& app;
    Page page;
    QTemporaryDir dir;
    QString path;
};

int percentIn(const QString& text) {
    static const QRegularExpression percent(QStringLiteral(": (\\d+)%, "));
    const QRegularExpressionMatch match = percent.match(text);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

Reply trickling(Reply reply = Reply::text("ferrodock.net/f/abcdefgh")) {
    reply.readPause = std::chrono::milliseconds(2);
    return reply;
}

}  // namespace

class ProgressTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { installSharedNotices(std::make_unique<Notices>()); }

    // A slow service: the figures move, then Cancel (or Esc) stops the upload at once, the
    // service sees the request end unfinished, and nothing chosen or typed is lost.
    void progressMovesThenCancel_data() {
        QTest::addColumn<Page>("page");
        QTest::addColumn<bool>("escape");
        QTest::newRow("file, Cancel") << Page::File << false;
        QTest::newRow("image, Esc") << Page::Image << true;
        QTest::newRow("paste, Cancel") << Page::Paste << false;
    }
    void progressMovesThenCancel() {
        QFETCH(Page, page);
        QFETCH(bool, escape);
        ConnectedApp app;
        app.service.setReply(trickling());
        PageUnderTest p(app, page, 24 << 20);
        const QString kept = p.kept();
        app.press(p.upload());
        const QString label = page == Page::Paste   ? QStringLiteral("25.2 MB of text")
                              : page == Page::Image ? QStringLiteral("big.png")
                                                    : QStringLiteral("big.bin");
        QTRY_VERIFY_WITH_TIMEOUT(percentIn(p.progress()) > 0, 20000);
        QVERIFY2(p.progress().startsWith("Uploading " + label + ": "), qPrintable(p.progress()));
        QVERIFY2(p.progress().contains(" MB of 25.2 MB"), qPrintable(p.progress()));
        const int first = percentIn(p.progress());
        QTRY_VERIFY_WITH_TIMEOUT(percentIn(p.progress()) > first, 20000);
        QVERIFY(!p.link()->isVisible());

        QApplication::setActiveWindow(app.interface.mainWindow.get());
        if (escape)
            QTest::keyClick(app.interface.mainWindow.get(), Qt::Key_Escape);
        else
            app.press(p.panel()->findChild<QPushButton*>(p.name() + "CancelButton"));
        QCOMPARE(titleOf(p.link()), QStringLiteral("Upload cancelled."));
        QVERIFY(p.link()->isVisible());
        QVERIFY(!p.panel()->isVisible());
        QCOMPARE(p.kept(), kept);
        QTRY_COMPARE_WITH_TIMEOUT(app.service.requestCount(), 1, 20000);
        QVERIFY(!app.lastRequest().complete);
        QVERIFY(app.lastRequest().bodyBytes < (24 << 20));
        QCOMPARE(static_cast<Notices&>(sharedNotices()).progress, std::nullopt);
    }

    // Once sent, the page waits for the answer; when it comes, the page looks as it always did.
    void answerAfterProgressLeavesThePageAsBefore_data() {
        QTest::addColumn<Page>("page");
        QTest::newRow("file") << Page::File;
        QTest::newRow("paste") << Page::Paste;
    }
    void answerAfterProgressLeavesThePageAsBefore() {
        QFETCH(Page, page);
        ConnectedApp app;
        Reply reply = Reply::text("ferrodock.net/f/abcdefgh");
        reply.delay = std::chrono::milliseconds(1500);
        app.service.setReply(reply);
        PageUnderTest p(app, page, 1 << 20);
        const QRect geometry = p.link()->geometry();
        app.press(p.upload());
        QTRY_COMPARE(p.progress(), QStringLiteral("Waiting for the service..."));
        QTRY_COMPARE_WITH_TIMEOUT(titleOf(p.link()), QStringLiteral("ferrodock.net/f/abcdefgh"),
                                  20000);
        QVERIFY(p.link()->isVisible());
        QVERIFY(!p.panel()->isVisible());
        QCOMPARE(p.link()->geometry(), geometry);
    }

    // Each cause of a failure is named on the page and in the login window.
    void failureNamesItsCause_data() {
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("expected");
        const QString ask = QStringLiteral(". Please try again.");
        QTest::newRow("unreachable") << "unreachable" << QString();
        QTest::newRow("dropped") << "dropped"
                                 << ": the connection was lost" + ask;
        QTest::newRow("silent") << "silent"
                                << ": the service sent no answer for 1 s" + ask;
        QTest::newRow("expired certificate") << "expired"
                                             << ": the service's certificate is not trusted" + ask;
        QTest::newRow("not UTF-8") << "binary"
                                   << ": the service's answer was not text" + ask;
        QTest::newRow("over the cap") << "huge"
                                      << ": the service's answer was too large" + ask;
        QTest::newRow("file shrank") << "shrank"
                                     << ": the file changed while it was being sent" + ask;
    }
    void failureNamesItsCause() {
        QFETCH(QString, cause);
        QFETCH(QString, expected);
        TestService::Options options;
        if (cause == "expired") options.certificate = TestService::Certificate::Expired;
        ConnectedApp app(options, std::chrono::seconds(1));
        // Reads the request, then closes without a word.
        std::optional<RawService> dropping;
        if (cause == "unreachable" || cause == "dropped") {
            HttpsTransport::Options other;
            other.origin = cause == "dropped"
                               ? dropping.emplace(QList<RawStep>{}, RawService::Options{}).origin()
                               : QStringLiteral("https://127.0.0.1:1");
            other.extraCaPem = TestService::caPem();
            installSharedTransport(std::make_unique<HttpsTransport>(other));
        }
        Reply reply = Reply::text("\xff\xfe");
        if (cause == "silent") reply = replyOf(Reply::Kind::Silent);
        if (cause == "huge") reply = replyOf(Reply::Kind::Huge), reply.hugeBytes = 2 << 20;
        if (cause == "shrank") reply.readPause = std::chrono::milliseconds(2);
        app.service.setReply(reply);

        PageUnderTest p(app, Page::File, 64 << 20);
        app.press(p.upload());
        if (cause == "shrank") {
            QTRY_VERIFY(percentIn(p.progress()) >= 0);  // the file is being sent
            QVERIFY(QFile::resize(p.path, 1000));
        }
        // Only the host name of the built-in origin varies.
        const QString shown =
            QStringLiteral("Upload failed") + (cause == "unreachable" ? ": " : "");
        QTRY_VERIFY_WITH_TIMEOUT(titleOf(p.link()).startsWith(shown), 20000);
        if (cause == "unreachable")
            QVERIFY2(titleOf(p.link()).contains(QRegularExpression(
                         "^Upload failed: could not reach [^ ]+\\. Please try again\\.$")),
                     qPrintable(titleOf(p.link())));
        else
            QCOMPARE(titleOf(p.link()), "Upload failed" + expected);
        if (cause == "shrank") return;

        app.delegate.loginPushed(nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(!app.delegate.loginResponse()->text().isEmpty(), 20000);
        if (cause != "unreachable")
            QCOMPARE(app.delegate.loginResponse()->text(), "Login failed" + expected);
    }

    // The desktop hears of an upload only when the window is not in front.
    void notifiesOnlyWhenInactive_data() {
        QTest::addColumn<bool>("active");
        QTest::newRow("active") << true;
        QTest::newRow("behind another window") << false;
    }
    void notifiesOnlyWhenInactive() {
        QFETCH(bool, active);
        ConnectedApp app;
        app.service.setReply(Reply::text("ferrodock.net/p/abcdefghi"));
        QWidget other;
        if (!active) {
            other.show();
            QApplication::setActiveWindow(&other);
        } else {
            QApplication::setActiveWindow(app.interface.mainWindow.get());
        }
        QTRY_COMPARE(app.interface.mainWindow->isActiveWindow(), active);
        PageUnderTest p(app, Page::Paste, 10);
        app.press(p.upload());
        QTRY_COMPARE(titleOf(p.link()), QStringLiteral("ferrodock.net/p/abcdefghi"));
        const auto& notices = static_cast<Notices&>(sharedNotices());
        QCOMPARE(notices.shown,
                 active ? QStringList() : QStringList{"Paste uploaded: ferrodock.net/p/abcdefghi"});
        QCOMPARE(notices.progress, std::nullopt);
    }

    // Closing the window over a running upload asks first; keeping it keeps the upload.
    void closingAsksFirst_data() {
        QTest::addColumn<bool>("cancel");
        QTest::newRow("keep uploading") << false;
        QTest::newRow("cancel uploads") << true;
    }
    void closingAsksFirst() {
        QFETCH(bool, cancel);
        ConnectedApp app;
        app.service.setReply(replyOf(Reply::Kind::Silent));
        PageUnderTest p(app, Page::Paste, 10);
        app.press(p.upload());
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&answer, cancel] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            answer.stop();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == (cancel ? "Cancel Uploads" : "Keep Uploading")) b->click();
        });
        answer.start(10);
        app.interface.mainWindow->close();
        QVERIFY(!answer.isActive());
        QCOMPARE(app.interface.mainWindow->isVisible(), !cancel);
        QCOMPARE(titleOf(p.link()) == QStringLiteral("Upload cancelled."), cancel);
    }

    void progressFigures_data() {
        QTest::addColumn<qint64>("sent");
        QTest::addColumn<qint64>("total");
        QTest::addColumn<double>("rate");
        QTest::addColumn<QString>("text");
        QTest::newRow("photo") << 12'300'000LL << 33'100'000LL << 4'200'000.0
                               << "Uploading a: 37%, 12.3 MB of 33.1 MB, 4.2 MB/s, about 5 s left";
        QTest::newRow("no speed yet")
            << 0LL << 999LL << 0.0 << "Uploading a: 0%, 0 bytes of 999 bytes";
        QTest::newRow("long") << 1'000'000'000LL << 2'000'000'000LL << 1'000'000.0
                              << "Uploading a: 50%, 1.0 GB of 2.0 GB, 1.0 MB/s, about 17 min left";
        QTest::newRow("rounding up")
            << 0LL << 999'960LL << 100.0
            << "Uploading a: 0%, 0 bytes of 1.0 MB, 100 bytes/s, about 2 h 47 min left";
    }
    void progressFigures() {
        QFETCH(qint64, sent);
        QFETCH(qint64, total);
        QFETCH(double, rate);
        QFETCH(QString, text);
        QCOMPARE(progressText(QStringLiteral("a"), sent, total, rate), text);
    }
};

QTEST_MAIN(ProgressTest)
#include "tst_progress.moc"
