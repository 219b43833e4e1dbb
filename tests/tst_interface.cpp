// The interface and its loader: every outlet and action connected, a start refused (naming the
// widget) when the description does not fit, keyboard use, and the window at start-up.
#include "app/Theme.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"

#include <QLabel>
#include <QTest>
#include <QTimer>

using namespace ferrodock;
using namespace ferrodock::test;

class InterfaceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void refusals_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        const auto row = [](const char* fault, const char* message) {
            QTest::newRow(fault) << fault << message;
        };
        row("missing", "no widget named 'savedpath'");
        row("duplicated", "2 widgets named 'savedpath'");
        row("wrong type", "QLabel 'savedpath' is not a QPushButton");
        row("unknown action", "QPushButton 'selectButton' sends 'selectImage'");
    }
    void refusals() {
        QFETCH(QString, fault);
        Interface interface = buildInterface();
        QMainWindow* window = interface.mainWindow.get();
        auto* savedpath = window->findChild<QPushButton*>("savedpath");
        if (fault == "missing") savedpath->setObjectName("savedPath");
        if (fault == "duplicated") (new QPushButton(window))->setObjectName("savedpath");
        if (fault == "wrong type") {
            delete savedpath;
            (new QLabel(window))->setObjectName("savedpath");
        }
        if (fault == "unknown action")
            window->findChild<QPushButton*>("selectButton")->setProperty("sends", "selectImage");
        AppDelegate delegate;
        const QString problem = connectInterface(delegate, interface);
        QFETCH(QString, message);
        QVERIFY2(problem.contains(message), qPrintable(problem));
    }

    // Ctrl+1..3 show the pages and Ctrl+Q quits; Tab reaches a page's controls in order, and
    // every control it reaches has an accessible name.
    void keyboard_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("page");  // empty: the program ends
        QTest::addColumn<QString>("order");
        const auto row = [](const char* name, const char* keys, const char* page,
                            const char* order) { QTest::newRow(name) << keys << page << order; };
        row("file", "Ctrl+1", "fileView",
            "selectButton2 privFile anonFile fileUploadButton fileOutput");
        row("image", "Ctrl+2", "imageView",
            "selectButton privImage anonImage nsfwImage imageUploadButton imageOutput");
        row("paste", "Ctrl+3", "pasteView",
            "pasteData language privPaste anonPaste pasteUploadButton pasteOutput");
        row("quit", "Ctrl+Q", "", "");
    }
    void keyboard() {
        QFETCH(QString, keys);
        QFETCH(QString, page);
        QFETCH(QString, order);
        AppHarness app;
        app.start();
        app.delegate.switchPaste(nullptr);
        QWidget* window = app.delegate.window();
        for (QAction* action : window->findChildren<QAction*>())
            if (action->shortcut() == QKeySequence(keys)) action->trigger();
        if (page.isEmpty()) {  // the quit is queued: it ends the next event loop
            QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(1); });
            QCOMPARE(QCoreApplication::exec(), 0);
            return;
        }
        QWidget* view = toolkit::subviews(app.delegate.mainView()).value(0);
        QCOMPARE(view->objectName(), page);
        QStringList reached;
        for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
            if (!w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) continue;
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            if (order.split(' ').contains(w->objectName())) reached << w->objectName();
        }
        QCOMPARE(reached.join(' '), order);
    }

    // How a remembered login shows (its parse is tried in tst_sessionfile), the placeholders,
    // the colours painted over the style, and the login window opening.
    void startUp() {
        AppHarness app;
        app.home.writeSession("<b>T</b>&[*],k");
        app.start();
        QWidget* window = app.delegate.window();
        QCOMPARE(app.delegate.window()->windowTitle(), "ferrodock - <b>T</b>&[*][*]");
        QCOMPARE(titleOf(app.delegate.savedusername()), QStringLiteral("<b>T</b>&[*]"));
        QCOMPARE(titleOf(app.delegate.savedapikey()), QStringLiteral("k"));
        QCOMPARE(app.delegate.password()->echoMode(), QLineEdit::Password);
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ferrodock"));
        QCOMPARE(toolkit::subviews(app.delegate.mainView()), {app.delegate.imageView()});
        const QList<std::pair<QPushButton*, QString>> placeholders{
            {app.delegate.selectButton(), "Choose an image."},
            {app.delegate.imageOutput(), "Choose an image, then press upload."},
            {app.delegate.selectButton2(), "Choose a file."},
            {app.delegate.fileOutput(), "Choose a file, then press upload."},
            {app.delegate.pasteOutput(), "Paste/type your text/code, then press paste."}};
        for (const auto& [button, text] : placeholders) {
            QCOMPARE(titleOf(button), text);
            QVERIFY(toolkit::titleColor(button) == Qt::white &&
                    toolkit::titleAlignment(button) == Qt::AlignCenter);
        }
        app.delegate.switchPaste(nullptr);
        const auto corner = [](QWidget* widget) { return widget->grab().toImage().pixel(0, 0); };
        const QList<std::pair<QWidget*, QColor>> painted{
            {app.delegate.window(), theme::baseColour()},
            {app.delegate.pasteData(), theme::baseColour()},
            {app.delegate.pasteBorder(), theme::pasteBorderColour()},
            {app.delegate.languageBorder(), theme::languageBorderColour()},
            {app.delegate.languageBackground(), theme::languageBackgroundColour()}};
        for (const auto& [widget, colour] : painted)
            QVERIFY2(corner(widget) == colour.rgb(), qPrintable(widget->objectName()));
        QCOMPARE(app.delegate.pasteData()->palette().color(QPalette::Text), QColor(Qt::white));
        // The rounded outer corner of a selected page shows the window, no notch of the strip.
        for (const bool file : {false, true}) {
            if (file) app.delegate.switchFile(nullptr);
            QWidget* selected = file ? app.delegate.fileSelectedBackground()
                                     : app.delegate.pasteSelectedBackground();
            const QPoint outer =
                selected->mapTo(window, QPoint(file ? 0 : selected->width() - 1, 0));
            QCOMPARE(window->grab(QRect(outer, QSize(1, 1))).toImage().pixel(0, 0),
                     theme::baseColour().rgb());
        }
        // Selections look alike where the style sheet has a rule for them and where it has none.
        QCOMPARE(qApp->palette().color(QPalette::Highlight).name(),
                 qApp->styleSheet().section("selection-background-color: ", 1).left(7));
        // The login window opens over the main window, its last answer gone.
        app.delegate.loginResponse()->setText("stale");
        app.delegate.login()->trigger();
        QVERIFY((app.delegate.loginWindow()->geometry().center() -
                 app.delegate.window()->geometry().center())
                    .manhattanLength() <= 4);
        QVERIFY(app.delegate.loginResponse()->text().isEmpty());
    }
};

QTEST_MAIN(InterfaceTest)
#include "tst_interface.moc"
