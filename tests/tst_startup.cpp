// Start-up, the window's base colour, and page switching.
#include "platform/Toolkit.h"
#include "support/AppHarness.h"

#include <QHash>
#include <QImage>
#include <QTest>

using namespace ferrodock;
using ferrodock::test::AppHarness;
using ferrodock::test::titleOf;

namespace {

const QColor kBase(23, 31, 40);

QColor mostCommonColour(const QImage& image) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y) | 0xff000000];
    return QColor(std::max_element(counts.cbegin(), counts.cend()).key());
}

}  // namespace

class StartUpTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // How the file's parse shows; the parse itself is tried in tst_sessionfile.
    void sessionRestore_data() {
        QTest::addColumn<QByteArray>("session");  // "-" for no file
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<QString>("key");
        QTest::newRow("first run") << QByteArray("-") << "ferrodock"
                                   << "";
        QTest::newRow("leading comma") << QByteArray(",k") << "ferrodock - "
                                       << "k";
        QTest::newRow("not utf-8") << QByteArray("ann\xfe,k") << "ferrodock"
                                   << "";
        QTest::newRow("markup and &")
            << QByteArray("<b>Tom</b> & [*],k") << "ferrodock - <b>Tom</b> & [*][*]"
            << "k";
    }
    void sessionRestore() {
        QFETCH(QByteArray, session);
        QFETCH(QString, windowTitle);
        QFETCH(QString, key);
        AppHarness app;
        if (session != "-") app.home.writeSession(session);
        app.start();
        QCOMPARE(app.delegate.window()->windowTitle(), windowTitle);
        QCOMPARE(titleOf(app.delegate.savedusername()),
                 windowTitle.mid(12).replace(QStringLiteral("[*][*]"), QStringLiteral("[*]")));
        QCOMPARE(titleOf(app.delegate.savedapikey()), key);
        QVERIFY(!app.delegate.loginWindow()->isVisible());
    }

    void placeholdersAndBaseColour() {
        AppHarness app;
        app.start();
        QCOMPARE(toolkit::subviews(app.delegate.mainView()),
                 QList<QWidget*>{app.delegate.imageView()});
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
        QCOMPARE(mostCommonColour(app.delegate.window()->grab().toImage()), kBase);
    }

    void switchingPagesKeepsThem() {
        AppHarness app;
        app.start();
        app.press(app.delegate.pastePageButton2());
        app.delegate.pasteData()->setPlainText("typed before switching");
        app.delegate.privPaste()->setChecked(true);
        const QList<std::pair<QAbstractButton*, QWidget*>> steps{
            {app.delegate.filePageButton3(), app.delegate.fileView()},
            {app.delegate.pastePageButton(), app.delegate.pasteView()},
            {app.delegate.pastePageButton3(), app.delegate.pasteView()},  // page already shown
            {app.delegate.imagePageButton3(), app.delegate.imageView()},
            {app.delegate.filePageButton2(), app.delegate.fileView()},
            {app.delegate.imagePageButton(), app.delegate.imageView()},
            {app.delegate.imagePageButton2(), app.delegate.imageView()},
            {app.delegate.filePageButton(), app.delegate.fileView()},
            {app.delegate.pastePageButton(), app.delegate.pasteView()}};
        for (const auto& [button, page] : steps) {
            app.press(button);
            QCOMPARE(toolkit::subviews(app.delegate.mainView()), QList<QWidget*>{page});
            QVERIFY(page->isVisible());
        }
        QCOMPARE(app.delegate.pasteData()->toPlainText(), QStringLiteral("typed before switching"));
        QVERIFY(app.delegate.privPaste()->isChecked());
    }
};

QTEST_MAIN(StartUpTest)
#include "tst_startup.moc"
