#pragma once

#include <QString>

#include <optional>

class QCheckBox;
class QPlainTextEdit;

namespace ferrodock {

// The service's identifier for a language title of the pop-up; "no-highlight" for any other
// title (compared case-sensitively) or none.
QString languageIdentifier(const std::optional<QString>& title);

// A check box state as the service reads it: "1" ticked, "0" not, "-1" mixed.
QString flagValue(const QCheckBox* box);

// The whole text of the paste text view, exactly as typed.
QString pasteText(const QPlainTextEdit* view);

}  // namespace ferrodock
