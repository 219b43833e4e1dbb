#include "app/PasteUpload.h"

#include "app/AppDelegate.h"
#include "app/Theme.h"
#include "app/UploadProgress.h"
#include "core/Feedback.h"
#include "core/Transport.h"
#include "platform/FormEncoding.h"

#include <QPlainTextEdit>
#include <QPointer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>

namespace ferrodock {

QString flagValue(const QCheckBox* box) {
    if (!box) return QStringLiteral("0");
    switch (box->checkState()) {
        case Qt::Checked:
            return QStringLiteral("1");
        case Qt::PartiallyChecked:
            return QStringLiteral("-1");
        case Qt::Unchecked:
            break;
    }
    return QStringLiteral("0");
}

namespace {

// One slice reads about this many characters, a line counting kLineCost more: under a
// millisecond of the main thread.
constexpr qsizetype kSliceChars = 1 << 16;
constexpr qsizetype kLineCost = 32;

// Copies the text out of the view between events. A document can only be read on its own
// thread, and a copy in one go stalls the window for a large paste.
class PasteReader final : public QObject {
public:
    PasteReader(QPlainTextEdit* view, std::function<void(QByteArray)> done)
        : QObject(view), view_(view), done_(std::move(done)), wasReadOnly_(view->isReadOnly()) {
        setObjectName(QStringLiteral("pasteReader"));
        view->setReadOnly(true);
        connect(view->document(), &QTextDocument::contentsChange, this, &PasteReader::restart);
        restart();
    }

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
        setObjectName(QString());
        deleteLater();
        if (read) done_(std::move(text_));
    }

    QPlainTextEdit* view_;
    std::function<void(QByteArray)> done_;
    bool wasReadOnly_;
    QTextBlock block_;
    qsizetype offset_ = 0;
    QByteArray text_;
};

}  // namespace

bool readPasteText(QPlainTextEdit* view, std::function<void(QByteArray)> done) {
    if (view->findChild<QObject*>(QStringLiteral("pasteReader"), Qt::FindDirectChildrenOnly))
        return false;
    (new PasteReader(view, std::move(done)))->step();
    return true;
}

void AppDelegate::pastePushed(QObject*) {
    std::optional<QString> title;
    if (language() && language()->currentIndex() >= 0) title = language()->currentText();
    // What the page shows at the press is sent, once the text is read.
    QList<FormField> fields{
        {QStringLiteral("pastedata"), {}},
        {QStringLiteral("language"), languageIdentifier(title)},
        {QStringLiteral("priv"), flagValue(privPaste())},
        {QStringLiteral("anon"), flagValue(anonPaste())},
        {QStringLiteral("apikey"), savedapikey() ? toolkit::title(savedapikey()) : QString()}};
    auto send = [this, self = QPointer<AppDelegate>(this),
                 fields = std::move(fields)](QByteArray text) mutable {
        if (!self) return;
        UploadPanel* panel = UploadPanel::of(pasteOutput(), QStringLiteral("Paste"), notices);
        const quint64 id =
            panel ? panel->begin(sizeText(text.size()) + QStringLiteral(" of text")) : 0;
        // Moved, not copied: a large paste is held once while it is sent.
        fields[0].utf8 = std::move(text);
        const TransferHandle handle = transport->postFields(
            QStringLiteral("/api/upload/paste"), std::move(fields), this,
            [panel = QPointer<UploadPanel>(panel), id](const TransportResult& result) {
                if (result.kind == TransportError::Cancelled) return;
                const std::optional<QString> answer =
                    answerText(result, lcUpload(), "paste upload");
                if (panel)
                    panel->finish(id, answer ? *answer : uploadFailedText(result), bool(answer));
            },
            panel ? panel->reportFor(id) : ProgressReport{});
        if (panel) panel->attach(id, handle);
    };
    if (pasteData())
        readPasteText(pasteData(), std::move(send));
    else
        send(QByteArray());
}

}  // namespace ferrodock
