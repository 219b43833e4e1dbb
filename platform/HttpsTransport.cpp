#include "platform/HttpsTransport.h"

#include "platform/FormEncoding.h"

#include <QFile>
#include <QMetaObject>
#include <QObject>

#include <curl/curl.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace ferrodock {

namespace {

using Clock = std::chrono::steady_clock;

// More parallel connections to one host buy nothing for a desktop client; the rest wait
// in curl's queue.
constexpr long kMaxHostConnections = 8;
// Big reads keep the per-chunk overhead of large uploads close to that of the curl tool.
constexpr long kUploadBufferBytes = 512 * 1024;
constexpr long kMaxRedirects = 5;
// How often the loop looks at running transfers, which bounds how late an idle transfer
// is noticed.
constexpr int kBusyPollMs = 200;
constexpr int kIdlePollMs = 60 * 1000;

bool initCurl() {
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ok;
}

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// Lets the transport thread post to a context without racing its destruction on another
// thread: `destroyed` clears `target` under the mutex, and posting happens under it too.
// Events already posted to a dying object are discarded by Qt.
struct ContextGuard {
    std::mutex mutex;
    QObject* target = nullptr;
    QMetaObject::Connection watch;
};

std::shared_ptr<ContextGuard> guardContext(QObject* context) {
    auto guard = std::make_shared<ContextGuard>();
    if (!context) return guard;
    guard->target = context;
    std::weak_ptr<ContextGuard> weak = guard;
    // Without a receiver object the slot runs directly, in the destroying thread.
    guard->watch = QObject::connect(context, &QObject::destroyed, [weak] {
        if (auto alive = weak.lock()) {
            std::lock_guard lock(alive->mutex);
            alive->target = nullptr;
        }
    });
    return guard;
}

struct Transfer {
    // Filled in by the caller's thread.
    std::string url;
    QByteArray formBody;
    QList<FormField> formFields;  // streamed instead of formBody when not empty
    qsizetype fieldIndex = 0;
    qsizetype fieldOffset = -1;  // -1: the "&name=" part is next
    std::string staged;
    size_t stagedPos = 0;
    bool isUpload = false;
    std::vector<std::pair<QByteArray, QByteArray>> fields;
    QString filePath;
    QByteArray fileName;
    QByteArray mimeType;
    std::shared_ptr<ContextGuard> guard;
    TransportCompletion completion;

    // Owned by the transport thread from here on.
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    curl_mime* mime = nullptr;
    int fd = -1;
    curl_off_t fileSize = 0;  // announced in the request, so it must not change
    curl_off_t fileOffset = 0;

    QByteArray answer;
    qint64 maxAnswerBytes = 0;

    std::chrono::milliseconds idleLimit{0};
    bool sending = false;  // set once curl has a connection for this transfer
    Clock::time_point lastActivity;
    curl_off_t lastUp = -1;
    curl_off_t lastDown = -1;

    QString failure;  // our own reason, preferred over curl's text
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    ~Transfer() {
        // Callers remove the handle from the multi handle first.
        if (easy) curl_easy_cleanup(easy);
        if (mime) curl_mime_free(mime);
        if (headers) curl_slist_free_all(headers);
        if (fd >= 0) ::close(fd);
        if (guard) QObject::disconnect(guard->watch);
    }

