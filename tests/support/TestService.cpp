#include "support/TestService.h"

#include <QtCore>

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace ferrodock::test {

namespace {

QByteArray certFile(const char* name, const char* suffix) {
    return FERRODOCK_TEST_CERTS_DIR "/" + QByteArray(name) + suffix;
}

// The first group of `pattern` in `text`, or nothing.
QString find(const QByteArray& text, const char* pattern) {
    return QRegularExpression(QString::fromLatin1(pattern))
        .match(QString::fromUtf8(text))
        .captured(1);
}

QList<RecordedPart> partsOf(const QByteArray& body, const QString& contentType) {
    QList<RecordedPart> parts;
    const QByteArray boundary = "\r\n--" + find(contentType.toUtf8(), "boundary=(\\S+)").toUtf8();
    // Each part follows a boundary and a line break; the last boundary is followed by "--".
    const QByteArray whole = "\r\n" + body;
    for (qsizetype at = whole.indexOf(boundary) + boundary.size(); whole.mid(at, 2) == "\r\n";) {
        const qsizetype split = whole.indexOf("\r\n\r\n", at), end = whole.indexOf(boundary, split);
        const QByteArray head = whole.mid(at, split - at);
        parts.append({find(head, "; name=\"([^\"]*)\""), find(head, "; filename=\"([^\"]*)\""),
                      find(head, "\r\nContent-Type: ([^\r]*)"),
                      whole.mid(split + 4, end - split - 4)});
        at = end + boundary.size();
    }
    return parts;
}

QList<RawStep> stepsOf(const Reply& reply) {
    if (reply.kind == Reply::Kind::Raw) return reply.raw;
    QByteArray head = "HTTP/1.1 " + QByteArray::number(reply.status) +
                      (reply.keepAlive ? " X\r\n" : " X\r\nConnection: close\r\n");
    if (!reply.location.isEmpty()) head += "Location: " + reply.location.toUtf8() + "\r\n";
    return {{head + "Content-Length: " + QByteArray::number(reply.body.size()) + "\r\n\r\n" +
             reply.body}};
}

}  // namespace

TestService::TestService(Options options) : holding_(options.holdHandshakes) {
    static const char* const names[] = {"server", "expired", "otherhost", "cnonly"};
    const char* name = names[int(options.certificate)];
    context_ = SSL_CTX_new(TLS_server_method());
    if (!context_ ||
        SSL_CTX_use_certificate_file(context_, certFile(name, ".pem"), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(context_, certFile(name, ".key"), SSL_FILETYPE_PEM) != 1)
        qFatal("test service: cannot load the %s certificate", name);
    if (options.maxTlsVersion) {
        SSL_CTX_set_security_level(context_, 0);  // old protocols are refused otherwise
        SSL_CTX_set_min_proto_version(context_, 0);
        SSL_CTX_set_max_proto_version(context_, options.maxTlsVersion);
    }
    if (!options.ciphers.isEmpty()) SSL_CTX_set_cipher_list(context_, options.ciphers.constData());
    // Notes the protocols the client offers, and takes none of them.
    SSL_CTX_set_alpn_select_cb(
        context_,
        [](SSL*, const unsigned char**, unsigned char*, const unsigned char* in, unsigned length,
           void* self) {
            auto* service = static_cast<TestService*>(self);
            (service->lock(),
             service->protocols_ = QByteArray(reinterpret_cast<const char*>(in), int(length)));
            return SSL_TLSEXT_ERR_NOACK;
        },
        this);

    // A client hanging up must fail our writes, not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        qFatal("test service: cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept(); });
}

TestService::~TestService() {
    (lock(), stopping_ = true,
     std::for_each(open_.begin(), open_.end(), [](int fd) { ::shutdown(fd, SHUT_RDWR); }));
    changed_.notify_all();
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    for (std::thread& connection : connections_) connection.join();
    ::close(listener_);
    SSL_CTX_free(context_);
}

// Waits unless the service stops first; false when it is stopping.
bool TestService::pause(std::chrono::milliseconds duration) const {
    auto l = lock();
    return !changed_.wait_for(l, duration, [this] { return stopping_; });
}

void TestService::accept() {
    for (int fd; (fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;) {
        auto accepting = lock();
        if (stopping_) return void(::close(fd));
        open_.insert(fd);
        connections_.emplace_back([this, fd] {
            SSL* ssl = SSL_new(context_);
            SSL_set_fd(ssl, fd);
            if (admit() && SSL_accept(ssl) == 1) converse(ssl);
            SSL_free(ssl);
            (lock(), open_.erase(fd), ::close(fd));
        });
    }
}

// Reads one request, records it and answers it if told to.
void TestService::converse(SSL* ssl, bool answer) {
    QByteArray data;
    char buffer[16384];
    const auto read = [&] {
        const int n = SSL_read(ssl, buffer, sizeof buffer);
        return n > 0 && (data.append(buffer, n), true);
    };
    while (!data.contains("\r\n\r\n"))
        if (!read()) return;
    const QByteArray head = data.left(data.indexOf("\r\n\r\n") + 4);
    data.remove(0, head.size());
    RecordedRequest record{find(head, "^POST (\\S+)"), find(head, "\r\nContent-Type: ([^\r]*)")};
    const qint64 length = find(head, "\r\nContent-Length: (\\d+)").toLongLong();
    const Reply reply = (lock(), replies_.value(record.path, replies_.value({})));
    record.expect = head.contains("\r\nExpect:");
    // Writes `steps`; false once the service stops or the client has gone.
    const auto write = [&](const QList<RawStep>& steps) {
        for (const RawStep& step : steps)
            for (int i = 0; i < step.repeat; ++i)
                if (!pause(step.pause) ||
                    (!step.bytes.isEmpty() &&
                     SSL_write(ssl, step.bytes.constData(), int(step.bytes.size())) <= 0))
                    return false;
        return true;
    };
    if (reply.kind == Reply::Kind::Early && !write(reply.raw)) return;
    while (data.size() < length && pause(reply.readPause) && read()) continue;
    record.complete = data.size() >= length;
    record.body = data.left(length);
    if (record.complete && record.contentType.startsWith("multipart/form-data"))
        record.parts = partsOf(record.body, record.contentType);
    (lock(), requests_.append(record));
    if (answer && record.complete && pause(reply.delay) && write(stepsOf(reply)))
        reply.keepAlive ? converse(ssl, false) : void(SSL_shutdown(ssl));
}

QByteArray TestService::caPem() {
    QFile file(QString::fromUtf8(certFile("ca", ".pem")));
    if (!file.open(QIODevice::ReadOnly)) qFatal("test service: cannot read the test CA");
    return file.readAll();
}

}  // namespace ferrodock::test
