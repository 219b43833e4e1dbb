// The interface description and its loader: every outlet and action connected, and a start
// refused, naming the widget, when the description does not fit the delegate.
#include "support/AppHarness.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMainWindow>
#include <QMetaProperty>
#include <QTemporaryDir>
#include <QTest>

using namespace ferrodock;
using ferrodock::test::AppHarness;

class InterfaceTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyOutletAndActionConnected() {
        AppHarness app;
        const QMetaObject* meta = app.delegate.metaObject();
        QSet<QObject*> distinct;
        for (int i = meta->propertyOffset(); i < meta->propertyCount(); ++i) {
            QObject* widget = meta->property(i).read(&app.delegate).value<QObject*>();
            QVERIFY2(widget, meta->property(i).name());
            QCOMPARE(widget->objectName(), QString::fromLatin1(meta->property(i).name()));
            distinct.insert(widget);
        }
        QCOMPARE(distinct.size(), 57);

        // Every action of the delegate is sent by at least one widget.
        QSet<QString> sent;
        for (QObject* object : app.interface.mainWindow->findChildren<QObject*>() +
                                   app.interface.loginWindow->findChildren<QObject*>()) {
            if (object->property("sends").isValid())
                sent.insert(object->property("sends").toString());
        }
        const QStringList actions{
            "loginPushed",    "switchFile",      "switchImage",    "switchPaste",   "logout",
            "pastePushed",    "selectImages",    "imagePushed",    "selectImages2", "filePushed",
            "fileLinkPushed", "imageLinkPushed", "pasteLinkPushed"};
        QCOMPARE(sent, QSet<QString>(actions.begin(), actions.end()));
    }

    void layoutPromises() {
        AppHarness app;
        QVERIFY(!app.delegate.loginWindow()->isVisible());
        for (QWidget* hidden : std::initializer_list<QWidget*>{app.delegate.savedusername(),
                                                               app.delegate.savedapikey(),
                                                               app.delegate.savedpath()}) {
            QVERIFY(hidden->isHidden());
        }
        QCOMPARE(app.delegate.password()->echoMode(), QLineEdit::Password);
        QCOMPARE(app.delegate.loginResponse()->textFormat(), Qt::PlainText);
        QCOMPARE(app.delegate.login()->shortcut(), QKeySequence(QStringLiteral("Ctrl+L")));
        QVERIFY(QPixmap(QStringLiteral(":/ImageIcon.png")).width() > 0);
    }

    // At its smallest the window still shows every control of every page whole.
    void smallestWindowShowsEveryControl_data() {
        QTest::addColumn<QString>("page");
        for (const char* page : {"switchFile", "switchImage", "switchPaste"})
            QTest::newRow(page) << page;
    }
    void smallestWindowShowsEveryControl() {
        QFETCH(QString, page);
        AppHarness app;
        app.start();
        QMetaObject::invokeMethod(&app.delegate, page.toLatin1().constData(),
                                  Q_ARG(QObject*, nullptr));
        QMainWindow* window = app.delegate.window();
        if (page == "switchImage") {
            // A chosen picture, previewed while the window was large, must not hold it large.
            QTemporaryDir dir;
            const QString path = dir.filePath("wide.png");
            QImage picture(3000, 2000, QImage::Format_RGB32);
            picture.fill(Qt::darkCyan);
            QVERIFY(picture.save(path));
            window->resize(1600, 1200);
            app.choose(path, true);
            QTRY_VERIFY(!app.delegate.bgImage()->pixmap().isNull());
        }
        window->resize(1, 1);
        QTRY_COMPARE(window->size(), window->minimumSize());
        QTest::qWait(0);
        const QRect inside = window->rect();
        for (QWidget* control : app.delegate.mainView()->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(window) || control->objectName().startsWith("qt_")) continue;
            const QRect at(control->mapTo(window, QPoint(0, 0)), control->size());
            QVERIFY2(inside.contains(at), qPrintable(control->objectName()));
            const QSize least = control->minimumSizeHint();
            if (least.isValid() && qobject_cast<QAbstractButton*>(control)) {
                QVERIFY2(control->height() >= least.height() && control->width() >= least.width(),
                         qPrintable(control->objectName()));
            }
        }
    }

    void refusals_data() {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "missing"
                                 << "no widget named 'savedpath'";
        QTest::newRow("duplicated") << "duplicated"
                                    << "2 widgets named 'savedpath'";
        QTest::newRow("wrong type") << "wrong type"
                                    << "QLabel 'savedpath' is not a QPushButton";
        QTest::newRow("unknown action") << "unknown action"
                                        << "QPushButton 'selectButton' sends 'selectImage'";
        QTest::newRow("login window missing") << "no login window"
                                              << "'loginWindow'";
    }
    void refusals() {
        QFETCH(QString, fault);
        QFETCH(QString, message);
        Interface interface = buildInterface();
        QMainWindow* window = interface.mainWindow.get();
        auto* savedpath = window->findChild<QPushButton*>("savedpath");
        if (fault == "missing") savedpath->setObjectName("savedPath");
        if (fault == "duplicated") (new QPushButton(window))->setObjectName("savedpath");
        if (fault == "wrong type") {
            delete savedpath;
            (new QLabel(window))->setObjectName("savedpath");
        }
        if (fault == "unknown action") {
            window->findChild<QPushButton*>("selectButton")->setProperty("sends", "selectImage");
        }
        if (fault == "no login window") {
            interface.loginWindow.reset();
        }
        AppDelegate delegate;
        const QString problem = connectInterface(delegate, interface);
        QVERIFY2(problem.contains(message), qPrintable(problem));
    }
};

QTEST_MAIN(InterfaceTest)
#include "tst_interface.moc"
