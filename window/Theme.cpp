#include "window/Theme.h"

#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QPalette>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTimer>
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
    const char* colour;
};
const Swatch kSwatches[] = {
    {"window", "#171f28"},        {"field", "#11171e"},       {"text", "#e6ecf2"},
    {"label", "#ccd6e2"},         {"muted", "#8c9bac"},       {"disabledText", "#627182"},
    {"placeholder", "#788696"},   {"disabled", "#6e7a88"},    {"raised", "#222f3d"},
    {"raisedHover", "#2a3a4b"},   {"sunken", "#1c2733"},      {"fieldLine", "#18212c"},
    {"strip", "#0e1319"},         {"well", "#131a22"},        {"wellHover", "#161e28"},
    {"line", "#324356"},          {"lineHover", "#465c74"},   {"lineQuiet", "#283646"},
    {"dash", "#384a5f"},          {"accent", "#3d8bfd"},      {"accentHover", "#589dff"},
    {"accentPressed", "#2c75e2"}, {"accentFocus", "#a0c8ff"}, {"link", "#61a4ff"},
};

// Invalid for a name the palette does not have.
QColor swatch(QByteArrayView name) {
    for (const Swatch& s : kSwatches) {
        if (name == s.name) return QColor::fromString(QLatin1StringView(s.colour));
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

void setApplicationIconOncePainted(QWidget& window) {
    struct Watch final : QObject {
        using QObject::QObject;
        bool eventFilter(QObject*, QEvent* event) override {
            if (event->type() == QEvent::Paint && !seen) {
                seen = true;
                QTimer::singleShot(0, this, [this] {
                    QApplication::setWindowIcon(QIcon(QStringLiteral(":/AppIcon.png")));
                    deleteLater();
                });
            }
            return false;  // the window paints as it would without the watch
        }
        bool seen = false;
    };
    window.installEventFilter(new Watch(&window));
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
