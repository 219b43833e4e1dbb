#pragma once

#include "platform/Transport.h"

#include <chrono>
#include <memory>

namespace ferrodock {

// libcurl on one transport thread with a multi handle. Certificates and host names are always
// verified against the system trust store; `extraCaPem` (tests only) adds one more trusted CA.
// A transfer that moves no byte for `idleLimit` fails, connecting gives up after
// `connectLimit`, redirects are followed only to https (at most 5), and an answer larger than
// `maxAnswerBytes` fails. Destroying the transport aborts whatever is in flight promptly; no
// completion runs after that.
class HttpsTransport final : public Transport {
public:
    struct Options {
        QString origin;         // "https://host[:port]", no trailing slash
        QByteArray extraCaPem;  // empty in production
        std::chrono::milliseconds idleLimit{std::chrono::seconds(60)};
        std::chrono::milliseconds connectLimit{std::chrono::seconds(30)};
        qint64 maxAnswerBytes = 1 << 20;
    };

    explicit HttpsTransport(Options options);
    ~HttpsTransport() override;

    HttpsTransport(const HttpsTransport&) = delete;
    HttpsTransport& operator=(const HttpsTransport&) = delete;

    void postForm(const QString& path, const QByteArray& body, QObject* context,
                  TransportCompletion completion) override;
    void postFields(const QString& path, const QList<FormField>& fields, QObject* context,
                    TransportCompletion completion) override;
    void uploadFile(const QString& path, const QList<FormField>& fields, const QString& filePath,
                    const QString& mimeType, QObject* context,
                    TransportCompletion completion) override;

private:
    struct Engine;
    std::unique_ptr<Engine> engine_;
};

}  // namespace ferrodock
