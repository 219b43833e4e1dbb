#include "app/AppDelegate.h"
#include "app/Theme.h"
#include "core/Answers.h"
#include "core/Characters.h"
#include "platform/Toolkit.h"

#include <QTextCursor>

namespace ferrodock {

namespace {
// How long the address shown on each page's link button is, in characters.
constexpr qsizetype kFileAddressLength = 24;
constexpr qsizetype kImageAddressLength = 25;
constexpr qsizetype kPasteAddressLength = 25;
}  // namespace

// Copies "https://" and the title when the title is an address of the page's length. Anything
// else on the button (a hint, a reminder, a message, the confirmation) is not an address.
bool AppDelegate::copyLink(QPushButton* linkButton, qsizetype addressLength) {
    if (!linkButton) return false;
    const QString title = toolkit::title(linkButton);
    const std::optional<QString> address = answerAddress(title);
    if (!address || graphemeCount(title) != addressLength) return false;
    toolkit::writeClipboardText(*address);
    theme::showTitle(linkButton, QStringLiteral("Copied to clipboard."));
    return true;
}

void AppDelegate::fileLinkPushed(QObject*) {
    if (!copyLink(fileOutput(), kFileAddressLength)) return;
    resetChooser(false);
    if (savedpath()) toolkit::setTitle(savedpath(), QString());
}

void AppDelegate::imageLinkPushed(QObject*) {
    if (!copyLink(imageOutput(), kImageAddressLength)) return;
    resetChooser(true);
    if (savedpath()) toolkit::setTitle(savedpath(), QString());
}

void AppDelegate::pasteLinkPushed(QObject*) {
    if (!copyLink(pasteOutput(), kPasteAddressLength)) return;
    if (!pasteData()) return;
    // One edit rather than clear(), which would also drop the undo history: Ctrl+Z brings the
    // text back.
    QTextCursor all(pasteData()->document());
    all.select(QTextCursor::Document);
    all.removeSelectedText();
}

}  // namespace ferrodock
