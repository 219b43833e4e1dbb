#include "window/Theme.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPalette>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QWidget>

// The resources live in the static library, whose initialiser must be called by name from
// outside any namespace.
static void initResources() {
    Q_INIT_RESOURCE(ferrodock);
}

namespace ferrodock {

namespace {

// The window's colours, each defined once: the palette below and the style sheet
// (resources/ferrodock.qss, where they appear as @name) use them.
struct Swatch {
    const char* name;
    QColor colour;
};
const Swatch kSwatches[] = {
    {"window", QColor(23, 31, 40)},         {"field", QColor(17, 23, 30)},
    {"text", QColor(230, 236, 242)},        {"label", QColor(204, 214, 226)},
    {"muted", QColor(140, 155, 172)},       {"disabledText", QColor(98, 113, 130)},
    {"placeholder", QColor(120, 134, 150)}, {"disabled", QColor(110, 122, 136)},
    {"raised", QColor(34, 47, 61)},         {"raisedHover", QColor(42, 58, 75)},
    {"sunken", QColor(28, 39, 51)},         {"fieldLine", QColor(24, 33, 44)},
    {"strip", QColor(14, 19, 25)},          {"well", QColor(19, 26, 34)},
    {"wellHover", QColor(22, 30, 40)},      {"line", QColor(50, 67, 86)},
    {"lineHover", QColor(70, 92, 116)},     {"lineQuiet", QColor(40, 54, 70)},
    {"dash", QColor(56, 74, 95)},           {"accent", QColor(61, 139, 253)},
    {"accentHover", QColor(88, 157, 255)},  {"accentPressed", QColor(44, 117, 226)},
    {"accentFocus", QColor(160, 200, 255)}, {"link", QColor(97, 164, 255)},
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

void paintStyledBackground(std::initializer_list<QWidget*> buttons) {
    for (QWidget* button : buttons) button->setAttribute(Qt::WA_StyledBackground);
}

void setApplicationIcon() {
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon.png")));
}

void configureApplication(QApplication& app) {
    QApplication::setApplicationName(QStringLiteral("ferrodock"));
    QApplication::setApplicationVersion(QStringLiteral(FERRODOCK_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(FERRODOCK_APP_ID));
    initResources();
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
    app.setStyleSheet(styleSheet());
}

}  // namespace ferrodock
