#pragma once

#include <initializer_list>

class QApplication;
class QWidget;

namespace ferrodock {

// Names the application and gives it its look (the resources under ":/" made readable first;
// every window of ferrodock needs this done before it is made): Fusion with a dark palette and
// resources/ferrodock.qss, so it looks the same on every desktop.
void configureApplication(QApplication& app);

// Gives every window the application's icon, which the desktop shows beside it, not in it, once
// `window` has painted its first frame and handed it to the display: decoding the picture stays
// off that frame's path.
void setApplicationIconOncePainted(QWidget& window);

// The style sheet paints these buttons' background before they draw themselves, which gives
// their rounded edges the weight they have.
void paintStyledBackground(std::initializer_list<QWidget*> buttons);

}  // namespace ferrodock