    void touch() { lastActivity = Clock::now(); }
};

bool openUpload(Transfer& t) {
    if (t.fd >= 0) return true;
    const QByteArray path = QFile::encodeName(t.filePath);
    t.fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (t.fd < 0) {
        t.failure = QStringLiteral("cannot open %1: %2").arg(t.filePath, systemError(errno));
        return false;
    }
    struct stat st {};
    if (::fstat(t.fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        t.failure = QStringLiteral("%1 is not a regular file").arg(t.filePath);
        return false;
    }
    if (st.st_size != t.fileSize) {
        t.failure = QStringLiteral("%1 changed size before the upload started").arg(t.filePath);
        return false;
    }
    return true;
}

size_t onAnswer(char* data, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    const size_t bytes = size * count;
    if (qint64(t.answer.size()) + qint64(bytes) > t.maxAnswerBytes) {
        t.failure = QStringLiteral("the answer is larger than %1 bytes").arg(t.maxAnswerBytes);
        return 0;
    }
    t.answer.append(data, qsizetype(bytes));
    return bytes;
}

size_t onHeader(char*, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    if (t.sending) t.touch();
    return size * count;
}

// Called once curl has a connection for the transfer (also after a redirect or a retry).
// Transfers waiting for a free connection never get here, so their wait does not count as
// idle time. The upload file is opened only now, when the request is about to go out.
int onRequestStart(void* arg, char*, char*, int, int) {
    auto& t = *static_cast<Transfer*>(arg);
    t.sending = true;
    t.lastUp = -1;
    t.lastDown = -1;
    t.touch();
    if (t.isUpload && !openUpload(t)) return CURL_PREREQFUNC_ABORT;
    return CURL_PREREQFUNC_OK;
}

int onProgress(void* arg, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
    auto& t = *static_cast<Transfer*>(arg);
    if (!t.sending) return 0;
    if (down != t.lastDown || up != t.lastUp) {
        t.lastDown = down;
        t.lastUp = up;
        t.touch();
        return 0;
    }
    if (Clock::now() - t.lastActivity < t.idleLimit) return 0;
    t.failure = QStringLiteral("no data moved for %1 s")
                    .arg(double(t.idleLimit.count()) / 1000.0, 0, 'f', 1);
    return 1;
}

// Makes the next piece of a streamed form body.
void stageForm(Transfer& t) {
    t.staged.clear();
    t.stagedPos = 0;
    if (t.fieldIndex >= t.formFields.size()) return;
    const FormField& field = t.formFields[t.fieldIndex];
    if (t.fieldOffset < 0) {
        if (t.fieldIndex > 0) t.staged += '&';
        t.staged += field.first.toStdString();
        t.staged += '=';
        t.fieldOffset = 0;
        return;
    }
    const QStringView value(field.second);
    qsizetype end = std::min(value.size(), t.fieldOffset + 16384);
    if (end < value.size() && value[end - 1].isHighSurrogate()) ++end;
    const QStringView chunk = value.mid(t.fieldOffset, end - t.fieldOffset);
    t.staged.resize(size_t(formEncodedSize(chunk)));
    appendFormEncoded(t.staged.data(), chunk);
    t.fieldOffset = end;
    if (end >= value.size()) {
        ++t.fieldIndex;
        t.fieldOffset = -1;
    }
}

size_t onFormRead(char* buffer, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    size_t room = size * count, written = 0;
    while (room > 0) {
        if (t.stagedPos >= t.staged.size()) {
            stageForm(t);
            if (t.staged.empty()) break;
        }
        const size_t n = std::min(room, t.staged.size() - t.stagedPos);
        std::memcpy(buffer + written, t.staged.data() + t.stagedPos, n);
        t.stagedPos += n;
        written += n;
        room -= n;
    }
    return written;
}

int onFormSeek(void* arg, curl_off_t offset, int origin) {
    auto& t = *static_cast<Transfer*>(arg);
    if (origin != SEEK_SET || offset != 0) return CURL_SEEKFUNC_CANTSEEK;
    t.fieldIndex = 0;
    t.fieldOffset = -1;
    t.staged.clear();
    t.stagedPos = 0;
    return CURL_SEEKFUNC_OK;
}

size_t onUploadRead(char* buffer, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    if (!openUpload(t)) return CURL_READFUNC_ABORT;
    struct stat st {};
    if (::fstat(t.fd, &st) != 0 || st.st_size != t.fileSize) {
        t.failure = QStringLiteral("%1 changed size during the upload").arg(t.filePath);
        return CURL_READFUNC_ABORT;
    }
    const size_t wanted =
        size_t(std::min<curl_off_t>(curl_off_t(size * count), t.fileSize - t.fileOffset));
    size_t got = 0;
    while (got < wanted) {
        const ssize_t n =
            ::pread(t.fd, buffer + got, wanted - got, off_t(t.fileOffset) + off_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            t.failure = QStringLiteral("cannot read %1: %2").arg(t.filePath, systemError(errno));
            return CURL_READFUNC_ABORT;
        }
        if (n == 0) {
            t.failure = QStringLiteral("%1 shrank during the upload").arg(t.filePath);
            return CURL_READFUNC_ABORT;
        }
        got += size_t(n);
    }
    t.fileOffset += curl_off_t(got);
    return got;
}

// curl rewinds the body when it resends it, after a 307/308 redirect or on a fresh
// connection.
int onUploadSeek(void* arg, curl_off_t offset, int origin) {
    auto& t = *static_cast<Transfer*>(arg);
    if (origin != SEEK_SET || offset < 0 || offset > t.fileSize) return CURL_SEEKFUNC_FAIL;
    t.fileOffset = offset;
    return CURL_SEEKFUNC_OK;
}

}  // namespace

struct HttpsTransport::Engine {
    Options options;
    QByteArray userAgent = QByteArrayLiteral("ferrodock/" FERRODOCK_VERSION);
    CURLM* multi = nullptr;
    // Cleared when the transport goes away, so completions already posted do not run.
    std::shared_ptr<std::atomic<bool>> alive = std::make_shared<std::atomic<bool>>(true);

