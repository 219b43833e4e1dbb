#include "window/PastePage.h"

#include "core/Answers.h"
#include "core/Characters.h"
#include "core/Feedback.h"
#include "core/HistoryStore.h"
#include "core/Languages.h"
#include "core/Session.h"
#include "core/Transport.h"
#include "desktop/Clipboard.h"
#include "window/ChoosingPage.h"
#include "window/FittedText.h"
#include "window/Theme.h"
#include "window/UploadPanel.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace ferrodock {

namespace {
// One slice reads about this many characters, a line counting kLineCost more: under a
// millisecond of the main thread.
constexpr qsizetype kSliceChars = 1 << 16;
constexpr qsizetype kLineCost = 32;
}  // namespace

// Copies the text out of the view between events. A document can only be read on its own
// thread, and a copy in one go stalls the window for a large paste.
class PasteReader final : public QObject {
public:
    PasteReader(QPlainTextEdit* view, std::function<void(QByteArray)> done)
        : QObject(view), view_(view), done_(std::move(done)), wasReadOnly_(view->isReadOnly()) {
        view->setReadOnly(true);
        connect(view->document(), &QTextDocument::contentsChange, this, &PasteReader::restart);
        restart();
    }

    bool reading() const { return !ended_; }

    // Reads one slice, then goes on a turn of the event loop later, or ends.
    void step() {
        if (!view_->window()->isVisible()) return end(false);
        const QTextDocument* document = view_->document();
        for (qsizetype budget = kSliceChars; block_.isValid() && budget > 0;) {
            const qsizetype length = block_.length() - 1;
            qsizetype next = std::min(length, offset_ + budget);
            QString piece;
            if (offset_ == 0 && next == length) {
                piece = block_.text();
            } else {  // a long line, read in parts that keep a surrogate pair together
                if (next < length &&
                    document->characterAt(block_.position() + next - 1).isHighSurrogate())
                    ++next;
                QTextCursor cursor(block_);
                cursor.setPosition(block_.position() + offset_);
                cursor.setPosition(block_.position() + next, QTextCursor::KeepAnchor);
                piece = cursor.selectedText();
            }
            budget -= piece.size() + kLineCost;
            // The view ends paragraphs with U+2029 and Shift+Return lines with U+2028: both
            // are line breaks to the reader. No-break spaces stay.
            piece.replace(QChar::LineSeparator, QLatin1Char('\n'));
            text_ += piece.toUtf8();
            offset_ = next;
            if (offset_ < length) continue;
            block_ = block_.next();
            offset_ = 0;
            if (block_.isValid()) text_ += '\n';
        }
        if (block_.isValid()) {
            QTimer::singleShot(0, this, &PasteReader::step);
            return;
        }
        end(true);
    }

private:
    void restart() {
        block_ = view_->document()->begin();
        offset_ = 0;
        text_.clear();
        text_.reserve(view_->document()->characterCount());
    }

    void end(bool read) {
        view_->setReadOnly(wasReadOnly_);
        ended_ = true;
        deleteLater();
        if (read) done_(std::move(text_));
    }

    QPlainTextEdit* view_;
    std::function<void(QByteArray)> done_;
    bool wasReadOnly_;
    QTextBlock block_;
    qsizetype offset_ = 0;
    QByteArray text_;
    bool ended_ = false;
};

PastePage::PastePage(const Services& services, QWidget* parent)
    : QWidget(parent), services_(services) {
    ui_.setupUi(this);
    paintStyledBackground(
        {ui_.filePageButton3, ui_.imagePageButton3, ui_.pastePageButton3, ui_.pasteUploadButton});
    fitText(ui_.pasteOutput);
    panel_ = new UploadPanel(ui_.pasteOutput, QStringLiteral("Paste"), services.notices);
    connect(ui_.pasteUploadButton, &QPushButton::clicked, this, &PastePage::pastePushed);
    connect(ui_.pasteOutput, &QPushButton::clicked, this, &PastePage::copyAddress);
}

void PastePage::pastePushed() {
    if (reader_ && reader_->reading()) return;
    // What the press saw: the language, the flags and the key, whatever they are once read.
    const QString language = languageIdentifier(ui_.language->currentText());
    const UploadFlags flags{flagOf(ui_.privPaste), flagOf(ui_.anonPaste)};
    const QString apiKey = services_.session.apiKey();
    HistoryEntry kept;
    kept.kind = QStringLiteral("paste");
    kept.language = language;
    kept.isPrivate = flags.priv == Flag::On, kept.anonymous = flags.anon == Flag::On;
    if (!apiKey.isEmpty()) kept.user = services_.session.userName();
    reader_ = new PasteReader(ui_.pasteData, [this, flags, kept, apiKey](QByteArray text) mutable {
        const quint64 id = panel_->begin(sizeText(text.size()) + QStringLiteral(" of text"));
        kept.name = pasteHistoryName(text), kept.size = text.size();
        FormRequest paste = pasteRequest(std::move(text), kept.language, flags, apiKey);
        const TransferHandle handle = services_.transport.postFields(
            paste.path, std::move(paste.fields), this,
            [panel = panel_, id, history = &services_.history,
             kept = std::move(kept)](const TransportResult& result) mutable {
                if (result.kind == TransportError::Cancelled) return;
                const std::optional<QString> answer =
                    answerText(result, lcUpload(), "paste upload");
                panel->finish(id, answer ? *answer : uploadFailedText(result), bool(answer));
                keepAddress(*history, std::move(kept), answer);
            },
            panel_->reportFor(id));
        panel_->attach(id, handle);
    });
    reader_->step();
}

void PastePage::copyAddress() {
    const QString shown = literalText(ui_.pasteOutput);
    const std::optional<QString> address = linkAddress(shown, 25);
    if (!address) return;
    clipboard::put(*address);
    showText(ui_.pasteOutput, QStringLiteral("Copied to clipboard."));
    // One edit rather than clear(), which would also drop the undo history: Ctrl+Z brings the
    // text back.
    QTextCursor all(ui_.pasteData->document());
    all.select(QTextCursor::Document);
    all.removeSelectedText();
}

}  // namespace ferrodock
