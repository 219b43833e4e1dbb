#include "window/ChoosingPage.h"

#include "core/Answers.h"
#include "core/Characters.h"
#include "core/Feedback.h"
#include "core/HistoryStore.h"
#include "core/ImageTypes.h"
#include "core/ScratchFolder.h"
#include "core/Session.h"
#include "core/Transport.h"
#include "desktop/Clipboard.h"
#include "desktop/DropTarget.h"
#include "desktop/OpenPanel.h"
#include "platform/FileNames.h"
#include "window/FittedText.h"
#include "window/UploadPanel.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QMimeData>
#include <QMimeDatabase>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

namespace ferrodock {

Flag flagOf(const QCheckBox* box) {
    switch (box->checkState()) {
        case Qt::Checked:
            return Flag::On;
        case Qt::PartiallyChecked:
            return Flag::Mixed;
        case Qt::Unchecked:
            break;
    }
    return Flag::Off;
}

ChoosingPage::ChoosingPage(bool forImage, const Services& services, LastChoice& lastChoice,
                           QWidget* parent)
    : QWidget(parent), forImage_(forImage), services_(services), lastChoice_(lastChoice) {
    takeDrops(
        this, [this](const QMimeData* offered) { return takes(offered, true); },
        [this](const QMimeData* offered) { take(offered); });
}

// At the end of the run; an upload still running then is given up.
ChoosingPage::~ChoosingPage() {
    for (const QString& picture : std::as_const(pictures_)) services_.scratch.release(picture);
}

void ChoosingPage::setControls(const Controls& controls) {
    controls_ = controls;
    panel_ =
        new UploadPanel(controls.link, forImage_ ? QStringLiteral("Image") : QStringLiteral("File"),
                        services_.notices);
    fitText(controls.chooser);
    fitText(controls.link);
    connect(controls.chooser, &QPushButton::clicked, this, &ChoosingPage::chooseFile);
    connect(controls.link, &QPushButton::clicked, this, &ChoosingPage::copyAddress);
}

void ChoosingPage::chooseFile() {
    OpenPanelSettings settings;
    settings.title = forImage_ ? QStringLiteral("Select Image") : QStringLiteral("Select File");
    settings.prompt = QStringLiteral("Select");
    if (forImage_) settings.allowedFileTypes = imageFileTypes();
    const OpenPanelAnswer answer = services_.openPanel.runModal(settings, window());
    if (!answer.confirmed) return;
    for (const QUrl& url : answer.urls) {
        if (url.isLocalFile()) choosePath(url.toLocalFile());
    }
}

bool ChoosingPage::choosePath(const QString& path) {
    if (path.isEmpty()) return false;
    // Refused choices leave the earlier one as it was.
    if (!pathKeepsItsBytes(path)) {
        refuse(QStringLiteral("This file's name is not valid UTF-8; rename it to upload it."));
        return false;
    }
    if (forImage_ && !isImageFileName(path)) {
        refuse(QStringLiteral("Only jpg, jpeg, gif and png images can be chosen here."));
        return false;
    }
    // Only a path given to the program can name nothing, or a folder.
    const QFileInfo file(path);
    if (!file.exists() || file.isDir()) {
        refuse(file.isDir() ? QStringLiteral("A folder cannot be uploaded; choose a file.")
                            : QStringLiteral("This file cannot be found."));
        return false;
    }
    withdrawRefusal();
    // A picture pasted, dropped or captured is this page's to remove once it is done with it.
    if (services_.scratch.holds(path) && !pictures_.contains(path)) pictures_ << path;
    lastChoice_.path = path;
    showText(controls_.chooser, displayName(path));
    path_ = path;
    chosen(path);
    releasePictures();
    return true;
}

void ChoosingPage::choosePaths(const QList<QUrl>& urls) {
    const QStringList files = localFiles(urls);
    const auto picture = std::find_if(files.begin(), files.end(), isImageFileName);
    if (files.isEmpty() || (forImage_ && picture == files.end())) {
        // Nothing the page takes: the first path says why (gone, a folder, its type).
        const auto local = std::ranges::find_if(urls, &QUrl::isLocalFile);
        if (local != urls.end()) {
            choosePath(local->toLocalFile());
        } else if (std::any_of(urls.begin(), urls.end(), isWebAddress)) {
            refuse(
                QStringLiteral("ferrodock does not download pictures from addresses; save it "
                               "first, then choose or drop the file."));
        }
        return;
    }
    if (!choosePath(forImage_ ? *picture : files[0]) || files.size() == 1) return;
    refuse(files.size() == 2
               ? QStringLiteral("1 more file was left out; ferrodock uploads one at a time.")
               : QStringLiteral("%1 more files were left out; ferrodock uploads one at a time.")
                     .arg(files.size() - 1));
}

bool ChoosingPage::takes(const QMimeData* offered, bool typed) const {
    const QList<QUrl> urls = offeredUrls(offered);
    const QStringList files = localFiles(urls);
    return (typed && forImage_ ? std::any_of(files.begin(), files.end(), isImageFileName)
                               : !files.isEmpty()) ||
           offersPicture(offered) || std::any_of(urls.begin(), urls.end(), isWebAddress);
}

// Files count before a picture's data: they keep their own name and bytes. A picture dragged
// out of a browser comes with its address, which is never fetched.
void ChoosingPage::take(const QMimeData* offered) {
    const QList<QUrl> urls = offeredUrls(offered);
    if (!localFiles(urls).isEmpty() || !offersPicture(offered)) return choosePaths(urls);
    const QByteArray png = offeredPng(offered);
    if (png.isEmpty())
        return refuse(QStringLiteral("This picture could not be read; save it as a file first."));
    QString error;
    const std::optional<QString> path =
        services_.scratch.write(QStringLiteral("Pasted image.png"), png, &error);
    if (!path) return refuse(QStringLiteral("The picture could not be kept for upload: ") + error);
    choosePath(*path);
}

void ChoosingPage::releasePictures() {
    pictures_.removeIf([this](const QString& picture) {
        if (picture == path_ || sending_.contains(picture)) return false;
        services_.scratch.release(picture);
        return true;
    });
}

QString ChoosingPage::chosenPath() const {
    return lastChoice_.path.isEmpty() ? QString() : path_;
}

void ChoosingPage::refuse(const QString& why) {
    const QString shown = literalText(controls_.link);
    const QString before = refusal_ && refusal_->first == shown ? refusal_->second : shown;
    showText(controls_.link, why);
    refusal_.emplace(literalText(controls_.link), before);
}

// A good choice puts back what a refusal covered, unless the link has changed since.
void ChoosingPage::withdrawRefusal() {
    if (refusal_ && refusal_->first == literalText(controls_.link))
        setLiteralText(controls_.link, refusal_->second);
    refusal_.reset();
}

void keepAddress(HistoryStore& history, HistoryEntry entry, const std::optional<QString>& answer) {
    const std::optional<QString> address = answer ? answerAddress(*answer) : std::nullopt;
    if (!address) return;
    entry.address = *address;
    history.add(std::move(entry));  // a failure is said once; the upload stands
}

void ChoosingPage::sendChosenFile() {
    UploadFlags flags{flagOf(controls_.flags[0]), flagOf(controls_.flags[1])};
    if (forImage_) flags.nsfw = flagOf(controls_.flags[2]);
    const FormRequest request = uploadRequest(forImage_, flags, services_.session.apiKey());
    const QString path = chosenPath();
    if (path.isEmpty()) {
        showText(controls_.link, forImage_ ? QStringLiteral("You forgot to choose an image.")
                                           : QStringLiteral("You forgot to choose a file."));
        return;
    }

    // By name only: the file is not opened on the main thread.
    static const QMimeDatabase mimeDatabase;
    const QString mimeType =
        mimeDatabase.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();

    // What the history keeps once the service answers with an address.
    HistoryEntry kept;
    kept.kind = forImage_ ? QStringLiteral("image") : QStringLiteral("file");
    kept.name = QFileInfo(path).fileName();
    kept.size = QFileInfo(path).size();
    kept.isPrivate = flags.priv == Flag::On, kept.anonymous = flags.anon == Flag::On;
    kept.nsfw = flags.nsfw == Flag::On;
    if (services_.session.isLoggedIn()) kept.user = services_.session.userName();
    kept.thumbnail = thumbnail();

    const quint64 id = panel_->begin(displayName(path));
    sending_ << path;
    const TransferHandle handle = services_.transport.uploadFile(
        request.path, request.fields, path, mimeType, this,
        [this, path, forImage = forImage_, panel = panel_, id, history = &services_.history,
         kept = std::move(kept)](const TransportResult& result) mutable {
            sending_.removeOne(path);
            releasePictures();
            if (result.kind == TransportError::Cancelled) return;
            const std::optional<QString> answer =
                answerText(result, lcUpload(), forImage ? "image upload" : "file upload");
            if (!answer && forImage) {
                std::fputs("Error\n", stdout);
                std::fflush(stdout);
            }
            panel->finish(id, answer ? *answer : uploadFailedText(result), bool(answer));
            keepAddress(*history, std::move(kept), answer);
        },
        panel_->reportFor(id));
    panel_->attach(id, handle);
}

// Copies "https://" and what the link shows when that is an address of the page's length
// (anything else on it, a hint, a reminder, a message, the confirmation, is not), then starts
// the page afresh.
void ChoosingPage::copyAddress() {
    const QString shown = literalText(controls_.link);
    const std::optional<QString> address = linkAddress(shown, forImage_ ? 25 : 24);
    if (!address) return;
    clipboard::put(*address);
    showText(controls_.link, QStringLiteral("Copied to clipboard."));
    showText(controls_.chooser,
             forImage_ ? QStringLiteral("Choose an image.") : QStringLiteral("Choose a file."));
    path_.clear();
    reset();
    lastChoice_.path.clear();
    releasePictures();
}

}  // namespace ferrodock
