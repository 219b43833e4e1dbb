#include "platform/HttpsTransport.h"

#include "platform/Transfer.h"

#include <QObject>
#include <QThread>

#include <openssl/crypto.h>

#include <atomic>
#include <cctype>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ferrodock {

using namespace transfer;

namespace {

// More parallel connections to one host buy nothing for a desktop client; the rest wait
// in curl's queue.
constexpr long kMaxHostConnections = 8;
// How often the loop looks at running transfers, which bounds how late a limit is noticed.
constexpr int kBusyPollMs = 200;
constexpr int kIdlePollMs = 60 * 1000;
constexpr int kMaxRedirects = 5;

bool initCurl() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

// Scheme, host and port as curl itself will connect to them.
std::string originOf(const std::string& address) {
    CURLU* url = curl_url();
    std::string origin;
    char* parts[3] = {};
    if (url && curl_url_set(url, CURLUPART_URL, address.c_str(), 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_SCHEME, &parts[0], 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_HOST, &parts[1], 0) == CURLUE_OK &&
        curl_url_get(url, CURLUPART_PORT, &parts[2], CURLU_DEFAULT_PORT) == CURLUE_OK) {
        origin = std::string(parts[0]) + "://" + parts[1] + ':' + parts[2];
        for (char& c : origin) c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    for (char* part : parts) curl_free(part);
    curl_url_cleanup(url);
    return origin;
}

// For an answer with a 3xx status: the URL to send the request to next, or empty with the
// reason in `failure`. Only the origin of `t.url` is followed, at most kMaxRedirects times.
std::string redirectTarget(Transfer& t, long status) {
    char* location = nullptr;
    curl_easy_getinfo(t.easy, CURLINFO_REDIRECT_URL, &location);
    const std::string target = location ? location : "";
    if (status == 303)
        t.failure = QStringLiteral("the service answered 303, which would drop the request");
    else if (status != 301 && status != 302 && status != 307 && status != 308)
        t.failure = QStringLiteral("the service answered %1, which is not an answer").arg(status);
    else if (!location)
        t.failure = QStringLiteral("the service answered %1 without a location").arg(status);
    else if (originOf(target).empty() || originOf(target) != originOf(t.url))
        t.failure = QStringLiteral(
                        "the service redirected to another site (%1); nothing was "
                        "sent there")
                        .arg(QString::fromStdString(target.substr(0, 200)));
    else if (t.redirects >= kMaxRedirects)
        t.failure = QStringLiteral("the service redirected more than %1 times").arg(kMaxRedirects);
    else
        return target;
    return {};
}

}  // namespace

struct HttpsTransport::Engine {
    Options options;
    QByteArray userAgent = QByteArrayLiteral("ferrodock/" FERRODOCK_VERSION);
    CURLM* multi = nullptr;
    std::shared_ptr<Waker> waker = std::make_shared<Waker>();
    // Cleared when the transport goes away, so completions already posted do not run.
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);

    std::mutex mutex;
    std::deque<std::unique_ptr<Transfer>> incoming;
    bool stopping = false;
    std::unique_ptr<QThread> thread;
    // Transport thread only, until it has been joined.
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> running;

