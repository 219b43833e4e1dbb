// Start-up: the remembered login shown, the placeholders and the painted colours.
#include "app/Theme.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"

#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {
QRgb corner(QWidget* widget) {
    return widget->grab().toImage().pixel(0, 0);
}
}  // namespace

class StartUpTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // How the file's parse shows; the parse itself is tried in tst_sessionfile.
    void sessionRestore_data() {
        QTest::addColumn<QByteArray>("session");  // "-" for no file
        QTest::addColumn<QString>("user");        // as the window title shows it
        QTest::addColumn<QString>("key");
        QTest::newRow("first run") << QByteArray("-") << QString() << QString();
        QTest::newRow("empty name") << QByteArray(",k") << ""
                                    << "k";
        QTest::newRow("markup") << QByteArray("<b>T</b> & [*],k") << "<b>T</b> & [*][*]"
                                << "k";
    }
    void sessionRestore() {
        QFETCH(QByteArray, session);
        QFETCH(QString, user);
        AppHarness app;
        if (session != "-") app.home.writeSession(session);
        app.start();
        QCOMPARE(app.delegate.window()->windowTitle(),
                 user.isNull() ? QStringLiteral("ferrodock") : "ferrodock - " + user);
        QCOMPARE(titleOf(app.delegate.savedusername()), QString(user).replace("[*][*]", "[*]"));
        QTEST(titleOf(app.delegate.savedapikey()), "key");
        QVERIFY(!app.delegate.loginWindow()->isVisible());
    }

    void placeholdersAndColours() {
        AppHarness app;
        app.start();
        QCOMPARE(toolkit::subviews(app.delegate.mainView()), {app.delegate.imageView()});
        const QList<std::pair<QPushButton*, QString>> placeholders{
            {app.delegate.selectButton(), "Choose an image."},
            {app.delegate.imageOutput(), "Choose an image, then press upload."},
            {app.delegate.selectButton2(), "Choose a file."},
            {app.delegate.fileOutput(), "Choose a file, then press upload."},
            {app.delegate.pasteOutput(), "Paste/type your text/code, then press paste."}};
        for (const auto& [button, text] : placeholders) {
            QCOMPARE(titleOf(button), text);
            QCOMPARE(toolkit::titleColor(button), QColor(Qt::white));
            QCOMPARE(toolkit::titleAlignment(button), Qt::AlignCenter);
        }
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("ferrodock"));
        QCOMPARE(corner(app.delegate.imageSelectedBackground()), theme::baseColour().rgb());
        app.delegate.switchPaste(nullptr);
        const QList<std::pair<QWidget*, QColor>> painted{
            {app.delegate.window(), theme::baseColour()},
            {app.delegate.pasteData(), theme::baseColour()},
            {app.delegate.pasteBorder(), theme::pasteBorderColour()},
            {app.delegate.languageBorder(), theme::languageBorderColour()},
            {app.delegate.languageBackground(), theme::languageBackgroundColour()}};
        for (const auto& [widget, colour] : painted)
            QVERIFY2(corner(widget) == colour.rgb(), qPrintable(widget->objectName()));
    }
};

QTEST_MAIN(StartUpTest)
#include "tst_startup.moc"
