#pragma once

#include "core/Transport.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <map>

class QLabel;
class QProgressBar;
class QPushButton;

namespace ferrodock {

// "Uploading photo.png: 37%, 12.3 MB of 33.1 MB, 4.2 MB/s, about 6 s left"; the speed and
// the time left only once `bytesPerSecond` is known.
QString progressText(const QString& label, qint64 sent, qint64 total, double bytesPerSecond);
// "12.3 MB", "512 kB", "17 bytes": decimal units, one decimal place from kB on.
QString sizeText(qint64 bytes);

class DesktopNotices;

// The uploads of one page and their progress, shown in place of the page's link button while
// the newest runs: a line of text over a bar, and a Cancel button beside them. It holds the
// page's running uploads, so the page can follow its newest and cancel them all (the Cancel
// button, Esc, or closing the window).
class UploadPanel final : public QWidget {
    Q_OBJECT
public:
    // Made hidden just before `link` in its layout. `pageName` names the page in notifications
    // ("File", "Image", "Paste"), which go to `notices`.
    UploadPanel(QPushButton* link, const QString& pageName, DesktopNotices& notices);

    // A new upload, followed from now on; `label` names it ("photo.png", "2.1 MB of text").
    quint64 begin(const QString& label);
    void attach(quint64 id, TransferHandle handle);
    ProgressReport reportFor(quint64 id);
    // Upload `id` has ended with `text` on the link (an answer or a failure). Shows it when no
    // newer upload of the page still runs, and tells the desktop when the window is not
    // active. Nothing when the upload was cancelled.
    void finish(quint64 id, const QString& text, bool succeeded);
    void cancelAll();
    int running() const { return int(uploads_.size()); }
    // Adds the bytes sent and to send of the running uploads; whether any runs.
    bool addFigures(qint64& sent, qint64& total) const;

Q_SIGNALS:
    void begun();
    // The figures moved; `ended` when an upload ended, which the desktop hears at once.
    void figuresChanged(bool ended);

private:
    struct Upload {
        TransferHandle handle;
        QElapsedTimer clock;
        QString label;
        TransportProgress last;
    };
    void reveal();
    void render();
    void conceal();

    QPushButton* link_;
    QString pageName_;
    DesktopNotices& notices_;
    QLabel* text_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QTimer revealTimer_;
    std::map<quint64, Upload> uploads_;
    quint64 newest_ = 0;
    bool shown_ = false;
};

}  // namespace ferrodock
