#pragma once

// The handful of window-toolkit operations the delegate relies on, in the toolkit's own terms:
// layer-backed views with a fill colour and corner radius, literal button titles, attributed
// (coloured, aligned) titles, page views moved in and out of a container, images and the
// clipboard. Everything here belongs to the main thread.

#include <QColor>
#include <QList>
#include <QPixmap>
#include <QString>

class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QWidget;

namespace ferrodock::toolkit {

QColor colorWithRGBA(double red, double green, double blue, double alpha);
QColor whiteColor();

// The window's own background, no layer involved.
void setWindowBackgroundColor(QWidget* window, const QColor& color);

// A view becomes layer-backed; only then can its layer be painted.
void setWantsLayer(QWidget* view, bool wants);
// Both do nothing on a view without a layer.
void setLayerBackgroundColor(QWidget* view, const QColor& color);
void setLayerCornerRadius(QWidget* view, double radius);

// Button titles, shown literally: '&' never becomes a mnemonic.
QString title(const QAbstractButton* button);
void setTitle(QAbstractButton* button, const QString& text);

struct AttributedTitle {
    QString text;
    QColor foreground;
    Qt::Alignment alignment = Qt::AlignCenter;
};
void setAttributedTitle(QAbstractButton* button, const AttributedTitle& title);
QColor titleColor(const QAbstractButton* button);  // invalid when never attributed
Qt::Alignment titleAlignment(const QAbstractButton* button);

// Window titles, shown literally ("[*]" is not a modification marker).
void setWindowTitle(QWidget* window, const QString& text);

// The text view: whether it fills its own background, and its text colour.
void setDrawsBackground(QPlainTextEdit* textView, bool draws);
void setTextColor(QPlainTextEdit* textView, const QColor& color);

// Container views. Removed views are parked, hidden, in their window and stay alive with
// everything in them; adding one back keeps it as it was left.
QList<QWidget*> subviews(const QWidget* container);
QWidget* viewShelf(QWidget* window);  // where a window's views wait while not shown
void removeAllSubviews(QWidget* container);
void addSubview(QWidget* container, QWidget* view);

// An application image resource by name, or a null pixmap.
QPixmap imageNamed(const QString& name);
void setImage(QLabel* imageView, const QPixmap& image);  // null pixmap: no image
void setImage(QAbstractButton* button, const QPixmap& image);

// The system clipboard: cleared, then given one plain-text string.
void writeClipboardText(const QString& text);

}  // namespace ferrodock::toolkit
