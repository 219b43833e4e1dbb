#include "app/Theme.h"

#include "app/AppDelegate.h"
#include "app/FittedText.h"
#include "core/Characters.h"
#include "platform/InterfaceLoader.h"

#include <QApplication>
#include <QFile>
#include <QPalette>
#include <QRegularExpression>
#include <QStyleFactory>

namespace ferrodock {

namespace theme {
void showTitle(QAbstractButton* button, const QString& text) {
    if (!button) return;
    toolkit::setAttributedTitle(button, whiteCentredTitle(shownAnswer(text)));
    fitText(button);
}

namespace {

// The colours of everything the delegate does not paint, each defined once: the palette below
// and the style sheet (resources/ferrodock.qss, where they appear as @name) use them.
struct Swatch {
    const char* name;
    QColor colour;
};
const Swatch kSwatches[] = {
    {"window", QColor(23, 31, 40)},
    {"field", QColor(17, 23, 30)},
    {"text", QColor(230, 236, 242)},
    {"label", QColor(204, 214, 226)},
    {"muted", QColor(140, 155, 172)},
    {"disabledText", QColor(98, 113, 130)},
    {"placeholder", QColor(120, 134, 150)},
    {"disabled", QColor(110, 122, 136)},
    {"raised", QColor(34, 47, 61)},
    {"raisedHover", QColor(42, 58, 75)},
    {"sunken", QColor(28, 39, 51)},
    {"strip", QColor(14, 19, 25)},
    {"well", QColor(19, 26, 34)},
    {"wellHover", QColor(22, 30, 40)},
    {"line", QColor(50, 67, 86)},
    {"lineHover", QColor(70, 92, 116)},
    {"lineQuiet", QColor(40, 54, 70)},
    {"dash", QColor(56, 74, 95)},
    {"accent", QColor(61, 139, 253)},
    {"accentHover", QColor(88, 157, 255)},
    {"accentPressed", QColor(44, 117, 226)},
    {"accentFocus", QColor(160, 200, 255)},
    {"link", QColor(97, 164, 255)},
};

// Invalid for a name the palette does not have.
QColor swatch(QByteArrayView name) {
    for (const Swatch& s : kSwatches) {
        if (name == s.name) return s.colour;
    }
    return {};
}

// The style sheet with its colour names filled in; an unknown name is left as it is, which
// Qt then ignores, so a typo shows as a missing colour rather than a wrong one.
QString styleSheet() {
    QFile file(QStringLiteral(":/ferrodock.qss"));
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QString sheet = QString::fromUtf8(file.readAll());
    QString filled;
    filled.reserve(sheet.size());
    static const QRegularExpression token(QStringLiteral("@([A-Za-z]+)"));
    qsizetype done = 0;
    for (const QRegularExpressionMatch& m : token.globalMatch(sheet)) {
        filled += QStringView(sheet).mid(done, m.capturedStart() - done);
        const QColor colour = swatch(m.captured(1).toLatin1());
        filled += colour.isValid() ? colour.name() : m.captured();
        done = m.capturedEnd();
    }
    filled += QStringView(sheet).mid(done);
    return filled;
}

}  // namespace

void applyToolkitStyle(QApplication& app) {
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) app.setStyle(fusion);
    QPalette p;
    p.setColor(QPalette::Window, swatch("window"));
    p.setColor(QPalette::WindowText, swatch("text"));
    p.setColor(QPalette::Base, swatch("field"));
    p.setColor(QPalette::AlternateBase, swatch("window"));
    p.setColor(QPalette::ToolTipBase, swatch("raised"));
    p.setColor(QPalette::ToolTipText, swatch("text"));
    p.setColor(QPalette::Text, swatch("text"));
    p.setColor(QPalette::Button, swatch("raised"));
    p.setColor(QPalette::ButtonText, swatch("text"));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Link, swatch("link"));
    p.setColor(QPalette::Highlight, swatch("accent"));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::PlaceholderText, swatch("placeholder"));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, swatch("disabled"));
    }
    app.setPalette(p);
    registerInterfaceResources();
    app.setStyleSheet(styleSheet());
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
