#include "window/FilePage.h"

#include "window/Theme.h"

namespace ferrodock {

FilePage::FilePage(const Services& services, LastChoice& lastChoice, QWidget* parent)
    : ChoosingPage(false, services, lastChoice, parent) {
    ui_.setupUi(this);
    paintStyledBackground({ui_.filePageButton, ui_.imagePageButton, ui_.pastePageButton,
                           ui_.fileSelectButton, ui_.fileUploadButton});
    setControls({ui_.selectButton2, {ui_.privFile, ui_.anonFile}, ui_.fileOutput});
    connect(ui_.fileSelectButton, &QPushButton::clicked, this, &FilePage::chooseFile);
    connect(ui_.fileUploadButton, &QPushButton::clicked, this, &FilePage::filePushed);
}

}  // namespace ferrodock
