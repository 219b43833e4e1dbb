#pragma once

#include "ui_ImagePage.h"
#include "window/ChoosingPage.h"

#include <array>

namespace ferrodock {

class ImagePreview;

// The Image page: a jpg, jpeg, gif or png picture, previewed once chosen, sent with its
// private, anonymous and NSFW flags.
class ImagePage final : public ChoosingPage {
    Q_OBJECT
public:
    ImagePage(const Services& services, LastChoice& lastChoice, QWidget* parent = nullptr);
    // The tab strip's File, Image and Paste buttons.
    std::array<QPushButton*, 3> tabs() const {
        return {ui_.filePageButton2, ui_.imagePageButton2, ui_.pastePageButton2};
    }
    const ImagePreview& preview() const { return *preview_; }

public Q_SLOTS:
    void imagePushed() { sendChosenFile(); }

protected:
    void chosen(const QString& path) override;
    void reset() override;
    QByteArray thumbnail() const override;

private:
    Ui::ImagePage ui_;
    ImagePreview* preview_;
};

}  // namespace ferrodock
