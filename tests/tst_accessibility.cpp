// Keyboard use and accessibility: names for every control, a sensible Tab order, shortcuts.
#include "platform/Toolkit.h"
#include "support/AppHarness.h"

#include <QTest>
#include <QTimer>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

// The controls Tab reaches in `page`, in order, starting from its first one.
QStringList focusChain(QWidget* window, QWidget* page) {
    QStringList names;
    QWidget* start = window->nextInFocusChain();
    QWidget* w = start;
    do {
        if (page->isAncestorOf(w) && w->isVisible() && w->isEnabled() &&
            (w->focusPolicy() & Qt::TabFocus)) {
            names << w->objectName();
        }
        w = w->nextInFocusChain();
    } while (w != start);
    return names;
}

bool inOrder(const QStringList& order, const QStringList& expected) {
    qsizetype at = -1;
    for (const QString& name : expected) {
        const qsizetype next = order.indexOf(name);
        if (next <= at) return false;
        at = next;
    }
    return true;
}

}  // namespace

class AccessibilityTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyControlHasAName() {
        AppHarness app;
        app.start();
        QList<QWidget*> controls;
        for (QWidget* root : {static_cast<QWidget*>(app.interface.mainWindow.get()),
                              static_cast<QWidget*>(app.interface.loginWindow.get())}) {
            for (QWidget* w : root->findChildren<QWidget*>()) {
                if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                    qobject_cast<QComboBox*>(w) || qobject_cast<QPlainTextEdit*>(w)) {
                    controls << w;
                }
            }
        }
        const QStringList hidden{"savedusername", "savedapikey", "savedpath"};
        for (QWidget* w : controls) {
            if (hidden.contains(w->objectName()) || w->objectName().startsWith("qt_")) continue;
            QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
        }
        for (QPushButton* link :
             {app.delegate.fileOutput(), app.delegate.imageOutput(), app.delegate.pasteOutput()}) {
            QVERIFY2(link->toolTip().contains("copy", Qt::CaseInsensitive),
                     qPrintable(link->objectName()));
        }
    }

    void tabOrder_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("image") << "image"
                               << QStringList{"selectButton", "privImage",         "anonImage",
                                              "nsfwImage",    "imageUploadButton", "imageOutput"};
        QTest::newRow("file") << "file"
                              << QStringList{"selectButton2", "privFile", "anonFile",
                                             "fileUploadButton", "fileOutput"};
        QTest::newRow("paste") << "paste"
                               << QStringList{"pasteData", "language",          "privPaste",
                                              "anonPaste", "pasteUploadButton", "pasteOutput"};
        QTest::newRow("login window")
            << "login" << QStringList{"username", "password", "loginButton"};
    }
    void tabOrder() {
        QFETCH(QString, page);
        QFETCH(QStringList, expected);
        AppHarness app;
        app.start();
        QWidget* window = app.delegate.window();
        QWidget* view = app.delegate.imageView();
        if (page == "file") {
            app.delegate.switchFile(nullptr);
            view = app.delegate.fileView();
        } else if (page == "paste") {
            app.delegate.switchPaste(nullptr);
            view = app.delegate.pasteView();
        } else if (page == "login") {
            app.delegate.login()->trigger();
            window = view = app.delegate.loginWindow();
        }
        const QStringList order = focusChain(window, view);
        QVERIFY2(inOrder(order, expected), qPrintable(order.join(", ")));
    }

    void pageShortcuts_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("page");
        QTest::newRow("Ctrl+1") << "Ctrl+1"
                                << "fileView";
        QTest::newRow("Ctrl+2") << "Ctrl+2"
                                << "imageView";
        QTest::newRow("Ctrl+3") << "Ctrl+3"
                                << "pasteView";
    }
    void pageShortcuts() {
        QFETCH(QString, keys);
        QFETCH(QString, page);
        AppHarness app;
        app.start();
        app.delegate.switchPaste(nullptr);
        QAction* found = nullptr;
        for (QAction* action : app.interface.mainWindow->findChildren<QAction*>()) {
            if (action->shortcut() == QKeySequence(keys)) found = action;
        }
        QVERIFY(found);
        found->trigger();
        QCOMPARE(toolkit::subviews(app.delegate.mainView()).value(0)->objectName(), page);
    }

    // Ctrl+Q in the main window ends the event loop.
    void quitShortcut() {
        AppHarness app;
        app.start();
        QMainWindow* window = app.interface.mainWindow.get();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTimer::singleShot(0, window, [window] {
            QTest::keySequence(window, QKeySequence(QStringLiteral("Ctrl+Q")));
        });
        QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(1); });
        QCOMPARE(QCoreApplication::exec(), 0);
    }
};

QTEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
