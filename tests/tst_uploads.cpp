// The image and file pages: choosing, dropping and previewing.
#include "app/Preview.h"
#include "app/Theme.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"
#include "support/FakeTransport.h"
#include "support/Files.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileDialog>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

// Lets every decode in flight finish and its result arrive.
void settlePreviews() {
    QTRY_COMPARE(previewDecodesRunning(), 0);
    QCoreApplication::processEvents();
}

// A colourful picture with smooth areas and sharp edges; a palette of `colours` when given.
QImage pattern(QSize size, int colours = 0) {
    QImage image(size, colours ? QImage::Format_Indexed8 : QImage::Format_ARGB32);
    for (int i = 0; i < colours; ++i)
        image.setColor(i, qRgb(i * 97 % 256, 255 - i * 61 % 256, i * 37 % 256));
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const int edge = (x / 37 + y / 29);
            if (colours) image.setPixel(x, y, edge % colours);
            if (!colours)
                image.setPixel(
                    x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), edge % 2 * 200));
        }
    }
    return image;
}

struct App : AppHarness {
    App() { start(); }
    QPushButton* chooser(bool image) const {
        return image ? delegate.selectButton() : delegate.selectButton2();
    }
    QString reminder(bool image) const { return image ? "Choose an image." : "Choose a file."; }
    // Drags `urls` onto a page and drops them there; gives whether the drag was taken.
    bool drop(bool image, const QList<QUrl>& urls) {
        QWidget* page = image ? delegate.imageView() : delegate.fileView();
        QMimeData data;
        data.setUrls(urls);
        QDragEnterEvent enter({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &enter);
        QDropEvent drop({10, 10}, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &drop);
        return enter.isAccepted() && drop.isAccepted();
    }
};

}  // namespace

class UploadsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choosingAnImage() {
        App app;
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), "Screenshot 2014-11-20 at 10.15.42.png");
        app.choose(path, true);
        const OpenPanelSettings& asked = app.panel->seen.last();
        QCOMPARE(asked.title + asked.prompt, QStringLiteral("Select ImageSelect"));
        QCOMPARE(asked.allowedFileTypes, std::optional<QStringList>({"jpg", "jpeg", "gif", "png"}));
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        QCOMPARE(titleOf(app.chooser(true)), QStringLiteral("Screenshot 2014-11-20 at ...png"));
        QCOMPARE(toolkit::titleColor(app.chooser(true)), QColor(Qt::white));
        settlePreviews();
        const QImage preview = app.delegate.bgImage()->pixmap().toImage();
        QVERIFY(!preview.isNull() && app.delegate.imageSelectButton()->icon().isNull());
        // A cancelled panel changes nothing; a file chosen on its page touches only that page.
        app.panel->answers.append(OpenPanelAnswer{false, {QUrl::fromLocalFile("/x.png")}});
        app.press(app.chooser(true));
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        const QString file = makeFile(dir.path(), "report.pdf", "%PDF");
        app.choose(file, false);
        QCOMPARE(app.panel->seen.last().title, QStringLiteral("Select File"));
        QCOMPARE(app.panel->seen.last().allowedFileTypes, std::nullopt);
        QCOMPARE(titleOf(app.delegate.savedpath()), file);
        QCOMPARE(titleOf(app.chooser(false)), QStringLiteral("report.pdf"));
        QCOMPARE(titleOf(app.chooser(true)), QStringLiteral("Screenshot 2014-11-20 at ...png"));
        QCOMPARE(app.delegate.bgImage()->pixmap().toImage(), preview);
    }

    // Dropping files on a page chooses them as the open panel does; folders are refused.
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
        App app;
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("folder.png");
        for (const char* name : {"cat.png", "CAT.JPG", "dog.gif", "notes.txt"})
            makeImage(dir.path(), name);
        QList<QUrl> urls;
        for (const QString& name : dropped)
            urls << (name.contains(':') ? QUrl(name) : QUrl::fromLocalFile(dir.filePath(name)));
        QCOMPARE(app.drop(image, urls), taken);
        QCOMPARE(titleOf(app.delegate.savedpath()), taken ? dir.filePath(dropped.last()) : "");
        QCOMPARE(titleOf(app.chooser(image)), taken ? dropped.last() : app.reminder(image));
    }

    // Previews match a smooth scale of the whole picture, at a scale that is not whole.
    void previewFidelity_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QString>("convert");  // arguments, then the target; "": Qt's PNG
        const QSize size(301, 203);
        for (int depth : {1, 2, 4})
            QTest::addRow("%d-bit palette PNG", depth)
                << pattern(size, 1 << depth)
                << QString("-define png:bit-depth=%1 PNG8:p.png").arg(depth);
        QTest::newRow("8-bit palette PNG") << pattern(size, 200) << "";
        QTest::newRow("grey with alpha")
            << pattern(size)
            << "-colorspace gray -alpha set -channel A -evaluate set 60% -define "
               "png:color-type=4 ga.png";
        QTest::newRow("16-bit PNG") << pattern(size).convertToFormat(QImage::Format_RGBA64) << "";
        QTest::newRow("GIF") << pattern(size, 16) << "-quality 100 p.gif";
        QTest::newRow("progressive JPEG") << pattern(size) << "-interlace Plane -quality 95 p.jpg";
        QTest::newRow("EXIF-rotated JPEG") << pattern(size) << "-quality 95 rotate.jpg";
    }
    void previewFidelity() {
        QFETCH(QImage, picture);
        QFETCH(QString, convert);
        QTemporaryDir dir;
        QString path = dir.filePath("source.png");
        QVERIFY(picture.save(path));
        if (!convert.isEmpty()) {
            QProcess convertor;
            convertor.setWorkingDirectory(dir.path());
            convertor.start("convert", QStringList{path} + convert.split(' '));
            QVERIFY(convertor.waitForFinished(-1) && convertor.exitCode() == 0);
            path = dir.filePath(convert.section(' ', -1).section(':', -1));
        }
        if (path.endsWith("rotate.jpg")) {
            // An Exif block saying "turn 90 degrees clockwise", right after the start marker.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray bytes = file.readAll().insert(
                2, QByteArray::fromHex("ffe100224578696600004d4d002a0000000800010112000300000001"
                                       "0006000000000000"));
            QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
        }
        QImageReader whole(path);
        whole.setAutoTransform(true);
        const QImage full = whole.read();
        const PreviewPicture preview = decodePreview(path, QSize(173, 173));
        QVERIFY(!full.isNull());
        QCOMPARE(preview.fullSize, full.size());
        QCOMPARE(preview.image.size(), full.size().scaled(173, 173, Qt::KeepAspectRatio));
        const QImage expected =
            full.scaled(preview.image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage got = preview.image.convertToFormat(QImage::Format_ARGB32);
        // Scaling in the JPEG decoder differs a little at edges; noise differs everywhere.
        qint64 total = 0, far = 0;
        for (int y = 0; y < got.height(); ++y) {
            for (int x = 0; x < got.width(); ++x) {
                const QRgb a = got.pixel(x, y), b = expected.pixel(x, y);
                for (int d : {qRed(a) - qRed(b), qGreen(a) - qGreen(b), qBlue(a) - qBlue(b),
                              qAlpha(a) - qAlpha(b)}) {
                    total += std::abs(d);
                    far += std::abs(d) > 24;
                }
            }
        }
        const qint64 values = qint64(got.width()) * got.height() * 4;
        QVERIFY2(total < 3 * values && far * 100 < 3 * values,
                 qPrintable(QString("mean %1, far %2").arg(double(total) / values).arg(far)));
    }

    // Files a decode must not touch: each is still chosen, shows no preview, and uploads.
    void previewRefusals_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a picture") << "text";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("over 100 megapixels") << "huge";
    }
    void previewRefusals() {
        QFETCH(QString, kind);
        InstalledFake net;
        App app;
        QTemporaryDir dir;
        const QString path = makeFile(dir.path(), "holiday.jpg", "plain text, no picture");
        if (kind == "fifo") QVERIFY(QFile::remove(path) && ::mkfifo(qPrintable(path), 0600) == 0);
        if (kind == "huge") {
            // A small JPEG whose frame header declares 12000x9000.
            QVERIFY(pattern(QSize(64, 48)).save(path, "JPEG"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            bytes.replace(bytes.indexOf("\xff\xc0") + 5, 4, QByteArray::fromHex("23282ee0"));
            QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
        }
        app.choose(path, true);
        settlePreviews();
        QCOMPARE(titleOf(app.chooser(true)), QStringLiteral("holiday.jpg"));
        QVERIFY(app.delegate.bgImage()->pixmap().isNull());
        app.press(app.delegate.imageUploadButton());
        QCOMPARE(net->requests.value(0).filePath, path);
    }

    // A newer choice wins over an older decode; a decode outliving its window touches nothing.
    void decodesInFlight() {
        QTemporaryDir dir;
        const QString big = dir.filePath("big.png");
        QVERIFY(pattern(QSize(3000, 2000)).save(big, "PNG", 0));
        const QString small = makeImage(dir.path(), "small.png", QSize(40, 30));
        {
            App app;
            app.choose(big, true);
            app.choose(small, true);
            settlePreviews();
            QCOMPARE(app.delegate.bgImage()->pixmap().size(), QSize(40, 30));
            app.choose(big, true);
        }
        settlePreviews();
    }

    // The picture follows the window's size, and is decoded again once it has grown; after
    // a reset the old picture does not come back.
    void previewFollowsWindow_data() {
        QTest::addColumn<QSize>("picture");
        QTest::newRow("wide") << QSize(3000, 1000);
        QTest::newRow("a strip that fits one way") << QSize(3000, 10);  // never under a pixel
        QTest::newRow("a tall strip") << QSize(10, 3000);
        QTest::newRow("small, never enlarged") << QSize(40, 30);
    }
    void previewFollowsWindow() {
        QFETCH(QSize, picture);
        App app;
        QWidget* window = app.interface.mainWindow.get();
        QTemporaryDir dir;
        app.choose(makeImage(dir.path(), "wide.png", picture), true);
        settlePreviews();
        QLabel* view = app.delegate.bgImage();
        const auto fitted = [view, picture] {
            const QSize box = view->contentsRect().size();
            if (picture.width() <= box.width() && picture.height() <= box.height()) return picture;
            return picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        };
        for (const QSize size : {window->minimumSize(), QSize(1200, 900), window->minimumSize()}) {
            window->resize(size);
            QTRY_COMPARE(view->pixmap().size(), fitted());
            // Grown, it decodes again for the pixels it now needs.
            QTRY_COMPARE(view->property("previewImage").value<QImage>().size().expandedTo(fitted()),
                         view->property("previewImage").value<QImage>().size());
            settlePreviews();
            QCOMPARE(view->pixmap().size(), fitted());
        }
        theme::showTitle(app.delegate.imageOutput(), "ferrodock.net/i/abcdefghi");
        app.press(app.delegate.imageOutput());
        const QImage icon = view->pixmap().toImage();
        window->resize(1200, 900);
        QTRY_COMPARE(window->size(), QSize(1200, 900));
        QCoreApplication::processEvents();
        QCOMPARE(view->pixmap().toImage(), icon);
    }

    // Choices refused with their reason on the page's link, leaving the page as it was.
    void refusedChoices_data() {
        QTest::addColumn<QString>("how");           // "drop" or "panel", on "image" or "file"
        QTest::addColumn<QByteArrayList>("files");  // names as bytes; the first is chosen
        QTest::addColumn<QString>("reason");        // "" when it is chosen
        const QString notUtf8 = "This file's name is not valid UTF-8; rename it to upload it.";
        const QString notImage = "Only jpg, jpeg, gif and png images can be chosen here.";
        QTest::newRow("pdf") << "panel image" << QByteArrayList{"report.pdf"} << notImage;
        QTest::newRow("no extension") << "panel image" << QByteArrayList{"jpg"} << notImage;
        QTest::newRow("capitals") << "panel image" << QByteArrayList{"CAT.JpG"} << "";
        QTest::newRow("drop: not UTF-8, sibling")
            << "drop file" << QByteArrayList{"bad\xff.txt", "bad\xef\xbf\xbd.txt"} << notUtf8;
        QTest::newRow("drop: not UTF-8")
            << "drop image" << QByteArrayList{"bad\xff.png"} << notUtf8;
        QTest::newRow("panel: lossy twin")
            << "panel file" << QByteArrayList{"bad\xef\xbf\xbd.txt", "bad\xfe.txt"} << notUtf8;
        QTest::newRow("panel: U+FFFD in a real name")
            << "panel file" << QByteArrayList{"ok\xef\xbf\xbd.txt"} << "";
    }
    void refusedChoices() {
        QFETCH(QString, how);
        QFETCH(QByteArrayList, files);
        QFETCH(QString, reason);
        const bool image = how.endsWith("image");
        App app;
        QTemporaryDir dir;  // removes names that are not UTF-8 too
        for (const QByteArray& name : files)
            QVERIFY(::close(::creat((QFile::encodeName(dir.path()) + '/' + name).constData(),
                                    0600)) == 0);
        const QUrl url = QUrl::fromEncoded(
            "file://" + (QFile::encodeName(dir.path()) + '/' + files[0]).toPercentEncoding("/"));
        if (how.startsWith("drop")) app.drop(image, {url});
        // The panel hands over names as Qt decoded them from the folder.
        if (how.startsWith("panel")) app.choose(url.toLocalFile(), image);
        QCOMPARE(titleOf(app.delegate.savedpath()), reason.isEmpty() ? url.toLocalFile() : "");
        if (reason.isEmpty()) return;
        QCOMPARE(titleOf(image ? app.delegate.imageOutput() : app.delegate.fileOutput()), reason);
        QCOMPARE(titleOf(app.chooser(image)), app.reminder(image));
    }

    // The desktop's dialog asks as told, lists pictures whatever the case of their extension,
    // and gives back what was chosen.
    void fileDialog() {
        QTemporaryDir dir;
        for (const char* name : {"a.Jpg", "b.JPEG", "c.gif", "d.pNg", "e.pdf", "f.jpgx", "png"})
            makeFile(dir.path(), name, "x");
        QCOMPARE(QDir(dir.path())
                     .entryList(fileTypePatterns({"jpg", "jpeg", "gif", "png"}), QDir::Files,
                                QDir::Name),
                 QStringList({"a.Jpg", "b.JPEG", "c.gif", "d.pNg"}));
        for (const bool accept : {false, true}) {
            QString seen;
            QTimer::singleShot(0, [&] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                seen = QString("%1|%2|%3|%4|%5")
                           .arg(dialog->windowTitle(), dialog->labelText(QFileDialog::Accept),
                                dialog->nameFilters().join(';'))
                           .arg(int(dialog->fileMode()))
                           .arg(int(dialog->options()));
                dialog->selectFile(dir.filePath("c.gif"));
                accept ? static_cast<QDialog*>(dialog)->accept() : dialog->reject();
            });
            const OpenPanelAnswer answer =
                FileDialogPanel().runModal({"Pick", "Take", QStringList{"gif"}}, nullptr);
            QCOMPARE(seen, QString("Pick|Take|Images (*.[gG][iI][fF])|%1|%2")
                               .arg(int(QFileDialog::ExistingFile))
                               .arg(int(QFileDialog::DontUseNativeDialog |
                                        QFileDialog::HideNameFilterDetails)));
            QCOMPARE(answer.confirmed, accept);
            QCOMPARE(answer.urls, accept ? QList<QUrl>{QUrl::fromLocalFile(dir.filePath("c.gif"))}
                                         : QList<QUrl>{});
        }
    }
};

QTEST_MAIN(UploadsTest)
#include "tst_uploads.moc"