#pragma once

#include "ui_FilePage.h"
#include "window/ChoosingPage.h"

#include <array>

namespace ferrodock {

// The File page: any file, sent with its private and anonymous flags.
class FilePage final : public ChoosingPage {
    Q_OBJECT
public:
    FilePage(const Services& services, LastChoice& lastChoice, QWidget* parent = nullptr);
    // The tab strip's File, Image and Paste buttons.
    std::array<QPushButton*, 3> tabs() const {
        return {ui_.filePageButton, ui_.imagePageButton, ui_.pastePageButton};
    }

public Q_SLOTS:
    void filePushed() { sendChosenFile(); }

private:
    Ui::FilePage ui_;
};

}  // namespace ferrodock
