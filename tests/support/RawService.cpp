#include "support/RawService.h"

#include <QFile>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace ferrodock::test {

struct RawService::Impl {
    QList<RawStep> answer;
    SSL_CTX* context = nullptr;
    int listener = -1;
    int port = 0;
    std::thread thread;
    std::atomic<int> requests{0};
    QByteArray protocols;  // what the last client offered by ALPN, guarded by the mutex

    std::mutex mutex;
    std::condition_variable stopped;
    bool stopping = false;
    int connection = -1;

    Impl(QList<RawStep> steps, const Options& options) : answer(std::move(steps)) {
        const QString dir = QStringLiteral(FERRODOCK_TEST_CERTS_DIR "/") + options.certificate;
        context = SSL_CTX_new(TLS_server_method());
        if (!context ||
            SSL_CTX_use_certificate_file(
                context, QFile::encodeName(dir + QStringLiteral(".pem")).constData(),
                SSL_FILETYPE_PEM) != 1 ||
            SSL_CTX_use_PrivateKey_file(context,
                                        QFile::encodeName(dir + QStringLiteral(".key")).constData(),
                                        SSL_FILETYPE_PEM) != 1)
            qFatal("raw service: cannot load the certificate");
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
            ::listen(listener, 16) != 0 ||
            ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("raw service: cannot listen on 127.0.0.1");
        port = ntohs(address.sin_port);
        thread = std::thread([this] { serve(); });
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
            if (connection >= 0) ::shutdown(connection, SHUT_RDWR);
        }
        stopped.notify_all();
        ::shutdown(listener, SHUT_RDWR);
        thread.join();
        ::close(listener);
        SSL_CTX_free(context);
    }

    bool pause(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex);
        return !stopped.wait_for(lock, duration, [this] { return stopping; });
    }

    void serve() {
        for (;;) {
            const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) return;
            {
                std::lock_guard lock(mutex);
                if (stopping) {
                    ::close(fd);
                    return;
                }
                connection = fd;
            }
            SSL* ssl = SSL_new(context);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) converse(ssl);
            SSL_free(ssl);
            std::lock_guard lock(mutex);
            connection = -1;
            ::close(fd);
        }
    }

    // Reads one request (headers, then a body of Content-Length bytes), then answers.
    void converse(SSL* ssl) {
        std::string request;
        char buffer[16384];
        size_t headerEnd = std::string::npos;
        size_t wanted = 0;
        while (headerEnd == std::string::npos || request.size() < headerEnd + 4 + wanted) {
            const int n = SSL_read(ssl, buffer, sizeof buffer);
            if (n <= 0) return;
            request.append(buffer, size_t(n));
            if (headerEnd != std::string::npos) continue;
            headerEnd = request.find("\r\n\r\n");
            if (headerEnd == std::string::npos) continue;
            const size_t length = request.find("Content-Length: ");
            if (length < headerEnd)
                wanted = std::strtoull(request.c_str() + length + 16, nullptr, 10);
        }
        ++requests;
        for (const RawStep& step : std::as_const(answer))
            for (int i = 0; i < step.repeat; ++i)
                if (!pause(step.pause) ||
                    (!step.bytes.isEmpty() &&
                     SSL_write(ssl, step.bytes.constData(), int(step.bytes.size())) <= 0))
                    return;
        SSL_shutdown(ssl);
    }
};

RawService::RawService(QList<RawStep> answer, Options options)
    : impl_(std::make_unique<Impl>(std::move(answer), options)) {}

RawService::~RawService() = default;

QString RawService::origin() const {
    return QStringLiteral("https://127.0.0.1:%1").arg(impl_->port);
}

int RawService::requestCount() const {
    return impl_->requests;
}

QByteArray RawService::offeredProtocols() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->protocols;
}

}  // namespace ferrodock::test