    std::mutex mutex;
    std::deque<std::unique_ptr<Transfer>> incoming;
    bool stopping = false;

    std::thread thread;

    // Transport thread only, until it has been joined.
    std::unordered_map<CURL*, std::unique_ptr<Transfer>> running;

    explicit Engine(Options o) : options(std::move(o)) {
        if (initCurl()) multi = curl_multi_init();
        if (multi) {
            curl_multi_setopt(multi, CURLMOPT_MAX_HOST_CONNECTIONS, kMaxHostConnections);
            thread = std::thread([this] { run(); });
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
            if (thread.joinable()) thread.join();
            // Torn down here rather than on the transport thread, so the completions (and
            // whatever they captured) die on the thread that destroys the transport.
            for (const auto& [easy, t] : running) curl_multi_remove_handle(multi, easy);
            running.clear();
            curl_multi_cleanup(multi);
        }
        // Whatever never reached the loop is dropped without a completion.
        incoming.clear();
    }

    std::unique_ptr<Transfer> transferTo(const QString& path, QObject* context,
                                         TransportCompletion completion);

    void submit(std::unique_ptr<Transfer> t) {
        t->maxAnswerBytes = options.maxAnswerBytes;
        t->idleLimit = options.idleLimit;
        if (!multi) {
            t->failure = QStringLiteral("cannot initialise libcurl");
            finish(std::move(t), CURLE_FAILED_INIT);
            return;
        }
        {
            std::lock_guard lock(mutex);
            incoming.push_back(std::move(t));
        }
        curl_multi_wakeup(multi);
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

            int active = 0;
            curl_multi_perform(multi, &active);
            int left = 0;
            while (CURLMsg* msg = curl_multi_info_read(multi, &left)) {
                if (msg->msg != CURLMSG_DONE) continue;
                CURL* easy = msg->easy_handle;
                const CURLcode code = msg->data.result;
                curl_multi_remove_handle(multi, easy);
                auto node = running.extract(easy);
                if (!node.empty()) finish(std::move(node.mapped()), code);
            }
            curl_multi_poll(multi, nullptr, 0, running.empty() ? kIdlePollMs : kBusyPollMs,
                            nullptr);
        }
    }

