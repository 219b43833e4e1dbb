#include "app/AppDelegate.h"
#include "app/PasteUpload.h"
#include "app/Theme.h"
#include "app/UploadProgress.h"
#include "core/Characters.h"
#include "core/Feedback.h"
#include "core/Transport.h"
#include "platform/Toolkit.h"

#include <QMimeDatabase>

#include <cstdio>

namespace ferrodock {

void AppDelegate::uploadChosenFile(bool forImage) {
    QList<FormField> fields;
    if (forImage) {
        fields = {{QStringLiteral("priv"), flagValue(privImage())},
                  {QStringLiteral("anon"), flagValue(anonImage())},
                  {QStringLiteral("nsfw"), flagValue(nsfwImage())}};
    } else {
        fields = {{QStringLiteral("priv"), flagValue(privFile())},
                  {QStringLiteral("anon"), flagValue(anonFile())}};
    }
    const QString key = savedapikey() ? toolkit::title(savedapikey()) : QString();
    fields.append({QStringLiteral("apikey"), key});
    const QString path = chosenPath(forImage);

    QPushButton* output = forImage ? imageOutput() : fileOutput();
    if (path.isEmpty()) {
        theme::showTitle(output, forImage ? QStringLiteral("You forgot to choose an image.")
                                          : QStringLiteral("You forgot to choose a file."));
        return;
    }

    // By name only: the file is not opened on the main thread.
    static const QMimeDatabase mimeDatabase;
    const QString mimeType =
        mimeDatabase.mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();

    UploadPanel* panel = UploadPanel::of(
        output, forImage ? QStringLiteral("Image") : QStringLiteral("File"), notices);
    const quint64 id = panel ? panel->begin(displayName(path)) : 0;
    const TransferHandle handle = transport->uploadFile(
        forImage ? QStringLiteral("/api/upload/image") : QStringLiteral("/api/upload/file"), fields,
        path, mimeType, this,
        [forImage, panel = QPointer<UploadPanel>(panel), id](const TransportResult& result) {
            if (result.kind == TransportError::Cancelled) return;
            const std::optional<QString> answer =
                answerText(result, lcUpload(), forImage ? "image upload" : "file upload");
            if (!answer && forImage) {
                std::fputs("Error\n", stdout);
                std::fflush(stdout);
            }
            if (panel) panel->finish(id, answer ? *answer : uploadFailedText(result), bool(answer));
        },
        panel ? panel->reportFor(id) : ProgressReport{});
    if (panel) panel->attach(id, handle);
}

void AppDelegate::imagePushed(QObject*) {
    uploadChosenFile(true);
}
void AppDelegate::filePushed(QObject*) {
    uploadChosenFile(false);
}

}  // namespace ferrodock
