#pragma once

#include "platform/LoadedTransport.h"

#include <QMap>

#include <openssl/ssl.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ferrodock::test {

// One piece of a scripted answer: `bytes`, written `repeat` times, each after `pause`.
struct RawStep {
    QByteArray bytes;
    int repeat = 1;
    std::chrono::milliseconds pause{0};
};

// One part of a multipart/form-data request.
struct RecordedPart {
    QString name, fileName, contentType;
    QByteArray content;
};

// One request as the service received it; `parts` of a whole multipart body.
struct RecordedRequest {
    QString path, contentType;
    QByteArray body{};
    QList<RecordedPart> parts{};
    // complete: false when the client stopped sending mid-body; expect: it asked for
    // "100 Continue", which this service never sends.
    bool complete = true, expect = false;
};

// How the service answers: `status` and `body`, with `location` if set (Text); `raw` byte for
// byte, framing and all (Raw); `raw` before reading the request body, then as Text (Early). It
// waits `delay` before answering, and `readPause` before each piece of the request body it reads.
// With `keepAlive` the connection stays open, and the next request on it is read and left
// unanswered as the connection closes, as a server closes an idle connection just as it is used
// again.
struct Reply {
    enum class Kind { Text, Raw, Early };
    Kind kind = Kind::Text;
    int status = 200;
    QByteArray body{};
    std::chrono::milliseconds delay{0}, readPause{0};
    QString location{};
    QList<RawStep> raw{};
    bool keepAlive = false;

    static Reply text(const QByteArray& b, int status = 200) { return {Kind::Text, status, b}; }
};

// An HTTPS service on 127.0.0.1 (a free port) with a certificate made at build time. It
// records every request and answers as told, one request per connection unless kept alive.
// Its TLS can be limited to what a careless server offers: a cipher list, a highest version.
class TestService {
public:
    enum class Certificate { Good, Expired, OtherHost, CommonNameOnly };
    struct Options {
        Certificate certificate = Certificate::Good;
        QByteArray ciphers{};
        int maxTlsVersion = 0;
        bool holdHandshakes = false;  // until releaseHandshakes()
    };

    TestService() : TestService(Options{}) {}
    explicit TestService(Options options);
    ~TestService();

    QString origin() const { return QStringLiteral("https://127.0.0.1:%1").arg(port_); }
    // The answer on `path`; an empty path: on every path without its own.
    void setReply(const QString& path, const Reply& reply) { lock(), replies_[path] = reply; }
    void setReply(const Reply& reply) { setReply({}, reply); }
    QList<RecordedRequest> requests() const { return lock(), requests_; }
    int requestCount() const { return int(requests().size()); }
    // The application protocols the last client offered (ALPN, length-prefixed names).
    QByteArray offeredProtocols() const { return lock(), protocols_; }
    // Connections open now, whether their handshake is held or not.
    int connections() const { return lock(), int(open_.size()); }
    void releaseHandshakes() { (lock(), holding_ = false), changed_.notify_all(); }

    // The CA that signed the service's certificates, PEM.
    static QByteArray caPem();
    // A transport for this service that trusts the test CA, loaded from the module as the
    // programs load it; `limit` bounds both an idle request and the wait for its answer.
    std::unique_ptr<Transport> makeTransport(
        std::chrono::milliseconds limit = std::chrono::seconds(60)) const {
        return std::make_unique<LoadedTransport>(
            FERRODOCK_TRANSPORT_FILE, HttpsTransport::Options{origin(), caPem(), limit, limit});
    }

private:
    // Held to the end of the expression it is called in.
    std::unique_lock<std::mutex> lock() const { return std::unique_lock(mutex_); }
    bool pause(std::chrono::milliseconds duration) const;
    // Waits while handshakes are held; false when the service stops first.
    bool admit() const {
        auto l = lock();
        return changed_.wait(l, [this] { return stopping_ || !holding_; }), !stopping_;
    }
    void accept();
    void converse(SSL* ssl, bool answer = true);

    SSL_CTX* context_ = nullptr;
    int listener_ = -1, port_ = 0;
    std::thread acceptor_;
    // Touched by the acceptor only, until it ends.
    std::vector<std::thread> connections_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool stopping_ = false, holding_;
    std::set<int> open_;
    QMap<QString, Reply> replies_;
    QList<RecordedRequest> requests_;
    QByteArray protocols_;
};

}  // namespace ferrodock::test
