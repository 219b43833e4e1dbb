#include "window/FittedText.h"

#include "core/Characters.h"

#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <algorithm>

namespace ferrodock {

namespace {

constexpr int kIconGap = 4;  // between a button's icon and its text, as the styles leave it

// A push button's look as the button itself would describe it to the style.
QStyleOptionButton buttonOption(const QPushButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    if (button->isFlat()) option.features |= QStyleOptionButton::Flat;
    if (button->autoDefault()) option.features |= QStyleOptionButton::AutoDefaultButton;
    if (button->isDefault()) option.features |= QStyleOptionButton::DefaultButton;
    if (button->isDown()) option.state |= QStyle::State_Sunken;
    if (button->isChecked()) option.state |= QStyle::State_On;
    if (!button->isFlat() && !button->isDown()) option.state |= QStyle::State_Raised;
    option.icon = button->icon();
    option.iconSize = button->iconSize();
    return option;
}

// The whole text, as a person reads it ('&' is not a mnemonic on a button).
QString wholeText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QPushButton*>(widget)) return literalText(button);
    return {};
}

// How wide the text may be painted.
int textWidth(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return label->contentsRect().width() - 2 * std::max(label->margin(), 0);
    const auto* button = qobject_cast<const QPushButton*>(widget);
    if (!button) return widget->width();
    const QStyleOptionButton option = buttonOption(button);
    int width =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
    if (!option.icon.isNull()) width -= option.iconSize.width() + kIconGap;
    return width;
}

class TextFitter final : public QObject {
public:
    explicit TextFitter(QWidget* widget)
        : QObject(widget),
          widget_(widget),
          toolTip_(widget->toolTip()),
          description_(widget->accessibleDescription()) {
        setObjectName(QStringLiteral("textFitter"));
        QSizePolicy policy = widget->sizePolicy();
        policy.setHorizontalPolicy(QSizePolicy::Ignored);
        widget->setSizePolicy(policy);
        widget->installEventFilter(this);
    }

    QString shown() const {
        return widget_->fontMetrics().elidedText(wholeText(widget_), Qt::ElideRight,
                                                 std::max(textWidth(widget_), 0));
    }

    // The tool tip and the description follow whether the text is cut.
    void refresh() {
        const QString whole = wholeText(widget_);
        const bool cut = shown() != whole;
        const QString tip = cut ? whole : toolTip_, description = cut ? whole : description_;
        if (widget_->toolTip() != tip) widget_->setToolTip(tip);
        if (widget_->accessibleDescription() != description)
            widget_->setAccessibleDescription(description);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != widget_) return false;
        switch (event->type()) {
            case QEvent::Resize:
            case QEvent::FontChange:
            case QEvent::StyleChange:
                refresh();
                return false;
            case QEvent::Paint:
                paint();
                return true;
            default:
                return false;
        }
    }

private:
    void paint() {
        refresh();
        const QString text = shown();
        if (auto* label = qobject_cast<QLabel*>(widget_)) {
            QPainter painter(label);
            const int margin = std::max(label->margin(), 0);
            label->style()->drawItemText(
                &painter, label->contentsRect().adjusted(margin, margin, -margin, -margin),
                int(QStyle::visualAlignment(label->layoutDirection(), label->alignment())),
                label->palette(), label->isEnabled(), text, label->foregroundRole());
            return;
        }
        auto* button = qobject_cast<QPushButton*>(widget_);
        if (!button) return;
        QStyleOptionButton option = buttonOption(button);
        option.text = QString(text).replace(QLatin1Char('&'), QStringLiteral("&&"));
        QStylePainter painter(button);
        painter.drawControl(QStyle::CE_PushButton, option);
    }

    QWidget* widget_;
    QString toolTip_;
    QString description_;
};

TextFitter* fitterOf(const QWidget* widget) {
    return widget ? widget->findChild<TextFitter*>(QStringLiteral("textFitter"),
                                                   Qt::FindDirectChildrenOnly)
                  : nullptr;
}

}  // namespace

QString literalText(const QAbstractButton* button) {
    return button->text().replace(QStringLiteral("&&"), QStringLiteral("&"));
}

void setLiteralText(QAbstractButton* button, const QString& text) {
    button->setText(QString(text).replace(QLatin1Char('&'), QStringLiteral("&&")));
}

void showText(QAbstractButton* button, const QString& text) {
    setLiteralText(button, shownAnswer(text));
    fitText(button);
}

void fitText(QWidget* widget) {
    if (!widget) return;
    TextFitter* fitter = fitterOf(widget);
    if (!fitter) fitter = new TextFitter(widget);
    fitter->refresh();
}

QString shownText(const QWidget* widget) {
    const TextFitter* fitter = fitterOf(widget);
    return fitter ? fitter->shown() : wholeText(widget);
}

}  // namespace ferrodock
