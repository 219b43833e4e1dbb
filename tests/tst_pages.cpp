// What the login window and the pages send, show and reset, against a transport the test
// completes by hand.
#include "app/Theme.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"
#include "support/Files.h"
#include "support/OutputCapture.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
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

void logIn(FakeApp& app, const QString& user, const QString& password) {
    app.delegate.login()->trigger();
    app.delegate.username()->setText(user);
    app.delegate.password()->setText(password);
    QTest::keyClick(app.delegate.password(), Qt::Key_Return);  // presses the login button
}

// Ends the last request with `answer`, or fails it when that is the failure text.
void settle(FakeApp& app, const QByteArray& answer) {
    if (!answer.isValidUtf8() || answer == kFailed.toUtf8())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed: "));
    answer == kFailed.toUtf8() ? app.net->fail() : app.net->answer(answer);
}

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
        row("key in capitals", kKey.toUpper(), QString("Logged in as ann"), kKey.toUpper());
        row("byte-order mark", "\xEF\xBB\xBF" + kKey, QString("Logged in as ann"), kKey);
        row("rejection", kRejection, QString("Login Incorrect"), QByteArray());
        row("31 units", QByteArray(31, 'k'), QString(31, 'k'), QByteArray());
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
        FakeApp app("old," + kRejection);
        logIn(app, "ann", "secret");
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

    // Opened again, the window starts afresh: a name, Tab and a password go out as meant.
    void reopenedWindowStartsAtTheName() {
        FakeApp app;
        logIn(app, "ann", "secret");
        app.delegate.password()->setFocus();  // where the last keystroke went
        app.delegate.username()->deselect();
        app.net->answer(kKey);
        app.delegate.loginWindow()->close();
        app.delegate.login()->trigger();
        QVERIFY(app.delegate.loginResponse()->text().isEmpty());
        for (const QString keys : {"bob", "\t", "x", "\r"})
            QTest::keyClicks(app.delegate.loginWindow()->focusWidget(), keys);
        QCOMPARE(app.net->requests.last().form(), QStringList({"username=bob", "password=x"}));
    }

    // Logging out forgets the login everywhere, with or without a Documents folder.
    void logout() {
        for (const bool documents : {true, false}) {
            FakeApp app("ann," + kKey);
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
        FakeApp app;
        toolkit::setTitle(app.delegate.savedapikey(), "k&y=+%");
        app.delegate.privPaste()->setChecked(true);
        QPlainTextEdit* view = app.delegate.pasteData();
        QTest::keyClicks(view, "a&b=c");
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, "\u00a0");
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
        QCOMPARE(sent.form(), QStringList({"pastedata=a&b=c\n\u00a0\n", "language=no-highlight",
                                           "priv=1", "anon=0", "apikey=k&y=+%"}));
        QCOMPARE(app.net->requests[box->findText("Objective C") + 1].field("language"),
                 QStringLiteral("objectivec"));
        QCOMPARE(app.net->requests.last().field("language"), QStringLiteral("no-highlight"));
        QCOMPARE(identifiers.size(), box->count() - 1);
        QVERIFY(!identifiers.contains(QString()));
    }

    // Whatever the service says is shown as written, never as markup or a mnemonic; a failure
    // shows its text, and the paste stays.
    void pasteAnswers_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("shown");
        for (const char* same : {"ferrodock.net/p/abcdefghi", "<b>x</b> &amp; Tom & Jerry &&"})
            row(same, QByteArray(same), QString(same));
        row("520k marks, cut", "a" + QByteArray("\xCC\x81").repeated(520000), QString("..."));
        row("not utf-8", QByteArray("\xc3\x28"), kNotText);
        row("fails", kFailed.toUtf8(), kFailed);
    }
    void pasteAnswers() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        FakeApp app;
        app.delegate.pasteData()->setPlainText("keep me");
        app.press(app.upload("paste"));
        settle(app, answer);
        QCOMPARE(titleOf(app.link("paste")), shown);
        QCOMPARE(toolkit::titleColor(app.link("paste")), QColor(Qt::white));
        QVERIFY(app.link("paste")->shortcut().isEmpty());
        QCOMPARE(app.delegate.pasteData()->toPlainText(), QStringLiteral("keep me"));
    }

    // Answers land in the order they come, not the order of the presses.
    void overlappingAnswers() {
        FakeApp app;
        app.press(app.upload("paste"));
        app.press(app.upload("paste"));
        app.net->answer("second", 1);
        QCOMPARE(titleOf(app.link("paste")), QStringLiteral("second"));
        app.net->answer("first", 0);
        QCOMPARE(titleOf(app.link("paste")), QStringLiteral("first"));
    }

    // What the image and file pages send, and what they show of the answer. A failed image
    // upload also says "Error" on standard output. The choice stays for another go.
    void fileUploads_data() {
        QTest::addColumn<QString>("flags");  // priv, anon[, nsfw] ticked; three: the image page
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("answer");
        const QString png = "image/png";
        row("image", QString("100"), QString("cat.png"), png,
            QByteArray("ferrodock.net/i/abcdefghi"));
        row("image, fails", QString("011"), QString("c.JPG"), QString("image/jpeg"),
            kFailed.toUtf8());
        row("image, not utf-8", QString("001"), QString("c.png"), png, QByteArray("\xff"));
        row("file", QString("01"), QString("a.pdf"), QString("application/pdf"),
            QByteArray("ferrodock.net/f/abcdefgh"));
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
        const QString page = image ? "Image" : "File";
        FakeApp app;
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), fileName);
        app.choose(path, image);
        QCOMPARE(titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2()),
                 fileName);  // shown literally, '&' included
        QStringList expected;
        for (int i = 0; i < flags.size(); ++i) {
            const QString name = QStringList{"priv", "anon", "nsfw"}[i];
            app.widget<QCheckBox>(qPrintable(name + page))->setChecked(flags[i] == '1');
            expected << name + "=" + flags[i];
        }
        toolkit::setTitle(app.delegate.savedapikey(), "k");
        app.press(app.upload(page.toLower()));
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path, "/api/upload/" + page.toLower());
        QCOMPARE(sent.form(), expected << "apikey=k");
        QCOMPARE(sent.filePath + " " + sent.mimeType, path + " " + mimeType);
        OutputCapture out(stdout);
        settle(app, answer);
        QCOMPARE(out.text(), image && shown.startsWith("Upload failed") ? "Error\n" : "");
        QCOMPARE(titleOf(app.link(page.toLower())), shown);
        app.press(app.upload(page.toLower()));
        QCOMPARE(app.net->requests.last().filePath, path);
    }

    // A page uploads only the file it shows; a link's reset empties the choice of both pages.
    void pageSendsWhatItShows() {
        FakeApp app;
        QTemporaryDir dir;
        const auto sends = [&app](const QString& page, const QString& file) {
            const qsizetype before = app.net->requests.size();
            app.press(app.upload(page));
            QCOMPARE(QFileInfo(app.net->requests.value(before).filePath).fileName(), file);
            if (file.isEmpty())
                QCOMPARE(titleOf(app.link(page)), page == "file"
                                                      ? "You forgot to choose a file."
                                                      : "You forgot to choose an image.");
        };
        sends("image", "");
        sends("file", "");
        app.choose(makeImage(dir.path(), "cat.png"), true);
        sends("file", "");
        app.choose(makeFile(dir.path(), "notes.txt"), false);
        sends("image", "cat.png");
        sends("file", "notes.txt");
        app.net->answer("ferrodock.net/i/abcdefghi", 0);
        app.press(app.link("image"));
        sends("file", "");
    }

    // Only an address of the page's length is copied, with "https://" before it; the copy
    // resets that page alone (a paste reset is one edit Ctrl+Z takes back).
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
        row("copied text", QString("paste"), QString("Copied to clipboard."), false);
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
        FakeApp app;
        QTemporaryDir dir;
        app.delegate.pasteData()->setPlainText("typed");
        app.choose(makeImage(dir.path(), "cat.png"), true);
        app.choose(makeFile(dir.path(), "notes.txt"), false);
        QTRY_COMPARE(app.delegate.bgImage()->pixmap().size(), QSize(64, 48));
        theme::showTitle(app.link(page), title);
        app.press(app.link(page));
        QCOMPARE(QGuiApplication::clipboard()->text(), copied ? "https://" + title : "before");
        QCOMPARE(titleOf(app.link(page)), copied ? "Copied to clipboard." : title);
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data->hasText() && !data->hasHtml() && !data->hasUrls() && !data->hasImage());
        const bool reset = copied && page != "paste";
        QCOMPARE(QStringList({titleOf(app.delegate.savedpath()).right(9),
                              titleOf(app.delegate.selectButton()),
                              titleOf(app.delegate.selectButton2())}),
                 QStringList({reset ? "" : "notes.txt",
                              reset && page == "image" ? "Choose an image." : "cat.png",
                              reset && page == "file" ? "Choose a file." : "notes.txt"}));
        QCOMPARE(app.delegate.bgImage()->pixmap().toImage() ==
                     toolkit::imageNamed("ImageIcon").toImage(),
                 reset && page == "image");
        QCOMPARE(app.delegate.pasteData()->toPlainText().isEmpty(), copied && page == "paste");
        QTest::keyClick(app.delegate.pasteData(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(app.delegate.pasteData()->toPlainText(), QStringLiteral("typed"));
    }
};

QTEST_MAIN(PagesTest)
#include "tst_pages.moc"