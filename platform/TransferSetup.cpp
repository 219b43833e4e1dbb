#include "platform/Transfer.h"

#include <QObject>

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace ferrodock::transfer {

namespace {

// Forward-secret AEAD suites for TLS 1.2; every TLS 1.3 suite already is one.
constexpr char kTls12Ciphers[] =
    "ECDHE-ECDSA-AES128-GCM-SHA256:ECDHE-RSA-AES128-GCM-SHA256:"
    "ECDHE-ECDSA-AES256-GCM-SHA384:ECDHE-RSA-AES256-GCM-SHA384:"
    "ECDHE-ECDSA-CHACHA20-POLY1305:ECDHE-RSA-CHACHA20-POLY1305";

QString seconds(std::chrono::milliseconds limit) {
    return QString::number(double(limit.count()) / 1000.0, 'f', 1);
}

bool overCap(Transfer& t, size_t bytes) {
    t.readBytes += qint64(bytes);
    if (t.readBytes <= t.limits.readBytes) return false;
    t.failureKind = TransportError::TooLarge;
    t.failure = QStringLiteral("the answer is larger than %1 bytes").arg(t.limits.readBytes);
    return true;
}

// The name must be in subjectAltName: unlike curl's own check, never fall back to the
// common name. The host is the origin's, as redirects never leave it.
CURLcode onTlsContext(CURL*, void* sslContext, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    const std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), curl_url_cleanup);
    char* host = nullptr;
    const bool parsed = url &&
                        curl_url_set(url.get(), CURLUPART_URL, t.url.c_str(), 0) == CURLUE_OK &&
                        curl_url_get(url.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK;
    const std::unique_ptr<char, decltype(&curl_free)> hostHeld(host, curl_free);
    std::string name = parsed ? host : "";
    if (name.size() > 2 && name.front() == '[') name = name.substr(1, name.size() - 2);
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(static_cast<SSL_CTX*>(sslContext));
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
    const bool set = X509_VERIFY_PARAM_set1_ip_asc(param, name.c_str()) == 1 ||
                     X509_VERIFY_PARAM_set1_host(param, name.c_str(), name.size()) == 1;
    return parsed && set ? CURLE_OK : CURLE_SSL_CERTPROBLEM;
}

size_t onHeader(char* data, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    const size_t bytes = size * count;
    // No header line counts as progress: an interim (1xx) answer every so often must not
    // keep a request whose body does not move alive for ever.
    if (overCap(t, bytes)) return 0;
    const std::string_view line(data, bytes);
    if (line.starts_with("HTTP/")) {
        t.chunked = false;  // a new answer after an interim one
        t.chunks = {};
        // A final answer has begun, so the request is out (or never will be).
        const size_t code = line.find(' ');
        if (code != std::string_view::npos && !line.substr(code + 1).starts_with('1'))
            t.sent = true;
        return bytes;
    }
    constexpr std::string_view kName = "transfer-encoding:";
    const auto lower = [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); };
    if (!std::ranges::equal(line.substr(0, kName.size()), kName, {}, lower)) return bytes;
    std::string value;
    for (char c : line.substr(kName.size()))
        if (!std::isspace(static_cast<unsigned char>(c)))
            value += char(std::tolower(static_cast<unsigned char>(c)));
    if (value != "chunked") {
        t.failure = QStringLiteral("the answer uses an unsupported transfer coding");
        return 0;
    }
    t.chunked = true;
    return bytes;
}

size_t onAnswer(char* data, size_t size, size_t count, void* arg) {
    auto& t = *static_cast<Transfer*>(arg);
    const size_t bytes = size * count;
    if (overCap(t, bytes)) return 0;
    if (!t.chunked) {
        t.answer.append(data, qsizetype(bytes));
        return bytes;
    }
    if (!t.chunks.feed(data, bytes, t.answer)) {
        t.failure = QStringLiteral("the answer's chunked framing is malformed");
        return 0;
    }
    return bytes;
}

// Called once curl has a connection for the transfer (also on a retry). Transfers waiting for
// a free connection never get here, so their wait does not count as idle time. The upload
// file is opened only now, when the request is about to go out.
int onRequestStart(void* arg, char*, char*, int, int) {
    auto& t = *static_cast<Transfer*>(arg);
    t.sending = true;
    // Also when curl sends it again on a new connection after a kept one died under it: the
    // body goes out again, so its being fully sent is news again.
    t.sent = false;
    t.reportedSent = false;
    t.sentAt = {};
    t.lastUp = -1;
    t.touch();
    if (auto* upload = std::get_if<UploadBody>(&t.body);
        upload && !upload->readWhole && !openUpload(*upload, t.failure))
        return CURL_PREREQFUNC_ABORT;
    return CURL_PREREQFUNC_OK;
}

