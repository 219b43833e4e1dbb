#include "core/Languages.h"

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

QString languageIdentifier(const QString& title) {
    for (const LanguageChoice& choice : languageChoices()) {
        if (title == choice.title) return choice.identifier.toString();
    }
    return QStringLiteral("no-highlight");
}

}  // namespace ferrodock
