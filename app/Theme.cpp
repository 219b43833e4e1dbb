#include "app/Theme.h"

#include "app/AppDelegate.h"
#include "app/Text.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace ferrodock {

namespace theme {
void showTitle(QAbstractButton* button, const QString& text) {
    if (button) toolkit::setAttributedTitle(button, whiteCentredTitle(shownAnswer(text)));
}

void applyToolkitStyle(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QPalette p;
    const QColor window(23, 31, 40), base(17, 23, 30), button(34, 47, 61), text(230, 236, 242);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Link, QColor(97, 164, 255));
    p.setColor(QPalette::Highlight, QColor(61, 139, 253));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, QColor(120, 134, 150));
    const QColor disabled(110, 122, 136);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    app.setPalette(p);
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
