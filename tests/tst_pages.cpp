// The window against a transport the test completes by hand: keyboard use and how it looks at
// start-up, what the login window and the pages send, show and reset, how uploads show while
// they run, and how files are chosen, dropped and previewed; then once against the HTTPS test
// service, and the desktop's notices over a private session bus.
#include "core/Languages.h"
#include "desktop/Clipboard.h"
#include "platform/AppInstance.h"
#include "support/AppHarness.h"
#include "support/DataRows.h"
#include "support/Files.h"
#include "support/TestService.h"
#include "window/FilePage.h"
#include "window/HistoryModel.h"
#include "window/HistoryWindow.h"
#include "window/ImagePage.h"
#include "window/OpenFiles.h"
#include "window/PastePage.h"
#include "window/Preview.h"

#include <QtDBus>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

const QByteArray kKey = "0123456789abcdef0123456789abcdef",
                 kRejection = "3b7f0c52a9d14e68b2c5f7091d4a6e83";
const QString kFailed = "Upload failed: could not reach ferrodock.net. Please try again.",
              kLater = "The service may be out of order; try again later.",
              kNotText = "Upload failed: the service's answer was not text. " + kLater;

// Ends the last request with `answer`, or as unreachable when that is the failure text.
void settle(TestApp& app, const QByteArray& answer) {
    const bool failed = answer == kFailed.toUtf8();
    if (failed || !answer.isValidUtf8())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("failed: "));
    app.net->finish(
        {!failed, answer, {}, failed ? TransportError::Unreachable : TransportError::None});
}

// The window with a cat picture and notes chosen, text typed, and the desktop's notices kept.
struct App : TestApp {
    explicit App(const QByteArray& saved = {}) : TestApp(saved) {
        text()->setPlainText("typed"), choose(makeImage(dir.path(), "cat.png"), true);
        choose(makeFile(dir.path(), "notes.txt", "notes"), false);
    }
    // Shows `page` alone and presses its upload button.
    void send(const QString& page) {
        window->switchPaste();
        if (page == "file") window->switchFile();
        if (page == "image") window->switchImage();
        upload(page)->click();
    }
    QWidget* panel(const QString& page) const { return find<QWidget>(page + "Progress"); }
    QString kept() const { return window->lastChosenPath() + text()->toPlainText(); }
    QPlainTextEdit* text() const { return find<QPlainTextEdit>("pasteData"); }
    QDialog* login() const { return window->loginDialog(); }
    QTemporaryDir dir;
};

// Every control of every page lies inside the window, buttons at no less than their least size.
bool everyControlWhole(MainWindow* window) {
    for (auto page :
         {&MainWindow::switchFile, &MainWindow::switchPaste, &MainWindow::switchImage}) {
        (window->*page)();
        QCoreApplication::sendPostedEvents();
        for (QWidget* c : window->findChild<QWidget*>("mainView")->findChildren<QWidget*>()) {
            const QSize least = qobject_cast<QAbstractButton*>(c) ? c->minimumSizeHint() : QSize();
            if (c->isVisibleTo(window) && !c->objectName().startsWith("qt_") &&
                (!window->rect().contains(QRect(c->mapTo(window, QPoint()), c->size())) ||
                 c->width() < least.width() || c->height() < least.height()))
                return qWarning("%s is cut", qPrintable(c->objectName())), false;
        }
    }
    return true;
}

// An Exif block saying "turn 90 degrees clockwise", to go right after a JPEG's start marker.
const QByteArray kTurnedExif =
    QByteArray::fromHex("ffe100224578696600004d4d002a00000008000101120003000000010006000000000000");

// Writes a PNG of `size` pixels of `bits` each (8: grey; 32 or 64: RGBA), all zero, cheaply:
// after one zero byte, deflate's fixed codes repeat the 258 bytes before, 13 bits at a time.
QString zeroPng(const QDir& dir, const QString& name, QSize size, int bits) {
    const qint64 raw = qint64(size.height()) * (1 + size.width() * bits / 8);  // filter byte first
    QByteArray z("IDAT\x78\x01"), header("IHDR"), png("\x89PNG\r\n\x1a\n");
    quint64 pending = 0, count = 0;
    const auto put = [&](quint64 code, int width) {  // Huffman codes go in bit-reversed
        for (pending |= code << count, count += width; count >= 8; count -= 8, pending >>= 8)
            z += char(pending);
    };
    put(3 | 0xc << 3, 3 + 8);  // the last block, fixed codes; a zero byte
    for (qint64 i = 0; i < (raw - 1) / 258; ++i) put(0xa3, 13);
    for (qint64 i = 0; i < (raw - 1) % 258; ++i) put(0xc, 8);
    put(0, 7 + 7);  // end of block, and the last byte filled
    QDataStream(&z, QIODevice::Append) << quint32(raw % 65521 << 16 | 1);
    QDataStream(&header, QIODevice::Append)
        << size.width() << size.height() << qint8(bits == 8 ? 8 : bits / 4)
        << qint32(bits == 8 ? 0 : 0x06000000);
    QDataStream out(&png, QIODevice::Append);
    for (const QByteArray& chunk : {header, z, QByteArray("IEND")}) {
        quint32 crc = ~0u;
        for (const char c : chunk)
            for (int k = (crc ^= uchar(c), 0); k < 8; ++k)
                crc = crc >> 1 ^ (0xedb88320 & -(crc & 1));
        out << quint32(chunk.size() - 4);
        out.writeRawData(chunk.constData(), int(chunk.size()));
        out << ~crc;
    }
    return makeFile(dir, name, png);
}

}  // namespace

// Stands in for the desktop: the notification server, and a dock that listens for its entry.
class Desktop : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    QVariantList notified, updated;
public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int) {
        notified = {app, icon, summary, body, actions, hints.value("desktop-entry")};
        return 7;
    }
    void Update(const QString& uri, const QVariantMap& properties) {
        updated = {uri, properties.value("progress-visible"), properties.value("progress")};
    }
};

// Stands in for the screenshot portal: answers a request on the object that the caller's bus
// name and the token name, before the call returns, with `response` (none when negative). As
// an older portal (response 3) it names the request its own way and answers there later, after
// a stale failure on the object it did not take; as response 4 it refuses the call.
class Portal : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.portal.Screenshot")
    Q_PROPERTY(uint version READ version)
public:
    uint version() const { return ++versionsRead, 2; }
    mutable int versionsRead = 0;
    QDBusConnection bus =
        QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "portal");
    int response = -1;
    QString uri;
    QVariantList asked;
    QStringList handles;  // the last request's
public Q_SLOTS:
    QDBusObjectPath Screenshot(const QString& parent, const QVariantMap& options,
                               const QDBusMessage& call) {
        const QString token = options.value("handle_token").toString();
        const QString handle = "/org/freedesktop/portal/desktop/request/" +
                               call.service().mid(1).replace('.', '_') + '/' + token;
        asked << parent << options.value("interactive")
              << QRegularExpression("^\\w+$").match(token).hasMatch();
        if (response == 4) return sendErrorReply(QDBusError::AccessDenied, "no"), QDBusObjectPath();
        const auto answer = [this](const QString& path, uint with) {
            bus.send(QDBusMessage::createSignal(path, "org.freedesktop.portal.Request", "Response")
                     << with << QVariantMap{{"uri", uri}});
        };
        if (response == 3) {
            QTimer::singleShot(200, this, [=, this] { answer(handle, 2); });
            QTimer::singleShot(400, this, [=, this] { answer(handle + "_own", 0); });
        } else if (response >= 0) {
            answer(handle, uint(response));
        }
        // The request before is answered (again) late, as a failure.
        for (const QString& earlier : std::exchange(handles, {handle})) answer(earlier, 2);
        return QDBusObjectPath(handle + (response == 3 ? "_own" : ""));
    }
};

class PagesTest : public QObject {
    Q_OBJECT
    QProcess daemon_;  // a private session bus for the desktop's notices
    QTemporaryFile busConfig_;
private Q_SLOTS:
    void initTestCase() {
        dropRootsFilePowers();
        // No service of this machine's (a notification server, a portal) can be started on it.
        QVERIFY(busConfig_.open());
        busConfig_.write("<busconfig><type>session</type><listen>unix:tmpdir=" +
                         QFile::encodeName(QDir::tempPath()) +
                         "</listen><auth>EXTERNAL</auth><policy context='default'>"
                         "<allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>"
                         "<allow own='*'/></policy></busconfig>");
        busConfig_.close();
        daemon_.start("dbus-daemon", {"--nofork", "--print-address",
                                      QString("--config-file=" + busConfig_.fileName())});
        QVERIFY(daemon_.waitForReadyRead(20000));
        qputenv("DBUS_SESSION_BUS_ADDRESS", daemon_.readLine().trimmed());
    }
    void cleanupTestCase() { daemon_.kill(), daemon_.waitForFinished(); }
    void init() { QGuiApplication::clipboard()->setText("before"); }

