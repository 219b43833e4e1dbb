#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <chrono>
#include <memory>

namespace ferrodock::test {

// One piece of a scripted answer: `bytes`, written `repeat` times, each after `pause`.
struct RawStep {
    QByteArray bytes;
    int repeat = 1;
    std::chrono::milliseconds pause{0};
};

// A TLS service on 127.0.0.1 that plays a hostile part byte by byte: it reads each request
// and writes the scripted answer exactly as given, framing and all. Its TLS can be limited to
// what a careless server offers. Connections are served one at a time.
class RawService {
public:
    struct Options {
        QString certificate = QStringLiteral("server");  // a name made by make-test-certs.sh
        QByteArray ciphers;                              // OpenSSL cipher list, or the default
        int maxTlsVersion = 0;                           // e.g. TLS1_1_VERSION, or any
    };

    explicit RawService(QList<RawStep> answer, Options options);
    ~RawService();
    RawService(const RawService&) = delete;
    RawService& operator=(const RawService&) = delete;

    QString origin() const;
    int requestCount() const;
    // The application protocols the last client offered (ALPN, length-prefixed names).
    QByteArray offeredProtocols() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ferrodock::test
