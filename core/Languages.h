#pragma once

#include <QString>
#include <QStringView>

#include <span>

namespace ferrodock {

// A language of the paste pop-up: the title shown and the identifier the service is sent.
struct LanguageChoice {
    QStringView title;
    QStringView identifier;
};

// Every language in the pop-up's order, "Plain text" ("no-highlight") first.
std::span<const LanguageChoice> languageChoices();

// The service's identifier for a language title of the pop-up; "no-highlight" for any other
// text (compared case-sensitively), the empty text of no selection included.
QString languageIdentifier(const QString& title);

}  // namespace ferrodock
