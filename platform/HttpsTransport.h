#pragma once

#include "core/Transport.h"

#include <chrono>
#include <memory>
#include <mutex>

namespace ferrodock {

// libcurl on one transport thread with a multi handle, speaking HTTP/1.1 over TLS 1.2 or later
// with forward-secret AEAD suites. Certificates are verified against the system trust store
// and must name the host in subjectAltName; `extraCaPem` (tests only) adds one more trusted CA.
// While a request is sent, moving no byte for `idleLimit` fails it; once it is sent, the
// answer must be complete within `answerLimit`; connecting gives up after `connectLimit`.
// Redirects (301, 302, 307, 308) are followed within the origin only, at most 5. An answer
// whose headers, framing and body together exceed `maxAnswerBytes` fails. Destroying the
// transport aborts whatever is in flight promptly; no completion runs after that. Nothing is
// set up, and no thread started, before the first request: a command that sends none (a
// --version) pays for none of it.
class HttpsTransport final : public Transport {
public:
    struct Options {
        QString origin;         // "https://host[:port]", no trailing slash
        QByteArray extraCaPem;  // empty in production
        std::chrono::milliseconds idleLimit{std::chrono::seconds(60)};
        std::chrono::milliseconds answerLimit{std::chrono::minutes(10)};
        std::chrono::milliseconds connectLimit{std::chrono::seconds(30)};
        qint64 maxAnswerBytes = 1 << 20;
    };

    explicit HttpsTransport(Options options);
    ~HttpsTransport() override;

    HttpsTransport(const HttpsTransport&) = delete;
    HttpsTransport& operator=(const HttpsTransport&) = delete;

    TransferHandle postFields(const QString& path, QList<FormField> fields, QObject* context,
                              TransportCompletion completion,
                              ProgressReport progress = {}) override;
    TransferHandle uploadFile(const QString& path, const QList<FormField>& fields,
                              const QString& filePath, const QString& mimeType, QObject* context,
                              TransportCompletion completion,
                              ProgressReport progress = {}) override;

private:
    struct Engine;
    Engine& engine();

    Options options_;
    std::once_flag started_;
    std::unique_ptr<Engine> engine_;
};

}  // namespace ferrodock
