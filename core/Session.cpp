#include "core/Session.h"

#include "core/SessionFile.h"

#include <utility>

namespace ferrodock {

namespace {
// Sets the pair; whether it changed.
bool assign(QString& userName, QString& apiKey, QString newName, QString newKey) {
    if (userName == newName && apiKey == newKey) return false;
    userName = std::move(newName);
    apiKey = std::move(newKey);
    return true;
}
}  // namespace

Session::Session(QObject* parent) : QObject(parent) {
    if (const std::optional<SavedLogin> saved = readSessionFile())
        userName_ = saved->userName, apiKey_ = saved->apiKey;
}

bool Session::remember(const QString& userName, const QString& apiKey) {
    const bool saved = writeSessionFile(userName, apiKey);
    if (assign(userName_, apiKey_, userName, apiKey)) Q_EMIT changed();
    return saved;
}

void Session::forget() {
    clearSessionFile();
    if (assign(userName_, apiKey_, {}, {})) Q_EMIT changed();
}

}  // namespace ferrodock
