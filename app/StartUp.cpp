#include "app/AppDelegate.h"
#include "app/SessionFile.h"
#include "app/Theme.h"
#include "platform/Toolkit.h"

namespace ferrodock {

void AppDelegate::applicationDidFinishLaunching() {
    if (window()) toolkit::setWindowBackgroundColor(window(), theme::baseColour());
    // The first page goes in beside whatever the layout put in the container.
    if (mainView() && imageView()) toolkit::addSubview(mainView(), imageView());
    applyTheme();

    theme::showTitle(selectButton(), QStringLiteral("Choose an image."));
    theme::showTitle(imageOutput(), QStringLiteral("Choose an image, then press upload."));
    theme::showTitle(selectButton2(), QStringLiteral("Choose a file."));
    theme::showTitle(fileOutput(), QStringLiteral("Choose a file, then press upload."));
    theme::showTitle(pasteOutput(), QStringLiteral("Paste/type your text/code, then press paste."));

    // The remembered key is not checked with the service; uploads send it as it is.
    const std::optional<Session> session = readSessionFile();
    if (!session) return;
    if (window()) {
        toolkit::setWindowTitle(window(), QStringLiteral("ferrodock - ") + session->userName);
    }
    if (savedusername()) toolkit::setTitle(savedusername(), session->userName);
    if (savedapikey()) toolkit::setTitle(savedapikey(), session->apiKey);
}

}  // namespace ferrodock
