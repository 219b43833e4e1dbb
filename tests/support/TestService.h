#pragma once

#include "platform/HttpsTransport.h"

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

// One part of a multipart/form-data request.
struct RecordedPart {
    QString name;
    QString fileName;
    QString contentType;
    QByteArray content;
};

// One request as the service received it.
struct RecordedRequest {
    QString method;
    QString path;
    QString contentType;
    QByteArray body;
    QList<RecordedPart> parts;  // of a whole multipart body
    qint64 bodyBytes = 0;
    bool complete = true;  // false when the client stopped sending mid-body
};

// How the service answers.
struct Reply {
    enum class Kind {
        Text,    // status + body, and a Location when one is set
        Silent,  // never answers (until the service stops)
        Huge,    // `hugeBytes` bytes of 'x' as the body
        Raw,     // `raw`, byte for byte, framing and all; then the connection closes
    };
    Kind kind = Kind::Text;
    int status = 200;
    QByteArray body;
    std::chrono::milliseconds delay{0};      // wait before answering
    std::chrono::milliseconds readPause{0};  // wait before each piece of the body read
    qint64 hugeBytes = 0;
    QString location;
    QList<RawStep> raw;

    static Reply text(const QByteArray& body, int status = 200) {
        Reply r;
        r.body = body;
        r.status = status;
        return r;
    }
    static Reply redirect(const QString& location, int status) {
        Reply r = text("redirect body", status);
        r.location = location;
        return r;
    }
};

// An HTTPS service on 127.0.0.1 (a free port) with a certificate made at build time. It
// records every request and answers as told, one request per connection. Its TLS can be
// limited to what a careless server offers. Thread-safe.
class TestService {
public:
    enum class Certificate { Good, Expired, OtherHost, CommonNameOnly };
    struct Options {
        Certificate certificate = Certificate::Good;
        QByteArray ciphers;     // OpenSSL cipher list, or the default
        int maxTlsVersion = 0;  // e.g. TLS1_1_VERSION, or any
    };

    TestService();
    explicit TestService(Options options);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    QString origin() const;  // "https://127.0.0.1:PORT"

    void setReply(const Reply& reply);                       // every path
    void setReply(const QString& path, const Reply& reply);  // one path, over the default

    QList<RecordedRequest> requests() const;
    int requestCount() const;
    // The application protocols the last client offered (ALPN, length-prefixed names).
    QByteArray offeredProtocols() const;

    // The CA that signed the service's certificate, PEM.
    static QByteArray caPem();

    // A transport for this service that trusts the test CA; `limit` bounds both an idle
    // request and the wait for its answer.
    std::unique_ptr<HttpsTransport> makeTransport(
        std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ferrodock::test
