#include "support/TestService.h"

#include <httplib.h>

#include <QFile>
#include <QMap>
#include <QtGlobal>

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ferrodock::test {

namespace {

QString qstring(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

QByteArray qbytes(const std::string& s) {
    return QByteArray(s.data(), qsizetype(s.size()));
}

QString certsDir() {
    return QStringLiteral(FERRODOCK_TEST_CERTS_DIR);
}

}  // namespace

struct TestService::Impl {
    Options options;
    std::unique_ptr<httplib::SSLServer> server;
    std::thread listener;
    std::atomic<bool> listenerDone{false};
    int port = 0;

    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    bool stopping = false;
    Reply defaultReply;
    QMap<QString, Reply> replies;
    QList<RecordedRequest> requests;
    // Worker threads for connections, as many as the options ask for.
    class Workers final : public httplib::TaskQueue {
    public:
        explicit Workers(int count) {
            for (int i = 0; i < std::max(count, 1); ++i) threads_.emplace_back([this] { work(); });
        }
        void enqueue(std::function<void()> job) override {
            {
                std::lock_guard lock(mutex_);
                jobs_.push_back(std::move(job));
            }
            ready_.notify_one();
        }
        void shutdown() override {
            {
                std::lock_guard lock(mutex_);
                done_ = true;
            }
            ready_.notify_all();
            for (auto& thread : threads_) thread.join();
        }

    private:
        void work() {
            for (;;) {
                std::function<void()> job;
                {
                    std::unique_lock lock(mutex_);
                    ready_.wait(lock, [this] { return done_ || !jobs_.empty(); });
                    if (jobs_.empty()) return;
                    job = std::move(jobs_.front());
                    jobs_.pop_front();
                }
                job();
            }
        }

        std::mutex mutex_;
        std::condition_variable ready_;
        std::deque<std::function<void()>> jobs_;
        std::vector<std::thread> threads_;
        bool done_ = false;
    };

    explicit Impl(Options o) : options(o) {
        QString name = QStringLiteral("server");
        if (options.certificate == Certificate::Expired) name = QStringLiteral("expired");
        if (options.certificate == Certificate::OtherHost) name = QStringLiteral("otherhost");
        const QByteArray cert =
            QFile::encodeName(certsDir() + QLatin1Char('/') + name + QStringLiteral(".pem"));
        const QByteArray key =
            QFile::encodeName(certsDir() + QLatin1Char('/') + name + QStringLiteral(".key"));
        server = std::make_unique<httplib::SSLServer>(cert.constData(), key.constData());
        if (!server->is_valid()) qFatal("test service: cannot load %s", cert.constData());

        server->new_task_queue = [this] { return new Workers(options.threads); };
        server->set_keep_alive_max_count(100);
        // An idle kept-alive connection holds its worker this long, stopping included.
        server->set_keep_alive_timeout(1);
        server->Post(".*",
                     [this](const httplib::Request& req, httplib::Response& res,
                            const httplib::ContentReader& reader) { handle(req, res, reader); });

        port = server->bind_to_any_port("127.0.0.1");
        if (port <= 0) qFatal("test service: cannot bind to 127.0.0.1");
        listener = std::thread([this] {
            // A client hanging up must fail our writes, not kill the test with SIGPIPE; the
            // worker threads inherit this mask.
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
            server->listen_after_bind();
            listenerDone = true;
        });
        // stop() is a no-op until the server runs, so do not hand out a service before that.
        while (!server->is_running() && !listenerDone)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }

    ~Impl() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        server->stop();
        listener.join();
    }

    // Waits unless the service stops first; false when it is stopping.
    bool pause(std::chrono::milliseconds duration) const {
        if (duration.count() <= 0) return true;
        std::unique_lock lock(mutex);
        return !changed.wait_for(lock, duration, [this] { return stopping; });
    }

    Reply replyFor(const QString& path) const {
        std::lock_guard lock(mutex);
        return replies.value(path, defaultReply);
    }

    void handle(const httplib::Request& req, httplib::Response& res,
                const httplib::ContentReader& reader) {
        RecordedRequest record;
        record.method = qstring(req.method);
        record.path = qstring(req.path);
        const std::string contentType = req.get_header_value("Content-Type");
        record.contentType = qstring(contentType);
        const Reply reply = replyFor(record.path);
        if (!pause(reply.readDelay)) return;

        const bool keep = options.keepBodies;
        // A slow reader: waits this long before taking each piece of the body.
        auto slowly = [&] { return pause(reply.readPause); };
        if (req.is_multipart_form_data()) {
            record.complete = reader(
                [&](const httplib::MultipartFormData& header) {
                    record.parts.append(RecordedPart{qstring(header.name),
                                                     qstring(header.filename),
                                                     qstring(header.content_type),
                                                     {},
                                                     0});
                    return true;
                },
                [&](const char* data, size_t length) {
                    if (record.parts.isEmpty() || !slowly()) return false;
                    RecordedPart& part = record.parts.last();
                    part.size += qint64(length);
                    if (keep) part.content.append(data, qsizetype(length));
                    return true;
                });
            // The parser hands over part contents only; the declared length is what came in.
            if (record.complete)
                record.bodyBytes = qint64(req.get_header_value<uint64_t>("Content-Length"));
            else
                for (const RecordedPart& part : std::as_const(record.parts))
                    record.bodyBytes += part.size;
        } else {
            std::string body;
            record.complete = reader([&](const char* data, size_t length) {
                if (!slowly()) return false;
                record.bodyBytes += qint64(length);
                if (keep) body.append(data, length);
                return true;
            });
            record.body = qbytes(body);
            if (contentType.rfind("application/x-www-form-urlencoded", 0) == 0) {
                const auto decode = [](QByteArray text) {
                    return QString::fromUtf8(
                        QByteArray::fromPercentEncoding(text.replace('+', ' ')));
                };
                for (const QByteArray& pair : record.body.split('&')) {
                    if (pair.isEmpty()) continue;
                    const qsizetype equals = pair.indexOf('=');
                    record.form.insert(decode(pair.left(equals)),
                                       equals < 0 ? QString() : decode(pair.mid(equals + 1)));
                }
            }
        }
        {
            std::lock_guard lock(mutex);
            requests.append(record);
        }
        changed.notify_all();
        if (!record.complete || !pause(reply.delay)) return;

        switch (reply.kind) {
            case Reply::Kind::Text:
                res.status = reply.status;
                res.set_content(reply.body.constData(), size_t(reply.body.size()),
                                "text/plain; charset=utf-8");
                break;
            case Reply::Kind::Silent: {
                std::unique_lock lock(mutex);
                changed.wait(lock, [this] { return stopping; });
                // Cut off after the headers: the client sees an answer that never ends.
                res.set_chunked_content_provider("text/plain",
                                                 [](size_t, httplib::DataSink&) { return false; });
                break;
            }
            case Reply::Kind::Huge:
                res.set_chunked_content_provider(
                    "application/octet-stream",
                    [this, total = size_t(std::max<qint64>(reply.hugeBytes, 0)),
                     chunk = size_t(std::max<qint64>(reply.chunkBytes, 1)),
                     gap = reply.pause](size_t offset, httplib::DataSink& sink) {
                        if (offset >= total) {
                            sink.done();
                            return true;
                        }
                        if (offset > 0 && !pause(gap)) return false;
                        static const std::string filler(64 * 1024, 'x');
                        for (size_t left = std::min(chunk, total - offset); left > 0;) {
                            const size_t n = std::min(left, filler.size());
                            if (!sink.write(filler.data(), n)) return false;
                            left -= n;
                        }
                        return true;
                    });
                break;
            case Reply::Kind::Redirect:
                res.set_redirect(reply.location.toStdString(),
                                 reply.status >= 300 && reply.status < 400 ? reply.status : 302);
                break;
        }
    }
};

TestService::TestService() : TestService(Options{}) {}

TestService::TestService(Options options) : impl_(std::make_unique<Impl>(options)) {}

TestService::~TestService() = default;

QString TestService::origin() const {
    return QStringLiteral("https://127.0.0.1:%1").arg(impl_->port);
}

int TestService::port() const {
    return impl_->port;
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
    std::lock_guard lock(impl_->mutex);
    return int(impl_->requests.size());
}

bool TestService::waitForRequests(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->changed.wait_for(lock, timeout,
                                   [this, count] { return impl_->requests.size() >= count; });
}

QByteArray TestService::caPem() {
    QFile file(certsDir() + QStringLiteral("/ca.pem"));
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
