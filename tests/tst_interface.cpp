// The window: keyboard use, and how it looks and what it says at start-up.
#include "support/AppHarness.h"
#include "window/FittedText.h"

#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTest>
#include <QTimer>

using namespace ferrodock;
using namespace ferrodock::test;

class InterfaceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
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
        FakeApp app;
        app.window->switchPaste();
        QWidget* window = app.window.get();
        for (QAction* action : window->findChildren<QAction*>())
            if (action->shortcut() == QKeySequence(keys)) action->trigger();
        if (page.isEmpty()) {  // the quit is queued: it ends the next event loop
            QTimer::singleShot(60000, qApp, [] { QCoreApplication::exit(1); });
            QCOMPARE(QCoreApplication::exec(), 0);
            return;
        }
        QCOMPARE(app.find<QStackedWidget>("mainView")->currentWidget()->objectName(), page);
        QStringList reached;
        for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
            if (!w->isVisible() || !w->isEnabled() || !(w->focusPolicy() & Qt::TabFocus)) continue;
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            if (order.split(' ').contains(w->objectName())) reached << w->objectName();
        }
        QCOMPARE(reached.join(' '), order);
    }

    // How a remembered login shows (its parse is tried in tst_sessionfile), the placeholders,
    // the colours painted, and the login window opening.
    void startUp() {
        FakeApp app("<b>T</b>&[*],k");
        QWidget* window = app.window.get();
        QCOMPARE(window->windowTitle(), "ferrodock - <b>T</b>&[*][*]");
        QCOMPARE(app.session.userName() + app.session.apiKey(), QStringLiteral("<b>T</b>&[*]k"));
        QCOMPARE(app.find<QLineEdit>("password")->echoMode(), QLineEdit::Password);
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ferrodock"));
        QCOMPARE(app.find<QStackedWidget>("mainView")->currentWidget()->objectName(), "imageView");
        const QList<std::pair<const char*, QString>> placeholders{
            {"selectButton", "Choose an image."},
            {"imageOutput", "Choose an image, then press upload."},
            {"selectButton2", "Choose a file."},
            {"fileOutput", "Choose a file, then press upload."},
            {"pasteOutput", "Paste/type your text/code, then press paste."}};
        for (const auto& [name, text] : placeholders) {
            QCOMPARE(titleOf(app.button(name)), text);
            QCOMPARE(app.button(name)->palette().color(QPalette::ButtonText), QColor(Qt::white));
        }
        app.window->switchPaste();
        const auto corner = [](QWidget* widget) { return widget->grab().toImage().pixel(0, 0); };
        const QColor base(23, 31, 40);
        const QList<std::pair<const char*, QColor>> painted{
            {"pasteData", base},
            {"pasteBorder", QColor(34, 47, 61)},
            {"languageBorder", QColor(24, 33, 44)},
            {"languageBackground", QColor(28, 39, 51)}};
        QCOMPARE(corner(window), base.rgb());
        for (const auto& [name, colour] : painted)
            QVERIFY2(corner(app.find<QWidget>(name)) == colour.rgb(), name);
        QCOMPARE(app.find<QWidget>("pasteData")->palette().color(QPalette::Text),
                 QColor(Qt::white));
        // The rounded outer corner of a selected page shows the window, no notch of the strip.
        for (const bool file : {false, true}) {
            if (file) app.window->switchFile();
            QWidget* selected =
                app.find<QWidget>(file ? "fileSelectedBackground" : "pasteSelectedBackground");
            const QPoint outer =
                selected->mapTo(window, QPoint(file ? 0 : selected->width() - 1, 0));
            QCOMPARE(window->grab(QRect(outer, QSize(1, 1))).toImage().pixel(0, 0), base.rgb());
        }
        // Selections look alike where the style sheet has a rule for them and where it has none.
        QCOMPARE(qApp->palette().color(QPalette::Highlight).name(),
                 qApp->styleSheet().section("selection-background-color: ", 1).left(7));
        // The login window opens over the main window, its last answer gone.
        app.find<QLabel>("loginResponse")->setText("stale");
        app.find<QAction>("login")->trigger();
        QVERIFY((app.window->loginDialog()->geometry().center() - window->geometry().center())
                    .manhattanLength() <= 4);
        QVERIFY(app.find<QLabel>("loginResponse")->text().isEmpty());
    }
};

QTEST_MAIN(InterfaceTest)
#include "tst_interface.moc"
