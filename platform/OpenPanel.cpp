#include "platform/OpenPanel.h"

#include <QFile>
#include <QFileDialog>

#include <dirent.h>
#include <sys/stat.h>

namespace ferrodock {

QStringList fileTypePatterns(const QStringList& types) {
    // Name filters match case-sensitively on Linux; photos often end in ".JPG" or ".Jpg".
    QStringList patterns;
    for (const QString& type : types) {
        QString pattern = QStringLiteral("*.");
        for (const QChar c : type) {
            if (c.toLower() == c.toUpper()) {
                pattern += c;
            } else {
                pattern += QLatin1Char('[') + c.toLower() + c.toUpper() + QLatin1Char(']');
            }
        }
        patterns << pattern;
    }
    return patterns;
}

bool pathKeepsItsBytes(const QString& path) {
    if (!path.contains(QChar::ReplacementCharacter)) return true;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return false;
    // Each piece holding U+FFFD, the first of a relative path too, must have no sibling that
    // decodes to the same text. Pieces are listed where they were written (".." included), so
    // the folder listed is the one the kernel walks through.
    QString parent = path.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral(".");
    for (const QString& piece : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        if (piece.contains(QChar::ReplacementCharacter)) {
            const QByteArray exact = QFile::encodeName(piece);
            DIR* dir = ::opendir(parent.isEmpty() ? "/" : QFile::encodeName(parent).constData());
            if (!dir) return false;
            bool twin = false;
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                if (name != exact && QFile::decodeName(name) == piece) twin = true;
            }
            ::closedir(dir);
            if (twin) return false;
        }
        parent += QLatin1Char('/') + piece;
    }
    return true;
}

OpenPanelAnswer FileDialogPanel::runModal(const OpenPanelSettings& settings, QWidget* parent) {
    QFileDialog dialog(parent, settings.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, settings.prompt);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (settings.allowedFileTypes) {
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilter(
            QStringLiteral("Images (%1)")
                .arg(fileTypePatterns(*settings.allowedFileTypes).join(QLatin1Char(' '))));
    }
    OpenPanelAnswer answer;
    answer.confirmed = dialog.exec() == QDialog::Accepted;
    if (answer.confirmed) answer.urls = dialog.selectedUrls();
    return answer;
}

}  // namespace ferrodock
