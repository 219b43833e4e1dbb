#pragma once

#include "platform/Toolkit.h"

#include <QColor>
#include <QString>

class QAbstractButton;
class QApplication;

namespace ferrodock::theme {

// The dark palette the delegate paints at start-up.
inline QColor baseColour() {
    return toolkit::colorWithRGBA(0.09, 0.122, 0.157, 1.0);
}
inline QColor pasteBorderColour() {
    return toolkit::colorWithRGBA(0.133, 0.184, 0.239, 1.0);
}
inline QColor languageBorderColour() {
    return toolkit::colorWithRGBA(0.094, 0.129, 0.173, 1.0);
}
inline QColor languageBackgroundColour() {
    return toolkit::colorWithRGBA(0.11, 0.153, 0.2, 1.0);
}
constexpr double kSelectedCornerRadius = 25.0;

// Every text the user reads on a choose or link button is written white and centred.
inline toolkit::AttributedTitle whiteCentredTitle(const QString& text) {
    return {text, toolkit::whiteColor(), Qt::AlignCenter};
}

// Sets the white centred title of `text` on `button`, shortened as an answer is (a long
// title would freeze the window while it is laid out) and cut with "…" where it is wider than
// the button; nothing when the button is missing.
void showTitle(QAbstractButton* button, const QString& text);

// The toolkit's look for everything the delegate does not paint: Fusion with a dark palette,
// so the application looks the same on every desktop.
void applyToolkitStyle(QApplication& app);

}  // namespace ferrodock::theme
