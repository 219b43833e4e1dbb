#include "support/TestService.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace ferrodock::test {

namespace {

QByteArray certFile(const char* name, const char* suffix) {
    return FERRODOCK_TEST_CERTS_DIR "/" + QByteArray(name) + suffix;
}

// The first group of `pattern` in `text`, or nothing.
QString find(const QByteArray& text, const char* pattern) {
    return QRegularExpression(QString::fromLatin1(pattern),
                              QRegularExpression::CaseInsensitiveOption)
        .match(QString::fromUtf8(text))
        .captured(1);
}

QList<RecordedPart> partsOf(const QByteArray& body, const QString& contentType) {
    QList<RecordedPart> parts;
    const QByteArray boundary = "\r\n--" + find(contentType.toUtf8(), "boundary=(\\S+)").toUtf8();
    // Each part follows a boundary and a line break; the last boundary is followed by "--".
    qsizetype at = body.indexOf(boundary.mid(2)) + boundary.size() - 2;
    while (at >= boundary.size() - 2 && body.mid(at, 2) == "\r\n") {
        const qsizetype split = body.indexOf("\r\n\r\n", at);
        const qsizetype end = body.indexOf(boundary, split);
        if (split < 0 || end < 0) break;
        const QByteArray head = body.mid(at, split - at);
        parts.append({find(head, "; name=\"([^\"]*)\""), find(head, "; filename=\"([^\"]*)\""),
                      find(head, "\r\nContent-Type: ([^\r]*)"),
                      body.mid(split + 4, end - split - 4)});
        at = end + boundary.size();
    }
    return parts;
}

}  // namespace

struct TestService::Impl {
    SSL_CTX* context = nullptr;
    int listener = -1;
    int port = 0;
    std::thread acceptor;
    std::vector<std::thread> connections;  // touched by the acceptor only, until it ends

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    std::set<int> open;  // sockets being served
    Reply defaultReply;
    QMap<QString, Reply> replies;
    QList<RecordedRequest> requests;
    QByteArray protocols;

    explicit Impl(const Options& options) {
        static const char* const names[] = {"server", "expired", "otherhost", "cnonly"};
        const char* name = names[int(options.certificate)];
        context = SSL_CTX_new(TLS_server_method());
        if (!context ||
            SSL_CTX_use_certificate_file(context, certFile(name, ".pem"), SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(context, certFile(name, ".key"), SSL_FILETYPE_PEM) != 1)
            qFatal("test service: cannot load the %s certificate", name);
        if (options.maxTlsVersion) {
            SSL_CTX_set_security_level(context, 0);  // old protocols are refused otherwise
            SSL_CTX_set_min_proto_version(context, 0);
            SSL_CTX_set_max_proto_version(context, options.maxTlsVersion);
        }
        if (!options.ciphers.isEmpty())
            SSL_CTX_set_cipher_list(context, options.ciphers.constData());
        // Notes the protocols the client offers, and takes none of them.
        SSL_CTX_set_alpn_select_cb(
            context,
            [](SSL*, const unsigned char**, unsigned char*, const unsigned char* in,
               unsigned int length, void* arg) {
                auto* self = static_cast<Impl*>(arg);
                std::lock_guard lock(self->mutex);
                self->protocols = QByteArray(reinterpret_cast<const char*>(in), int(length));
                return SSL_TLSEXT_ERR_NOACK;
            },
            this);

        listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            ::listen(listener, 64) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("test service: cannot listen on 127.0.0.1");
        port = ntohs(address.sin_port);
        acceptor = std::thread([this] { accept(); });
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            for (int fd : open) ::shutdown(fd, SHUT_RDWR);
        }
        changed.notify_all();
        ::shutdown(listener, SHUT_RDWR);
        acceptor.join();
        for (std::thread& connection : connections) connection.join();
        ::close(listener);
        SSL_CTX_free(context);
    }

    // Waits unless the service stops first; false when it is stopping.
    bool pause(std::chrono::milliseconds duration) const {
        std::unique_lock lock(mutex);
        return !changed.wait_for(lock, duration, [this] { return stopping; });
    }

