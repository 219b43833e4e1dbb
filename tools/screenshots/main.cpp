// Renders the main window on each page, the login window and the history window, to PNG files, the
// way a person sees them after start-up. Used for the README and for looking at the layout at 100%
// and 200% scale: `ferrodock-screenshots OUTDIR` (set QT_SCALE_FACTOR=2 for 200%).
#include "core/HistoryStore.h"
#include "core/ScratchFolder.h"
#include "core/Session.h"
#include "desktop/OpenPanel.h"
#include "desktop/ScreenCapture.h"
#include "desktop/Thumbnail.h"
#include "platform/DesktopNotices.h"
#include "platform/HttpsTransport.h"
#include "window/FilePage.h"
#include "window/HistoryWindow.h"
#include "window/ImagePage.h"
#include "window/LoginDialog.h"
#include "window/MainWindow.h"
#include "window/PastePage.h"
#include "window/Preview.h"
#include "window/Theme.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

using namespace ferrodock;

namespace {

// A picture of two colours and a sun, standing in for a photograph.
QImage photo(QSize size, QColor from, QColor to) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(QPointF(0, 0), QPointF(size.width(), size.height()));
    gradient.setColorAt(0, from);
    gradient.setColorAt(1, to);
    painter.fillRect(image.rect(), gradient);
    painter.setBrush(to.lighter(150));
    painter.setPen(Qt::NoPen);
    const int sun = size.height() * 5 / 24;
    painter.drawEllipse(QPoint(size.width() * 5 / 8, size.height() * 3 / 8), sun, sun);
    return image;
}

// The same as the history keeps it, made from a picture file as an upload's thumbnail is.
QByteArray picture(const QDir& folder, QColor from, QColor to) {
    const QString path = folder.filePath(from.name().mid(1) + QStringLiteral(".jpg"));
    photo(QSize(1280, 960), from, to).save(path);
    return thumbnailOfFile(path);
}