    explicit Engine(Options o) : options(std::move(o)) {
        if (initCurl()) multi = curl_multi_init();
        if (multi) {
            curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxHostConnections);
            waker->multi = multi;
            thread.reset(QThread::create([this] {
                run();
                // Frees the state OpenSSL keeps for this thread now: left to the thread's end,
                // it may still be held when QThread::wait() has returned and the program ends.
                OPENSSL_thread_stop();
            }));
            thread->start();
        }
    }

    ~Engine() {
        alive->store(false);
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        if (multi) {
            curl_multi_wakeup(multi);
            thread->wait();
            // The thread ends inside Qt, out of the thread sanitizer's sight; the mutex it let
            // go of last orders all it did before what follows.
            { const std::lock_guard ordered(mutex); }
            // Torn down here rather than on the transport thread, so the completions (and
            // whatever they captured) die on the thread that destroys the transport.
            for (const auto& [easy, t] : running) curl_multi_remove_handle(multi, easy);
            running.clear();
            {
                std::lock_guard lock(waker->mutex);
                waker->multi = nullptr;
            }
            curl_multi_cleanup(multi);
        }
        // Whatever never reached the loop is dropped without a completion.
        incoming.clear();
    }

    // A transfer to origin + `path` whose completion is delivered to `context`.
    std::unique_ptr<Transfer> transferTo(const QString& path, QObject* context,
                                         TransportCompletion completion, ProgressReport progress,
                                         RequestBody body) {
        auto t = std::make_unique<Transfer>();
        t->control = std::make_shared<TransferHandle::State>();
        t->control->wake = [weak = std::weak_ptr<Waker>(waker)] {
            if (const auto live = weak.lock()) live->wake();
        };
        t->progress = std::move(progress);
        t->url = (options.origin + path).toStdString();
        t->body = std::move(body);
        t->guard = guardContext(context);
        t->completion = std::move(completion);
        t->limits = {options.idleLimit, options.answerLimit, options.maxAnswerBytes};
        return t;
    }

    TransferHandle submit(std::unique_ptr<Transfer> t) {
        TransferHandle handle(t->control);
        if (!multi) {
            t->failure = QStringLiteral("cannot initialise libcurl");
            finish(std::move(t), CURLE_FAILED_INIT);
            return handle;
        }
        {
            std::lock_guard lock(mutex);
            incoming.push_back(std::move(t));
        }
        curl_multi_wakeup(multi);
        return handle;
    }

    // A cancelled transfer leaves the multi handle at once, which closes its connection
    // mid-request, so nothing more of it is sent.
    void dropCancelled() {
        std::vector<CURL*> cancelled;
        for (const auto& [easy, t] : running)
            if (t->control->cancelled.load()) cancelled.push_back(easy);
        for (CURL* easy : cancelled) {
            curl_multi_remove_handle(multi, easy);
            auto node = running.extract(easy);
            finish(std::move(node.mapped()), CURLE_ABORTED_BY_CALLBACK);
        }
    }

    void run() {
        for (;;) {
            std::deque<std::unique_ptr<Transfer>> batch;
            {
                std::lock_guard lock(mutex);
                if (stopping) break;
                batch.swap(incoming);
            }
            for (auto& t : batch) start(std::move(t));
            dropCancelled();
            int active = 0;
            curl_multi_perform(multi, &active);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg != CURLMSG_DONE) continue;
                CURL* easy = msg->easy_handle;
                const CURLcode code = msg->data.result;
                curl_multi_remove_handle(multi, easy);
                auto node = running.extract(easy);
                if (!node.empty()) completed(std::move(node.mapped()), code);
            }
            curl_multi_poll(multi, nullptr, 0, running.empty() ? kIdlePollMs : kBusyPollMs,
                            nullptr);
        }
    }

    void start(std::unique_ptr<Transfer> t) {
        if (t->control->cancelled.load()) {
            finish(std::move(t), CURLE_ABORTED_BY_CALLBACK);
            return;
        }
        if (auto* upload = std::get_if<UploadBody>(&t->body);
            upload && !prepareUpload(*upload, t->failure)) {
            finish(std::move(t), CURLE_READ_ERROR);
            return;
        }
        if (!configureTransfer(*t, userAgent, options.extraCaPem, options.connectLimit)) {
            if (t->failure.isEmpty()) t->failure = QStringLiteral("cannot set up the request");
            finish(std::move(t), CURLE_FAILED_INIT);
            return;
        }
        add(std::move(t));
    }

    void add(std::unique_ptr<Transfer> t) {
        CURL* easy = t->easy;
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            t->failure = QStringLiteral("cannot start the request");
            finish(std::move(t), CURLE_FAILED_INIT);
            return;
        }
        running.emplace(easy, std::move(t));
    }

    // A 3xx is never the answer: the request goes again to where it points within the
    // origin, or fails.
    void completed(std::unique_ptr<Transfer> t, CURLcode code) {
        long status = 0;
        if (code == CURLE_OK) curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
        if (status < 300 || status > 399) {
            finish(std::move(t), code);
            return;
        }
        const std::string next = redirectTarget(*t, status);
        if (next.empty() || curl_easy_setopt(t->easy, CURLOPT_URL, next.c_str()) != CURLE_OK) {
            finish(std::move(t), CURLE_TOO_MANY_REDIRECTS);
            return;
        }
        t->url = next;
        ++t->redirects;
        t->restart();
        rewindBody(*t);
        add(std::move(t));
    }

    void finish(std::unique_ptr<Transfer> t, CURLcode code) {
        deliver(*t, resultOf(*t, code), alive);
    }
};

HttpsTransport::HttpsTransport(Options options) : options_(std::move(options)) {}

HttpsTransport::Engine& HttpsTransport::engine() {
    std::call_once(started_, [this] { engine_ = std::make_unique<Engine>(options_); });
    return *engine_;
}

HttpsTransport::~HttpsTransport() = default;

TransferHandle HttpsTransport::postFields(const QString& path, QList<FormField> fields,
                                          QObject* context, TransportCompletion completion,
                                          ProgressReport progress) {
    Engine& engine = this->engine();
    return engine.submit(engine.transferTo(path, context, std::move(completion),
                                           progressFor(context, std::move(progress)),
                                           formBody(std::move(fields))));
}

TransferHandle HttpsTransport::uploadFile(const QString& path, const QList<FormField>& fields,
                                          const QString& filePath, const QString& mimeType,
                                          QObject* context, TransportCompletion completion,
                                          ProgressReport progress) {
    UploadBody upload;
    for (const FormField& field : fields)
        upload.fields.emplace_back(field.name.toUtf8(),
                                   field.utf8.isEmpty() ? field.value.toUtf8() : field.utf8);
    upload.filePath = filePath;
    upload.fileName = filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1).toUtf8();
    upload.mimeType = mimeType.toUtf8();
    Engine& engine = this->engine();
    return engine.submit(engine.transferTo(path, context, std::move(completion),
                                           progressFor(context, std::move(progress)),
                                           std::move(upload)));
}

}  // namespace ferrodock