    void start(std::unique_ptr<Transfer> t) {
        if (t->isUpload) {
            // The size goes into the request headers, so it is taken now; the file itself is
            // opened when the request goes out.
            const QByteArray path = QFile::encodeName(t->filePath);
            struct stat st {};
            if (::stat(path.constData(), &st) != 0) {
                t->failure =
                    QStringLiteral("cannot open %1: %2").arg(t->filePath, systemError(errno));
                finish(std::move(t), CURLE_READ_ERROR);
                return;
            }
            if (!S_ISREG(st.st_mode)) {
                t->failure = QStringLiteral("%1 is not a regular file").arg(t->filePath);
                finish(std::move(t), CURLE_READ_ERROR);
                return;
            }
            t->fileSize = st.st_size;
        }
        if (!configure(*t)) {
            if (t->failure.isEmpty()) t->failure = QStringLiteral("cannot set up the request");
            finish(std::move(t), CURLE_FAILED_INIT);
            return;
        }
        CURL* easy = t->easy;
        if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
            t->failure = QStringLiteral("cannot start the request");
            finish(std::move(t), CURLE_FAILED_INIT);
            return;
        }
        running.emplace(easy, std::move(t));
    }

    bool configure(Transfer& t) {
        t.easy = curl_easy_init();
        if (!t.easy) return false;
        CURL* e = t.easy;
        bool ok = true;
        auto set = [&ok](CURLcode code) { ok = ok && code == CURLE_OK; };

        set(curl_easy_setopt(e, CURLOPT_URL, t.url.c_str()));
        set(curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer));
        set(curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L));
        set(curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent.constData()));
        // Never wait for a slow name lookup when the transport is destroyed.
        set(curl_easy_setopt(e, CURLOPT_QUICK_EXIT, 1L));

        set(curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https"));
        set(curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "https"));
        set(curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L));
        set(curl_easy_setopt(e, CURLOPT_MAXREDIRS, kMaxRedirects));
        // A moved endpoint still gets the upload instead of a bodiless GET; 303 keeps its
        // meaning of "fetch the result over there".
        set(curl_easy_setopt(e, CURLOPT_POSTREDIR,
                             long(CURL_REDIR_POST_301 | CURL_REDIR_POST_302)));

        set(curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L));
        set(curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L));
        if (!options.extraCaPem.isEmpty()) {
            // Replaces only the CA bundle file; the system CA directory stays in use.
            curl_blob blob{const_cast<char*>(options.extraCaPem.constData()),
                           size_t(options.extraCaPem.size()), CURL_BLOB_COPY};
            set(curl_easy_setopt(e, CURLOPT_CAINFO_BLOB, &blob));
        }

        set(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(options.connectLimit.count())));
        set(curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, onRequestStart));
        set(curl_easy_setopt(e, CURLOPT_PREREQDATA, &t));
        set(curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L));
        set(curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress));
        set(curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t));
        set(curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader));
        set(curl_easy_setopt(e, CURLOPT_HEADERDATA, &t));
        set(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onAnswer));
        set(curl_easy_setopt(e, CURLOPT_WRITEDATA, &t));

        if (t.isUpload) {
            t.mime = curl_mime_init(e);
            if (!t.mime) return false;
            for (const auto& [name, value] : t.fields) {
                curl_mimepart* part = curl_mime_addpart(t.mime);
                if (!part) return false;
                set(curl_mime_name(part, name.constData()));
                set(curl_mime_data(part, value.constData(), size_t(value.size())));
            }
            curl_mimepart* file = curl_mime_addpart(t.mime);
            if (!file) return false;
            set(curl_mime_name(file, "file"));
            set(curl_mime_filename(file, t.fileName.constData()));
            set(curl_mime_type(file, t.mimeType.constData()));
            set(curl_mime_data_cb(file, t.fileSize, onUploadRead, onUploadSeek, nullptr, &t));
            set(curl_easy_setopt(e, CURLOPT_MIMEPOST, t.mime));
            set(curl_easy_setopt(e, CURLOPT_UPLOAD_BUFFERSIZE, kUploadBufferBytes));
        } else {
            t.headers =
                curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
            if (!t.headers) return false;
            set(curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers));
            if (t.formFields.isEmpty()) {
                set(curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE,
                                     curl_off_t(t.formBody.size())));
                set(curl_easy_setopt(e, CURLOPT_POSTFIELDS, t.formBody.constData()));
            } else {
                curl_off_t total = 0;
                for (qsizetype i = 0; i < t.formFields.size(); ++i) {
                    total += (i > 0) + t.formFields[i].first.toUtf8().size() + 1 +
                             formEncodedSize(t.formFields[i].second);
                }
                set(curl_easy_setopt(e, CURLOPT_POST, 1L));
                set(curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, total));
                set(curl_easy_setopt(e, CURLOPT_READFUNCTION, onFormRead));
                set(curl_easy_setopt(e, CURLOPT_READDATA, &t));
                set(curl_easy_setopt(e, CURLOPT_SEEKFUNCTION, onFormSeek));
                set(curl_easy_setopt(e, CURLOPT_SEEKDATA, &t));
            }
        }
        return ok;
    }

    void finish(std::unique_ptr<Transfer> t, CURLcode code) {
        TransportResult result;
        if (code == CURLE_OK) {
            result.ok = true;
            curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &result.status);
            result.body = std::move(t->answer);
        } else if (!t->failure.isEmpty()) {
            result.error = t->failure;
        } else {
            const QString text = t->errorBuffer[0] ? QString::fromUtf8(t->errorBuffer).trimmed()
                                                   : QString::fromUtf8(curl_easy_strerror(code));
            result.error = QStringLiteral("%1 (curl error %2)").arg(text).arg(int(code));
        }
        deliver(*t, std::move(result));
    }

    void deliver(Transfer& t, TransportResult result) {
        std::lock_guard lock(t.guard->mutex);
        if (!t.guard->target) return;
        QMetaObject::invokeMethod(
            t.guard->target,
            // Qt may free this functor on the posting thread, after it ran; moving the
            // completion and the result out lets them die on the context's thread instead.
            [alive = alive, completion = std::move(t.completion),
             result = std::move(result)]() mutable {
                const TransportCompletion run = std::exchange(completion, nullptr);
                const TransportResult delivered = std::move(result);
                if (alive->load()) run(delivered);
            },
            Qt::QueuedConnection);
    }
};

