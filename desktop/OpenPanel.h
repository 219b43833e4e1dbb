#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <optional>

class QWidget;

namespace ferrodock {

// What the chooser is asked to show and allow.
struct OpenPanelSettings {
    QString title;
    QString prompt;                               // the confirm button's text
    std::optional<QStringList> allowedFileTypes;  // extensions without dots; none: any file
};

struct OpenPanelAnswer {
    bool confirmed = false;
    QList<QUrl> urls;
};

// A modal chooser of one existing file, never a folder. The application uses a file dialog;
// tests script the answers.
class OpenPanel {
public:
    virtual ~OpenPanel() = default;
    virtual OpenPanelAnswer runModal(const OpenPanelSettings& settings, QWidget* parent) = 0;
};

// Name filter patterns matching the extensions `types` in any case ("*.[jJ][pP][gG]").
QStringList fileTypePatterns(const QStringList& types);

// The real chooser: Qt's own file dialog, so the prompt and filters look the same everywhere.
class FileDialogPanel final : public OpenPanel {
public:
    OpenPanelAnswer runModal(const OpenPanelSettings& settings, QWidget* parent) override;
};

}  // namespace ferrodock
