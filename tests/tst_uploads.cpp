// The image and file pages: choosing, dropping and previewing.
#include "app/Preview.h"
#include "platform/Toolkit.h"
#include "support/AppHarness.h"
#include "support/FakeTransport.h"
#include "support/Files.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QMimeData>
#include <QProcess>
#include <QScopeGuard>
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

// A colourful picture with smooth areas and sharp edges, `colours` of them when given.
QImage pattern(QSize size, int colours = 0) {
    QImage image(size, colours ? QImage::Format_Indexed8 : QImage::Format_ARGB32);
    if (colours) image.setColorCount(colours);
    for (int i = 0; i < colours; ++i)
        image.setColor(i, qRgb(i * 97 % 256, 255 - i * 61 % 256, i * 37 % 256));
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            if (colours) {
                image.setPixel(x, y, (x / 37 + y / 29) % colours);
            } else {
                image.setPixel(x, y,
                               qRgba(x * 255 / size.width(), y * 255 / size.height(),
                                     (x / 37 + y / 29) % 2 * 200, 255));
            }
        }
    }
    return image;
}

// Writes `image` as PNG, then passes it through `convert` with `args` into `name`.
QString converted(const QDir& dir, const QImage& image, const QStringList& args,
                  const QString& name) {
    const QString source = dir.filePath(QStringLiteral("source.png"));
    if (!image.save(source)) qFatal("cannot write %s", qPrintable(source));
    if (args.isEmpty()) return source;
    const qsizetype colon = name.indexOf(QLatin1Char(':'));  // "PNG8:name" names an encoder
    const QString target = dir.filePath(name.mid(colon + 1));
    const int status =
        QProcess::execute(QStringLiteral("convert"),
                          QStringList{source} + args + QStringList{name.left(colon + 1) + target});
    if (status != 0) qFatal("convert failed for %s", qPrintable(name));
    return target;
}

// Creates a file whose name is given as bytes, which need not be UTF-8.
QString makeRawFile(const QDir& dir, const QByteArray& name) {
    const QByteArray path = QFile::encodeName(dir.path()) + '/' + name;
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0 || ::write(fd, "bytes", 5) != 5) qFatal("cannot write %s", path.constData());
    ::close(fd);
    return QString::fromLatin1(path.toPercentEncoding("/"));
}

// Drags `urls` onto `page` and drops them there; gives whether the drag was taken.
bool dropOn(QWidget* page, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &drop);
    return enter.isAccepted();
}

}  // namespace

class UploadsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void choosingAnImage() {
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), "Screenshot 2014-11-20 at 10.15.42.png");
        app.choose(path, true);
        const OpenPanelSettings& asked = app.panel->seen.last();
        QCOMPARE(asked.title, QStringLiteral("Select Image"));
        QCOMPARE(asked.prompt, QStringLiteral("Select"));
        QCOMPARE(asked.allowedFileTypes, std::optional<QStringList>({"jpg", "jpeg", "gif", "png"}));

        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        QCOMPARE(titleOf(app.delegate.selectButton()),
                 QStringLiteral("Screenshot 2014-11-20 at ...png"));
        QCOMPARE(toolkit::titleColor(app.delegate.selectButton()), QColor(Qt::white));
        settlePreviews();
        QVERIFY(!app.delegate.bgImage()->pixmap().isNull());
        QVERIFY(app.delegate.imageSelectButton()->icon().isNull());

        // A cancelled panel changes nothing.
        app.panel->answers.append(OpenPanelAnswer{false, {}});
        app.press(app.delegate.selectButton());
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        const QImage preview = app.delegate.bgImage()->pixmap().toImage();
        QVERIFY(!preview.isNull());

        // A file chosen on its page touches only that page.
        const QString file = makeFile(dir.path(), "report.pdf", "%PDF");
        app.choose(file, false);
        QCOMPARE(app.panel->seen.last().title, QStringLiteral("Select File"));
        QCOMPARE(app.panel->seen.last().allowedFileTypes, std::nullopt);
        QCOMPARE(titleOf(app.delegate.savedpath()), file);
        QCOMPARE(titleOf(app.delegate.selectButton2()), QStringLiteral("report.pdf"));
        QCOMPARE(titleOf(app.delegate.selectButton()),
                 QStringLiteral("Screenshot 2014-11-20 at ...png"));
        QCOMPARE(app.delegate.bgImage()->pixmap().toImage(), preview);
    }

    // Dropping files on a page chooses them as the open panel does; folders are refused.
    void drops_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QStringList>("dropped");  // names in a temporary folder
        QTest::addColumn<QString>("chosen");       // "" when the drop is refused
        QTest::newRow("image") << true << QStringList{"cat.png"} << "cat.png";
        QTest::newRow("image in capitals") << true << QStringList{"CAT.JPG"} << "CAT.JPG";
        QTest::newRow("several: the last")
            << true << QStringList{"cat.png", "dog.gif"} << "dog.gif";
        QTest::newRow("folder refused") << true << QStringList{"folder.png"} << "";
        QTest::newRow("not an image type") << true << QStringList{"notes.txt"} << "";
        QTest::newRow("file page: any file") << false << QStringList{"notes.txt"} << "notes.txt";
        QTest::newRow("file page: folder refused") << false << QStringList{"folder.png"} << "";
        QTest::newRow("folder skipped")
            << false << QStringList{"notes.txt", "folder.png"} << "notes.txt";
    }
    void drops() {
        QFETCH(bool, image);
        QFETCH(QStringList, dropped);
        QFETCH(QString, chosen);
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        QDir(dir.path()).mkdir("folder.png");
        makeImage(dir.path(), "cat.png");
        makeImage(dir.path(), "CAT.JPG");
        makeImage(dir.path(), "dog.gif");
        makeFile(dir.path(), "notes.txt", "text");
        QList<QUrl> urls;
        for (const QString& name : dropped) urls << QUrl::fromLocalFile(dir.filePath(name));
        QCOMPARE(dropOn(image ? app.delegate.imageView() : app.delegate.fileView(), urls),
                 !chosen.isEmpty());

        QCOMPARE(titleOf(app.delegate.savedpath()),
                 chosen.isEmpty() ? QString() : dir.filePath(chosen));
        QPushButton* chooser = image ? app.delegate.selectButton() : app.delegate.selectButton2();
        QCOMPARE(titleOf(chooser), chosen.isEmpty() ? (image ? QStringLiteral("Choose an image.")
                                                             : QStringLiteral("Choose a file."))
                                                    : chosen);
        if (image) QCOMPARE(app.delegate.bgImage()->pixmap().isNull(), false);
        if (image && !chosen.isEmpty()) QVERIFY(app.delegate.imageSelectButton()->icon().isNull());
    }

    // Previews match a smooth scale of the whole picture, at a scale that is not whole.
    void previewFidelity_data() {
        QTest::addColumn<QImage>("picture");
        QTest::addColumn<QStringList>("convert");  // arguments; none: the PNG as Qt writes it
        QTest::addColumn<QString>("name");
        const QSize size(301, 203);
        for (int depth : {1, 2, 4}) {
            QTest::addRow("%d-bit palette PNG", depth)
                << pattern(size, 1 << depth)
                << QStringList{"-define", QString("png:bit-depth=%1").arg(depth)}
                << QString("PNG8:p%1.png").arg(depth);
        }
        QTest::newRow("8-bit palette PNG") << pattern(size, 200) << QStringList{} << "";
        QTest::newRow("grey with alpha")
            << pattern(size)
            << QStringList{"-colorspace", "gray", "-alpha", "set",     "-channel",        "A",
                           "-evaluate",   "set",  "60%",    "-define", "png:color-type=4"}
            << "ga.png";
        QTest::newRow("16-bit PNG")
            << pattern(size).convertToFormat(QImage::Format_RGBA64) << QStringList{} << "";
        QTest::newRow("GIF") << pattern(size, 16) << QStringList{"-quality", "100"} << "p.gif";
        QTest::newRow("progressive JPEG")
            << pattern(size) << QStringList{"-interlace", "Plane", "-quality", "95"} << "p.jpg";
        QTest::newRow("EXIF-rotated JPEG")
            << pattern(size) << QStringList{"-quality", "95"} << "rotate.jpg";
    }
    void previewFidelity() {
        QFETCH(QImage, picture);
        QFETCH(QStringList, convert);
        QFETCH(QString, name);
        QTemporaryDir dir;
        const QString path = converted(dir.path(), picture, convert, name);
        if (name == "rotate.jpg") {
            // An Exif block saying "turn 90 degrees clockwise", right after the start marker.
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            bytes.insert(2, QByteArray::fromHex("ffe10022457869660000"
                                                "4d4d002a00000008"
                                                "0001011200030000000100060000"
                                                "00000000"));
            QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
        }
        QImageReader whole(path);
        whole.setAutoTransform(true);
        const QImage full = whole.read();
        QVERIFY(!full.isNull());

        const PreviewPicture preview = decodePreview(path, QSize(173, 173));
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

    // Files a decode must not touch: each is still chosen, shows no preview, and a regular
    // one uploads.
    void previewRefusals_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("not a picture") << "text";
        QTest::newRow("FIFO") << "fifo";
        QTest::newRow("over 100 megapixels") << "huge";
    }
    void previewRefusals() {
        QFETCH(QString, kind);
        InstalledFake net;
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const QString path = dir.filePath("holiday.jpg");
        if (kind == "text") makeFile(dir.path(), "holiday.jpg", "plain text, no picture");
        if (kind == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == "huge") {
            // A small JPEG whose frame header declares 12000x9000.
            QVERIFY(pattern(QSize(64, 48)).save(path, "JPEG"));
            QFile file(path);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QByteArray bytes = file.readAll();
            const qsizetype frame = bytes.indexOf(QByteArray::fromHex("ffc0"));
            QVERIFY(frame > 0);
            bytes.replace(frame + 5, 4, QByteArray::fromHex("23282ee0"));
            QVERIFY(file.resize(0) && file.write(bytes) == bytes.size());
        }
        app.choose(path, true);
        settlePreviews();
        QCOMPARE(titleOf(app.delegate.selectButton()), QStringLiteral("holiday.jpg"));
        QVERIFY(app.delegate.bgImage()->pixmap().isNull());
        if (kind == "fifo") return;
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
            AppHarness app;
            app.start();
            app.choose(big, true);
            app.choose(small, true);
            settlePreviews();
            QCOMPARE(app.delegate.bgImage()->pixmap().size(), QSize(40, 30));
            app.choose(big, true);
        }
        settlePreviews();
    }

    // The picture follows the window's size, and is decoded again once it has grown.
    void previewFollowsWindow_data() {
        QTest::addColumn<QSize>("picture");
        QTest::newRow("wide") << QSize(3000, 1000);
        QTest::newRow("a strip that fits one way") << QSize(3000, 10);  // never under a pixel
        QTest::newRow("a tall strip") << QSize(10, 3000);
        QTest::newRow("small, never enlarged") << QSize(40, 30);
    }
    void previewFollowsWindow() {
        QFETCH(QSize, picture);
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        app.choose(makeImage(dir.path(), "wide.png", picture), true);
        settlePreviews();
        QLabel* view = app.delegate.bgImage();
        for (const QSize window : {QSize(1200, 900), app.interface.mainWindow->minimumSize()}) {
            app.interface.mainWindow->resize(window);
            const auto fitted = [view, picture] {
                const QSize box = view->contentsRect().size();
                if (picture.width() <= box.width() && picture.height() <= box.height())
                    return picture;
                return picture.scaled(box, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
            };
            QTRY_COMPARE(view->pixmap().size(), fitted());
            settlePreviews();
            QCOMPARE(view->pixmap().size(), fitted());
        }
    }

    // Choices refused with their reason on the page's link, leaving the page as it was.
    void refusedChoices_data() {
        QTest::addColumn<bool>("drop");
        QTest::addColumn<bool>("image");
        QTest::addColumn<QByteArrayList>("files");  // names as bytes; the first is chosen
        QTest::addColumn<QString>("reason");        // "" when it is chosen
        const QString notUtf8 = "This file's name is not valid UTF-8; rename it to upload it.";
        const QString notImage = "Only jpg, jpeg, gif and png images can be chosen here.";
        QTest::newRow("typed pdf") << false << true << QByteArrayList{"report.pdf"} << notImage;
        QTest::newRow("no extension") << false << true << QByteArrayList{"jpg"} << notImage;
        QTest::newRow("capitals") << false << true << QByteArrayList{"CAT.JpG"} << "";
        QTest::newRow("drop: not UTF-8, sibling")
            << true << false << QByteArrayList{"bad\xff.txt", "bad\xef\xbf\xbd.txt"} << notUtf8;
        QTest::newRow("drop: not UTF-8 alone")
            << true << true << QByteArrayList{"bad\xff.png"} << notUtf8;
        QTest::newRow("panel: lossy twin")
            << false << false << QByteArrayList{"bad\xef\xbf\xbd.txt", "bad\xfe.txt"} << notUtf8;
        QTest::newRow("panel: U+FFFD in a real name")
            << false << false << QByteArrayList{"ok\xef\xbf\xbd.txt"} << "";
    }
    void refusedChoices() {
        QFETCH(bool, drop);
        QFETCH(bool, image);
        QFETCH(QByteArrayList, files);
        QFETCH(QString, reason);
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const auto removeAll = qScopeGuard([&] {
            for (const QByteArray& name : files)
                ::unlink((QFile::encodeName(dir.path()) + '/' + name).constData());
        });
        QString chosen;
        for (const QByteArray& name : files) {
            const QString made = makeRawFile(dir.path(), name);
            if (chosen.isEmpty()) chosen = made;
        }
        const QUrl url = QUrl::fromEncoded("file://" + chosen.toLatin1());
        if (drop) {
            dropOn(image ? app.delegate.imageView() : app.delegate.fileView(), {url});
        } else {
            // The panel hands over names as Qt decoded them from the folder.
            app.choose(url.toLocalFile(), image);
        }
        if (reason.isEmpty()) {
            QCOMPARE(titleOf(app.delegate.savedpath()), url.toLocalFile());
            return;
        }
        QCOMPARE(titleOf(image ? app.delegate.imageOutput() : app.delegate.fileOutput()), reason);
        QCOMPARE(titleOf(app.delegate.savedpath()), QString());
        QCOMPARE(titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2()),
                 image ? QStringLiteral("Choose an image.") : QStringLiteral("Choose a file."));
    }

    // The panel lists pictures whatever the case of their extension.
    void panelListsAnyCase() {
        QTemporaryDir dir;
        for (const char* name : {"a.Jpg", "b.JPEG", "c.gif", "d.pNg", "e.pdf", "f.jpgx", "png"})
            makeFile(dir.path(), name, "x");
        QCOMPARE(QDir(dir.path())
                     .entryList(fileTypePatterns({"jpg", "jpeg", "gif", "png"}), QDir::Files,
                                QDir::Name),
                 QStringList({"a.Jpg", "b.JPEG", "c.gif", "d.pNg"}));
    }
};

QTEST_MAIN(UploadsTest)
#include "tst_uploads.moc"
