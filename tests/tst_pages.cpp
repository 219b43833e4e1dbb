// What the login window and the pages send, show and reset, against a transport the test
// completes by hand.
#include "app/Theme.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"
#include "support/FakeTransport.h"
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

// The real window with a fake transport; `session` is what the session file holds at start.
struct App : AppHarness {
    explicit App(const QByteArray& session = {}) {
        if (!session.isEmpty()) home.writeSession(session);
        start();
    }
    void logIn(const QString& user, const QString& password) {
        delegate.login()->trigger();
        delegate.username()->setText(user);
        delegate.password()->setText(password);
        QTest::keyClick(delegate.password(), Qt::Key_Return);  // presses the login button
    }
    QPushButton* link(const QString& page) const {
        return page == "file"    ? delegate.fileOutput()
               : page == "image" ? delegate.imageOutput()
                                 : delegate.pasteOutput();
    }
    QPushButton* upload(bool image) const {
        return image ? delegate.imageUploadButton() : delegate.fileUploadButton();
    }
    // Ends the last request: "fail", or the answer's bytes.
    void settle(const QByteArray& how) { how == "fail" ? net->fail() : net->answer(how); }
    InstalledFake net;  // installed before start, removed before the window goes
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
        QTest::addColumn<QByteArray>("answer");  // "fail": the transport fails
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QByteArray>("key");  // empty: still the old login
        const QString in = "Logged in as ann", failed = "Login failed: %1. Please try again.";
        row("key", kKey, in, kKey);
        row("key in capitals", kKey.toUpper(), in, kKey.toUpper());
        row("byte-order mark", "\xEF\xBB\xBF" + kKey, in, kKey);
        row("rejection", kRejection, QString("Login Incorrect"), QByteArray());
        row("31", QByteArray(31, 'k'), QString(31, 'k'), QByteArray());
        row("markup", QByteArray("<b>no</b> &"), QString("<b>no</b> &"), QByteArray());
        row("not utf-8", QByteArray("\xff"), failed.arg("the service's answer was not text"),
            QByteArray());
        row("fails", QByteArray("fail"), failed.arg("could not reach ferrodock.net"), QByteArray());
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
        if (shown.startsWith("Login failed"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("login"));
        app.settle(answer);
        QCOMPARE(app.delegate.loginResponse()->text(), shown);
        QCOMPARE(app.delegate.loginResponse()->textFormat(), Qt::PlainText);
        const QString user = key.isEmpty() ? "old" : "ann";
        const QByteArray held = key.isEmpty() ? kRejection : key;
        QCOMPARE(titleOf(app.delegate.savedusername()) + "," + titleOf(app.delegate.savedapikey()),
                 user + "," + held);
        QCOMPARE(app.delegate.window()->windowTitle(), "ferrodock - " + user);
        QFile file(app.home.sessionFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), user.toUtf8() + ',' + held);
        // The password is not kept past a login; a refused one stays to be corrected.
        QCOMPARE(app.delegate.password()->text(), key.isEmpty() ? "secret" : "");
        // A signed-in window closes itself a moment later; the others stay.
        QVERIFY(app.delegate.loginWindow()->isVisible());
        if (!key.isEmpty()) QTRY_VERIFY(!app.delegate.loginWindow()->isVisible());
    }

    // Opened again, the window starts afresh: a name, Tab and a password go out as meant.
    void reopenedWindowStartsAtTheName() {
        App app;
        app.logIn("ann", "secret");
        app.delegate.password()->setFocus();  // where the last keystroke went
        app.delegate.username()->deselect();
        app.settle(kKey);
        app.delegate.loginWindow()->close();
        app.delegate.login()->trigger();
        QVERIFY(app.delegate.loginResponse()->text().isEmpty());
        QWidget* dialog = app.delegate.loginWindow();
        QTest::keyClicks(dialog->focusWidget(), "bob");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(dialog->focusWidget(), "x");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        QCOMPARE(app.net->requests.last().form(), QStringList({"username=bob", "password=x"}));
    }

    // Logging out forgets the login everywhere, with or without a Documents folder.
    void logout() {
        for (const bool documents : {true, false}) {
            App app("ann," + kKey);
            if (!documents) QVERIFY(QDir(app.home.documents()).removeRecursively());
            app.delegate.logout()->trigger();
            QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock"));
            QCOMPARE(titleOf(app.delegate.savedapikey()) + titleOf(app.delegate.savedusername()),
                     "");
            QVERIFY(!QFile::exists(app.home.sessionFile()));
            QCOMPARE(QFileInfo::exists(app.home.documents()), documents);  // never created
        }
    }

    // Neither the password nor the key shows up in anything the program writes.
    void secretsStayOutOfOutput() {
        const QString password = "pa55-w0rd&secret";
        OutputCapture out(stdout);
        OutputCapture err(stderr);
        {
            App app;
            app.logIn("ann", password);
            app.net->answer(kKey);
            app.logIn("ann", password);
            app.press(app.delegate.pasteUploadButton());
            app.press(app.delegate.imageUploadButton());
            app.net->fail(1);
            app.net->answer("\xff", 2);
        }
        const QByteArray written = out.text() + err.text();
        QVERIFY(!written.contains(password.toUtf8()));
        QVERIFY(!written.contains(QUrl::toPercentEncoding(password)));
        QVERIFY(!written.contains(kKey));
    }

    // The paste goes out as typed, line breaks as "\n" whichever key made them, with the
    // pop-up's identifier and the flags.
    void pasteSends_data() {
        QTest::addColumn<QString>("language");  // the pop-up's title; "": nothing selected
        QTest::addColumn<QString>("flags");     // what priv and anon are ticked as
        QTest::addColumn<QStringList>("form");  // from "language=" on
        row("python, private", QString("Python"), QString("10"), QStringList{"python", "1", "0"});
        row("C#, both flags", QString("C#"), QString("11"), QStringList{"cs", "1", "1"});
        row("nothing selected", QString(), QString("01"), QStringList{"no-highlight", "0", "1"});
    }
    void pasteSends() {
        QFETCH(QString, language);
        QFETCH(QString, flags);
        QFETCH(QStringList, form);
        App app;
        toolkit::setTitle(app.delegate.savedapikey(), "k&y=+%");
        app.delegate.language()->setCurrentIndex(app.delegate.language()->findText(language));
        app.delegate.privPaste()->setChecked(flags[0] == '1');
        app.delegate.anonPaste()->setChecked(flags[1] == '1');
        QPlainTextEdit* view = app.delegate.pasteData();
        QTest::keyClicks(view, "a&b=c");
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, "\u00a0");
        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClicks(view, "+");
        app.press(app.delegate.pasteUploadButton());
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path + sent.filePath, QStringLiteral("/api/upload/paste"));
        QCOMPARE(sent.form(), QStringList({"pastedata=a&b=c\n\u00a0\n+", "language=" + form[0],
                                           "priv=" + form[1], "anon=" + form[2], "apikey=k&y=+%"}));
    }

    // Every item of the pop-up has an identifier of its own; a title not in it is plain text.
    void everyLanguageHasItsIdentifier() {
        App app;
        QComboBox* box = app.delegate.language();
        box->addItem("python");
        QSet<QString> identifiers;
        for (int i = 0; i < box->count(); ++i) {
            box->setCurrentIndex(i);
            app.press(app.delegate.pasteUploadButton());
            identifiers.insert(app.net->requests.last().field("language"));
        }
        QCOMPARE(identifiers.size(), box->count() - 1);
        QCOMPARE(app.net->requests.last().field("language"), QStringLiteral("no-highlight"));
        QVERIFY(!identifiers.contains(QString()));
        QCOMPARE(box->itemText(0), QStringLiteral("Plain text"));
    }

    // Whatever the service says is shown as written, never as markup or a mnemonic, and never
    // more than the first 200 characters; a failure shows the failure text and keeps the paste.
    void pasteAnswers_data() {
        QTest::addColumn<QByteArray>("answer");  // "fail": the transport fails
        QTest::addColumn<QString>("shown");
        for (const char* same : {"ferrodock.net/p/abcdefghi", "<b>bold</b> <img src=x> &amp;",
                                 "Tom & Jerry && &x", "line\nbreak\ttab\x01"})
            row(same, QByteArray(same), QString(same));
        row("byte-order mark", QByteArray("\xEF\xBB\xBFok"), QString("ok"));
        const QByteArray family =
            "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
            "\xF0\x9F\x91\xA7\xE2\x80\x8D\xF0\x9F\x91\xA6";
        row("families", family.repeated(5000), QString::fromUtf8(family.repeated(200)) + "...");
        row("520k marks", "a" + QByteArray("\xCC\x81").repeated(520000), QString("..."));
        row("not utf-8", QByteArray("\xc3\x28"), kNotText);
        row("fails", QByteArray("fail"), kFailed);
    }
    void pasteAnswers() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        App app;
        app.delegate.pasteData()->setPlainText("keep me");
        app.press(app.delegate.pasteUploadButton());
        if (shown.startsWith("Upload failed"))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("paste"));
        app.settle(answer);
        QCOMPARE(titleOf(app.delegate.pasteOutput()), shown);
        QCOMPARE(toolkit::titleColor(app.delegate.pasteOutput()), QColor(Qt::white));
        QVERIFY(app.delegate.pasteOutput()->shortcut().isEmpty());
        QCOMPARE(app.delegate.pasteData()->toPlainText(), QStringLiteral("keep me"));
    }

    // Answers land in the order they come, not the order of the presses.
    void overlappingAnswers() {
        App app;
        app.press(app.delegate.pasteUploadButton());
        app.press(app.delegate.pasteUploadButton());
        app.net->answer("second", 1);
        QCOMPARE(titleOf(app.delegate.pasteOutput()), QStringLiteral("second"));
        app.net->answer("first", 0);
        QCOMPARE(titleOf(app.delegate.pasteOutput()), QStringLiteral("first"));
    }

    // What the image and file pages send, and what they show of the answer. A failed image
    // upload also says "Error" on standard output. The choice stays for another go.
    void fileUploads_data() {
        QTest::addColumn<QString>("flags");  // priv, anon[, nsfw] ticked; three: the image page
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("answer");  // "fail": the transport fails
        QTest::addColumn<QString>("shown");
        const QString image = "ferrodock.net/i/abcdefghi", file = "ferrodock.net/f/abcdefgh";
        const QString png = "image/png", binary = "application/octet-stream";
        row("image", QString("100"), QString("cat.png"), png, image.toUtf8(), image);
        row("image, fails", QString("011"), QString("c.JPG"), QString("image/jpeg"),
            QByteArray("fail"), kFailed);
        row("image, not utf-8", QString("001"), QString("c.png"), png, QByteArray("\xff"),
            kNotText);
        row("file", QString("01"), QString("report.pdf"), QString("application/pdf"), file.toUtf8(),
            file);
        row("file, fails", QString("10"), QString("Tom & Jerry – été.bin"), binary,
            QByteArray("fail"), kFailed);
    }
    void fileUploads() {
        QFETCH(QString, flags);
        QFETCH(QString, fileName);
        QFETCH(QString, mimeType);
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        const bool image = flags.size() == 3;
        App app;
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), fileName);
        app.choose(path, image);
        QCOMPARE(titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2()),
                 fileName);  // shown literally, '&' included
        const QList<QCheckBox*> boxes = {image ? app.delegate.privImage() : app.delegate.privFile(),
                                         image ? app.delegate.anonImage() : app.delegate.anonFile(),
                                         app.delegate.nsfwImage()};
        QStringList expected;
        for (int i = 0; i < flags.size(); ++i) {
            boxes[i]->setChecked(flags[i] == '1');
            expected << QStringList{"priv", "anon", "nsfw"}[i] + "=" + flags[i];
        }
        toolkit::setTitle(app.delegate.savedapikey(), "k");
        app.press(app.upload(image));
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path, image ? "/api/upload/image" : "/api/upload/file");
        QCOMPARE(sent.form(), expected << "apikey=k");
        QCOMPARE(sent.filePath + " " + sent.mimeType, path + " " + mimeType);
        if (shown != answer) QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed: "));
        OutputCapture out(stdout);
        app.settle(answer);
        QCOMPARE(out.text(), image && shown != answer ? QByteArray("Error\n") : QByteArray());
        QCOMPARE(titleOf(app.link(image ? "image" : "file")), shown);
        app.press(app.upload(image));
        QCOMPARE(app.net->requests.last().filePath, path);
    }

    // A page uploads only the file it shows; a link's reset empties the choice of both pages.
    void pageSendsWhatItShows_data() {
        QTest::addColumn<QString>("steps");  // "choose image", "upload file", "copy file", ...
        QTest::addColumn<QString>("sent");   // "image:" or "file:", then the file sent or ""
        row("nothing chosen: image", QString(), QString("image:"));
        row("nothing chosen: file", QString(), QString("file:"));
        row("image chosen, file page", QString("choose image"), QString("file:"));
        row("file chosen, image page", QString("choose file"), QString("image:"));
        row("both chosen, image page", QString("choose image,choose file"),
            QString("image:cat.png"));
        row("both chosen, file page", QString("choose file,choose image"),
            QString("file:notes.txt"));
        row("file link reset, then image",
            QString("choose file,upload file,copy file,choose image"), QString("file:"));
        row("image link reset empties both",
            QString("choose file,choose image,upload image,copy image"), QString("file:"));
    }
    void pageSendsWhatItShows() {
        QFETCH(QString, steps);
        QFETCH(QString, sent);
        App app;
        QTemporaryDir dir;
        const QString cat = makeImage(dir.path(), "cat.png");
        const QString notes = makeFile(dir.path(), "notes.txt", "text");
        for (const QString& step : steps.split(',', Qt::SkipEmptyParts)) {
            const bool onImage = step.endsWith("image");
            if (step.startsWith("choose")) app.choose(onImage ? cat : notes, onImage);
            if (step.startsWith("upload")) app.press(app.upload(onImage));
            if (step.startsWith("upload"))
                app.net->answer(onImage ? "ferrodock.net/i/abcdefghi" : "ferrodock.net/f/abcdefgh");
            if (step.startsWith("copy")) app.press(app.link(onImage ? "image" : "file"));
        }
        const qsizetype before = app.net->requests.size();
        const bool image = sent.startsWith("image");
        app.press(app.upload(image));
        if (sent.endsWith(':')) {
            QCOMPARE(titleOf(app.link(image ? "image" : "file")),
                     image ? "You forgot to choose an image." : "You forgot to choose a file.");
            QCOMPARE(app.net->requests.size(), before);
        } else {
            QCOMPARE(QFileInfo(app.net->requests.last().filePath).fileName(), sent.section(':', 1));
        }
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
        App app;
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
        QCOMPARE(titleOf(app.delegate.savedpath()).isEmpty(), reset);
        QCOMPARE(titleOf(app.delegate.selectButton()),
                 reset && page == "image" ? "Choose an image." : "cat.png");
        QCOMPARE(titleOf(app.delegate.selectButton2()),
                 reset && page == "file" ? "Choose a file." : "notes.txt");
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