// While sending, a transfer fails when no byte of the request goes out for the idle limit;
// once the request is out, the answer has a deadline of its own, however slowly it trickles
// in. Nothing the service sends while the request goes out stretches either limit.
int onProgress(void* arg, curl_off_t, curl_off_t, curl_off_t upTotal, curl_off_t up) {
    auto& t = *static_cast<Transfer*>(arg);
    if (t.control && t.control->cancelled.load()) return 1;
    if (!t.sending) return 0;
    reportProgress(t, up, upTotal);
    const Clock::time_point now = Clock::now();
    if (!t.sent && upTotal > 0 && up >= upTotal) {
        t.sent = true;
        t.sentAt = now;
    }
    if (t.sent) {
        if (t.sentAt == Clock::time_point{}) t.sentAt = now;
        if (now - t.sentAt < t.limits.answer) return 0;
        t.failureKind = TransportError::NoAnswer;
        t.failedLimit = t.limits.answer;
        t.failure = QStringLiteral("no complete answer within %1 s of sending the request")
                        .arg(seconds(t.limits.answer));
        return 1;
    }
    if (up != t.lastUp) {
        t.lastUp = up;
        t.touch();
        return 0;
    }
    if (now - t.lastActivity < t.limits.idle) return 0;
    t.failureKind = TransportError::NoAnswer;
    t.failedLimit = t.limits.idle;
    t.failure = QStringLiteral("no data moved for %1 s").arg(seconds(t.limits.idle));
    return 1;
}

}  // namespace

Transfer::~Transfer() {
    if (easy) curl_easy_cleanup(easy);
    releaseBody(body);
    if (headers) curl_slist_free_all(headers);
    if (guard) QObject::disconnect(guard->watch);
}

void Transfer::restart() {
    sending = false;
    sent = false;
    sentAt = {};
    readBytes = 0;
    chunked = false;
    chunks = {};
    answer.clear();
    errorBuffer[0] = '\0';
}

bool configureTransfer(Transfer& t, const QByteArray& userAgent, const QByteArray& extraCaPem,
                       std::chrono::milliseconds connectLimit) {
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
    // One request at a time per connection gains nothing from HTTP/2, whose flow control
    // makes libcurl spin on a slow reader.
    set(curl_easy_setopt(e, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1)));
    set(curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "https"));
    // Redirects are followed by the engine, within the origin only.
    set(curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L));

    set(curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L));
    set(curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L));
    set(curl_easy_setopt(e, CURLOPT_SSLVERSION, long(CURL_SSLVERSION_TLSv1_2)));
    set(curl_easy_setopt(e, CURLOPT_SSL_CIPHER_LIST, kTls12Ciphers));
    set(curl_easy_setopt(e, CURLOPT_SSL_CTX_FUNCTION, onTlsContext));
    set(curl_easy_setopt(e, CURLOPT_SSL_CTX_DATA, &t));
    if (!extraCaPem.isEmpty()) {
        // Replaces only the CA bundle file; the system CA directory stays in use.
        curl_blob blob{const_cast<char*>(extraCaPem.constData()), size_t(extraCaPem.size()),
                       CURL_BLOB_COPY};
        set(curl_easy_setopt(e, CURLOPT_CAINFO_BLOB, &blob));
    } else if (const char* folder = hashedCaFolder()) {
        set(curl_easy_setopt(e, CURLOPT_CAINFO, nullptr));
        set(curl_easy_setopt(e, CURLOPT_CAPATH, folder));
    }

    set(curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, long(connectLimit.count())));
    set(curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, onRequestStart));
    set(curl_easy_setopt(e, CURLOPT_PREREQDATA, &t));
    set(curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L));
    set(curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, onProgress));
    set(curl_easy_setopt(e, CURLOPT_XFERINFODATA, &t));
    set(curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, onHeader));
    set(curl_easy_setopt(e, CURLOPT_HEADERDATA, &t));
    // The raw body, chunk framing included, reaches onAnswer and counts against the cap.
    set(curl_easy_setopt(e, CURLOPT_HTTP_TRANSFER_DECODING, 0L));
    set(curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, onAnswer));
    set(curl_easy_setopt(e, CURLOPT_WRITEDATA, &t));
    return ok && attachBody(t);
}

}  // namespace ferrodock::transfer
