#include "app/AppDelegate.h"
#include "app/Theme.h"
#include "core/SessionFile.h"
#include "platform/Toolkit.h"

#include <QEvent>

#include <functional>
#include <utility>

namespace ferrodock {

namespace {
// Runs `action` each time `window` is about to be shown, however it is opened.
class OnShow : public QObject {
public:
    OnShow(QWidget* window, std::function<void()> action)
        : QObject(window), action_(std::move(action)) {
        window->installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) action_();
        return false;
    }

private:
    std::function<void()> action_;
};
}  // namespace

void AppDelegate::applicationDidFinishLaunching() {
    if (window()) toolkit::setWindowBackgroundColor(window(), theme::baseColour());
    // The first page goes in beside whatever the layout put in the container.
    if (mainView() && imageView()) toolkit::addSubview(mainView(), imageView());
    applyTheme();
    if (loginWindow()) {
        new OnShow(loginWindow(), [self = QPointer<AppDelegate>(this)] {
            if (self) self->prepareLoginWindow();
        });
    }

    theme::showTitle(selectButton(), QStringLiteral("Choose an image."));
    theme::showTitle(imageOutput(), QStringLiteral("Choose an image, then press upload."));
    theme::showTitle(selectButton2(), QStringLiteral("Choose a file."));
    theme::showTitle(fileOutput(), QStringLiteral("Choose a file, then press upload."));
    theme::showTitle(pasteOutput(), QStringLiteral("Paste/type your text/code, then press paste."));

    // The remembered key is not checked with the service; uploads send it as it is.
    const std::optional<SavedLogin> session = readSessionFile();
    if (!session) return;
    if (window()) {
        toolkit::setWindowTitle(window(), QStringLiteral("ferrodock - ") + session->userName);
    }
    if (savedusername()) toolkit::setTitle(savedusername(), session->userName);
    if (savedapikey()) toolkit::setTitle(savedapikey(), session->apiKey);
}

}  // namespace ferrodock
