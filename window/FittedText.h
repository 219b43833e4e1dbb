#pragma once

#include <QString>

class QAbstractButton;
class QWidget;

namespace ferrodock {

// Labels and push buttons whose text can be wider than they are (answers, messages, names,
// the progress line). Once fitted, such a widget paints its text cut with an ellipsis ("…")
// at its width, while text() stays whole for whoever reads it; as long as it is cut, the whole
// text is its tool tip and its accessible description (otherwise the ones it had before). Its
// text no longer decides how wide the window must be. Fit it again after changing its text,
// so that the tool tip follows at once even while it is hidden.
void fitText(QWidget* widget);
// A button's text as a person reads it: '&' is never a mnemonic on our buttons.
QString literalText(const QAbstractButton* button);
void setLiteralText(QAbstractButton* button, const QString& text);
// Puts `text` on `button`, shortened as an answer is (a long text would freeze the window
// while it is laid out), and fits it.
void showText(QAbstractButton* button, const QString& text);

// What a fitted widget paints now: its text, or the text cut to its width.
QString shownText(const QWidget* widget);

}  // namespace ferrodock
