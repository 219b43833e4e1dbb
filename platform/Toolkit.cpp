#include "platform/Toolkit.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QMimeData>
#include <QPalette>
#include <QPlainTextEdit>
#include <QWidget>

namespace ferrodock::toolkit {

namespace {

// Per-widget look is kept in dynamic properties and turned into one widget-scoped style sheet
// that follows whatever sheet the interface description gave the widget, so our rules win.
constexpr const char* kBaseSheet = "_fd_baseSheet";
constexpr const char* kLayer = "_fd_layer";
constexpr const char* kLayerColor = "_fd_layerColor";
constexpr const char* kCornerRadius = "_fd_cornerRadius";
constexpr const char* kTextColor = "_fd_textColor";
constexpr const char* kTitleAlignment = "_fd_titleAlignment";
constexpr const char* kShelf = "_fd_viewShelf";

QString cssColor(const QColor& c) {
    return QStringLiteral("rgba(%1, %2, %3, %4)")
        .arg(c.red())
        .arg(c.green())
        .arg(c.blue())
        .arg(c.alpha());
}

void restyle(QWidget* w) {
    if (!w->property(kBaseSheet).isValid()) w->setProperty(kBaseSheet, w->styleSheet());
    QString rules;
    const QColor fill = w->property(kLayerColor).value<QColor>();
    if (fill.isValid()) rules += QStringLiteral(" background-color: %1;").arg(cssColor(fill));
    const QVariant radius = w->property(kCornerRadius);
    if (radius.isValid()) rules += QStringLiteral(" border-radius: %1px;").arg(radius.toDouble());
    const QColor text = w->property(kTextColor).value<QColor>();
    if (text.isValid()) rules += QStringLiteral(" color: %1;").arg(cssColor(text));
    const QVariant align = w->property(kTitleAlignment);
    if (align.isValid()) {
        const auto a = Qt::Alignment(align.toInt());
        const QString where = (a & Qt::AlignLeft)    ? QStringLiteral("left")
                              : (a & Qt::AlignRight) ? QStringLiteral("right")
                                                     : QStringLiteral("center");
        rules += QStringLiteral(" text-align: %1;").arg(where);
    }
    QString sheet = w->property(kBaseSheet).toString();
    if (!rules.isEmpty()) {
        // An object-name selector keeps the rules off the widget's children.
        sheet += QStringLiteral("\n#%1 {%2 }").arg(w->objectName(), rules);
    }
    w->setStyleSheet(sheet);
}

bool wantsLayer(const QWidget* view) {
    return view->property(kLayer).toBool();
}

}  // namespace

QColor colorWithRGBA(double red, double green, double blue, double alpha) {
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

QColor whiteColor() {
    return QColor(Qt::white);
}

void setWindowBackgroundColor(QWidget* window, const QColor& color) {
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, color);
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

void setWantsLayer(QWidget* view, bool wants) {
    view->setProperty(kLayer, wants);
    view->setAttribute(Qt::WA_StyledBackground, wants);
}

void setLayerBackgroundColor(QWidget* view, const QColor& color) {
    if (!wantsLayer(view)) return;
    view->setProperty(kLayerColor, color);
    restyle(view);
}

void setLayerCornerRadius(QWidget* view, double radius) {
    if (!wantsLayer(view)) return;
    view->setProperty(kCornerRadius, radius);
    restyle(view);
}

QString title(const QAbstractButton* button) {
    QString text = button->text();
    return text.replace(QStringLiteral("&&"), QStringLiteral("&"));
}

void setTitle(QAbstractButton* button, const QString& text) {
    QString escaped = text;
    button->setText(escaped.replace(QLatin1Char('&'), QStringLiteral("&&")));
}

void setAttributedTitle(QAbstractButton* button, const AttributedTitle& attributed) {
    setTitle(button, attributed.text);
    button->setProperty(kTextColor, attributed.foreground);
    button->setProperty(kTitleAlignment, int(attributed.alignment));
    restyle(button);
}

QColor titleColor(const QAbstractButton* button) {
    return button->property(kTextColor).value<QColor>();
}

Qt::Alignment titleAlignment(const QAbstractButton* button) {
    return Qt::Alignment(button->property(kTitleAlignment).toInt());
}

void setWindowTitle(QWidget* window, const QString& text) {
    QString escaped = text;
    window->setWindowTitle(escaped.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]")));
}

void setDrawsBackground(QPlainTextEdit* textView, bool draws) {
    textView->viewport()->setAutoFillBackground(draws);
    QPalette palette = textView->palette();
    palette.setColor(QPalette::Base,
                     draws ? textView->palette().color(QPalette::Base) : QColor(Qt::transparent));
    textView->setPalette(palette);
}

void setTextColor(QPlainTextEdit* textView, const QColor& color) {
    textView->setProperty(kTextColor, color);
    restyle(textView);
}

QWidget* viewShelf(QWidget* window) {
    auto* shelf = window->findChild<QWidget*>(QLatin1String(kShelf), Qt::FindDirectChildrenOnly);
    if (!shelf) {
        shelf = new QWidget(window);
        shelf->setObjectName(QLatin1String(kShelf));
        shelf->hide();
    }
    return shelf;
}

QList<QWidget*> subviews(const QWidget* container) {
    return container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
}

void removeAllSubviews(QWidget* container) {
    QWidget* shelf = viewShelf(container->window());
    for (QWidget* child : subviews(container)) {
        if (container->layout()) container->layout()->removeWidget(child);
        child->setParent(shelf);
    }
}

void addSubview(QWidget* container, QWidget* view) {
    view->setParent(container);
    if (container->layout()) container->layout()->addWidget(view);
    view->show();
}

QPixmap imageNamed(const QString& name) {
    return QPixmap(QStringLiteral(":/%1.png").arg(name));
}

void setImage(QLabel* imageView, const QPixmap& image) {
    if (image.isNull()) {
        imageView->clear();
    } else {
        imageView->setPixmap(image);
    }
}

void setImage(QAbstractButton* button, const QPixmap& image) {
    button->setIcon(image.isNull() ? QIcon() : QIcon(image));
}

void writeClipboardText(const QString& text) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    auto* data = new QMimeData;
    data->setText(text);
    clipboard->setMimeData(data);
}

}  // namespace ferrodock::toolkit
