#include "platform/OpenPanel.h"

#include <QFileDialog>

namespace ferrodock {

namespace {
std::unique_ptr<OpenPanel>& slot() {
    static std::unique_ptr<OpenPanel> panel;
    return panel;
}
}  // namespace

OpenPanel& sharedOpenPanel() {
    if (!slot()) slot() = std::make_unique<FileDialogPanel>();
    return *slot();
}

void installSharedOpenPanel(std::unique_ptr<OpenPanel> panel) {
    slot() = std::move(panel);
}

OpenPanelAnswer FileDialogPanel::runModal(const OpenPanelSettings& settings, QWidget* parent) {
    QFileDialog dialog(parent, settings.title);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setLabelText(QFileDialog::Accept, settings.prompt);
    if (settings.canChooseDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
    } else {
        dialog.setFileMode(settings.allowsMultipleSelection ? QFileDialog::ExistingFiles
                                                            : QFileDialog::ExistingFile);
    }
    if (settings.allowedFileTypes) {
        // Name filters match case-sensitively on Linux; photos often end in ".JPG".
        QStringList patterns;
        for (const QString& type : *settings.allowedFileTypes) {
            patterns << QStringLiteral("*.") + type.toLower()
                     << QStringLiteral("*.") + type.toUpper();
        }
        dialog.setNameFilter(QStringLiteral("Images (%1)").arg(patterns.join(QLatin1Char(' '))));
    }
    OpenPanelAnswer answer;
    answer.confirmed = dialog.exec() == QDialog::Accepted;
    if (answer.confirmed) answer.urls = dialog.selectedUrls();
    return answer;
}

}  // namespace ferrodock
