#include "platform/Transfer.h"

#include <QLoggingCategory>
#include <QObject>

namespace ferrodock {

namespace transfer {

namespace {

// Reports go out at most this often; the figures a person reads change no faster.
constexpr auto kReportInterval = std::chrono::milliseconds(100);

TransportError kindOfCode(const Transfer& t, CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
            return TransportError::Unreachable;
        case CURLE_OPERATION_TIMEDOUT:
            // Only the connect limit is curl's own; ours set failureKind.
            return t.sending ? TransportError::NoAnswer : TransportError::Unreachable;
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_ISSUER_ERROR:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return TransportError::Untrusted;
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
        case CURLE_SSL_CONNECT_ERROR:
        case CURLE_HTTP2:
        case CURLE_HTTP2_STREAM:
            return TransportError::ConnectionLost;
        default:
            return TransportError::Other;
    }
}

// What a finished transfer ended with.
TransportResult classify(Transfer& t, CURLcode code) {
    TransportResult result;
    if (t.control && t.control->cancelled.load()) {
        result.kind = TransportError::Cancelled;
        result.error = QStringLiteral("cancelled");
        return result;
    }
    if (code == CURLE_OK) {
        result.ok = true;
        result.body = std::move(t.answer);
        return result;
    }
    const auto* upload = std::get_if<UploadBody>(&t.body);
    if (upload && upload->problem != TransportError::None)
        result.kind = upload->problem;
    else if (t.failureKind != TransportError::None)
        result.kind = t.failureKind;
    else
        result.kind = kindOfCode(t, code);
    result.limit = t.failedLimit;
    if (!t.failure.isEmpty()) {
        result.error = t.failure;
    } else {
        const QString text = t.errorBuffer[0] ? QString::fromUtf8(t.errorBuffer).trimmed()
                                              : QString::fromUtf8(curl_easy_strerror(code));
        result.error = QStringLiteral("%1 (curl error %2)").arg(text).arg(int(code));
    }
    return result;
}

// Debug lines only when asked for (QT_LOGGING_RULES), never by default: on a terminal they
// would run into the progress line.
Q_LOGGING_CATEGORY(lcTransport, "ferrodock.transport", QtInfoMsg)

// One debug line a request: method, path, status, timings, sizes; never a body, so never a
// password or a key.
void logRequest(const Transfer& t, const TransportResult& result) {
    if (!lcTransport().isDebugEnabled() || !t.easy) return;
    long status = 0;
    curl_off_t total = 0, connect = 0, tls = 0, firstByte = 0, sent = 0;
    curl_easy_getinfo(t.easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(t.easy, CURLINFO_TOTAL_TIME_T, &total);
    curl_easy_getinfo(t.easy, CURLINFO_CONNECT_TIME_T, &connect);
    curl_easy_getinfo(t.easy, CURLINFO_APPCONNECT_TIME_T, &tls);
    curl_easy_getinfo(t.easy, CURLINFO_STARTTRANSFER_TIME_T, &firstByte);
    curl_easy_getinfo(t.easy, CURLINFO_SIZE_UPLOAD_T, &sent);
    const std::string_view url(t.url);
    const size_t path = url.find('/', url.find("//") + 2);
    const auto ms = [](curl_off_t us) { return double(us) / 1000.0; };
    qCDebug(lcTransport,
            "POST %s: %s, status %ld, %.1f ms (connected %.1f, TLS %.1f, first byte %.1f), "
            "%lld bytes sent, %lld received%s%s",
            path == std::string_view::npos ? "/" : t.url.c_str() + path,
            result.ok ? "done" : "failed", status, ms(total), ms(connect), ms(tls), ms(firstByte),
            static_cast<long long>(sent), static_cast<long long>(t.readBytes),
            result.ok ? "" : ": ", result.ok ? "" : qUtf8Printable(result.error));
}

// Runs `f` on the thread of the guarded context, unless the context is gone by then.
template <typename F>
void post(const std::shared_ptr<ContextGuard>& guard, F f) {
    std::lock_guard lock(guard->mutex);
    if (!guard->target) return;
    std::lock_guard posting(handoff());
    QMetaObject::invokeMethod(
        guard->target,
        [guard, f = std::move(f)]() mutable {
            handedOver();
            f();
        },
        Qt::QueuedConnection);
}

}  // namespace

void Waker::wake() {
    std::lock_guard lock(mutex);
    if (multi) curl_multi_wakeup(multi);
}

TransportResult resultOf(Transfer& t, CURLcode code) {
    TransportResult result = classify(t, code);
    logRequest(t, result);
    return result;
}

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

void deliver(Transfer& t, TransportResult result, std::shared_ptr<std::atomic<bool>> alive) {
    post(t.guard, [alive = std::move(alive), completion = std::move(t.completion),
                   result = std::move(result)]() mutable {
        const TransportCompletion run = std::exchange(completion, nullptr);
        const TransportResult delivered = std::move(result);
        if (alive->load()) run(delivered);
    });
}

void reportProgress(Transfer& t, curl_off_t up, curl_off_t upTotal) {
    if (!t.progress) return;
    const bool fullySent = t.sent && !t.reportedSent;
    const Clock::time_point now = Clock::now();
    if (!fullySent && (t.sent || now - t.lastReport < kReportInterval)) return;
    // The fully-sent report goes out even while another waits: it is the last one.
    if (t.reportPending->exchange(true) && !fullySent) return;
    t.lastReport = now;
    t.reportedSent = t.reportedSent || fullySent;
    const TransportProgress report{qint64(up), qint64(upTotal), t.sent};
    // The report and its function are shared, so the function never dies on this thread.
    post(t.guard, [progress = std::make_shared<ProgressReport>(t.progress), control = t.control,
                   pending = t.reportPending, report] {
        pending->store(false);
        if (control && control->cancelled.load()) return;
        (*progress)(report);
    });
}

}  // namespace transfer

}  // namespace ferrodock