// A week of uploads, the latest a minute ago; those a day or more ago are whole days back, so
// the pictures are the same at any time of day (in a time zone without summer time).
void fillHistory(HistoryStore& history, const QDir& folder) {
    struct Row {
        const char* kind;
        const char* name;
        const char* language;
        qint64 size, minutesAgo;
        bool priv, anon, nsfw;
        const char* address;
        QByteArray thumbnail;
    };
    const Row rows[] = {
        {"file",
         "quarterly-report.pdf",
         "",
         482133,
         8640,
         false,
         false,
         false,
         "ferrodock.net/Fq82kLd0aZ",
         {}},
        {"paste",
         "[Unit] Description=Backup of /home",
         "ini",
         612,
         4320,
         true,
         false,
         false,
         "ferrodock.net/p/7Hs2kq0Lm",
         {}},
        {"image", "harbour-at-dusk.jpg", "", 2841120, 2880, false, false, false,
         "ferrodock.net/i/Pw3mZ81cQe", picture(folder, QColor(32, 60, 120), QColor(250, 150, 60))},
        {"file",
         "ferrodock_0.1.0_amd64.deb",
         "",
         1302442,
         1440,
         false,
         true,
         false,
         "ferrodock.net/Lk2Pq9xW4b",
         {}},
        {"image", "screenshot-2026-12-06.png", "", 184220, 190, true, false, false,
         "ferrodock.net/i/Zr8Tn3bV6y",
         picture(folder, QColor(230, 230, 235), QColor(70, 130, 200))},
        {"paste",
         "def greet(name): return f\"Hello, {name}!\"",
         "python",
         46,
         42,
         false,
         false,
         false,
         "ferrodock.net/p/Qm4vX7cR2",
         {}},
        {"image", "garden-party.gif", "", 932001, 12, false, true, true,
         "ferrodock.net/i/Hd6yG2kP0s", picture(folder, QColor(40, 140, 70), QColor(240, 220, 80))},
        {"file", "notes.txt", "", 5120, 1, true, false, false, "ferrodock.net/Xa9Vb3Nm7Q", {}},
    };
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const Row& row : rows) {
        HistoryEntry entry;
        entry.when = now.addSecs(-60 * row.minutesAgo);
        entry.kind = QString::fromLatin1(row.kind);
        entry.name = QString::fromUtf8(row.name);
        entry.language = QString::fromLatin1(row.language);
        entry.size = row.size;
        entry.isPrivate = row.priv, entry.anonymous = row.anon, entry.nsfw = row.nsfw;
        entry.user = QStringLiteral("alice");
        entry.address = QStringLiteral("https://") + QString::fromLatin1(row.address);
        entry.thumbnail = row.thumbnail;
        history.add(entry);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Start-up reads the session file: give it an empty home so nobody's login shows.
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("XDG_DATA_HOME");
    QApplication app(argc, argv);
    configureApplication(app);
    // A caret that does not blink: the pictures do not depend on the moment they are taken.
    QApplication::setCursorFlashTime(0);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);

    HttpsTransport transport({});
    FileDialogPanel openPanel;
    const std::unique_ptr<DesktopNotices> notices = makeBusNotices({}, {}, {});
    Session session;
    HistoryStore history;
    fillHistory(history, QDir(home.path()));
    ScratchFolder scratch;
    ScreenCapture capture(scratch);
    MainWindow window({transport, openPanel, *notices, session, history, scratch, capture});
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) std::fprintf(stderr, "window not exposed\n");

    auto shoot = [&](QWidget* w, const QString& name) {
        QTest::qWait(50);
        const QString path = out + QLatin1Char('/') + name + QStringLiteral(".png");
        if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    };
    window.pastePage()
        ->findChild<QPlainTextEdit*>(QStringLiteral("pasteData"))
        ->setPlainText(QStringLiteral("def greet(name):\n    return f\"Hello, {name}!\"\n"));
    window.pastePage()
        ->findChild<QComboBox*>(QStringLiteral("language"))
        ->setCurrentText(QStringLiteral("Python"));
    shoot(&window, QStringLiteral("image-page"));
    window.switchFile();
    shoot(&window, QStringLiteral("file-page"));
    window.switchPaste();
    shoot(&window, QStringLiteral("paste-page"));
    // The same pages with a file chosen: a photograph, previewed, and a name too long to show.
    const QString photoPath = home.filePath(QStringLiteral("harbour-at-dusk.jpg"));
    photo(QSize(1600, 1000), QColor(32, 60, 120), QColor(250, 150, 60)).save(photoPath);
    window.switchImage();
    window.imagePage()->choosePath(photoPath);
    if (!QTest::qWaitFor([] { return previewDecodesRunning() == 0; }))
        std::fprintf(stderr, "the preview did not finish\n");
    shoot(&window, QStringLiteral("image-chosen"));
    const QString longName = home.filePath(
        QStringLiteral("minutes of the annual general meeting, with every appendix and the "
                       "board's replies.pdf"));
    QFile(longName).open(QIODevice::WriteOnly);
    window.switchFile();
    window.filePage()->choosePath(longName);
    shoot(&window, QStringLiteral("file-chosen"));
    // As narrow as the window goes: the picture follows its box, and a long refusal is cut to
    // what fits.
    const QSize wide = window.size();
    window.resize(window.minimumSizeHint());
    window.switchImage();
    window.imagePage()->choosePaths({QUrl(QStringLiteral("https://example.org/harbour.jpg"))});
    shoot(&window, QStringLiteral("image-narrow"));
    window.resize(wide);
    window.showLoginDialog();
    if (!QTest::qWaitForWindowExposed(window.loginDialog()))
        std::fprintf(stderr, "window not exposed\n");
    shoot(window.loginDialog(), QStringLiteral("login-window"));
    window.loginDialog()->hide();
    window.showHistory();
    if (!QTest::qWaitForWindowExposed(window.historyWindow()))
        std::fprintf(stderr, "window not exposed\n");
    shoot(window.historyWindow(), QStringLiteral("history"));
    return 0;
}
