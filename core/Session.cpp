#include "core/Session.h"

#include "app/SessionFile.h"

namespace ferrodock {

Session::Session(QObject* parent) : QObject(parent) {}

void Session::load() {
    const auto saved = readSessionFile();
    if (!saved) return;
    userName_ = saved->userName;
    apiKey_ = saved->apiKey;
    Q_EMIT changed();
}

bool Session::remember(const QString& userName, const QString& apiKey) {
    userName_ = userName;
    apiKey_ = apiKey;
    const bool kept = writeSessionFile(userName, apiKey);
    Q_EMIT changed();
    return kept;
}

void Session::forget() {
    clearSessionFile();
    userName_.clear();
    apiKey_.clear();
    Q_EMIT changed();
}

}  // namespace ferrodock
