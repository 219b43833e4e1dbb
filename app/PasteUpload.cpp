#include "app/PasteUpload.h"

#include "app/AppDelegate.h"
#include "app/Feedback.h"
#include "app/Theme.h"
#include "app/UploadProgress.h"
#include "platform/FormEncoding.h"
#include "platform/Transport.h"

#include <QTextDocument>

#include <array>

namespace ferrodock {

std::span<const LanguageChoice> languageChoices() {
    static constexpr std::array<LanguageChoice, 19> kLanguages{{
        {u"Plain text", u"no-highlight"},
        {u"Apache", u"apache"},
        {u"Bash", u"bash"},
        {u"C", u"c"},
        {u"C#", u"cs"},
        {u"C++", u"cpp"},
        {u"CSS", u"css"},
        {u"CoffeeScript", u"coffeescript"},
        {u"HTML", u"html"},
        {u"Ini", u"ini"},
        {u"Java", u"java"},
        {u"JavaScript", u"javascript"},
        {u"Objective C", u"objectivec"},
        {u"PHP", u"php"},
        {u"Perl", u"perl"},
        {u"Python", u"python"},
        {u"Ruby", u"ruby"},
        {u"SQL", u"sql"},
        {u"XML", u"xml"},
    }};
    return kLanguages;
}

QString languageIdentifier(const std::optional<QString>& title) {
    if (title) {
        for (const LanguageChoice& choice : languageChoices()) {
            if (*title == choice.title) return choice.identifier.toString();
        }
    }
    return QStringLiteral("no-highlight");
}

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

QString pasteText(const QPlainTextEdit* view) {
    // toPlainText() would turn no-break spaces into spaces; the paste goes out as typed. The
    // view ends paragraphs with U+2029 and Shift+Return lines with U+2028: both are line
    // breaks to the reader, so both go out as "\n".
    QString text = view->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

void AppDelegate::pastePushed(QObject*) {
    std::optional<QString> title;
    if (language() && language()->currentIndex() >= 0) title = language()->currentText();
    QString text = pasteData() ? pasteText(pasteData()) : QString();
    const QString priv = flagValue(privPaste());
    const QString anon = flagValue(anonPaste());
    const QString key = savedapikey() ? toolkit::title(savedapikey()) : QString();

    UploadPanel* panel = UploadPanel::of(pasteOutput(), QStringLiteral("Paste"));
    const quint64 id =
        panel ? panel->begin(sizeText(utf8Size(text)) + QStringLiteral(" of text")) : 0;
    // The text is moved, not copied (a braced list would copy it): a large paste is held once
    // while it is sent.
    QList<FormField> fields;
    fields.reserve(5);
    fields.append({QStringLiteral("pastedata"), std::move(text)});
    fields.append({QStringLiteral("language"), languageIdentifier(title)});
    fields.append({QStringLiteral("priv"), priv});
    fields.append({QStringLiteral("anon"), anon});
    fields.append({QStringLiteral("apikey"), key});
    const TransferHandle handle = sharedTransport().postFields(
        QStringLiteral("/api/upload/paste"), std::move(fields), this,
        [panel = QPointer<UploadPanel>(panel), id](const TransportResult& result) {
            if (result.kind == TransportError::Cancelled) return;
            const std::optional<QString> answer = answerText(result, lcUpload(), "paste upload");
            if (panel) panel->finish(id, answer ? *answer : uploadFailedText(result), bool(answer));
        },
        panel ? panel->reportFor(id) : ProgressReport{});
    if (panel) panel->attach(id, handle);
}

}  // namespace ferrodock
