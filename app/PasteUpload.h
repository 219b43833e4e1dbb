#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>
#include <span>

class QCheckBox;
class QPlainTextEdit;

namespace ferrodock {

// A language of the paste pop-up: the title shown and the identifier the service is sent.
struct LanguageChoice {
    QStringView title;
    QStringView identifier;
};

// Every language in the pop-up's order, "Plain text" ("no-highlight") first.
std::span<const LanguageChoice> languageChoices();

// The service's identifier for a language title of the pop-up; "no-highlight" for any other
// title (compared case-sensitively) or none.
QString languageIdentifier(const std::optional<QString>& title);

// A check box state as the service reads it: "1" ticked, "0" not, "-1" mixed.
QString flagValue(const QCheckBox* box);

// Reads the whole text of the paste text view as typed, in UTF-8, with line and paragraph
// breaks as "\n", and gives it to `done`. A long text is read a slice at a time between
// events, the view read-only meanwhile; the read starts over if the text is changed, and
// stops, giving nothing, if the window is closed. False, doing nothing, while a read of the
// same view is under way.
bool readPasteText(QPlainTextEdit* view, std::function<void(QByteArray)> done);

}  // namespace ferrodock
