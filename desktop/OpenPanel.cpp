#include "desktop/OpenPanel.h"

#include <QFileDialog>

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
