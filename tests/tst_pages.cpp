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

#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789abcdef";
const QByteArray kRejection = "3b7f0c52a9d14e68b2c5f7091d4a6e83";
// The fake's failure and an answer that is not text, as the pages name them.
const QString kFailed =
    QStringLiteral("Upload failed: could not reach ferrodock.net. Please try again.");
const QString kNotText =
    QStringLiteral("Upload failed: the service's answer was not text. Please try again.");
const QString kLoginFailed =
    QStringLiteral("Login failed: could not reach ferrodock.net. Please try again.");
const QString kLoginNotText =
    QStringLiteral("Login failed: the service's answer was not text. Please try again.");
const QByteArray kNotSent = "<not sent>";

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
    QByteArray sessionOnDisk() const {
        QFile file(home.sessionFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }
    QPushButton* link(const QString& page) const {
        if (page == "file") return delegate.fileOutput();
        if (page == "image") return delegate.imageOutput();
        return delegate.pasteOutput();
    }
    InstalledFake net;  // installed before start, removed before the window goes
};

// How a request ends: "fail", or the answer's bytes.
void settle(FakeTransport& net, const QByteArray& how) {
    how == "fail" ? net.fail() : net.answer(how);
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
        QTest::newRow("key") << kKey << "Logged in as ann" << kKey;
        QTest::newRow("rejection in capitals")
            << kRejection.toUpper() << "Logged in as ann" << kRejection.toUpper();
        QTest::newRow("byte-order mark") << "\xEF\xBB\xBF" + kKey << "Logged in as ann" << kKey;
        QTest::newRow("rejection") << kRejection << "Login Incorrect" << QByteArray();
        QTest::newRow("31") << QByteArray(31, 'k') << QString(31, 'k') << QByteArray();
        QTest::newRow("33") << QByteArray(33, 'k') << QString(33, 'k') << QByteArray();
        QTest::newRow("empty") << QByteArray("") << "" << QByteArray();
        QTest::newRow("markup") << QByteArray("<b>no</b> & x") << "<b>no</b> & x" << QByteArray();
        QTest::newRow("not utf-8") << QByteArray("\xff\xfe") << kLoginNotText << QByteArray();
        QTest::newRow("transport failure") << QByteArray("fail") << kLoginFailed << QByteArray();
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
        QCOMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(kRejection));
        app.logIn("ann", "secret");
        // The name read at the press counts, not what the field says when the answer comes.
        app.delegate.username()->setText("changed meanwhile");
        if (answer == "fail") QTest::ignoreMessage(QtWarningMsg, QRegularExpression("login"));
        settle(*app.net, answer);
        QCOMPARE(app.delegate.loginResponse()->text(), shown);
        QCOMPARE(app.delegate.loginResponse()->textFormat(), Qt::PlainText);
        const QString user = key.isEmpty() ? "old" : "ann";
        const QByteArray held = key.isEmpty() ? kRejection : key;
        QCOMPARE(titleOf(app.delegate.savedusername()), user);
        QCOMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(held));
        QCOMPARE(app.delegate.window()->windowTitle(), "ferrodock - " + user);
        QCOMPARE(app.sessionOnDisk(), user.toUtf8() + ',' + held);
        // The password is not kept past a login; a refused one stays to be corrected.
        QCOMPARE(app.delegate.password()->text(), key.isEmpty() ? "secret" : "");
        QVERIFY(app.delegate.loginWindow()->isVisible());
        // A signed-in window closes itself a moment later; the others stay.
        if (!key.isEmpty()) QTRY_VERIFY(!app.delegate.loginWindow()->isVisible());
    }

    // Opened again, the window starts afresh: a name, Tab and a password go out as meant.
    void reopenedWindowStartsAtTheName() {
        App app;
        app.logIn("ann", "secret");
        app.delegate.password()->setFocus();  // where the last keystroke went
        app.delegate.username()->deselect();
        app.net->answer(kKey);
        QTRY_VERIFY(!app.delegate.loginWindow()->isVisible());
        app.delegate.logout()->trigger();
        app.delegate.login()->trigger();
        QDialog* dialog = app.delegate.loginWindow();
        QCOMPARE(dialog->focusWidget(), app.delegate.username());
        QCOMPARE(app.delegate.username()->selectedText(), QStringLiteral("ann"));
        QVERIFY(app.delegate.loginResponse()->text().isEmpty());
        QTest::keyClicks(dialog->focusWidget(), "bob");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(dialog->focusWidget(), "x");
        QTest::keyClick(dialog->focusWidget(), Qt::Key_Return);
        QCOMPARE(app.net->requests.size(), 2);
        QCOMPARE(app.net->requests[1].field("username"), QStringLiteral("bob"));
        QCOMPARE(app.net->requests[1].field("password"), QStringLiteral("x"));
    }

    // Logging out forgets the login everywhere, with or without a Documents folder.
    void logout_data() {
        QTest::addColumn<bool>("signedIn");
        QTest::addColumn<bool>("documents");
        QTest::newRow("signed in") << true << true;
        QTest::newRow("signed out") << false << true;
        QTest::newRow("signed in, no Documents folder") << true << false;
    }
    void logout() {
        QFETCH(bool, signedIn);
        QFETCH(bool, documents);
        App app(signedIn ? "ann," + kKey : QByteArray());
        QCOMPARE(titleOf(app.delegate.savedusername()).isEmpty(), !signedIn);
        if (!documents) QVERIFY(QDir(app.home.documents()).removeRecursively());
        app.delegate.logout()->trigger();
        QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock"));
        QVERIFY(titleOf(app.delegate.savedapikey()).isEmpty());
        QVERIFY(titleOf(app.delegate.savedusername()).isEmpty());
        QVERIFY(!QFile::exists(app.home.sessionFile()));
        QCOMPARE(QFileInfo::exists(app.home.documents()), documents);  // never created
        // The next paste carries an empty key.
        app.press(app.delegate.pasteUploadButton());
        QCOMPARE(app.net->requests.last().field("apikey"), QString());
    }

    // Without a Documents folder the login holds for the run and nothing is created; a
    // read-only one is not written into.
    void loginWithoutWritableDocuments_data() {
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("missing") << false;
        QTest::newRow("read-only") << true;
    }
    void loginWithoutWritableDocuments() {
        QFETCH(bool, readOnly);
        if (readOnly && ::geteuid() == 0) QSKIP("root writes into read-only folders");
        App app;
        QDir documents(app.home.documents());
        if (readOnly) {
            QVERIFY(QFile::setPermissions(documents.path(),
                                          QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        } else {
            QVERIFY(documents.removeRecursively());
        }
        app.logIn("ann", "secret");
        app.net->answer(kKey);
        QCOMPARE(titleOf(app.delegate.savedapikey()), QString::fromLatin1(kKey));
        QCOMPARE(app.delegate.window()->windowTitle(), QStringLiteral("ferrodock - ann"));
        QCOMPARE(documents.exists(), readOnly);
        if (readOnly) {
            QVERIFY(documents.isEmpty());
            QFile::setPermissions(documents.path(), QFileDevice::ReadOwner |
                                                        QFileDevice::WriteOwner |
                                                        QFileDevice::ExeOwner);
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

    void pasteSends_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("language");  // the pop-up's title; "": nothing selected
        QTest::addColumn<QString>("identifier");
        QTest::addColumn<bool>("priv");
        QTest::addColumn<bool>("anon");
        QTest::newRow("python, private") << "abc"
                                         << "Python"
                                         << "python" << true << false;
        QTest::newRow("C#, both flags") << "x"
                                        << "C#"
                                        << "cs" << true << true;
        QTest::newRow("two words") << "x"
                                   << "Objective C"
                                   << "objectivec" << false << false;
        QTest::newRow("nothing selected") << "x"
                                          << ""
                                          << "no-highlight" << false << true;
        QTest::newRow("reserved, utf-8") << "a&b=c é\n\t\u00a0"
                                         << "C++"
                                         << "cpp" << false << false;
    }
    void pasteSends() {
        QFETCH(QString, text);
        QFETCH(QString, language);
        QFETCH(QString, identifier);
        QFETCH(bool, priv);
        QFETCH(bool, anon);
        App app;
        toolkit::setTitle(app.delegate.savedapikey(), "k&y=+%");
        QComboBox* box = app.delegate.language();
        box->setCurrentIndex(box->findText(language));
        app.delegate.pasteData()->setPlainText(text);
        app.delegate.privPaste()->setChecked(priv);
        app.delegate.anonPaste()->setChecked(anon);
        app.press(app.delegate.pasteUploadButton());
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path, QStringLiteral("/api/upload/paste"));
        QCOMPARE(sent.filePath, QString());
        QCOMPARE(sent.names(), QStringList({"pastedata", "language", "priv", "anon", "apikey"}));
        QCOMPARE(sent.field("pastedata"), text);
        QCOMPARE(sent.field("language"), identifier);
        QCOMPARE(sent.field("priv"), priv ? "1" : "0");
        QCOMPARE(sent.field("anon"), anon ? "1" : "0");
        QCOMPARE(sent.field("apikey"), QStringLiteral("k&y=+%"));
    }

    // Every item of the pop-up has its own identifier, and a title not in it is plain text.
    void everyLanguageHasItsIdentifier() {
        App app;
        QComboBox* box = app.delegate.language();
        QSet<QString> identifiers;
        for (int i = 0; i < box->count(); ++i) {
            box->setCurrentIndex(i);
            app.press(app.delegate.pasteUploadButton());
            identifiers.insert(app.net->requests.last().field("language"));
        }
        QCOMPARE(identifiers.size(), box->count());
        QVERIFY(!identifiers.contains(QString()));
        QCOMPARE(box->itemText(0), QStringLiteral("Plain text"));
        QVERIFY(identifiers.contains("no-highlight"));
        box->addItem("python");
        box->setCurrentText("python");
        app.press(app.delegate.pasteUploadButton());
        QCOMPARE(app.net->requests.last().field("language"), QStringLiteral("no-highlight"));
    }

    // Typed line breaks go out as "\n", whichever key made them; no-break spaces as typed.
    void typedLineBreaks() {
        App app;
        QPlainTextEdit* view = app.delegate.pasteData();
        QTest::keyClicks(view, "a");
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, "b");
        QTest::keyClick(view, Qt::Key_Return);
        QTest::keyClicks(view, "c\u00a0d");
        app.press(app.delegate.pasteUploadButton());
        QCOMPARE(app.net->requests[0].field("pastedata"), QStringLiteral("a\nb\nc\u00a0d"));
    }

    // Whatever the service says is shown as written, never as markup or a mnemonic, and never
    // more than the first 200 characters; a failure shows the failure text and keeps the paste.
    void pasteAnswers_data() {
        QTest::addColumn<QByteArray>("answer");  // "fail": the transport fails
        QTest::addColumn<QString>("shown");
        QTest::newRow("address") << QByteArray("ferrodock.net/p/abcdefghi")
                                 << "ferrodock.net/p/abcdefghi";
        for (const char* row : {"<b>bold</b> <img src=x> &amp; <script>", "Tom & Jerry && &x",
                                "line\nbreak\ttab\x01"})
            QTest::newRow(row) << QByteArray(row) << QString::fromUtf8(row);
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBFok") << "ok";
        const QByteArray family =
            "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D"
            "\xF0\x9F\x91\xA7\xE2\x80\x8D\xF0\x9F\x91\xA6";
        QTest::newRow("families") << family.repeated(5000)
                                  << QString::fromUtf8(family.repeated(200)) + "...";
        QTest::newRow("one character of 520k marks")
            << "a" + QByteArray("\xCC\x81").repeated(520000) << "...";
        QTest::newRow("not utf-8") << QByteArray("\xc3\x28") << kNotText;
        QTest::newRow("transport failure") << QByteArray("fail") << kFailed;
    }
    void pasteAnswers() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, shown);
        App app;
        app.delegate.pasteData()->setPlainText("keep me");
        app.press(app.delegate.pasteUploadButton());
        if (shown == kFailed || shown == kNotText)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("paste"));
        settle(*app.net, answer);
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

    void uploadSends_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QList<bool>>("flags");  // priv, anon[, nsfw]
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("expected");  // name=value, in order
        QTest::addColumn<QString>("mimeType");
        QTest::newRow("image") << true << QList<bool>{true, false, false} << "cat.png"
                               << QStringList{"priv=1", "anon=0", "nsfw=0", "apikey=k"}
                               << "image/png";
        QTest::newRow("image all ticked")
            << true << QList<bool>{false, true, true} << "c.JPG"
            << QStringList{"priv=0", "anon=1", "nsfw=1", "apikey=k"} << "image/jpeg";
        QTest::newRow("file") << false << QList<bool>{false, true} << "report.pdf"
                              << QStringList{"priv=0", "anon=1", "apikey=k"} << "application/pdf";
        QTest::newRow("file with & and é")
            << false << QList<bool>{true, false} << QString::fromUtf8("Tom & Jerry – été.bin")
            << QStringList{"priv=1", "anon=0", "apikey=k"} << "application/octet-stream";
    }
    void uploadSends() {
        QFETCH(bool, image);
        QFETCH(QList<bool>, flags);
        QFETCH(QString, fileName);
        QFETCH(QStringList, expected);
        QFETCH(QString, mimeType);
        App app;
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), fileName);
        app.choose(path, image);
        QCOMPARE(titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2()),
                 fileName);  // shown literally, '&' included
        const QList<QCheckBox*> boxes =
            image ? QList<QCheckBox*>{app.delegate.privImage(), app.delegate.anonImage(),
                                      app.delegate.nsfwImage()}
                  : QList<QCheckBox*>{app.delegate.privFile(), app.delegate.anonFile()};
        for (int i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(flags[i]);
        toolkit::setTitle(app.delegate.savedapikey(), "k");
        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path, image ? "/api/upload/image" : "/api/upload/file");
        QStringList fields;
        for (const FormField& f : sent.fields) fields << f.name + "=" + f.value;
        QCOMPARE(fields, expected);
        QCOMPARE(sent.filePath, path);
        QCOMPARE(sent.mimeType, mimeType);

        const QString address = image ? "ferrodock.net/i/abcdefghi" : "ferrodock.net/f/abcdefgh";
        app.net->answer(address.toUtf8());
        QCOMPARE(titleOf(app.link(image ? "image" : "file")), address);
        // The choice stays: the same file can go again.
        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        QCOMPARE(app.net->requests.last().filePath, path);
    }

    // A failed image upload also says "Error" on standard output; the choice stays.
    void uploadFailures_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("image, transport") << true << QByteArray("fail");
        QTest::newRow("image, not utf-8") << true << QByteArray("\xff");
        QTest::newRow("file, transport") << false << QByteArray("fail");
    }
    void uploadFailures() {
        QFETCH(bool, image);
        QFETCH(QByteArray, answer);
        App app;
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), "cat.png");
        app.choose(path, image);
        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("upload failed: "));
        OutputCapture out(stdout);
        settle(*app.net, answer);
        QCOMPARE(titleOf(app.link(image ? "image" : "file")),
                 answer == "fail" ? kFailed : kNotText);
        QCOMPARE(out.text(), image ? QByteArray("Error\n") : QByteArray());
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
    }

    // A page uploads only the file it shows; a link's reset empties the choice of both pages.
    void pageSendsWhatItShows_data() {
        QTest::addColumn<QStringList>("steps");  // "choose image", "upload file", "copy file", ...
        QTest::addColumn<bool>("image");         // the page pressed last
        QTest::addColumn<QString>("sent");       // the file it sent; "" for the reminder
        QTest::newRow("nothing chosen: image") << QStringList{} << true << "";
        QTest::newRow("nothing chosen: file") << QStringList{} << false << "";
        QTest::newRow("image chosen, file page") << QStringList{"choose image"} << false << "";
        QTest::newRow("file chosen, image page") << QStringList{"choose file"} << true << "";
        QTest::newRow("both chosen, image page")
            << QStringList{"choose image", "choose file"} << true << "cat.png";
        QTest::newRow("both chosen, file page")
            << QStringList{"choose file", "choose image"} << false << "notes.txt";
        QTest::newRow("file link reset, then image")
            << QStringList{"choose file", "upload file", "copy file", "choose image"} << false
            << "";
        QTest::newRow("image link reset empties both")
            << QStringList{"choose file", "choose image", "upload image", "copy image"} << false
            << "";
    }
    void pageSendsWhatItShows() {
        QFETCH(QStringList, steps);
        QFETCH(bool, image);
        QFETCH(QString, sent);
        App app;
        QTemporaryDir dir;
        const QString cat = makeImage(dir.path(), "cat.png");
        const QString notes = makeFile(dir.path(), "notes.txt", "text");
        for (const QString& step : steps) {
            const bool onImage = step.endsWith("image");
            if (step.startsWith("choose")) app.choose(onImage ? cat : notes, onImage);
            if (step.startsWith("upload")) {
                app.press(onImage ? app.delegate.imageUploadButton()
                                  : app.delegate.fileUploadButton());
                app.net->answer(onImage ? "ferrodock.net/i/abcdefghi" : "ferrodock.net/f/abcdefgh");
            }
            if (step.startsWith("copy")) app.press(app.link(onImage ? "image" : "file"));
        }
        const qsizetype before = app.net->requests.size();
        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        if (sent.isEmpty()) {
            QCOMPARE(titleOf(app.link(image ? "image" : "file")),
                     image ? QStringLiteral("You forgot to choose an image.")
                           : QStringLiteral("You forgot to choose a file."));
            QCOMPARE(app.net->requests.size(), before);
            return;
        }
        QCOMPARE(QFileInfo(app.net->requests.last().filePath).fileName(), sent);
    }

    // Only an address of the page's length is copied, with "https://" before it.
    void whatIsCopied_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("copied");
        const QString a24 = "ferrodock.net/f/abcdefgh", a25 = "ferrodock.net/i/abcdefghi";
        for (const char* page : {"file", "image", "paste"}) {
            const bool file = QByteArray(page) == "file";
            QTest::addRow("%s 24", page) << page << a24 << file;
            QTest::addRow("%s 25", page) << page << a25 << !file;
            QTest::addRow("%s copied text", page) << page << "Copied to clipboard." << false;
            QTest::addRow("%s failure text", page) << page << kFailed << false;
            QTest::addRow("%s empty", page) << page << "" << false;
        }
        // Titles count in characters, not bytes or code units.
        QTest::newRow("image é") << "image" << QString::fromUtf8("ferrodock.net/i/abcdéfghi")
                                 << true;
        QTest::newRow("file emoji")
            << "file" << QString::fromUtf8("ferrodock.net/f/abcdefg\xF0\x9F\x98\x80") << true;
        QTest::newRow("paste combining")
            << "paste" << QString::fromUtf8("ferrodock.net/p/abcdefghe\xCC\x81") << true;
        // A message of the right length is no address: whitespace and controls give it away.
        QTest::newRow("paste message") << "paste"
                                       << "Error: paste is too long." << false;
        QTest::newRow("image no-break space") << "image"
                                              << "ferrodock.net/i/abcd\u00a0fghi" << false;
        QTest::newRow("file tab") << "file"
                                  << "ferrodock.net/f/abc\tefgh" << false;
        QTest::newRow("file line separator") << "file"
                                             << "ferrodock.net/f/abc\u2028efgh" << false;
        QTest::newRow("paste control") << "paste"
                                       << "ferrodock.net/p/abcd\x7f\x66ghi" << false;
    }
    void whatIsCopied() {
        QFETCH(QString, page);
        QFETCH(QString, title);
        QFETCH(bool, copied);
        App app;
        app.delegate.pasteData()->setPlainText("typed");
        toolkit::setTitle(app.delegate.savedpath(), "/x/chosen.png");
        theme::showTitle(app.link(page), title);
        app.press(app.link(page));
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 copied ? "https://" + title : QStringLiteral("before"));
        QCOMPARE(titleOf(app.link(page)), copied ? QStringLiteral("Copied to clipboard.") : title);
        // Nothing is reset without a copy.
        QCOMPARE(app.delegate.pasteData()->toPlainText().isEmpty(), copied && page == "paste");
        QCOMPARE(titleOf(app.delegate.savedpath()).isEmpty(), copied && page != "paste");
        if (copied) {
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            QVERIFY(data->hasText() && !data->hasHtml() && !data->hasUrls() && !data->hasImage());
        }
    }

    // The paste reset keeps the language and flags, and is an edit Ctrl+Z takes back.
    void pasteReset() {
        App app;
        app.delegate.pasteData()->setPlainText("new text typed since the upload");
        app.delegate.language()->setCurrentIndex(2);
        app.delegate.privPaste()->setChecked(true);
        theme::showTitle(app.delegate.pasteOutput(), "ferrodock.net/p/abcdefghi");
        app.press(app.delegate.pasteOutput());
        QVERIFY(app.delegate.pasteData()->toPlainText().isEmpty());
        QCOMPARE(app.delegate.language()->currentIndex(), 2);
        QVERIFY(app.delegate.privPaste()->isChecked());
        QTest::keyClick(app.delegate.pasteData(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(app.delegate.pasteData()->toPlainText(),
                 QStringLiteral("new text typed since the upload"));
    }

    // One chosen path serves both pages; a copy on either page resets that page's chooser.
    void resetsShareTheChosenPath_data() {
        QTest::addColumn<bool>("imageLink");
        QTest::newRow("image link") << true;
        QTest::newRow("file link") << false;
    }
    void resetsShareTheChosenPath() {
        QFETCH(bool, imageLink);
        App app;
        QTemporaryDir dir;
        app.choose(makeImage(dir.path(), "cat.png"), true);
        app.choose(makeFile(dir.path(), "report.pdf"), false);
        theme::showTitle(app.link(imageLink ? "image" : "file"),
                         imageLink ? "ferrodock.net/i/abcdefghi" : "ferrodock.net/f/abcdefgh");
        app.press(app.link(imageLink ? "image" : "file"));
        QVERIFY(titleOf(app.delegate.savedpath()).isEmpty());
        QCOMPARE(titleOf(app.delegate.selectButton()),
                 imageLink ? QStringLiteral("Choose an image.") : QStringLiteral("cat.png"));
        QCOMPARE(titleOf(app.delegate.selectButton2()),
                 imageLink ? QStringLiteral("report.pdf") : QStringLiteral("Choose a file."));
        if (imageLink) {
            QCOMPARE(app.delegate.bgImage()->pixmap().toImage(),
                     toolkit::imageNamed("ImageIcon").toImage());
        }
    }
};

QTEST_MAIN(PagesTest)
#include "tst_pages.moc"
