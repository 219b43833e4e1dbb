#include "app/Theme.h"

#include "app/AppDelegate.h"
#include "app/Text.h"

namespace ferrodock {

namespace theme {
void showTitle(QAbstractButton* button, const QString& text) {
    if (button) toolkit::setAttributedTitle(button, whiteCentredTitle(shownAnswer(text)));
}
}  // namespace theme

namespace {

void paint(QWidget* view, const QColor& colour) {
    if (!view) return;
    toolkit::setWantsLayer(view, true);
    toolkit::setLayerBackgroundColor(view, colour);
}

void paintRounded(QWidget* view, const QColor& colour) {
    if (!view) return;
    paint(view, colour);
    toolkit::setLayerCornerRadius(view, theme::kSelectedCornerRadius);
}

void layerBack(QWidget* view) {
    if (view) toolkit::setWantsLayer(view, true);
}

}  // namespace

// The window background is painted separately (first, before the Image page goes in).
void AppDelegate::applyTheme() {
    const QColor base = theme::baseColour();
    paintRounded(fileSelectedBackground(), base);
    paint(imageSelectedBackground(), base);
    paintRounded(pasteSelectedBackground(), base);
    for (QWidget* corner : {fileSelectedBackgroundCorner1(), fileSelectedBackgroundCorner2(),
                            fileSelectedBackgroundCorner3()}) {
        paint(corner, base);
    }
    for (QWidget* corner : {pasteSelectedBackgroundCorner1(), pasteSelectedBackgroundCorner2(),
                            pasteSelectedBackgroundCorner3()}) {
        paint(corner, base);
    }
    if (QPlainTextEdit* text = pasteData()) {
        paint(text, base);
        toolkit::setDrawsBackground(text, false);
        toolkit::setTextColor(text, toolkit::whiteColor());
    }
    paint(pasteBorder(), theme::pasteBorderColour());
    paint(languageBorder(), theme::languageBorderColour());
    paint(languageBackground(), theme::languageBackgroundColour());
    for (QWidget* button : std::initializer_list<QWidget*>{
             imageUploadButton(), fileUploadButton(), pasteUploadButton(), filePageButton(),
             imagePageButton(), pastePageButton(), filePageButton2(), imagePageButton2(),
             pastePageButton2(), filePageButton3(), imagePageButton3(), pastePageButton3(),
             fileSelectButton(), imageSelectButton()}) {
        layerBack(button);
    }
}

}  // namespace ferrodock