    void accept() {
        // A client hanging up must fail our writes, not kill the test with SIGPIPE; the
        // connection threads inherit this mask.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            std::lock_guard lock(mutex);
            if (fd < 0 || stopping) {
                if (fd >= 0) ::close(fd);
                return;
            }
            open.insert(fd);
            connections.emplace_back([this, fd] { serve(fd); });
        }
    }

    void serve(int fd) {
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) converse(ssl);
        SSL_free(ssl);
        std::lock_guard lock(mutex);
        open.erase(fd);
        ::close(fd);
    }

    // Reads one request, records it and answers it.
    void converse(SSL* ssl) {
        QByteArray data;
        char buffer[16384];
        const auto read = [&] {
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n > 0) data.append(buffer, n);
            return n > 0;
        };
        while (!data.contains("\r\n\r\n"))
            if (!read()) return;
        const QByteArray head = data.left(data.indexOf("\r\n\r\n") + 4);
        data.remove(0, head.size());
        RecordedRequest record;
        const QList<QByteArray> start = head.left(head.indexOf("\r\n")).split(' ');
        record.method = QString::fromUtf8(start.value(0));
        record.path = QString::fromUtf8(start.value(1));
        record.contentType = find(head, "\r\nContent-Type: ([^\r]*)");
        const qint64 length = find(head, "\r\nContent-Length: (\\d+)").toLongLong();
        Reply reply;
        {
            std::lock_guard lock(mutex);
            reply = replies.value(record.path, defaultReply);
        }
        if (head.contains("\r\nExpect: 100-continue"))
            SSL_write(ssl, "HTTP/1.1 100 Continue\r\n\r\n", 25);
        while (data.size() < length && pause(reply.readPause) && read()) {
        }
        record.complete = data.size() >= length;
        record.body = data.left(length);
        record.bodyBytes = record.body.size();
        if (record.complete && record.contentType.startsWith("multipart/form-data"))
            record.parts = partsOf(record.body, record.contentType);
        {
            std::lock_guard lock(mutex);
            requests.append(record);
        }
        if (!record.complete || !pause(reply.delay)) return;
        for (const RawStep& step : stepsOf(reply))
            for (int i = 0; i < step.repeat; ++i)
                if (!pause(step.pause) ||
                    (!step.bytes.isEmpty() &&
                     SSL_write(ssl, step.bytes.constData(), int(step.bytes.size())) <= 0))
                    return;
        SSL_shutdown(ssl);
    }

    static QList<RawStep> stepsOf(const Reply& reply) {
        if (reply.kind == Reply::Kind::Raw) return reply.raw;
        if (reply.kind == Reply::Kind::Silent) return {{{}, 1, std::chrono::hours(24)}};
        const QByteArray body =
            reply.kind == Reply::Kind::Huge ? QByteArray(reply.hugeBytes, 'x') : reply.body;
        QByteArray head =
            "HTTP/1.1 " + QByteArray::number(reply.status) +
            " X\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
            "\r\n";
        if (!reply.location.isEmpty()) head += "Location: " + reply.location.toUtf8() + "\r\n";
        return {{head + "\r\n" + body}};
    }
};

TestService::TestService() : TestService(Options{}) {}

TestService::TestService(Options options) : impl_(std::make_unique<Impl>(options)) {}

TestService::~TestService() = default;

QString TestService::origin() const {
    return QStringLiteral("https://127.0.0.1:%1").arg(impl_->port);
}

void TestService::setReply(const Reply& reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->defaultReply = reply;
}

void TestService::setReply(const QString& path, const Reply& reply) {
    std::lock_guard lock(impl_->mutex);
    impl_->replies.insert(path, reply);
}

QList<RecordedRequest> TestService::requests() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->requests;
}

int TestService::requestCount() const {
    return int(requests().size());
}

QByteArray TestService::offeredProtocols() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->protocols;
}

QByteArray TestService::caPem() {
    QFile file(QString::fromUtf8(certFile("ca", ".pem")));
    if (!file.open(QIODevice::ReadOnly)) qFatal("test service: cannot read the test CA");
    return file.readAll();
}

std::unique_ptr<HttpsTransport> TestService::makeTransport(std::chrono::milliseconds limit) const {
    HttpsTransport::Options options;
    options.origin = origin();
    options.extraCaPem = caPem();
    options.idleLimit = limit;
    options.answerLimit = limit;
    return std::make_unique<HttpsTransport>(std::move(options));
}

}  // namespace ferrodock::test
