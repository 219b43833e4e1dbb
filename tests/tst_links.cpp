// Link buttons: which titles are addresses, what reaches the clipboard, and each page's reset.
#include "app/Theme.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

QString clipboardText() {
    return QGuiApplication::clipboard()->text();
}

QPushButton* linkOf(AppHarness& app, const QString& page) {
    if (page == "file") return app.delegate.fileOutput();
    if (page == "image") return app.delegate.imageOutput();
    return app.delegate.pasteOutput();
}

}  // namespace

class LinksTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() { QGuiApplication::clipboard()->setText("before"); }

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
            QTest::addRow("%s failure text", page)
                << page << "Upload failed. Please try again." << false;
            QTest::addRow("%s empty", page) << page << "" << false;
        }
        // Non-ASCII titles count in characters, not bytes or code units.
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
        AppHarness app;
        app.start();
        app.delegate.pasteData()->setPlainText("typed");
        toolkit::setTitle(app.delegate.savedpath(), "/x/chosen.png");
        theme::showTitle(linkOf(app, page), title);
        app.press(linkOf(app, page));
        QCOMPARE(clipboardText(), copied ? "https://" + title : QStringLiteral("before"));
        QCOMPARE(titleOf(linkOf(app, page)),
                 copied ? QStringLiteral("Copied to clipboard.") : title);
        // Nothing is reset without a copy.
        QCOMPARE(app.delegate.pasteData()->toPlainText().isEmpty(), copied && page == "paste");
        QCOMPARE(titleOf(app.delegate.savedpath()).isEmpty(), copied && page != "paste");
        if (copied) {
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            QCOMPARE(data->formats().filter("text/plain").isEmpty(), false);
            QVERIFY(!data->hasHtml() && !data->hasUrls() && !data->hasImage());
        }
    }

    void placeholdersAreNotCopied() {
        AppHarness app;
        app.start();
        for (const char* page : {"file", "image", "paste"}) {
            const QString before = titleOf(linkOf(app, page));
            app.press(linkOf(app, page));
            QCOMPARE(titleOf(linkOf(app, page)), before);
        }
        QCOMPARE(clipboardText(), QStringLiteral("before"));
    }

    void pasteReset() {
        AppHarness app;
        app.start();
        app.delegate.pasteData()->setPlainText("new text typed since the upload");
        app.delegate.language()->setCurrentText("Ruby");
        app.delegate.privPaste()->setChecked(true);
        theme::showTitle(app.delegate.pasteOutput(), "ferrodock.net/p/abcdefghi");
        app.press(app.delegate.pasteOutput());
        QVERIFY(app.delegate.pasteData()->toPlainText().isEmpty());
        QCOMPARE(app.delegate.language()->currentText(), QStringLiteral("Ruby"));
        QVERIFY(app.delegate.privPaste()->isChecked());
        // The reset is an edit like any other: Ctrl+Z brings the text back.
        QTest::keyClick(app.delegate.pasteData(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(app.delegate.pasteData()->toPlainText(),
                 QStringLiteral("new text typed since the upload"));
    }

    // One chosen path serves both pages, so a copy on either page empties it for both.
    void resetsShareTheChosenPath_data() {
        QTest::addColumn<QString>("copiedPage");
        QTest::newRow("image link") << "image";
        QTest::newRow("file link") << "file";
    }
    void resetsShareTheChosenPath() {
        QFETCH(QString, copiedPage);
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const QString image = dir.filePath("cat.png");
        QImage(8, 8, QImage::Format_RGB32).save(image);
        const QString file = dir.filePath("report.pdf");
        QFile(file).open(QIODevice::WriteOnly);
        app.choose(image, true);
        app.choose(file, false);
        QCOMPARE(titleOf(app.delegate.savedpath()), file);

        const bool imageLink = copiedPage == "image";
        theme::showTitle(linkOf(app, copiedPage),
                         imageLink ? "ferrodock.net/i/abcdefghi" : "ferrodock.net/f/abcdefgh");
        app.press(linkOf(app, copiedPage));
        QVERIFY(titleOf(app.delegate.savedpath()).isEmpty());
        if (imageLink) {
            QCOMPARE(titleOf(app.delegate.selectButton()), QStringLiteral("Choose an image."));
            QCOMPARE(app.delegate.bgImage()->pixmap().toImage(),
                     toolkit::imageNamed("ImageIcon").toImage());
            QCOMPARE(titleOf(app.delegate.selectButton2()), QStringLiteral("report.pdf"));
        } else {
            QCOMPARE(titleOf(app.delegate.selectButton2()), QStringLiteral("Choose a file."));
            QCOMPARE(titleOf(app.delegate.selectButton()), QStringLiteral("cat.png"));
            QVERIFY(!app.delegate.bgImage()->pixmap().isNull());
        }
        // Both pages now find nothing chosen.
        app.press(app.delegate.imageUploadButton());
        app.press(app.delegate.fileUploadButton());
        QCOMPARE(titleOf(app.delegate.imageOutput()),
                 QStringLiteral("You forgot to choose an image."));
        QCOMPARE(titleOf(app.delegate.fileOutput()),
                 QStringLiteral("You forgot to choose a file."));
    }
};

QTEST_MAIN(LinksTest)
#include "tst_links.moc"
