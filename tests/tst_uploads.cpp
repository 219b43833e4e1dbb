// The image and file pages: choosing, previewing and uploading, against the test service.
#include "platform/Toolkit.h"
#include "support/ConnectedApp.h"
#include "support/OutputCapture.h"

#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>

using namespace ferrodock;
using namespace ferrodock::test;

namespace {

QString makeImage(const QDir& dir, const QString& name, QSize size = QSize(64, 48)) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(QColor(200, 80, 40));
    const QString path = dir.filePath(name);
    if (!image.save(path, "PNG")) qFatal("cannot write %s", qPrintable(path));
    return path;
}

QString makeFile(const QDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write %s", qPrintable(path));
    }
    return path;
}

QMap<QString, RecordedPart> partsByName(const RecordedRequest& request) {
    QMap<QString, RecordedPart> parts;
    for (const RecordedPart& part : request.parts) parts.insert(part.name, part);
    return parts;
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
        QVERIFY(!asked.canChooseDirectories && !asked.allowsMultipleSelection);
        QCOMPARE(asked.allowedFileTypes, std::optional<QStringList>({"jpg", "jpeg", "gif", "png"}));

        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        QCOMPARE(titleOf(app.delegate.selectButton()),
                 QStringLiteral("Screenshot 2014-11-20 at ...png"));
        QCOMPARE(toolkit::titleColor(app.delegate.selectButton()), QColor(Qt::white));
        QVERIFY(!app.delegate.bgImage()->pixmap().isNull());
        QVERIFY(app.delegate.imageSelectButton()->icon().isNull());

        // A cancelled panel changes nothing.
        app.panel->answers.append(OpenPanelAnswer{false, {}});
        app.press(app.delegate.selectButton());
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        QVERIFY(!app.delegate.bgImage()->pixmap().isNull());
    }

    void unreadableImageIsStillChosen() {
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const QString path = makeFile(dir.path(), "not really.png", "plain text, no picture");
        app.choose(path, true);
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
        QCOMPARE(titleOf(app.delegate.selectButton()), QStringLiteral("not really.png"));
        QVERIFY(app.delegate.bgImage()->pixmap().isNull());
    }

    // The preview is decoded at the size it is shown at, not at the photo's own size.
    void previewIsDecodedSmall() {
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const QString path = makeImage(dir.path(), "big.png", QSize(4000, 1000));
        app.choose(path, true);
        const QPixmap preview = app.delegate.bgImage()->pixmap();
        const QSize box = app.delegate.bgImage()->contentsRect().size() *
                          app.delegate.bgImage()->devicePixelRatioF();
        QVERIFY2(preview.width() <= box.width() && preview.height() <= box.height(),
                 qPrintable(QString("%1x%2 in %3x%4")
                                .arg(preview.width())
                                .arg(preview.height())
                                .arg(box.width())
                                .arg(box.height())));
        QCOMPARE(qRound(double(preview.width()) / preview.height()), 4);
    }

    void choosingAFileTouchesOnlyItsPage() {
        AppHarness app;
        app.start();
        QTemporaryDir dir;
        const QString image = makeImage(dir.path(), "cat.png");
        app.choose(image, true);
        const QImage preview = app.delegate.bgImage()->pixmap().toImage();
        const QString file = makeFile(dir.path(), "quarterly-report-final-version-2.pdf", "%PDF");
        app.choose(file, false);
        const OpenPanelSettings& asked = app.panel->seen.last();
        QCOMPARE(asked.title, QStringLiteral("Select File"));
        QCOMPARE(asked.allowedFileTypes, std::nullopt);
        QCOMPARE(titleOf(app.delegate.savedpath()), file);
        QCOMPARE(titleOf(app.delegate.selectButton2()),
                 QStringLiteral("quarterly-report-final-ve...pdf"));
        QCOMPARE(titleOf(app.delegate.selectButton()), QStringLiteral("cat.png"));
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
        QMimeData data;
        data.setUrls(urls);

        QWidget* page = image ? app.delegate.imageView() : app.delegate.fileView();
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton,
                              Qt::NoModifier);
        QCoreApplication::sendEvent(page, &enter);
        QCOMPARE(enter.isAccepted(), !chosen.isEmpty());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &drop);

        QCOMPARE(titleOf(app.delegate.savedpath()),
                 chosen.isEmpty() ? QString() : dir.filePath(chosen));
        QPushButton* chooser = image ? app.delegate.selectButton() : app.delegate.selectButton2();
        QCOMPARE(titleOf(chooser), chosen.isEmpty() ? (image ? QStringLiteral("Choose an image.")
                                                             : QStringLiteral("Choose a file."))
                                                    : chosen);
        if (image) QCOMPARE(app.delegate.bgImage()->pixmap().isNull(), false);
        if (image && !chosen.isEmpty()) QVERIFY(app.delegate.imageSelectButton()->icon().isNull());
    }

    void reminders_data() {
        QTest::addColumn<bool>("image");
        QTest::newRow("image") << true;
        QTest::newRow("file") << false;
    }
    void reminders() {
        QFETCH(bool, image);
        ConnectedApp app;
        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        QCOMPARE(titleOf(image ? app.delegate.imageOutput() : app.delegate.fileOutput()),
                 image ? QStringLiteral("You forgot to choose an image.")
                       : QStringLiteral("You forgot to choose a file."));
        QTest::qWait(100);
        QCOMPARE(app.service.requestCount(), 0);
    }

    void multipartFields_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QList<bool>>("flags");  // priv, anon[, nsfw]
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("expected");  // name=value of the text fields, in order
        QTest::addColumn<QString>("mimeType");
        QTest::newRow("image example")
            << true << QList<bool>{true, false, false} << ""
            << "cat.png" << QStringList{"priv=1", "anon=0", "nsfw=0", "apikey="} << "image/png";
        QTest::newRow("image all ticked")
            << true << QList<bool>{true, true, true} << "k"
            << "cat.png" << QStringList{"priv=1", "anon=1", "nsfw=1", "apikey=k"} << "image/png";
        QTest::newRow("file example")
            << false << QList<bool>{false, true} << "0123456789abcdef0123456789abcdef"
            << "report.pdf"
            << QStringList{"priv=0", "anon=1", "apikey=0123456789abcdef0123456789abcdef"}
            << "application/pdf";
        QTest::newRow("file name with & and é")
            << false << QList<bool>{false, false} << "k&=+"
            << QString::fromUtf8("Tom & Jerry – été.bin")
            << QStringList{"priv=0", "anon=0", "apikey=k&=+"} << "application/octet-stream";
    }
    void multipartFields() {
        QFETCH(bool, image);
        QFETCH(QList<bool>, flags);
        QFETCH(QString, key);
        QFETCH(QString, fileName);
        QFETCH(QStringList, expected);
        QFETCH(QString, mimeType);
        ConnectedApp app;
        const QByteArray address = image ? "ferrodock.net/i/abcdefghi" : "ferrodock.net/f/abcdefgh";
        app.service.setReply(Reply::text(address));
        QTemporaryDir dir;
        QByteArray content(300 * 1024, '\0');
        for (int i = 0; i < content.size(); ++i) content[i] = char(i * 7 + i / 1024);
        const QString path = makeFile(dir.path(), fileName, content);
        app.choose(path, image);
        QCOMPARE(titleOf(image ? app.delegate.selectButton() : app.delegate.selectButton2()),
                 fileName);  // shown literally, '&' included
        const QList<QCheckBox*> boxes =
            image ? QList<QCheckBox*>{app.delegate.privImage(), app.delegate.anonImage(),
                                      app.delegate.nsfwImage()}
                  : QList<QCheckBox*>{app.delegate.privFile(), app.delegate.anonFile()};
        for (int i = 0; i < boxes.size(); ++i) boxes[i]->setChecked(flags[i]);
        toolkit::setTitle(app.delegate.savedapikey(), key);

        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        QPushButton* link = image ? app.delegate.imageOutput() : app.delegate.fileOutput();
        QTRY_COMPARE(titleOf(link), QString::fromLatin1(address));
        const RecordedRequest request = app.lastRequest();
        QCOMPARE(request.path,
                 image ? QStringLiteral("/api/upload/image") : QStringLiteral("/api/upload/file"));
        QStringList fields;
        for (const RecordedPart& part : request.parts) {
            if (part.name != "file") fields << part.name + "=" + QString::fromUtf8(part.content);
        }
        QCOMPARE(fields, expected);
        const RecordedPart file = partsByName(request).value("file");
        QCOMPARE(file.fileName, fileName);
        QCOMPARE(file.contentType, mimeType);
        QCOMPARE(file.content, content);

        // The choice stays: the same file can go again, and the link copies the address.
        app.press(link);
        QCOMPARE(titleOf(link), QStringLiteral("Copied to clipboard."));
    }

    void failures_data() {
        QTest::addColumn<bool>("image");
        QTest::addColumn<QString>("fault");
        for (bool image : {true, false}) {
            const char* page = image ? "image" : "file";
            QTest::addRow("%s deleted after choosing", page) << image << "deleted";
            QTest::addRow("%s replaced by a folder", page) << image << "folder";
            QTest::addRow("%s dropped connection", page) << image << "drop";
            QTest::addRow("%s dropped halfway", page) << image << "halfway";
        }
    }
    void failures() {
        QFETCH(bool, image);
        QFETCH(QString, fault);
        // A cut connection may leave nothing to read; the idle limit then ends the upload.
        ConnectedApp app({}, std::chrono::seconds(2));
        Reply reply = fault == "drop" ? replyOf(Reply::Kind::Drop) : Reply::text("x");
        if (fault == "halfway") reply.dropAfterBytes = 256 * 1024;
        app.service.setReply(reply);
        QTemporaryDir dir;
        const QString path = fault == "halfway"
                                 ? makeFile(dir.path(), "cat.png", QByteArray(4 << 20, 'c'))
                                 : makeImage(dir.path(), "cat.png");
        app.choose(path, image);
        if (fault == "deleted" || fault == "folder") QVERIFY(QFile::remove(path));
        if (fault == "folder") QVERIFY(QDir().mkdir(path));
        QPushButton* link = image ? app.delegate.imageOutput() : app.delegate.fileOutput();
        OutputCapture out(stdout);
        app.press(image ? app.delegate.imageUploadButton() : app.delegate.fileUploadButton());
        QTRY_COMPARE_WITH_TIMEOUT(titleOf(link), QStringLiteral("Upload failed. Please try again."),
                                  10000);
        QCOMPARE(out.text(), image ? QByteArray("Error\n") : QByteArray());
        QCOMPARE(titleOf(app.delegate.savedpath()), path);
    }
};

QTEST_MAIN(UploadsTest)
#include "tst_uploads.moc"
