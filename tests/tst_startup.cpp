// Start-up, the painted theme as it appears on screen, and page switching.
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

QColor pixel(const QImage& image, QPoint at) {
    return QColor(image.pixel(at));
}

bool near(const QColor& a, const QColor& b, int tolerance = 2) {
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

QColor mostCommonColour(const QImage& image) {
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) ++counts[image.pixel(x, y)];
    QRgb best = 0;
    int most = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > most) std::tie(best, most) = std::tuple(it.key(), it.value());
    }
    return QColor(best);
}

// Bounding box of the near-white pixels of `image`.
QRect whitePixels(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qGray(image.pixel(x, y)) > 200) box |= QRect(x, y, 1, 1);
    return box;
}

QImage grabOf(QWidget* widget) {
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

class StartUpTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void sessionRestore_data() {
        QTest::addColumn<QByteArray>("session");  // "-" for no file
        QTest::addColumn<QString>("windowTitle");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("key");
        const QString key = "0123456789abcdef0123456789abcdef";
        QTest::newRow("first run") << QByteArray("-") << "ferrodock"
                                   << ""
                                   << "";
        QTest::newRow("pair") << "ann," + key.toUtf8() << "ferrodock - ann"
                              << "ann" << key;
        QTest::newRow("leading comma") << "," + key.toUtf8() << "ferrodock - "
                                       << "" << key;
        QTest::newRow("not utf-8") << QByteArray("ann\xfe,k") << "ferrodock"
                                   << ""
                                   << "";
        QTest::newRow("three fields") << QByteArray("ann,k,x") << "ferrodock - ann"
                                      << "ann"
                                      << "k";
        QTest::newRow("line feed") << QByteArray("ann,k\n") << "ferrodock - ann"
                                   << "ann"
                                   << "k\n";
        QTest::newRow("no comma") << QByteArray("ann") << "ferrodock"
                                  << ""
                                  << "";
        QTest::newRow("markup and &")
            << QByteArray("<b>Tom</b> & [*],k") << "ferrodock - <b>Tom</b> & [*][*]"
            << "<b>Tom</b> & [*]"
            << "k";
    }
    void sessionRestore() {
        QFETCH(QByteArray, session);
        QFETCH(QString, windowTitle);
        QFETCH(QString, user);
        QFETCH(QString, key);
        AppHarness app;
        if (session != "-") app.home.writeSession(session);
        app.start();
        QCOMPARE(app.delegate.window()->windowTitle(), windowTitle);
        QCOMPARE(titleOf(app.delegate.savedusername()), user);
        QCOMPARE(titleOf(app.delegate.savedapikey()), key);
        // The login window is left alone either way.
        QVERIFY(!app.delegate.loginWindow()->isVisible());
        QVERIFY(app.delegate.username()->text().isEmpty());
        QVERIFY(app.delegate.loginResponse()->text().isEmpty());
    }

    void placeholdersAndFirstPage() {
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
        // Layer-backed buttons keep the title the layout gave them.
        QCOMPARE(titleOf(app.delegate.imageUploadButton()), QStringLiteral("Upload"));
    }

    void windowIsBaseColour() {
        AppHarness app;
        app.start();
        QCOMPARE(mostCommonColour(grabOf(app.delegate.window())), kBase);
    }

    // The selected-page backgrounds are base colour; File and Paste show exactly one rounded
    // corner (the others are covered by corner pieces), Image none.
    void selectedPageBackgrounds_data() {
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("roundedCorners");
        QTest::newRow("file") << "file" << 1;
        QTest::newRow("image") << "image" << 0;
        QTest::newRow("paste") << "paste" << 1;
    }
    void selectedPageBackgrounds() {
        QFETCH(QString, page);
        QFETCH(int, roundedCorners);
        AppHarness app;
        app.start();
        QWidget* view = nullptr;
        QWidget* background = nullptr;
        if (page == "file") {
            app.press(app.delegate.filePageButton2());
            std::tie(view, background) =
                std::pair(app.delegate.fileView(), app.delegate.fileSelectedBackground());
        } else if (page == "image") {
            std::tie(view, background) =
                std::pair(app.delegate.imageView(), app.delegate.imageSelectedBackground());
        } else {
            app.press(app.delegate.pastePageButton2());
            std::tie(view, background) =
                std::pair(app.delegate.pasteView(), app.delegate.pasteSelectedBackground());
        }
        QCOMPARE(toolkit::subviews(app.delegate.mainView()), QList<QWidget*>{view});
        QVERIFY(background->isVisible());
        const QImage image = grabOf(app.delegate.window());
        const QRect r(background->mapTo(app.delegate.window(), QPoint(0, 0)), background->size());
        QVERIFY(r.width() >= 50 && r.height() >= 50);
        // Beside the centred label, away from the corners.
        QCOMPARE(pixel(image, QPoint(r.left() + r.width() / 8, r.center().y())), kBase);
        int rounded = 0;
        for (QPoint corner : {r.topLeft() + QPoint(1, 1), r.topRight() + QPoint(-1, 1),
                              r.bottomLeft() + QPoint(1, -1), r.bottomRight() + QPoint(-1, -1)}) {
            if (!near(pixel(image, corner), kBase)) ++rounded;
        }
        QCOMPARE(rounded, roundedCorners);
    }

    void pasteTextIsWhiteOnBase() {
        AppHarness app;
        app.start();
        app.press(app.delegate.pastePageButton2());
        QPlainTextEdit* text = app.delegate.pasteData();
        text->setPlainText("MMMMMMMM\nMMMMMMMM");
        text->viewport()->repaint();
        const QImage image = grabOf(text->viewport());
        QCOMPARE(mostCommonColour(image), kBase);
        QVERIFY(!whitePixels(image).isEmpty());
    }

    void attributedTitleIsWhiteAndCentred() {
        AppHarness app;
        app.start();
        QPushButton* button = app.delegate.imageOutput();
        const QImage image = grabOf(button);
        const QRect white = whitePixels(image);
        QVERIFY(!white.isEmpty());
        QVERIFY2(
            qAbs(white.center().x() - image.width() / 2) <= 4,
            qPrintable(QString("text centre %1 of %2").arg(white.center().x()).arg(image.width())));
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
