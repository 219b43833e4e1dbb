#pragma once

#include "core/Requests.h"
#include "window/Services.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class QCheckBox;
class QMimeData;
class QPushButton;
class QUrl;

namespace ferrodock {

class UploadPanel;

// The path chosen last on either choosing page. A page uploads its own choice only while this
// is set: copying a page's address empties it, which voids the choice of both pages until the
// next one.
struct LastChoice {
    QString path;
};

// A check box as the service reads it.
Flag flagOf(const QCheckBox* box);

class HistoryStore;
struct HistoryEntry;
// Keeps `entry` in the history with the address in a page's `answer`, when it holds one.
void keepAddress(HistoryStore& history, HistoryEntry entry, const std::optional<QString>& answer);

// What the File and Image pages share: a file chosen with the open panel, dropped or pasted on
// the page (a refused one explained on the page's link), the upload with the page's flags, and
// the link that copies the address the service gave.
class ChoosingPage : public QWidget {
    Q_OBJECT
public:
    ~ChoosingPage() override;
    // The path the next upload sends: the page's own choice, or none.
    QString chosenPath() const;
    // Chooses `path` as a confirmed open panel does; false when it was refused.
    bool choosePath(const QString& path);
    // Chooses from what was handed to the page at once, dropped, pasted or opened with the
    // program: the first local file the page takes, the link telling how many more were left
    // out. An address is not fetched; the link says so.
    void choosePaths(const QList<QUrl>& urls);
    // Chooses from what another application dropped or put on the clipboard: files as
    // choosePaths() does, else a picture, kept as a PNG file while it is chosen or sent.
    void take(const QMimeData* offered);
    // Whether take() finds anything in `offered`; of files, only the page's types count when
    // `typed`.
    bool takes(const QMimeData* offered, bool typed) const;
    UploadPanel* uploadPanel() const { return panel_; }
    // Shows why something was not chosen on the link until the next choice; the earlier
    // choice stays.
    void refuse(const QString& why);

public Q_SLOTS:
    void chooseFile();
    void copyAddress();

protected:
    // The page's controls, as its form made them.
    struct Controls {
        QPushButton* chooser;
        QList<QCheckBox*> flags;  // sent as priv, anon and (the Image page) nsfw
        QPushButton* link;
    };
    ChoosingPage(bool forImage, const Services& services, LastChoice& lastChoice, QWidget* parent);
    void setControls(const Controls& controls);
    void sendChosenFile();
    // What the Image page adds to a choice and to its reset.
    virtual void chosen(const QString&) {}
    virtual void reset() {}
    // What the history keeps of the picture sent: bytes, or none.
    virtual QByteArray thumbnail() const { return {}; }

private:
    void withdrawRefusal();
    // Removes the pictures this page wrote that are neither chosen nor being sent.
    void releasePictures();

    const bool forImage_;
    Services services_;
    LastChoice& lastChoice_;
    Controls controls_{};
    UploadPanel* panel_ = nullptr;
    QString path_;
    // The pictures this page wrote to the scratch folder, and those of them being sent (once
    // for each upload).
    QStringList pictures_, sending_;
    // The refusal the link shows, and what it showed before.
    std::optional<std::pair<QString, QString>> refusal_;
};

}  // namespace ferrodock
