#include "app/AppDelegate.h"
#include "platform/Toolkit.h"

namespace ferrodock {

void AppDelegate::showPage(QWidget* page) {
    if (!mainView()) return;
    toolkit::removeAllSubviews(mainView());
    if (page) toolkit::addSubview(mainView(), page);
}

void AppDelegate::switchFile(QObject*) {
    showPage(fileView());
}
void AppDelegate::switchImage(QObject*) {
    showPage(imageView());
}
void AppDelegate::switchPaste(QObject*) {
    showPage(pasteView());
}

}  // namespace ferrodock
