// The image and file pages: choosing, dropping and previewing.
#include "app/Preview.h"
#include "app/Theme.h"
#include "support/AppHarness.h"
#include "support/Files.h"

#include <QApplication>
#include <QBuffer>
#include <QFileDialog>
#include <QMimeData>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

// Drags `urls` onto a page and drops them there; gives whether both were taken.
bool drop(FakeApp& app, bool image, const QList<QUrl>& urls) {
    QWidget* page = image ? app.delegate.imageView() : app.delegate.fileView();
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    enter.accept();  // as a parent may have left it
    QCoreApplication::sendEvent(page, &enter);
    QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &drop);
    return page->acceptDrops() && enter.isAccepted() && drop.isAccepted();
}

// The chooser's title of a page.
QString chosenOn(FakeApp& app, bool image) {
    return titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2());
}

}  // namespace

class UploadsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Dropping files on a page chooses them as the open panel does: the last that fits.
    void drops_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QStringList>("dropped");  // names in a temporary folder, the chosen last
        QTest::addColumn<bool>("taken");
        QTest::newRow("image in capitals") << true << QStringList{"CAT.JPG"} << true;
        QTest::newRow("several: the last") << true << QStringList{"cat.png", "dog.gif"} << true;
        QTest::newRow("folder") << true << QStringList{"folder.png"} << false;
        QTest::newRow("not an image type") << true << QStringList{"notes.txt"} << false;
        QTest::newRow("not a local file") << false << QStringList{"http://x/a.txt"} << false;
        QTest::newRow("file page: folder skipped")
            << false << QStringList{"folder.png", "notes.txt"} << true;
    }
    void drops() {
        QFETCH(bool, image);
        QFETCH(QStringList, dropped);
        QFETCH(bool, taken);
        FakeApp app;
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("folder.png");
        for (const char* name : {"cat.png", "CAT.JPG", "dog.gif", "notes.txt"})
            makeImage(dir.path(), name);
        QList<QUrl> urls;
        for (const QString& name : dropped)
            urls << (name.contains(':') ? QUrl(name) : QUrl::fromLocalFile(dir.filePath(name)));
        QCOMPARE(drop(app, image, urls), taken);
        QCOMPARE(titleOf(app.delegate.savedpath()), taken ? dir.filePath(dropped.last()) : "");
        QCOMPARE(chosenOn(app, image), taken   ? dropped.last()
                                       : image ? "Choose an image."
                                               : "Choose a file.");
    }

    // Choices refused with their reason on the page's link, leaving the page as it was.
    void refusedChoices_data() {
        QTest::addColumn<QString>("how");           // "drop" or "panel", on "image" or "file"
        QTest::addColumn<QByteArrayList>("files");  // names as bytes; the first is chosen
        QTest::addColumn<bool>("chosen");
        QTest::newRow("no picture type") << "panel image" << QByteArrayList{"jpg"} << false;
        QTest::newRow("drop: not UTF-8") << "drop image" << QByteArrayList{"bad\xff.png"} << false;
        QTest::newRow("drop: not UTF-8, sibling")
            << "drop file" << QByteArrayList{"bad\xff.txt", "bad\xef\xbf\xbd.txt"} << false;
        QTest::newRow("panel: lossy twin")
            << "panel file" << QByteArrayList{"bad\xef\xbf\xbd.txt", "bad\xfe.txt"} << false;
        QTest::newRow("panel: U+FFFD in a real name")
            << "panel file" << QByteArrayList{"ok\xef\xbf\xbd.txt"} << true;
        // A folder that cannot be listed cannot show there is no twin.
        QTest::newRow("unlisted folder")
            << "panel file" << QByteArrayList{"ok\xef\xbf\xbd.txt"} << false;
    }
    void refusedChoices() {
        QFETCH(QString, how);
        QFETCH(QByteArrayList, files);
        QFETCH(bool, chosen);
        const bool image = how.endsWith("image");
        const bool unlisted = QByteArray(QTest::currentDataTag()) == "unlisted folder";
        if (unlisted && ::geteuid() == 0) QSKIP("root lists any folder");
        FakeApp app;
        QTemporaryDir dir;
        const QByteArray folder = QFile::encodeName(dir.path()) + '/';
        const auto removeAll = qScopeGuard([&] {  // names it cannot remove, not being UTF-8
            for (const QByteArray& name : files) ::unlink(folder + name);
        });
        for (const QByteArray& name : files) QVERIFY(::close(::creat(folder + name, 0600)) == 0);
        if (unlisted) QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ExeOwner));
        const QUrl url = QUrl::fromEncoded("file://" + (folder + files[0]).toPercentEncoding("/"));
        if (how.startsWith("drop")) drop(app, image, {url});
        // The panel hands over names as Qt decoded them from the folder.
        if (how.startsWith("panel")) app.choose(url.toLocalFile(), image);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(titleOf(app.delegate.savedpath()), chosen ? url.toLocalFile() : "");
        if (chosen) return;
        QCOMPARE(titleOf(app.link(image ? "image" : "file")),
                 files[0] == "jpg"
                     ? "Only jpg, jpeg, gif and png images can be chosen here."
                     : "This file's name is not valid UTF-8; rename it to upload it.");
        QCOMPARE(chosenOn(app, image), image ? "Choose an image." : "Choose a file.");
    }

    // A preview is the whole picture, turned as its Exif data says, fitted at a scale that is
    // not whole; what cannot be decoded quickly and safely has none.
    void previewDecodes_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QByteArray>("format");
        QImage picture(301, 203, QImage::Format_RGB32);
        picture.fill(Qt::darkCyan);
        QTest::newRow("1-bit PNG")
            << picture.convertToFormat(QImage::Format_Mono) << QByteArray("PNG");
        QTest::newRow("8-bit palette PNG")
            << picture.convertToFormat(QImage::Format_Indexed8) << QByteArray("PNG");
        QTest::newRow("16-bit PNG")
            << picture.convertToFormat(QImage::Format_RGBA64) << QByteArray("PNG");
        QTest::newRow("JPEG") << picture << QByteArray("JPEG");
        QTest::newRow("EXIF-rotated JPEG") << picture << QByteArray("turned");
        QTest::newRow("over 100 megapixels") << picture << QByteArray("huge");
        QTest::newRow("FIFO") << QImage() << QByteArray();
    }
    void previewDecodes() {
        QFETCH(QImage, picture);
        QFETCH(QByteArray, format);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        QVERIFY(picture.isNull() || picture.save(&buffer, format == "PNG" ? "PNG" : "JPEG"));
        // An Exif block saying "turn 90 degrees clockwise", right after the start marker; a
        // frame header declaring 12000x9000.
        if (format == "turned")
            bytes.insert(2, QByteArray::fromHex("ffe100224578696600004d4d002a0000000800010112"
                                                "0003000000010006000000000000"));
        if (format == "huge")
            bytes.replace(bytes.indexOf("\xff\xc0") + 5, 4, QByteArray::fromHex("23282ee0"));
        QTemporaryDir dir;
        const QString path = dir.filePath("picture");
        QVERIFY(!picture.isNull() ? !makeFile(dir.path(), "picture", bytes).isEmpty()
                                  : ::mkfifo(qPrintable(path), 0600) == 0);
        const PreviewPicture preview = decodePreview(path, QSize(173, 173));
        const QSize full = picture.isNull() || format == "huge" ? QSize(0, 0)
                           : format == "turned"                 ? QSize(203, 301)
                                                                : QSize(301, 203);
        QCOMPARE(preview.image.size(),
                 full.isEmpty() ? full : full.scaled(173, 173, Qt::KeepAspectRatio));
        QCOMPARE(preview.fullSize, full.isEmpty() ? QSize() : full);
    }

    // A newer choice wins over an older decode. The picture follows the window's size, and
    // is decoded again once it has grown; after a reset the old picture does not come back;
    // a decode outliving its window touches nothing. A file with no preview still uploads.
    void previewFollowsWindow_data() {
        QTest::addColumn<QSize>("picture");
        QTest::newRow("wide") << QSize(3000, 1000);
        QTest::newRow("a strip that fits one way") << QSize(3000, 10);  // never under a pixel
        QTest::newRow("a tall strip") << QSize(10, 3000);
        QTest::newRow("small, never enlarged") << QSize(40, 30);
        QTest::newRow("no picture") << QSize(0, 0);
    }
    void previewFollowsWindow() {
        QFETCH(QSize, picture);
        QTemporaryDir dir;
        const QString big = makeImage(dir.path(), "big.png", QSize(3000, 2000));
        const QString path = picture.isEmpty() ? makeFile(dir.path(), "not.png", "text")
                                               : makeImage(dir.path(), "wide.png", picture);
        std::optional<FakeApp> app(std::in_place);
        QWidget* window = app->interface.mainWindow.get();
        app->choose(big, true);
        app->choose(path, true);
        QLabel* view = app->delegate.bgImage();
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
            QTRY_VERIFY(view->property("previewImage").value<QImage>().width() >= fitted().width());
        }
        app->press(app->upload("image"));
        QCOMPARE(app->net->requests.value(0).filePath, path);
        theme::showTitle(app->link("image"), "ferrodock.net/i/abcdefghi");
        app->press(app->link("image"));
        const QImage icon = view->pixmap().toImage();
        const int before = view->width();
        window->resize(1200, 900);
        QTRY_VERIFY(view->width() > before);
        QCOMPARE(view->pixmap().toImage(), icon);
        app->choose(big, true);
        app.reset();
        QTRY_COMPARE(previewDecodesRunning(), 0);
    }

    // The desktop's dialog asks as told, for one existing file, listing pictures whatever the
    // case of their extension.
    void fileDialog() {
        QString seen;
        QTimer::singleShot(0, [&seen] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            seen = QString("%1|%2|%3|%4|%5")
                       .arg(dialog->windowTitle(), dialog->labelText(QFileDialog::Accept),
                            dialog->nameFilters().join(';'))
                       .arg(int(dialog->fileMode()))
                       .arg(int(dialog->options()));
            dialog->reject();
        });
        QVERIFY(
            !FileDialogPanel().runModal({"Pick", "Take", QStringList{"gif"}}, nullptr).confirmed);
        QCOMPARE(seen, QString("Pick|Take|Images (*.[gG][iI][fF])|%1|%2")
                           .arg(int(QFileDialog::ExistingFile))
                           .arg(int(QFileDialog::DontUseNativeDialog |
                                    QFileDialog::HideNameFilterDetails)));
    }
};

QTEST_MAIN(UploadsTest)
#include "tst_uploads.moc"