    // Ctrl+1..3 show the pages; Tab reaches a page's controls in order, and
    // every control it reaches has an accessible name.
    void keyboard_data() {
        columns<QString, QString, QString>("keys", "page", "order");
        row("file", "Ctrl+1", "fileView",
            "selectButton2 privFile anonFile fileUploadButton fileOutput");
        row("image", "Ctrl+2", "imageView",
            "selectButton privImage anonImage nsfwImage imageUploadButton imageOutput");
        row("paste", "Ctrl+3", "pasteView",
            "pasteData language privPaste anonPaste pasteUploadButton pasteOutput");
    }
    void keyboard() {
        auto [keys, page, order] = fetch<QString, QString, QString>("keys", "page", "order");
        TestApp app;
        page == "pasteView" ? app.window->switchFile() : app.window->switchPaste();  // elsewhere
        QWidget* window = app.window.get();
        for (QAction* action : window->findChildren<QAction*>())
            if (action->shortcut() == QKeySequence(keys)) action->trigger();
        QCOMPARE(app.find<QStackedWidget>("mainView")->currentWidget()->objectName(), page);
        QStringList reached;
        for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
            if (!w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) continue;
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            if (order.split(' ').contains(w->objectName())) reached << w->objectName();
        }
        QCOMPARE(reached.join(' '), order);
    }

    // How a remembered login shows (its parse is tried in tst_sessionfile), a placeholder, the
    // colours painted, and the login window opening.
    void startUp() {
        TestApp app("<b>T</b>&[*],k");
        QWidget* window = app.window.get();
        QCOMPARE(window->windowTitle(), "ferrodock - <b>T</b>&[*][*]");
        QCOMPARE(TestApp(",k").window->windowTitle(), "ferrodock - ");  // a key with no name
        QCOMPARE(app.find<QLineEdit>("password")->echoMode(), QLineEdit::Password);
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ferrodock"));
        // The icon comes once a window has painted its first frame, which nothing holds back.
        struct Probe : QWidget {
            QList<bool> icon;  // whether there was one, at each paint
            void paintEvent(QPaintEvent*) override { icon << !qApp->windowIcon().isNull(); }
        } probe;
        QApplication::setWindowIcon({}), setApplicationIconOncePainted(probe), probe.show();
        QTRY_VERIFY(!probe.icon.value(0, true) &&
                    QApplication::windowIcon().availableSizes() == QList<QSize>{QSize(256, 256)});
        QCOMPARE(app.find<QStackedWidget>("mainView")->currentWidget()->objectName(), "imageView");
        // The other pages' placeholders are read in choices().
        QCOMPARE(literalText(app.link("paste")), "Paste/type your text/code, then press paste.");
        for (const char* name :
             {"selectButton", "imageOutput", "selectButton2", "fileOutput", "pasteOutput"})
            QCOMPARE(app.button(name)->palette().color(QPalette::ButtonText), QColor(Qt::white));
        // The chooser's border, and what is disabled where the style sheet has no rule for it.
        const QImage chooser = app.button("selectButton")->grab().toImage();
        QStringList painted{chooser.pixelColor(chooser.width() / 2, 0).name(),
                            qApp->palette().color(QPalette::Disabled, QPalette::Text).name()};
        // (The rest of the look, the pages' backgrounds, borders and corners among it, is what
        // the screenshots compare.) The field's text as the style sheet has it, then the palette's
        // colours in the order of their roles, for what the style sheet does not draw (Light,
        // Midlight, Dark, Mid, Shadow and LinkVisited are the style's own).
        painted << app.find<QWidget>("pasteData")->palette().color(QPalette::Text).name();
        for (int role = 0; role < QPalette::NColorRoles; ++role)
            painted << qApp->palette().color(QPalette::ColorRole(role)).name();
        QCOMPARE(painted.join(' '),
                 "#324356 #6e7a88 #ffffff #e6ecf2 #222f3d #ffffff #cacaca #9f9f9f #b8b8b8 #e6ecf2 "
                 "#ffffff #e6ecf2 #11171e #171f28 #767676 #3d8bfd #ffffff #61a4ff #ff00ff #171f28 "
                 "#000000 #222f3d #e6ecf2 #788696");
        // The login window opens over the main window, its last answer gone.
        app.find<QLabel>("loginResponse")->setText("stale"), app.find<QAction>("login")->trigger();
        QVERIFY((app.window->loginDialog()->geometry().center() - window->geometry().center())
                    .manhattanLength() <= 4);
        QVERIFY(app.find<QLabel>("loginResponse")->text().isEmpty());
    }

    // Every answer but a key changes only the status line; a key signs in.
    void loginAnswers_data() {
        columns<QByteArray, QString>("answer", "shown");
        row("key", kKey, "Logged in as ann");
        row("rejection", kRejection, "Login Incorrect");
        row("not utf-8", QByteArray("\xff"), "Login" + kNotText.mid(6));
        row("unreachable", kFailed.toUtf8(), "Login" + kFailed.mid(6));
        row("Cancel", QByteArray("cancel"), "Login cancelled.");
        row("Esc", QByteArray("escape"), "Login cancelled.");
        row("window closed", QByteArray("close"), "Login cancelled.");
        // 32 units the session file could not hold: a message, not a key.
        for (const char* odd : {",", "\n", "\r", "\t", "\x7f", "\xE2\x80\xA8"}) {
            const QByteArray answer =
                kKey.left(10) + odd + kKey.left(22 - QString::fromUtf8(odd).size());
            QTest::addRow("32 with %s", QByteArray(odd).toPercentEncoding().constData())
                << answer << QString::fromUtf8(answer);
        }
    }
    void loginAnswers() {
        auto [answer, shown] = fetch<QByteArray, QString>("answer", "shown");
        const QByteArray key = answer == kKey ? kKey : "";  // empty: still the old login
        App app("old," + kRejection);
        app.find<QAction>("login")->trigger();
        auto* login = app.login()->findChild<QPushButton*>("loginButton");
        auto* cancel = app.login()->findChild<QPushButton*>("loginCancelButton");
        QVERIFY(app.login()->isVisible() && !cancel->isVisible());  // only while a login runs
        app.find<QLineEdit>("username")->setText("ann");
        app.find<QLineEdit>("password")->setText("secret");
        QTest::keyClick(app.find<QLineEdit>("password"), Qt::Key_Return);  // presses Log In
        app.find<QLineEdit>("password")->setFocus();  // where the last keystroke went
        // While it runs it says so, and a second press sends nothing.
        QTest::keyClick(app.find<QLineEdit>("password"), Qt::Key_Return);
        QShowEvent restored;  // from minimised
        QCoreApplication::sendEvent(app.login(), &restored);
        QVERIFY(app.net->requests.size() == 1 && !login->isEnabled() && cancel->isVisible());
        QCOMPARE(app.find<QLabel>("loginResponse")->text(), "Logging in...");
        // The name read at the press counts, not what the field says when the answer comes.
        app.find<QLineEdit>("username")->setText("changed meanwhile");
        if (answer == "cancel") cancel->click();
        if (answer == "escape") QTest::keyClick(app.find<QLineEdit>("password"), Qt::Key_Escape);
        if (answer == "close") app.login()->close();
        const bool cancelled = QByteArrayList({"cancel", "escape", "close"}).contains(answer);
        QCOMPARE(app.net->requests.last().cancelled(), cancelled);
        cancelled ? app.net->answer(kKey) : settle(app, answer);  // a key too late: dropped
        QVERIFY(login->isEnabled() && !cancel->isVisible());
        const QString user = key.isEmpty() ? "old" : "ann";
        const QByteArray held = key.isEmpty() ? kRejection : key;
        // The password is not kept past a login; a refused one stays to be corrected.
        QCOMPARE(QStringList({app.find<QLabel>("loginResponse")->text(), app.session.userName(),
                              app.session.apiKey(), app.window->windowTitle(),
                              app.find<QLineEdit>("password")->text(),
                              readFile(app.home.sessionFile())}),
                 QStringList({shown, user, held, "ferrodock - " + user,
                              key.isEmpty() ? "secret" : "", user + "," + held}));
        // A signed-in window closes itself a moment later; the others stay.
        QCOMPARE(app.login()->isVisible(), answer != "close");
        if (key.isEmpty()) return;
        QTRY_VERIFY(!app.login()->isVisible());
        // Opened again, it starts afresh: a name, Tab and a password go out as meant. Logging
        // out forgets the login everywhere.
        app.find<QAction>("login")->trigger();
        for (const QString keys : {"bob", "\t", "x", "\r"})
            QTest::keyClicks(app.login()->focusWidget(), keys);
        QCOMPARE(app.net->requests.last().form(), QStringList({"username=bob", "password=x"}));
        app.find<QAction>("logout")->trigger();
        QCOMPARE(app.window->windowTitle() + app.session.apiKey() + app.session.userName(),
                 "ferrodock");
        QVERIFY(!QFile::exists(app.home.sessionFile()));
    }

    // The paste goes out as typed, line breaks as "\n" whichever key made them, with the flags
    // and the pop-up's identifier; plain text for a title not in it. A long one is read between
    // events.
    void pasteSends() {
        App app;
        app.session.remember("", "k&y=+%");
        app.find<QCheckBox>("privPaste")->setChecked(true);
        QPlainTextEdit* view = app.text();
        const qsizetype children = view->children().size();
        view->moveCursor(QTextCursor::End);
        QTest::keyClick(view, Qt::Key_Return, Qt::ShiftModifier);
        QTest::keyClicks(view, "a&b=c\u00a0"), QTest::keyClick(view, Qt::Key_Return);
        QComboBox* box = app.find<QComboBox>("language");
        QSet<QString> identifiers;  // every title of the pop-up has its own
        for (int i = 0; i < box->count(); ++i) identifiers << languageIdentifier(box->itemText(i));
        QCOMPARE(identifiers.size(), box->count());
        box->addItem("python");
        for (const QString title : {"", "Objective C", "python"}) {  // "": nothing selected
            box->setCurrentIndex(box->findText(title)), app.upload("paste")->click();
        }
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path + sent.filePath, QStringLiteral("/api/upload/paste"));
        QCOMPARE(sent.form(),
                 QStringList({"pastedata=typed\na&b=c\u00a0\n", "language=no-highlight", "priv=1",
                              "anon=0", "apikey=k&y=+%"}));
        QCOMPARE(app.net->requests[1].form()[1] + app.net->requests[2].form()[1],
                 QStringLiteral("language=objectiveclanguage=no-highlight"));
        // A long paste is read between events, the view read-only meanwhile, and goes out as
        // the same UTF-8; a second press while it is read does nothing.
        // A long line, a lone high surrogate at its end.
        QString text = QStringView(u"\U0001F600x").toString().repeated(200000) + QChar(0xD800);
        QByteArray expected = QByteArray("\xf0\x9f\x98\x80x").repeated(200000) + "?";
        for (int i = 0; i < 100000; ++i) {
            text += u"\na\u00a0\u00e9\u65e5\u2028b";
            expected += "\na\xc2\xa0\xc3\xa9\xe6\x97\xa5\nb";
        }
        view->setPlainText(text);
        int ticks = 0;
        QTimer timer;
        timer.callOnTimeout([&ticks] { ++ticks; }), timer.start(0), app.upload("paste")->click();
        QVERIFY(view->isReadOnly() && app.net->requests.size() == 3);
        QTextCursor(view->document()).insertText("!");  // changed while read: read again
        app.upload("paste")->click();
        QTRY_COMPARE(app.net->requests.size(), 4);
        QVERIFY(ticks > 2 && !view->isReadOnly());
        QCOMPARE(app.net->requests[3].fields[0].utf8, "!" + expected);
        app.upload("paste")->click(), app.window->hide();  // closed while read: nothing goes
        QTRY_VERIFY(!view->isReadOnly());
        QTest::qWait(20);
        // No reader is left behind.
        QVERIFY(app.net->requests.size() == 4 && view->children().size() == children);
    }

    // What the image and file pages send, and what they show of the answer: as written, never
    // as markup or a mnemonic. A failed image upload also says "Error" on standard output. A
    // page sends only what it shows: nothing before its own choice.
    void fileUploads_data() {
        // flags: priv, anon[, nsfw] ticked; three: the image page
        columns<QString, QString, QString, QByteArray>("flags", "fileName", "mimeType", "answer");
        row("image", "100", "c.png", "image/png", QByteArray("ferrodock.net/i/abcdefghi"));
        row("image, fails", "011", "c.JPG", "image/jpeg", kFailed.toUtf8());
        row("file, markup answer", "01", "a.pdf", "application/pdf",
            QByteArray("<b>x</b> &amp; Tom & Jerry &&"));
        row("file, fails", "10", "Tom & Jerry – été.bin", "application/octet-stream",
            kFailed.toUtf8());
    }
    void fileUploads() {
        auto [flags, fileName, answer] =
            fetch<QString, QString, QByteArray>("flags", "fileName", "answer");
        const QString shown = answer.isValidUtf8() ? QString(answer) : kNotText;
        const bool image = flags.size() == 3;
        const QString page = image ? "image" : "file", reminder = image ? "an image." : "a file.";
        TestApp app;
        QTemporaryDir dir;
        app.choose(makeImage(dir.path(), "other.png"), !image), app.upload(page)->click();
        QCOMPARE(literalText(app.link(page)), "You forgot to choose " + reminder);
        const QString path = makeImage(dir.path(), fileName);
        app.choose(path, image);
        // Shown literally, '&' included; the chooser asked as its page does.
        QCOMPARE(literalText(app.button(image ? "selectButton" : "selectButton2")), fileName);
        QCOMPARE(app.panel.asked,
                 image ? "Select Image|Select|jpg jpeg gif png" : "Select File|Select|");
        QStringList expected;
        for (int i = 0; i < flags.size(); ++i) {
            const QString name = QStringList{"priv", "anon", "nsfw"}[i];
            app.find<QCheckBox>(name + (image ? "Image" : "File"))->setChecked(flags[i] == '1');
            expected << name + "=" + flags[i];
        }
        app.session.remember("", "k"), app.upload(page)->click();
        QCOMPARE(app.net->requests.size(), 1);
        const FakeRequest& sent = app.net->requests[0];
        QCOMPARE(sent.path + sent.filePath, "/api/upload/" + page + path);
        QCOMPARE(sent.form(), expected << "apikey=k");
        QTEST(sent.mimeType, "mimeType");
        std::FILE* printed = tempStream();  // what standard output is given meanwhile
        const int saved = (std::fflush(stdout), ::dup(1));
        ::dup2(::fileno(printed), 1);
        settle(app, answer);  // the page flushes what it writes
        ::dup2(saved, 1), ::close(saved);
        QCOMPARE(contents(printed), image && shown.startsWith("Upload failed") ? "Error\n" : "");
        QVERIFY(literalText(app.link(page)) == shown && app.link(page)->shortcut().isEmpty());
    }

    // Only an address of the page's length is copied, with "https://" before it; the copy
    // resets that page alone, and a chooser's reset empties the choice of both pages.
    void whatIsCopied_data() {
        columns<QString, QString, bool>("page", "title", "copied");
        const QString a24 = "ferrodock.net/f/abcdefgh", a25 = "ferrodock.net/i/abcdefghi";
        for (const QString page : {"file", "image", "paste"}) {
            row(qPrintable(page + " 24"), page, a24, page == "file");
            row(qPrintable(page + " 25"), page, a25, page != "file");
        }
        // Titles count in characters, not bytes or code units.
        row("image é", "image", "ferrodock.net/i/abcdéfghi", true);
        row("file emoji", "file", "ferrodock.net/f/abcdefg\U0001F600", true);
        row("paste accent", "paste", "ferrodock.net/p/abcdefghe\u0301", true);
        // A message of the right length is no address: whitespace and controls give it away.
        row("paste message", "paste", "Error: paste is too long.", false);
        row("no-break space", "image", "ferrodock.net/i/abcd\u00a0fghi", false);
        row("tab", "file", "ferrodock.net/f/abc\tefgh", false);
        row("line separator", "file", "ferrodock.net/f/abc\u2028efgh", false);
        row("control", "paste", "ferrodock.net/p/abcd\x7f\x66ghi", false);
        // Nor is a text without the shape of one: a host with a dot, then a path.
        row("no path", "image", "ferrodock.net-i-abcdefghi", false);
        row("host without a dot", "paste", "ferrodocknet/p/abcdefghij", false);
        row("format character", "file", "ferrodock.net/f/abc\u200befgh", false);
    }
    void whatIsCopied() {
        auto [page, title, copied] = fetch<QString, QString, bool>("page", "title", "copied");
        App app;
        QTRY_COMPARE(app.find<QLabel>("bgImage")->pixmap().size(), QSize(64, 48));
        showText(app.link(page), title), app.link(page)->click();
        app.find<QLabel>("bgImage")->resize(90, 70);  // a picture dropped stays gone as it grows
        QCOMPARE(QGuiApplication::clipboard()->text(), copied ? "https://" + title : "before");
        QCOMPARE(literalText(app.link(page)), copied ? "Copied to clipboard." : title);
        const bool reset = copied && page != "paste";
        QCOMPARE(QStringList({literalText(app.button("selectButton")),
                              literalText(app.button("selectButton2"))}),
                 QStringList({reset && page == "image" ? "Choose an image." : "cat.png",
                              reset && page == "file" ? "Choose a file." : "notes.txt"}));
        QCOMPARE(
            app.find<QLabel>("bgImage")->pixmap().toImage() == QPixmap(":/ImageIcon.png").toImage(),
            reset && page == "image");
        QCOMPARE(app.text()->toPlainText().isEmpty(), copied && page == "paste");
        for (const char* other : {"file", "image"}) app.upload(other)->click();
        QCOMPARE(app.net->requests.size(), reset ? 0 : 2);
    }

    // The figures take the link's place after a moment, then the answer, a failure or a cancel
    // (button or Esc) puts the link back; a cancel stops the transfer. Each cause of a failure
    // is named on the page, and the choice stays; the desktop hears of the end when the window
    // is not in front.
    void uploadEnds_data() {
        // end: "cancel", "escape", or the transport's answer or cause of failure; advice: where
        // trying again cannot help, what can.
        columns<QString, QString, TransportError, int, QString>("page", "end", "kind", "limitMs",
                                                                "advice");
        using E = TransportError;
        const auto end = [](const char* name, const char* page, const char* how, E kind = E::None,
                            int ms = 0, QString advice = "Please try again.") {
            QTest::newRow(name) << QString(page) << QString(how) << kind << ms << advice;
        };
        end("file, Cancel", "file", "cancel");
        end("image, Esc", "image", "escape");
        end("paste, Cancel", "paste", "cancel");
        end("paste, answer", "paste", "ferrodock.net/p/abcdefghi");
        end("unreachable", "file", ": could not reach ferrodock.net", E::Unreachable);
        end("lost", "file", ": the connection was lost", E::ConnectionLost);
        end("silent", "file", ": the service sent no answer for 2 s", E::NoAnswer, 1001);
        end("10 min", "file", ": the service sent no answer for 10 min", E::NoAnswer, 629000);
        // Seconds up to two minutes, then minutes.
        end("119 s", "image", ": the service sent no answer for 119 s", E::NoAnswer, 119000);
        end("2 min", "image", ": the service sent no answer for 2 min", E::NoAnswer, 119001);
        end("no deadline", "file", ": the service sent no answer", E::NoAnswer);
        end("untrusted", "file", ": the service's certificate is not trusted", E::Untrusted, 0,
            "Check the date and the network you are on.");
        end("file changed", "file", ": the file changed while it was being sent", E::FileChanged);
        end("file gone", "file", ": the file is gone", E::FileGone, 0, "Choose the file again.");
        end("pipe", "file", ": the file is not a regular file", E::NotRegular, 0,
            "Choose another file.");
        end("unreadable", "file", ": the file could not be read", E::FileUnreadable, 0,
            "Check that you are allowed to read it.");
        end("not text", "image", ": the service's answer was not text", E::NotText, 0, kLater);
        end("too large", "file", ": the service's answer was too large", E::TooLarge, 0, kLater);
        end("other", "file", "", E::Other);
        // An address is told whole and can be copied from the notification.
        end("address", "file", "ferrodock.net/f/abcdefgh");
        end("message", "file", "Error: the file is too large.");
    }
    void uploadEnds() {
        auto [page, end, kind, limitMs, advice] =
            fetch<QString, QString, TransportError, int, QString>("page", "end", "kind", "limitMs",
                                                                  "advice");
        const QString label = QStringList{"notes.txt", "cat.png", "5 bytes of text"}.value(
            QStringList{"file", "image", "paste"}.indexOf(page));
        App app;
        QWidget other;
        other.show(), QApplication::setActiveWindow(&other);
        QTRY_VERIFY(!app.window->isActiveWindow());
        const QString kept = app.kept();
        app.send(page);
        QCOMPARE(app.window->pastePage()->isVisible(), page == "paste");
        const FakeRequest request = app.net->requests.value(0);
        request.progress({500, 2000, false});
        QTRY_VERIFY(app.panel(page) && app.panel(page)->isVisible());
        QVERIFY(!app.link(page)->isVisible());
        const QLabel* text = app.panel(page)->findChild<QLabel*>(page + "ProgressText");
        QCOMPARE(text->text().left(label.size() + 36),
                 "Uploading " + label + ": 25%, 500 bytes of 2.0 kB");
        const QProgressBar* bar = app.panel(page)->findChild<QProgressBar*>();
        QVERIFY(bar->value() * 4 == bar->maximum() && !bar->isTextVisible());  // the line says it
        QCOMPARE(bar->accessibleName(), text->accessibleName() + " bar");
        // The line over the bar, the Cancel button beside both, and the margins round them.
        auto* cancel = app.panel(page)->findChild<QPushButton*>(page + "CancelButton");
        QCOMPARE(cancel->accessibleName() + '|' + cancel->toolTip(),
                 "Cancel the upload|Stop the upload (Esc)");
        QCOMPARE((QList<int>{text->x(), text->y(), bar->y() - text->geometry().bottom(),
                             cancel->geometry().left() - bar->geometry().right(),
                             app.panel(page)->rect().bottom() - bar->geometry().bottom(),
                             app.panel(page)->rect().right() - cancel->geometry().right(),
                             app.panel(page)->height()}),
                 (QList<int>{18, 4, 5, 13, 4, 6, 48}));
        for (const qint64 sent : {1000, 2000}) request.progress({sent, 2000, sent == 2000});
        // The launcher hears of progress at most four times a second.
        QVERIFY(app.notices.progress == 0.5 && text->text() == "Waiting for the service...");
        bool cancelled = end == "cancel" || end == "escape", ok = kind == TransportError::None;
        if (cancelled) app.upload(page)->click();  // a second: shown at once, cancelled too
        if (cancelled) QCOMPARE(text->text(), "Uploading " + label + "...");
        if (end == "cancel") cancel->click();
        if (end == "escape") QApplication::setActiveWindow(app.window.get());
        if (end == "escape") QTest::keyClick(app.window.get(), Qt::Key_Escape);
        QVERIFY(!cancelled || (app.link(page)->isVisible() && !app.panel(page)->isVisible()));
        QCOMPARE(request.cancelled(), cancelled);
        // The person's words on standard error too, never the transport's own.
        if (!ok && !cancelled)
            QTest::ignoreMessage(QtWarningMsg, qPrintable(page + " upload failed" + end));
        // After a cancel, the transport's late word changes nothing.
        app.net->finish(cancelled ? TransportResult{false, {}, "aborted", TransportError::Cancelled}
                                  : TransportResult{ok, end.toUtf8(), "detail", kind,
                                                    std::chrono::milliseconds(limitMs)});
        QVERIFY(app.link(page)->isVisible() && !app.panel(page)->isVisible());
        const QString shown = cancelled ? "Upload cancelled."
                              : ok      ? end
                                        : "Upload failed" + end + ". " + advice;
        QCOMPARE(literalText(app.link(page)), shown);
        const QString told = end.startsWith("ferrodock.net/") ? "https://" + end : shown;
        if (!cancelled)
            QCOMPARE(app.notices.shown,
                     QStringList{page[0].toUpper() + page.mid(1) +
                                 (ok ? " uploaded: " : " upload failed: ") + told +
                                 (told == shown ? "" : " [" + told + "]")});
        QVERIFY(app.kept() == kept && app.notices.progress == std::nullopt);
        if (ok && !cancelled) app.send(page), app.net->requests.last().progress({1, 2, false});
        QTRY_VERIFY(!ok || cancelled || app.panel(page)->isVisible());  // the next one shows too
        // After a second, its speed and the time left too (in the answered rows alone).
        if (const QRegularExpression speed(" bytes/s, about \\d s left$"); end.startsWith('f'))
            QTRY_VERIFY(
                (app.net->requests.last().progress({500, 2000}), text->text().contains(speed)));
    }

    // At the smallest window a text too wide for its widget is cut to the widget's width with
    // "…", whole in its tool tip and accessible description, and does not widen the window; a
    // text that fits is shown whole.
    void textsFitTheSmallestWindow_data() {
        columns<QString, QString>("page", "name");  // the widget's page, and its name
        for (const QString row : {"file fileProgressText", "file fileOutput", "file selectButton2",
                                  "image imageOutput", "image selectButton", "paste pasteOutput"})
            QTest::newRow(qPrintable(row)) << row.section(' ', 0, 0) << row.section(' ', 1);
    }
    void textsFitTheSmallestWindow() {
        auto [page, name] = fetch<QString, QString>("page", "name");
        App app;
        QWidget* window = app.window.get();
        window->resize(window->minimumSize());
        app.choose(makeFile(app.dir.path(), QString(60, 'W') + ".bin", "x"), false);
        app.send(page);
        QWidget* widget = window->findChild<QWidget*>(name);
        const auto button = qobject_cast<QPushButton*>(widget);
        for (const bool cut : {true, false}) {
            if (button) showText(button, cut ? QString(90, 'W') : "This fits.");
            if (!button) app.net->requests[0].progress({500, 2000, !cut});
            // The tool tip follows the text at once, before the next paint.
            const auto label = qobject_cast<QLabel*>(widget);
            QCOMPARE(widget->toolTip() == (label ? label->text() : literalText(button)), cut);
            QTRY_VERIFY(widget->isVisible());
            QCoreApplication::sendPostedEvents();
            const QString whole = button ? literalText(button) : label->text();
            const QString shown = shownText(widget);
            QVERIFY(widget->fontMetrics().horizontalAdvance(shown) < widget->width());
            QCOMPARE(shown.endsWith(u'…'), cut);
            QVERIFY(whole.startsWith(shown.chopped(cut)) && shown.size() > 6);
            QCOMPARE(widget->toolTip() == whole && widget->accessibleDescription() == whole, cut);
            QVERIFY(window->minimumSizeHint().width() <= window->minimumWidth());
        }
        if (!button) return;
        // A text set while it fits is cut, and says so, once its widget narrows.
        const QString ownTip = button->toolTip();
        const int narrow = button->width();
        window->resize(window->minimumSize() * 2);
        QTRY_VERIFY(button->width() > narrow * 3 / 2);
        showText(button,
                 QString(narrow * 5 / 4 / button->fontMetrics().horizontalAdvance('W'), 'W'));
        QCOMPARE(button->toolTip(), ownTip);
        window->resize(window->minimumSize());
        QCOMPARE(button->toolTip(), literalText(button));  // at once, before the next paint
    }

    // Closing the window over running uploads asks first, worded for their number; keeping it,
    // the default, keeps the uploads.
    void closingAsksFirst() {
        for (const int uploads : {0, 1, 2}) {
            App app;
            for (int i = 0; i < uploads; ++i) app.send("paste");
            QStringList asked;
            QTimer::singleShot(0, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                if (!box) return;
                asked << box->text() << box->informativeText();
                for (QAbstractButton* b : box->buttons()) asked << b->text();
                (uploads == 1 ? box->defaultButton() : box->buttons().value(0))->click();
            });
            app.window->close();
            QCOMPARE(asked.join('|'),
                     QStringList({"",
                                  "An upload is still running.|Cancel it and close the "
                                  "window?|Cancel Upload|Keep Uploading",
                                  "2 uploads are still running.|Cancel them and close the "
                                  "window?|Cancel Uploads|Keep Uploading"})[uploads]);
            QCOMPARE(app.window->isVisible(), uploads == 1);
            QCOMPARE(literalText(app.link("paste")) == "Upload cancelled.", uploads == 2);
        }
    }
    // Choosing through the panel, or dropping or pasting on a page, which takes the first file
    // that fits, else a picture's data, kept as a PNG: a refusal, or the files left out, are said
    // on the page's link until the next choice. The Edit item is greyed where a paste finds
    // nothing; on the Paste page Ctrl+V is the text's own paste.
    void choices_data() {
        // how: "drop", "panel" or "paste", on "image", "file" or "paste"; given: names as bytes,
        // made empty in a folder and all handed over, but a "+" one only made, "folder.png" a
        // folder, a URL not made; "png:", "jpeg:", "qt:" a picture's data, "text:" a text;
        // chosen: the name chosen; said: the link's title when not its placeholder (on the Paste
        // page, the text pasted).
        columns<QString, QByteArrayList, QString, QString>("how", "given", "chosen", "said");
        const QString no, type = "Only jpg, jpeg, gif and png images can be chosen here.",
                          utf8 = "This file's name is not valid UTF-8; rename it to upload it.",
                          more = " more file%1 left out; ferrodock uploads one at a time.",
                          pasted = "Pasted image.png";
        const QString web =
            "ferrodock does not download pictures from addresses; save it first, "
            "then choose or drop the file.";
        using L = QByteArrayList;
        row("image in capitals", "drop image", L{"CAT.JPG"}, "CAT.JPG", no);
        row("folder", "drop image", L{"folder.png"}, no, no);
        row("web address", "drop file", L{"http://x/a"}, no, web);
        row("folder skipped", "drop file", L{"folder.png", "notes.txt"}, "notes.txt", no);
        row("two files", "drop file", L{"z.txt", "a.txt"}, "z.txt", "1" + more.arg(" was"));
        row("a browser's picture", "drop image", L{"https://x/a.jpg", "qt:"}, pasted, no);
        row("a browser's link", "drop image", L{"moz:https://x.yz"}, no, web);
        row("no picture type", "panel image", L{"jpg"}, no, type);
        row("not UTF-8, sibling", "drop file", L{"bad\xff.txt", "+bad\xef\xbf\xbd.txt"}, no, utf8);
        row("panel: lossy twin", "panel file", L{"bad\xef\xbf\xbd.txt", "+bad\xfe.txt"}, no, utf8);
        row("U+FFFD in a name", "panel file", L{"ok\xef\xbf\xbd.txt"}, "ok\xef\xbf\xbd.txt", no);
        // A folder that cannot be listed cannot show there is no twin.
        row("unlisted folder", "panel file", L{"ok\xef\xbf\xbd.txt"}, no, utf8);
        row("PNG", "paste image", L{"png:"}, pasted, no);
        row("JPEG said to be PNG", "paste image", L{"png:jpeg:"}, pasted, no);
        row("JPEG and text, file page", "paste file", L{"jpeg:", "text:a"}, pasted, no);
        row("first picture of 3", "paste image", L{"a.txt", "b.png", "c.gif"}, "b.png",
            "2" + more.arg("s were"));
        row("not a picture", "paste image", L{"a.txt"}, no, type);
        row("address", "paste image", L{"https://x/a.png"}, no, web);
        row("text only, a file's address", "paste file", L{"text:file:///etc/passwd"}, no, no);
        row("nothing", "paste image", L{}, no, no);
        row("Paste page", "paste paste", L{"png:", "text:a"}, no, "a");
        // ferrodock open: names relative to the caller's folder, "@" a file: URI, "-" not made;
        // the first decides the page.
        row("open: picture, two more", "open image", L{"CAT.JPG", "a.txt", "b"}, "CAT.JPG",
            "2" + more.arg("s were"));
        row("open: text URI, one more", "open file", L{"@a b%.txt", "c.png"}, "a b%.txt",
            "1" + more.arg(" was"));
        row("open: missing", "open image", L{"-gone.png", "a.txt"}, no,
            "This file cannot be found.");
        row("open: folder", "open image", L{"folder.png"}, no,
            "A folder cannot be uploaded; choose a file.");
    }
    void choices() {
        auto [how, given, chosen, said] =
            fetch<QString, QByteArrayList, QString, QString>("how", "given", "chosen", "said");
        const QString page = how.section(' ', 1);
        const bool image = page != "file", pasted = chosen == "Pasted image.png";
        TestApp app;
        QTemporaryDir dir;  // which cannot remove names that are not UTF-8
        const auto rm = qScopeGuard([&dir] { QProcess::execute("rm", {"-rf", dir.path()}); });
        const QByteArray folder = QFile::encodeName(dir.path()) + '/';
        QList<QUrl> urls;
        auto data = std::make_unique<QMimeData>();
        QImage picture(32, 16, QImage::Format_RGB32);  // two colours side by side
        picture.fill(QColor(200, 80, 40));
        QPainter(&picture).fillRect(16, 0, 16, 16, QColor(40, 120, 220));
        QStringList args;    // what ferrodock open is given
        QByteArray offered;  // a picture's data as offered
        for (QByteArray name : given) {
            const char mark = QByteArrayView("+-@").contains(name[0]) ? name[0] : 0;
            name.remove(0, mark ? 1 : 0);
            const QByteArray path = folder + name;
            QBuffer bytes;
            if (name == "qt:") data->setImageData(picture);
            if (name.startsWith("text:")) data->setText(name.mid(5));
            if (name.startsWith("png:") || name == "jpeg:") {  // "png:jpeg:": JPEG said to be PNG
                QVERIFY(bytes.open(QIODevice::WriteOnly) &&
                        picture.save(&bytes, name.contains("jpeg") ? "JPEG" : "PNG", 100));
                data->setData("image/" + name.left(name.indexOf(':')), offered = bytes.data());
            }
            if (name.startsWith("moz:"))  // a browser's link: UTF-16, the address alone here
                data->setData("text/x-moz-url", QStringEncoder(QStringEncoder::Utf16)(name.mid(4)));
            if (name.endsWith(':') || name.startsWith("text:") || name.startsWith("moz:")) continue;
            const bool url = name.contains(':');
            QVERIFY(url || mark == '-' ||
                    (name == "folder.png" ? ::mkdir(path, 0700) : ::close(::creat(path, 0600))) ==
                        0);
            const QByteArray uri = "file://" + path.toPercentEncoding("/");
            if (mark != '+') urls << QUrl::fromEncoded(url ? name : uri);
            args << (mark == '@' ? QString::fromLatin1(uri) : QFile::decodeName(name));
        }
        if (!urls.isEmpty()) data->setUrls(urls);
        if (QTest::currentDataTag() == QByteArray("unlisted folder"))
            QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ExeOwner));
        // The panel hands over names as Qt decoded them from the folder.
        // A drop is dragged over the page first; the page takes both or neither.
        const bool acts = !chosen.isEmpty() || (!said.isEmpty() && page != "paste");
        QWidget* onto =
            image ? static_cast<QWidget*>(app.window->imagePage()) : app.window->filePage();
        if (how.startsWith("drop")) {
            QDragEnterEvent enter({10, 10}, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QDropEvent drop({10, 10}, Qt::CopyAction, data.get(), Qt::LeftButton, {});
            QCoreApplication::sendEvent(onto, &enter), QCoreApplication::sendEvent(onto, &drop);
            QCOMPARE(onto->acceptDrops() && enter.isAccepted() && drop.isAccepted(), acts);
        } else if (how.startsWith("open")) {
            app.window->switchPaste(), app.window->showMinimized();  // brought back to the front
            openFiles(*app.window, AppInstance::fileUris(args, dir.path()));
            QVERIFY(app.find<QStackedWidget>("mainView")->currentWidget() == onto &&
                    !app.window->isMinimized());
        } else if (how.startsWith("paste")) {
            if (page != "image")
                page == "file" ? app.window->switchFile() : app.window->switchPaste();
            QGuiApplication::clipboard()->setMimeData(data.release());
            const QAction* item = app.find<QAction>("pasteImage");
            QCOMPARE(item->isEnabled(), acts);
            QCOMPARE(item->text(), page == "file" ? "Paste File" : "Paste Image");
            QApplication::setActiveWindow(app.window.get());
            QWidget* at = page == "paste" ? app.find<QWidget>("pasteData") : app.window.get();
            at->setFocus(), QTest::keyClick(at, Qt::Key_V, Qt::ControlModifier);
        } else {
            app.choose(urls[0].toLocalFile(), image);
        }
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString path = app.window->lastChosenPath(),
                      chooser = image ? "Choose an image." : "Choose a file.",
                      placeholder = chooser.chopped(1) + ", then press upload.";
        QCOMPARE(pasted ? QFileInfo(path).fileName() : path,
                 pasted || chosen.isEmpty() ? chosen : dir.filePath(chosen));
        QCOMPARE(app.scratch.holds(path), pasted);
        QCOMPARE(literalText(app.button(image ? "selectButton" : "selectButton2")),
                 chosen.isEmpty() ? chooser : chosen);
        QCOMPARE(literalText(app.link(image ? "image" : "file")),
                 said.isEmpty() || page == "paste" ? placeholder : said);
        if (page == "paste") QCOMPARE(app.find<QPlainTextEdit>("pasteData")->toPlainText(), said);
        // A picture is sent as PNG in a file of the user's alone, the colours put in.
        if (struct stat info{}; pasted) {
            QVERIFY(::stat(QFile::encodeName(path), &info) == 0 && (info.st_mode & 0777) == 0600);
            app.upload(page)->click();
            QCOMPARE(app.net->requests.value(0).filePath + app.net->requests.value(0).mimeType,
                     path + "image/png");
            const QByteArray png = readFile(path);
            const QImage got = QImage::fromData(png);
            // A PNG offered is kept as it came; anything else is made one.
            QVERIFY(got.size() == picture.size() &&
                    (given[0] == "png:" ? png == offered : png.startsWith("\x89PNG\r\n\x1a\n")));
            for (const QPoint at : {QPoint(8, 8), QPoint(24, 8)})
                for (const int shift : {0, 8, 16})
                    QVERIFY(std::abs(int(got.pixel(at) >> shift & 255) -
                                     int(picture.pixel(at) >> shift & 255)) <= 4);
        }
        // A pasted picture stays while chosen, after its upload too, and goes when the page
        // starts afresh (the Image page) or the window closes.
        if (pasted && how.startsWith("paste")) {
            settle(app, "ferrodock.net/i/abcdefghi");
            QVERIFY(QFile::exists(path));
            image ? app.link(page)->click() : app.window.reset();
            QVERIFY(!QFile::exists(path));
            return;
        }
        app.choose(makeImage(dir.path(), "good.png"), image);  // takes a refusal back
        QCOMPARE(literalText(app.link(image ? "image" : "file")), placeholder);
        // A picture replaced goes once its upload has ended; a file chosen stays.
        QCOMPARE(QFile::exists(path), !chosen.isEmpty());
        if (pasted) settle(app, "ferrodock.net/i/abcdefghi");
        QCOMPARE(QFile::exists(path), !chosen.isEmpty() && !pasted);
    }

    // What cannot be decoded, or not quickly and safely, has no preview but still uploads: a
    // picture of 12000x9000, one of 6000x6000 at 16 bits a channel (288 MB decoded), a FIFO or
    // a text named like a picture.
    void previewRefusals_data() {
        // size: none: a FIFO
        columns<QSize, int>("size", "bits");
        QTest::newRow("over 100 megapixels") << QSize(12000, 9000) << 32;
        QTest::newRow("over 256 MiB") << QSize(6000, 6000) << 64;
        QTest::newRow("grey, over 256 MiB once in colour") << QSize(8000, 8000) << 8;
        QTest::newRow("FIFO") << QSize() << 0;
        QTest::newRow("not a picture") << QSize(1, 1) << 0;
    }
    void previewRefusals() {
        auto [size, bits] = fetch<QSize, int>("size", "bits");
        QTemporaryDir dir;
        const QString path = dir.filePath("picture.png");
        QVERIFY(bits             ? !zeroPng(dir.path(), "picture.png", size, bits).isEmpty()
                : size.isValid() ? !makeFile(dir.path(), "picture.png", "text").isEmpty()
                                 : ::mkfifo(qPrintable(path), 0600) == 0);
        TestApp app;
        app.choose(path, true);
        QTRY_VERIFY(!app.window->imagePage()->preview().decoding());
        QVERIFY(app.find<QLabel>("bgImage")->pixmap().isNull());
        app.upload("image")->click();
        QCOMPARE(app.net->requests.value(0).filePath, path);
    }

    // One decode runs at a time: a newer choice stops an older one, and so does closing the
    // window, which then waits no longer than the decoder's next read.
    void previewDecodesOneAtATime() {
        QTemporaryDir dir;
        const QString big = zeroPng(dir.path(), "big.png", QSize(8000, 8000), 32);  // 256 MB
        for (const bool closing : {false, true}) {
            std::optional<TestApp> app(std::in_place);
            const int stopped = previewDecodesStopped();
            app->choose(big, true);
            QTRY_COMPARE(previewDecodesRunning(), 1);
            // Closing waits for the decoder's next read.
            closing ? app.reset() : app->choose(makeImage(dir.path(), "small.png"), true);
            QTRY_VERIFY(closing || app->find<QLabel>("bgImage")->pixmap().size() == QSize(64, 48));
            QVERIFY(previewDecodesRunning() == 0 && previewDecodesStopped() == stopped + 1);
        }
    }

    // Each preview is a smooth scale of the whole picture, turned upright, at a scale that is
    // not whole and reduces by more than half: each block's centre keeps the colour put there.
    void previewIsTheWholePicture_data() {
        // convert: "convert"'s arguments, then the file made
        columns<QImage, QStringList>("picture", "convert");
        const auto pattern = [](int colours) {
            QImage image(602, 406, colours ? QImage::Format_Indexed8 : QImage::Format_ARGB32);
            image.setColorCount(colours);
            for (int i = 0; i < colours; ++i)
                image.setColor(i, qRgb(i * 97 % 256, 255 - i * 61 % 256, i * 37 % 256));
            for (int y = 0; y < 406; ++y)
                for (int x = 0; x < 602; ++x)  // blocks of 74x58
                    image.setPixel(
                        x, y,
                        colours ? uint((x / 74 + y / 58) % colours)
                                : qRgb(x * 255 / 602, y * 255 / 406, (x / 74 + y / 58) % 2 * 200));
            return image;
        };
        for (int depth : {1, 2, 4})
            QTest::addRow("%d-bit palette PNG", depth)
                << pattern(1 << depth)
                << QStringList{"-define", QString("png:bit-depth=%1").arg(depth), "PNG8:p.png"};
        QTest::newRow("8-bit palette PNG") << pattern(200) << QStringList{"PNG8:p.png"};
        const QString grey = "-colorspace gray -alpha set -channel A -evaluate set 60% -define";
        row("grey with alpha", pattern(0), (grey + " png:color-type=4 ga.png").split(' '));
        QTest::newRow("16-bit PNG") << pattern(0) << QStringList{"-depth", "16", "PNG64:p.png"};
        QTest::newRow("GIF") << pattern(16) << QStringList{"p.gif"};
        QTest::newRow("progressive JPEG")
            << pattern(0) << QStringList{"-interlace", "Plane", "-quality", "95", "p.jpg"};
        QTest::newRow("EXIF-rotated JPEG") << pattern(0) << QStringList{"-quality", "95", "t.jpg"};
    }
    void previewIsTheWholePicture() {
        auto [picture, convert] = fetch<QImage, QStringList>("picture", "convert");
        QTemporaryDir dir;
        QVERIFY(picture.save(dir.filePath("source.png")));
        const QString made = convert.takeLast();  // "PNG8:p.png" names an encoder
        const qsizetype colon = made.indexOf(':') + 1;
        const QString path = dir.filePath(made.mid(colon));
        convert.prepend(dir.filePath("source.png"));
        QCOMPARE(QProcess::execute("convert", convert << made.left(colon) + path), 0);
        const bool turned = made == "t.jpg";
        if (turned) makeFile(dir.path(), made, readFile(path).insert(2, kTurnedExif));
        const PreviewPicture preview = decodePreview(path, QSize(173, 173));
        const QSize full = turned ? picture.size().transposed() : picture.size();
        QCOMPARE(preview.fullSize, full);
        QCOMPARE(preview.image.size(), full.scaled(173, 173, Qt::KeepAspectRatio));
        const QImage got = preview.image.convertToFormat(QImage::Format_ARGB32);
        const double scale = double(got.width()) / full.width();
        int worst = 0;
        for (int tile = 0; tile < 8 * 7; ++tile) {  // the centre of each block
            const int x = tile % 8 * 74 + 37, y = tile / 8 * 58 + 29;
            QRgb want = picture.pixel(x, y);
            const int grey = qRound(0.2126 * qRed(want) + 0.7152 * qGreen(want) +
                                    0.0722 * qBlue(want));  // sRGB's luma
            if (made == "ga.png") want = qRgba(grey, grey, grey, 153);
            const QPointF at = (turned ? QPointF(full.width() - y, x) : QPointF(x, y)) * scale;
            for (int shift : {0, 8, 16, 24})
                worst = std::max(worst, std::abs(int(got.pixel(at.toPoint()) >> shift & 255) -
                                                 int(want >> shift & 255)));
        }
        QVERIFY2(worst <= 8, qPrintable(QString("off by %1").arg(worst)));
    }

    // The picture follows the window's size, and is decoded again once it has grown.
    void previewFollowsWindow() {
        const QSize picture(3000, 10);  // a strip that fits one way, never under a pixel
        QTemporaryDir dir;
        const QString big = makeImage(dir.path(), "big.png", QSize(3000, 2000));
        TestApp app;
        QWidget* window = app.window.get();
        app.choose(big, true), app.choose(makeImage(dir.path(), "wide.png", picture), true);
        QLabel* view = app.find<QLabel>("bgImage");
        const auto fitted = [view, picture] {
            const QSize box = view->contentsRect().size();
            if (picture.width() <= box.width() && picture.height() <= box.height()) return picture;
            return picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        };
        for (const QSize size : {window->minimumSize(), QSize(1200, 900), window->minimumSize()}) {
            window->resize(size);
            QTRY_COMPARE(previewDecodesRunning(), 0);
            QTRY_COMPARE(view->pixmap().size(), fitted());
            // Grown, it is decoded again for the pixels it now needs.
            QTRY_VERIFY(app.window->imagePage()->preview().decoded().width() >= fitted().width());
            QVERIFY(size != window->minimumSize() || everyControlWhole(app.window.get()));
        }
    }

    // The desktop's dialog asks as told, for one existing file, listing pictures whatever the
    // case of their extension.
    void fileDialog() {
        QStringList seen;
        QTimer::singleShot(0, [&seen] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            seen = {dialog->windowTitle(), dialog->labelText(QFileDialog::Accept),
                    dialog->nameFilters().join(';'), QString::number(dialog->fileMode()),
                    QString::number(int(dialog->options()))};
            dialog->reject();
        });
        QVERIFY(
            !FileDialogPanel().runModal({"Pick", "Take", QStringList{"gif"}}, nullptr).confirmed);
        // 1: one existing file; 40: not the desktop's own dialog, no filter details.
        QCOMPARE(seen.join('|'), "Pick|Take|Images (*.[gG][iI][fF])|1|40");
    }

    // The whole program, window to wire, against the HTTPS test service: a login, then a paste
    // and a file upload with the key it gave. How fields and files are written is tried in
    // tst_transport, what each page sends above; here they meet.
    void loginThenUploadsOverHttps() {
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
        app.button("pastePageButton2")->click();
        app.find<QPlainTextEdit>("pasteData")->setPlainText("é 100% & more");
        app.find<QComboBox>("language")->setCurrentText("Python");
        app.upload("paste")->click();
        QTRY_COMPARE(literalText(app.link("paste")), "ferrodock.net/p/abcdefghi");
        const QByteArray content = patternBytes(300 * 1024);
        app.choose(makeFile(app.home.path(), "report.pdf", content), false);
        app.upload("file")->click();
        QTRY_COMPARE(literalText(app.link("file")), "ferrodock.net/f/abcdefgh");
        const QList<RecordedRequest> sent = service.requests();
        QCOMPARE(sent.size(), 3);
        const QByteArray paste = "pastedata=%C3%A9%20100%25%20%26%20more&language=python";
        QCOMPARE(sent[1].body, paste + "&priv=0&anon=0&apikey=" + key);
        QVERIFY(sent[2].parts.value(3).content == content);
        app.find<QAction>("goHistory")->trigger();  // the upload, then in the history
        const QAbstractItemModel* history = app.window->historyWindow()->model();
        QCOMPARE((QStringList{history->index(0, 0).data().toString(),
                              history->index(0, 0).data(Qt::ToolTipRole).toString(),
                              history->index(0, 3).data(Qt::ToolTipRole).toString()}),
                 (QStringList{"report.pdf", "report.pdf\nfile, 300.00 KiB, sent as a b+c",
                              "https://ferrodock.net/f/abcdefgh"}));
    }

    // Edit > Capture Screen through a stand-in portal: the shot, as it is, becomes the Image
    // page's choice; a cancel or no answer changes nothing, a failure says so on the link. With
    // no portal, and no X11 to grab, the item is greyed out and says why.
    void captureScreen_data() {
        // portal: 0 none, 1 its name without Screenshot, 2 the whole; shown: page, choice, link
        columns<int, int, QString>("portal", "response", "shown");
        const QString kept = "fileView notes.txt Choose an image, then press upload.";
        row("no portal", 0, -1, kept);
        row("no Screenshot", 1, -1, kept);
        for (const int older : {0, 3})
            row(older ? "captured, an older portal" : "captured", 2, older,
                "imageView shot.png Choose an image, then press upload.");
        row("cancelled", 2, 1, kept);
        row("failed", 2, 2, "imageView notes.txt Screen capture failed. Please try again.");
        row("refused", 2, 4, "imageView notes.txt Screen capture failed. Please try again.");
        row("never answered", 2, -1, kept);
    }
    void captureScreen() {
        auto [portal, response, shown] = fetch<int, int, QString>("portal", "response", "shown");
        Portal fake;
        fake.response = response;
        auto gone =
            qScopeGuard([&] { fake.bus.unregisterService("org.freedesktop.portal.Desktop"); });
        QVERIFY(!portal || fake.bus.registerService("org.freedesktop.portal.Desktop"));
        QVERIFY(portal < 2 || fake.bus.registerObject("/org/freedesktop/portal/desktop", &fake,
                                                      QDBusConnection::ExportAllContents));
        QGuiApplication::clipboard()->clear();
        App app;
        QVERIFY(!app.find<QAction>("pasteImage")->isEnabled());  // nothing to paste from the start
        fake.uri = QUrl::fromLocalFile(makeImage(app.dir.path(), "shot.png")).toString();
        app.window->switchFile();
        QAction* item = app.find<QAction>("captureScreen");
        QCOMPARE(item->text() + ' ' + item->shortcut().toString(),
                 "Capture Screen\u2026 Ctrl+Shift+S");
        if (response == 2 || response == 4)
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("answered 2|portal: \"no"));
        // Asked once the window is up: greyed out before any use where it cannot capture.
        if (portal < 2) QTRY_VERIFY(!item->isEnabled());
        item->trigger();  // with a portal, before it is known: once it is
        if (portal == 2) QTRY_COMPARE(fake.asked, (QVariantList{"", true, true}));
        QCOMPARE(fake.versionsRead, portal == 2);  // asked once, however often it is wanted
        QTest::qWait(100);
        const auto state = [&] {
            return app.find<QStackedWidget>("mainView")->currentWidget()->objectName() + ' ' +
                   QFileInfo(app.window->lastChosenPath()).fileName() + ' ' +
                   literalText(app.link("image"));
        };
        QTRY_COMPARE(state(), shown);
        QCOMPARE(item->isEnabled() ? "" : item->toolTip(),
                 portal < 2 ? "No screenshot service on this desktop." : "");
        QVERIFY(app.find<QMenu>("editMenu")->toolTipsVisible());  // or the reason never shows
        if (response % 3 == 0) QCOMPARE(app.window->lastChosenPath(), QUrl(fake.uri).toLocalFile());
        if (response > 0 || portal < 2) return;
        // The window stays usable: a new request replaces the one left open, or follows the
        // one answered.
        fake.response = 0, item->trigger();
        QTRY_COMPARE(state(), "imageView shot.png Choose an image, then press upload.");
        QTest::qWait(100);  // a late answer to the request before is not heard
        QCOMPARE(state(), "imageView shot.png Choose an image, then press upload.");
    }

    // Without a portal, on X11, the screen is grabbed while the window is hidden; asked again
    // while it waits to grab, it grabs once. This suite runs itself again on a private X server.
    void grabScreenOnX11() {
        if (QGuiApplication::platformName() != "xcb") {
            if (QStandardPaths::findExecutable("Xvfb").isEmpty()) QSKIP("needs Xvfb");
            QProcess server, suite;
            server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
            if (!server.waitForReadyRead(30000)) QSKIP("Xvfb does not start for this user here");
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("DISPLAY", ":" + server.readAllStandardOutput().trimmed());
            env.insert("QT_QPA_PLATFORM", "xcb"), suite.setProcessEnvironment(env);
            suite.start(QCoreApplication::applicationFilePath(), {"grabScreenOnX11"});
            QVERIFY(suite.waitForFinished(60000));
            QVERIFY2(suite.exitCode() == 0, suite.readAll());
            return;  // the server is killed with its QProcess
        }
        QTemporaryDir dir;
        ScratchFolder scratch(dir.path() + "/scratch");
        ScreenCapture capture(scratch);
        QWidget window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList shots;
        connect(&capture, &ScreenCapture::captured, [&](const QString& shot) { shots << shot; });
        capture.capture(&window);
        QTRY_VERIFY(!window.isVisible());
        capture.capture(&window);  // while the first waits to grab
        QTRY_VERIFY(window.isVisible());
        QTest::qWait(600);
        QVERIFY(shots.size() == 1 && !QImage(shots[0]).isNull());
        capture.capture(&window);  // and a later capture grabs again
        QTRY_COMPARE(shots.size(), 2);
    }

    // The notices over the private session bus, as a notification server and a dock see them.
    void noticesReachTheDesktop() {
        Desktop desktop;
        QDBusConnection bus =
            QDBusConnection::connectToBus(qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS"), "dt");
        QVERIFY(bus.registerService("org.freedesktop.Notifications"));
        QVERIFY(bus.registerObject("/org/freedesktop/Notifications", &desktop,
                                   QDBusConnection::ExportAllSlots));
        QVERIFY(bus.connect({}, "/net/ferrodock/Ferrodock", "com.canonical.Unity.LauncherEntry",
                            "Update", &desktop, SLOT(Update(QString, QVariantMap))));
        const auto notices = makeBusNotices("net.ferrodock.Ferrodock", "Ferrodock", clipboard::put);
        const QString entry = "net.ferrodock.Ferrodock", address = "https://ferrodock.net/abc";
        notices->notify("Upload failed", "no address", {});
        QTRY_COMPARE(desktop.notified, (QVariantList{"Ferrodock", entry, "Upload failed",
                                                     "no address", QStringList(), entry}));
        notices->notify("Uploaded", address, address), notices->showProgress(0.25);
        QTRY_COMPARE(desktop.notified, (QVariantList{"Ferrodock", entry, "Uploaded", address,
                                                     QStringList{"copy", "Copy Address"}, entry}));
        // The action of another notification copies nothing; this one's copies the address.
        QGuiApplication::clipboard()->setText("before");
        for (const uint id : {8u, 7u}) {
            QDBusMessage invoked = QDBusMessage::createSignal(
                "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "ActionInvoked");
            bus.send(invoked << id << QString("copy"));
            if (id == 8) QTest::qWait(100);
            QTRY_COMPARE(QGuiApplication::clipboard()->text(), id == 7 ? address : "before");
        }
        // However many notices, one listener for their actions.
        const qsizetype objects = qApp->children().size();
        notices->notify("Uploaded", address, address), notices->showProgress(0.5);
        QCOMPARE(qApp->children().size(), objects);
        const QString uri = "application://net.ferrodock.Ferrodock.desktop";
        QTRY_COMPARE(desktop.updated, (QVariantList{uri, true, 0.25}));
        notices->showProgress(std::nullopt);
        QTRY_COMPARE(desktop.updated, (QVariantList{uri, false, 0.0}));
    }

    // The window that holds the bus name takes a later start's files, and the token that lets
    // it take the focus; the later start ends. With no bus a start runs alone; with the name
    // held, it hands over.
    void laterStartHandsOver() {
        TestApp app;
        const QString id = "net.ferrodock.Ferrodock", path = "/net/ferrodock/Ferrodock";
        AppInstance first([] { return QDBusConnection::sessionBus(); }, id, path);
        QVERIFY(first.claim());
        serveLaterStarts(*app.window, first);
        const QString session = qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS");
        for (const QString& at : {QString("unix:path=/nonexistent"), session})
            QCOMPARE(AppInstance([at] { return QDBusConnection::connectToBus(at, at); }, id, path)
                         .claim(),
                     at != session);
        QTemporaryDir dir;
        const QString picture = makeImage(dir.path(), "p.png");
        QProcess later;
        later.setWorkingDirectory(dir.path());
        later.setEnvironment(QProcess::systemEnvironment() << "XDG_ACTIVATION_TOKEN=t-1");
        later.start(FERRODOCK_BINARY, {"open", "p.png"});
        QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 30000);
        QVERIFY(later.exitCode() == 0 && qgetenv("XDG_ACTIVATION_TOKEN") == "t-1");
        QCOMPARE(app.window->lastChosenPath(), picture);
    }
};

QTEST_MAIN(PagesTest)
#include "tst_pages.moc"