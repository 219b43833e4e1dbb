#pragma once

#include "core/Requests.h"
#include "window/Services.h"

#include <QList>
#include <QString>
#include <QWidget>

#include <optional>
#include <utility>

class QCheckBox;
class QPushButton;

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

// What the File and Image pages share: a file chosen with the open panel or dropped on the page
// (a refused one explained on the page's link), the upload with the page's flags, and the link
// that copies the address the service gave.
class ChoosingPage : public QWidget {
    Q_OBJECT
public:
    // The path the next upload sends: the page's own choice, or none.
    QString chosenPath() const;
    // Chooses `path` as a confirmed open panel or a drop does; false when it was refused.
    bool choosePath(const QString& path);
    // Chooses the first of `paths` (files given to the program); the page says how many of
    // the others it left.
    void chooseFirst(const QStringList& paths);
    UploadPanel* uploadPanel() const { return panel_; }

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
    void refuse(const QString& why);
    void withdrawRefusal();

    const bool forImage_;
    Services services_;
    LastChoice& lastChoice_;
    Controls controls_{};
    UploadPanel* panel_ = nullptr;
    QString path_;
    // The refusal the link shows, and what it showed before.
    std::optional<std::pair<QString, QString>> refusal_;
};

}  // namespace ferrodock