HttpsTransport::HttpsTransport(Options options)
    : engine_(std::make_unique<Engine>(std::move(options))) {}

HttpsTransport::~HttpsTransport() = default;

// A transfer to origin + `path` whose completion is delivered to `context`.
std::unique_ptr<Transfer> HttpsTransport::Engine::transferTo(const QString& path, QObject* context,
                                                             TransportCompletion completion) {
    auto t = std::make_unique<Transfer>();
    t->url = (options.origin + path).toStdString();
    t->guard = guardContext(context);
    t->completion = std::move(completion);
    return t;
}

void HttpsTransport::postForm(const QString& path, const QByteArray& body, QObject* context,
                              TransportCompletion completion) {
    auto t = engine_->transferTo(path, context, std::move(completion));
    t->formBody = body;
    engine_->submit(std::move(t));
}

void HttpsTransport::postFields(const QString& path, const QList<FormField>& fields,
                                QObject* context, TransportCompletion completion) {
    auto t = engine_->transferTo(path, context, std::move(completion));
    t->formFields = fields;
    engine_->submit(std::move(t));
}

void HttpsTransport::uploadFile(const QString& path, const QList<FormField>& fields,
                                const QString& filePath, const QString& mimeType, QObject* context,
                                TransportCompletion completion) {
    auto t = engine_->transferTo(path, context, std::move(completion));
    t->isUpload = true;
    for (const FormField& field : fields)
        t->fields.emplace_back(field.first.toUtf8(), field.second.toUtf8());
    t->filePath = filePath;
    t->fileName = filePath.mid(filePath.lastIndexOf(QLatin1Char('/')) + 1).toUtf8();
    t->mimeType = mimeType.toUtf8();
    engine_->submit(std::move(t));
}

}  // namespace ferrodock
