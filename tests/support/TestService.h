#pragma once

#include "platform/HttpsTransport.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <chrono>
#include <memory>

namespace ferrodock::test {

// One part of a multipart/form-data request as the service parsed it.
struct RecordedPart {
    QString name;
    QString fileName;
    QString contentType;
    QByteArray content;  // empty when bodies are not kept
    qint64 size = 0;     // bytes of content received, kept even when the content is not
};

// One request as the service received it.
struct RecordedRequest {
    QString method;
    QString path;
    QString contentType;
    QByteArray body;              // raw body (empty for multipart: see parts)
    QMap<QString, QString> form;  // url-encoded fields, decoded by the service's own parser
    QList<RecordedPart> parts;    // multipart parts
    qint64 bodyBytes = 0;         // bytes received, kept even when the body is not
    bool complete = true;         // false when the client stopped sending mid-body
};

// How the service answers.
struct Reply {
    enum class Kind {
        Text,      // status + body
        Silent,    // accepts the request and never answers (until the service stops)
        Huge,      // streams `hugeBytes` bytes of 'x' as the body
        Redirect,  // answers `status` (302 unless a 3xx is set) with Location: `location`
    };
    Kind kind = Kind::Text;
    int status = 200;
    QByteArray body;
    std::chrono::milliseconds delay{0};      // wait before answering
    std::chrono::milliseconds readDelay{0};  // wait before reading the request body
    std::chrono::milliseconds readPause{0};  // wait before each piece of the body read
    qint64 hugeBytes = 0;
    qint64 chunkBytes = 64 * 1024;       // Huge: bytes per chunk
    std::chrono::milliseconds pause{0};  // Huge: wait between chunks
    QString location;                    // Redirect: absolute URL

    static Reply text(const QByteArray& body, int status = 200) {
        Reply r;
        r.body = body;
        r.status = status;
        return r;
    }
    static Reply redirect(const QString& location, int status = 302) {
        Reply r;
        r.kind = Kind::Redirect;
        r.location = location;
        r.status = status;
        return r;
    }
};

// An HTTPS service on 127.0.0.1 (a free port) with a certificate made at build time, for
// tests and benchmarks. It records every request and answers as told. Thread-safe.
class TestService {
public:
    enum class Certificate { Good, Expired, OtherHost };
    struct Options {
        Certificate certificate = Certificate::Good;
        bool keepBodies = true;  // false: count request bytes only (large uploads)
        int threads = 16;
    };

    TestService();
    explicit TestService(Options options);
    ~TestService();
    TestService(const TestService&) = delete;
    TestService& operator=(const TestService&) = delete;

    QString origin() const;  // "https://127.0.0.1:PORT"
    int port() const;

    void setReply(const Reply& reply);                       // every path
    void setReply(const QString& path, const Reply& reply);  // one path, over the default

    QList<RecordedRequest> requests() const;
    int requestCount() const;
    bool waitForRequests(int count, std::chrono::milliseconds timeout) const;

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
