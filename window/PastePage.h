#pragma once

#include "ui_PastePage.h"
#include "window/Services.h"

#include <QByteArray>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

namespace ferrodock {

class PasteReader;
class UploadPanel;

// The Paste page: the text as typed, its language and flags, and the link that copies the
// address the service gave.
class PastePage final : public QWidget {
    Q_OBJECT
public:
    explicit PastePage(const Services& services, QWidget* parent = nullptr);
    // The tab strip's File, Image and Paste buttons.
    std::array<QPushButton*, 3> tabs() const {
        return {ui_.filePageButton3, ui_.imagePageButton3, ui_.pastePageButton3};
    }
    UploadPanel* uploadPanel() const { return panel_; }

public Q_SLOTS:
    // Sends what the page shows at the press, once the text is read; nothing while the text
    // of an earlier press is still being read.
    void pastePushed();
    void copyAddress();

private:
    Ui::PastePage ui_;
    Services services_;
    UploadPanel* panel_;
    QPointer<PasteReader> reader_;
};

}  // namespace ferrodock
