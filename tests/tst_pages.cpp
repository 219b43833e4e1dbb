// What the login window and the pages send, show and reset, and how uploads show while they
// run, against a transport the test completes by hand.
#include "app/Theme.h"
#include "platform/DesktopNotices.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"
#include "support/Files.h"
#include "support/OutputCapture.h"

#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789abcdef";
const QByteArray kRejection = "3b7f0c52a9d14e68b2c5f7091d4a6e83";
const QString kFailed = "Upload failed: could not reach ferrodock.net. Please try again.";
const QString kNotText = "Upload failed: the service's answer was not text. Please try again.";

struct Notices final : DesktopNotices {
    void notify(const QString& summary, const QString& body) override {
        shown.append(summary + ": " + body);
    }
    void showProgress(std::optional<double> fraction) override { progress = fraction; }
    QStringList shown;
    std::optional<double> progress = 0.5;
};

// Ends the last request with `answer`, or fails it when that is the failure text.
void settle(FakeApp& app, const QByteArray& answer) {
    if (!answer.isValidUtf8() || answer == kFailed.toUtf8())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed: "));
    answer == kFailed.toUtf8() ? app.net->fail() : app.net->answer(answer);
}

// The window with a cat picture and notes chosen, text typed, and the desktop's notices kept.
struct App : FakeApp {
    explicit App(const QByteArray& session = {}) : FakeApp(session) {
        installSharedNotices(std::unique_ptr<Notices>(notices));
        delegate.pasteData()->setPlainText("typed");
        choose(makeImage(dir.path(), "cat.png"), true);
        choose(makeFile(dir.path(), "notes.txt", "notes"), false);
    }
    void logIn(const QString& user, const QString& password) {
        delegate.login()->trigger();
        delegate.username()->setText(user);
        delegate.password()->setText(password);
        QTest::keyClick(delegate.password(), Qt::Key_Return);  // presses the login button
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
    QString kept() const {
        return titleOf(delegate.savedpath()) + delegate.pasteData()->toPlainText();
    }
    QTemporaryDir dir;
    Notices* notices = new Notices;
};

// One data row of columns whose types the values give.
template <typename... Values>
void row(const char* name, const Values&... values) {
    (QTest::newRow(name) << ... << values);
}

}  // namespace

class PagesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QGuiApplication::clipboard()->setText("before"); }

    // Every answer but a key changes only the status line; a key signs in.
    void loginAnswers_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("key");  // empty: still the old login
        row("key", kKey, QString("Logged in as ann"), kKey);
        row("byte-order mark", "\xEF\xBB\xBF" + kKey, QString("Logged in as ann"), kKey);
        row("rejection", kRejection, QString("Login Incorrect"), QByteArray());
        row("not utf-8", QByteArray("\xff"), QString(kNotText).replace("Upload", "Login"),
            QByteArray());
        // 32 units the session file could not hold: a message, not a key.
        for (const char* odd : {",", "\n", "\r", "\t", "\x7f", "\xE2\x80\xA8"}) {
            const QByteArray answer =
                kKey.left(10) + odd + kKey.left(22 - QString::fromUtf8(odd).size());
            QTest::addRow("32 with %s", QByteArray(odd).toPercentEncoding().constData())
                << answer << QString::fromUtf8(answer) << QByteArray();
        }
    }
    void loginAnswers() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        QFETCH(QByteArray, key);
        App app("old," + kRejection);
        app.logIn("ann", "secret");
        // The name read at the press counts, not what the field says when the answer comes.
        app.delegate.username()->setText("changed meanwhile");
        settle(app, answer);
        const QString user = key.isEmpty() ? "old" : "ann";
        const QByteArray held = key.isEmpty() ? kRejection : key;
        QFile file(app.home.sessionFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        // The password is not kept past a login; a refused one stays to be corrected.
        QCOMPARE(QStringList(
                     {app.delegate.loginResponse()->text(), titleOf(app.delegate.savedusername()),
                      titleOf(app.delegate.savedapikey()), app.delegate.window()->windowTitle(),
                      app.delegate.password()->text(), file.readAll()}),
                 QStringList({shown, user, held, "ferrodock - " + user,
                              key.isEmpty() ? "secret" : "", user + "," + held}));
        QCOMPARE(app.delegate.loginResponse()->textFormat(), Qt::PlainText);
        // A signed-in window closes itself a moment later; the others stay.
        QVERIFY(app.delegate.loginWindow()->isVisible());
        if (!key.isEmpty()) QTRY_VERIFY(!app.delegate.loginWindow()->isVisible());
    }

    // Opened again, the login window starts afresh: a name, Tab and a password go out as
    // meant. Logging out forgets the login everywhere, with or without a Documents folder.
    void reopenLoginThenLogOut() {
        for (const bool documents : {true, false}) {
            App app;
            app.logIn("ann", "secret");
            app.delegate.password()->setFocus();  // where the last keystroke went
            app.delegate.username()->deselect();
            app.net->answer(kKey);
            app.delegate.loginWindow()->close();
            app.delegate.login()->trigger();
            QVERIFY(app.delegate.loginResponse()->text().isEmpty());
            for (const QString keys : {"bob", "\t", "x", "\r"})
                QTest::keyClicks(app.delegate.loginWindow()->focusWidget(), keys);
            QCOMPARE(app.net->requests.last().form(), QStringList({"username=bob", "password=x"}));
            if (!documents) QVERIFY(QDir(app.home.documents()).removeRecursively());
            app.delegate.logout()->trigger();
            QCOMPARE(app.delegate.window()->windowTitle() + titleOf(app.delegate.savedapikey()) +
                         titleOf(app.delegate.savedusername()),
                     "ferrodock");
            QVERIFY(!QFile::exists(app.home.sessionFile()));
            QCOMPARE(QFileInfo::exists(app.home.documents()), documents);  // never created
        }
    }

    // The paste goes out as typed, line breaks as "\n" whichever key made them, with the flags
    // and the pop-up's identifier: one for each item, plain text for a title not in it.
    void pasteSends() {
        App app;
        toolkit::setTitle(app.delegate.savedapikey(), "k&y=+%");
        app.delegate.privPaste()->setChecked(true);
        QPlainTextEdit* view = app.delegate.pasteData();
        view->moveCursor(QTextCursor::End);
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, "a&b=c\u00a0");
        QTest::keyClick(view, Qt::Key_Return);
        QComboBox* box = app.delegate.language();
        box->addItem("python");
        QSet<QString> identifiers;
        for (int i = -1; i < box->count(); ++i) {  // -1: nothing selected
            box->setCurrentIndex(i);
            app.press(app.upload("paste"));
            identifiers.insert(app.net->requests.last().field("language"));
        }
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path + sent.filePath, QStringLiteral("/api/upload/paste"));
        QCOMPARE(sent.form(),
                 QStringList({"pastedata=typed\na&b=c\u00a0\n", "language=no-highlight", "priv=1",
                              "anon=0", "apikey=k&y=+%"}));
        QCOMPARE(app.net->requests[box->findText("Objective C") + 1].field("language"),
                 QStringLiteral("objectivec"));
        QCOMPARE(app.net->requests.last().field("language"), QStringLiteral("no-highlight"));
        QCOMPARE(identifiers.size(), box->count() - 1);
        QVERIFY(!identifiers.contains(QString()));
    }

    // What the image and file pages send, and what they show of the answer: as written, never
    // as markup or a mnemonic. A failed image upload also says "Error" on standard output. A
    // page sends only what it shows: nothing before its own choice.
    void fileUploads_data() {
        QTest::addColumn<QString>("flags");  // priv, anon[, nsfw] ticked; three: the image page
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("answer");
        const QString png = "image/png";
        row("image", QString("100"), QString("c.png"), png,
            QByteArray("ferrodock.net/i/abcdefghi"));
        row("image, fails", QString("011"), QString("c.JPG"), QString("image/jpeg"),
            kFailed.toUtf8());
        row("image, not utf-8", QString("001"), QString("c.png"), png, QByteArray("\xff"));
        row("file, markup answer", QString("01"), QString("a.pdf"), QString("application/pdf"),
            QByteArray("<b>x</b> &amp; Tom & Jerry &&"));
        row("file, fails", QString("10"), QString("Tom & Jerry – été.bin"),
            QString("application/octet-stream"), kFailed.toUtf8());
    }
    void fileUploads() {
        QFETCH(QString, flags);
        QFETCH(QString, fileName);
        QFETCH(QString, mimeType);
        QFETCH(QByteArray, answer);
        const QString shown = answer.isValidUtf8() ? QString(answer) : kNotText;
        const bool image = flags.size() == 3;
        const QString page = image ? "image" : "file", reminder = image ? "an image." : "a file.";
        FakeApp app;
        QTemporaryDir dir;
        app.choose(makeImage(dir.path(), "other.png"), !image);
        app.press(app.upload(page));
        QCOMPARE(titleOf(app.link(page)), "You forgot to choose " + reminder);
        const QString path = makeImage(dir.path(), fileName);
        app.choose(path, image);
        QCOMPARE(titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2()),
                 fileName);  // shown literally, '&' included
        QStringList expected;
        for (int i = 0; i < flags.size(); ++i) {
            const QString name = QStringList{"priv", "anon", "nsfw"}[i];
            app.widget<QCheckBox>(qPrintable(name + (image ? "Image" : "File")))
                ->setChecked(flags[i] == '1');
            expected << name + "=" + flags[i];
        }
        toolkit::setTitle(app.delegate.savedapikey(), "k");
        app.press(app.upload(page));
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path, "/api/upload/" + page);
        QCOMPARE(sent.form(), expected << "apikey=k");
        QCOMPARE(sent.filePath + " " + sent.mimeType, path + " " + mimeType);
        OutputCapture out(stdout);
        settle(app, answer);
        QCOMPARE(out.text(), image && shown.startsWith("Upload failed") ? "Error\n" : "");
        QCOMPARE(titleOf(app.link(page)), shown);
        QVERIFY(app.link(page)->shortcut().isEmpty());
    }

    // Only an address of the page's length is copied, with "https://" before it; the copy
    // resets that page alone, and a chooser's reset empties the choice of both pages.
    void whatIsCopied_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("copied");
        const QString a24 = "ferrodock.net/f/abcdefgh", a25 = "ferrodock.net/i/abcdefghi";
        for (const QString page : {"file", "image", "paste"}) {
            row(qPrintable(page + " 24"), page, a24, page == "file");
            row(qPrintable(page + " 25"), page, a25, page != "file");
            row(qPrintable(page + " failure text"), page, kFailed, false);
        }
        // Titles count in characters, not bytes or code units.
        row("image é", QString("image"), QString("ferrodock.net/i/abcdéfghi"), true);
        row("file emoji", QString("file"), QString("ferrodock.net/f/abcdefg\U0001F600"), true);
        row("paste accent", QString("paste"), QString("ferrodock.net/p/abcdefghe\u0301"), true);
        // A message of the right length is no address: whitespace and controls give it away.
        row("paste message", QString("paste"), QString("Error: paste is too long."), false);
        row("no-break space", QString("image"), QString("ferrodock.net/i/abcd\u00a0fghi"), false);
        row("tab", QString("file"), QString("ferrodock.net/f/abc\tefgh"), false);
        row("line separator", QString("file"), QString("ferrodock.net/f/abc\u2028efgh"), false);
        row("control", QString("paste"), QString("ferrodock.net/p/abcd\x7f\x66ghi"), false);
    }
    void whatIsCopied() {
        QFETCH(QString, page);
        QFETCH(QString, title);
        QFETCH(bool, copied);
        App app;
        QTRY_COMPARE(app.delegate.bgImage()->pixmap().size(), QSize(64, 48));
        theme::showTitle(app.link(page), title);
        app.press(app.link(page));
        QCOMPARE(QGuiApplication::clipboard()->text(), copied ? "https://" + title : "before");
        QCOMPARE(titleOf(app.link(page)), copied ? "Copied to clipboard." : title);
        const bool reset = copied && page != "paste";
        QCOMPARE(QStringList(
                     {titleOf(app.delegate.selectButton()), titleOf(app.delegate.selectButton2())}),
                 QStringList({reset && page == "image" ? "Choose an image." : "cat.png",
                              reset && page == "file" ? "Choose a file." : "notes.txt"}));
        QCOMPARE(app.delegate.bgImage()->pixmap().toImage() ==
                     toolkit::imageNamed("ImageIcon").toImage(),
                 reset && page == "image");
        QCOMPARE(app.delegate.pasteData()->toPlainText().isEmpty(), copied && page == "paste");
        app.press(app.upload("file"));
        app.press(app.upload("image"));
        QCOMPARE(app.net->requests.size(), reset ? 0 : 2);
    }

    // The figures take the link's place after a moment, then the answer or a cancel (button
    // or Esc) puts the link back; a cancel stops the transfer and loses nothing.
    void progressThenEnd_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("end");  // "answer", "cancel" or "escape"
        QTest::addColumn<QString>("label");
        row("file, Cancel", QString("file"), QString("cancel"), QString("notes.txt"));
        row("image, Esc", QString("image"), QString("escape"), QString("cat.png"));
        row("paste, Cancel", QString("paste"), QString("cancel"), QString("5 bytes of text"));
        row("paste, answer", QString("paste"), QString("answer"), QString("5 bytes of text"));
    }
    void progressThenEnd() {
        QFETCH(QString, page);
        QFETCH(QString, end);
        QFETCH(QString, label);
        App app;
        const QString kept = app.kept();
        app.send(page);
        QCOMPARE(app.delegate.pasteView()->isVisible(), page == "paste");
        const FakeRequest request = app.net->requests.value(0);
        request.progress({500, 2000, false});
        QTRY_VERIFY(app.panel(page) && app.panel(page)->isVisible());
        QVERIFY(!app.link(page)->isVisible());
        const QLabel* text = app.panel(page)->findChild<QLabel*>(page + "ProgressText");
        QVERIFY2(text->text().startsWith("Uploading " + label + ": 25%, 500 bytes of 2.0 kB"),
                 qPrintable(text->text()));
        const QProgressBar* bar = app.panel(page)->findChild<QProgressBar*>();
        QCOMPARE(bar->value() * 4, bar->maximum());
        request.progress({2000, 2000, true});
        QCOMPARE(text->text(), QStringLiteral("Waiting for the service..."));
        if (end == "answer") app.net->answer("ferrodock.net/p/abcdefghi");
        if (end == "cancel")
            app.press(app.panel(page)->findChild<QPushButton*>(page + "CancelButton"));
        if (end == "escape") QApplication::setActiveWindow(app.interface.mainWindow.get());
        if (end == "escape") QTest::keyClick(app.interface.mainWindow.get(), Qt::Key_Escape);
        QVERIFY(app.link(page)->isVisible() && !app.panel(page)->isVisible());
        QCOMPARE(request.cancelled(), end != "answer");
        if (end != "answer")  // the transport's late word changes nothing
            app.net->finish({false, {}, "aborted", TransportError::Cancelled});
        QCOMPARE(titleOf(app.link(page)),
                 end == "answer" ? "ferrodock.net/p/abcdefghi" : "Upload cancelled.");
        QCOMPARE(app.kept(), kept);
        QCOMPARE(app.notices->progress, std::nullopt);
    }

    // Each cause of a failure is named on the page and in the login window; the desktop hears
    // of it when the window is not in front.
    void failureNamesItsCause_data() {
        QTest::addColumn<TransportError>("kind");
        QTest::addColumn<int>("limitMs");
        QTest::addColumn<QString>("cause");
        using E = TransportError;
        row("unreachable", E::Unreachable, 0, QString(": could not reach ferrodock.net"));
        row("lost", E::ConnectionLost, 0, QString(": the connection was lost"));
        row("silent", E::NoAnswer, 1001, QString(": the service sent no answer for 2 s"));
        row("119 s", E::NoAnswer, 119000, QString(": the service sent no answer for 119 s"));
        row("10 min", E::NoAnswer, 629000, QString(": the service sent no answer for 10 min"));
        row("no deadline", E::NoAnswer, 0, QString(": the service sent no answer"));
        row("untrusted", E::Untrusted, 0, QString(": the service's certificate is not trusted"));
        row("file changed", E::FileChanged, 0,
            QString(": the file changed while it was being sent"));
        row("unreadable", E::FileUnreadable, 0, QString(": the file could not be read"));
        row("not text", E::NotText, 0, QString(": the service's answer was not text"));
        row("too large", E::TooLarge, 0, QString(": the service's answer was too large"));
        row("other", E::Other, 0, QString());
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
        QCOMPARE(app.kept(), app.dir.filePath("notes.txt") + "typed");
    }

    // Closing the window over running uploads asks first; keeping it keeps the uploads.
    void closingAsksFirst() {
        for (const int uploads : {0, 1, 2}) {
            App app;
            for (int i = 0; i < uploads; ++i) app.send("paste");
            QString asked;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                for (QAbstractButton* b : box ? box->buttons() : QList<QAbstractButton*>{})
                    if (b->text() == (uploads == 1 ? "Keep Uploading" : "Cancel Uploads"))
                        asked = box->text(), b->click();
            });
            app.interface.mainWindow->close();
            QCOMPARE(asked, QStringList({"", "An upload is still running.",
                                         "2 uploads are still running."})[uploads]);
            QCOMPARE(app.interface.mainWindow->isVisible(), uploads == 1);
            QCOMPARE(titleOf(app.link("paste")) == "Upload cancelled.", uploads == 2);
            for (const FakeRequest& request : app.net->requests)
                QCOMPARE(request.cancelled(), uploads == 2);
        }
    }
};

QTEST_MAIN(PagesTest)
#include "tst_pages.moc"