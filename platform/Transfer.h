#pragma once

#include "core/Transport.h"

#include <QMetaObject>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

// The pieces of one HTTPS request shared by the transport's engine, its request bodies and the
// setup every transfer gets. Internal to the transport.
namespace ferrodock::transfer {

using Clock = std::chrono::steady_clock;

// Lets the transport thread post to a context without racing its destruction on another
// thread: `destroyed` clears `target` under the mutex, and posting happens under it too.
struct ContextGuard {
    std::mutex mutex;
    QObject* target = nullptr;
    QMetaObject::Connection watch;
};

// Held by the transport thread while it posts a function, and taken first by the function on
// the context's thread: that waits until the transport thread has let go, so that Qt's own
// reference to the function is dropped there first and the function is freed on the context's
// thread, never on the transport thread. At a fixed address, it is taken before anything the
// function carries is read, which hands all of it over in an order the thread sanitizer sees
// (Qt's event queue locks are invisible to it).
inline std::mutex& handoff() {
    static std::mutex mutex;
    return mutex;
}
inline void handedOver() {
    std::lock_guard posted(handoff());
}

// A urlencoded form, encoded while it is sent. Values are private copies, wiped when the
// transfer ends, and so is every encoded piece.
struct FormBody {
    QList<FormField> fields;
    qsizetype fieldIndex = 0;
    qsizetype fieldOffset = -1;  // -1: the "&name=" part is next
    std::string staged;
    size_t stagedPos = 0;
};

// Text fields, then one file under the name "file", as multipart/form-data.
struct UploadBody {
    std::vector<std::pair<QByteArray, QByteArray>> fields;
    QString filePath;
    QByteArray fileName;
    QByteArray mimeType;
    curl_mime* mime = nullptr;
    int fd = -1;
    curl_off_t fileSize = 0;  // announced in the request, so it must not change
    curl_off_t fileOffset = 0;
    // A file that reports size 0 (as /proc files do) is read whole before sending.
    bool readWhole = false;
    QByteArray content;
    TransportError problem = TransportError::None;  // what went wrong with the file
};

using RequestBody = std::variant<FormBody, UploadBody>;

// What bounds a transfer; the engine's options, copied into each transfer.
struct Limits {
    std::chrono::milliseconds idle;    // while the request is being sent
    std::chrono::milliseconds answer;  // for the answer, once the request is sent
    qint64 readBytes;                  // headers, framing and body of one answer together
};

// Decodes "Transfer-Encoding: chunked" ourselves, so that the framing counts against the cap
// like any other byte read.
struct ChunkDecoder {
    // Trailer: past the last chunk, where only trailer lines and the end are left, which curl
    // finds itself.
    enum class State { Size, Extension, SizeEnd, Data, DataCr, DataLf, Trailer };
    State state = State::Size;
    qint64 left = 0;
    bool sawDigit = false;
    // Appends the payload in `data` to `out`; false when the framing is malformed.
    bool feed(const char* data, size_t size, QByteArray& out);
};

struct Transfer {
    std::string url;
    RequestBody body;
    std::shared_ptr<ContextGuard> guard;
    TransportCompletion completion;
    Limits limits{};
    int redirects = 0;

    // Owned by the transport thread from here on.
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;

    bool sending = false;  // curl has a connection for this transfer
    bool sent = false;     // the whole request is out; the answer deadline runs
    Clock::time_point lastActivity;
    Clock::time_point sentAt;
    curl_off_t lastUp = -1;  // request bytes sent at the last progress seen

    qint64 readBytes = 0;  // everything read for the current answer
    bool chunked = false;
    ChunkDecoder chunks;
    QByteArray answer;

    QString failure;  // our own reason, preferred over curl's text
    TransportError failureKind = TransportError::None;
    std::chrono::milliseconds failedLimit{0};

    // Shared with the caller's handle; set from any thread.
    std::shared_ptr<TransferHandle::State> control;
    ProgressReport progress;
    Clock::time_point lastReport;
    bool reportedSent = false;
    // Set while a report is on its way to the context: the next waits, so a busy context
    // never gets a queue of them.
    std::shared_ptr<std::atomic<bool>> reportPending = std::make_shared<std::atomic<bool>>(false);
    char errorBuffer[CURL_ERROR_SIZE] = {};

    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    ~Transfer();  // callers remove the handle from the multi handle first

    void touch() { lastActivity = Clock::now(); }
    // Forgets the previous answer before the request goes out (again).
    void restart();
};

// Wakes the engine's loop from any thread; `multi` is cleared before the multi handle goes.
struct Waker {
    std::mutex mutex;
    CURLM* multi = nullptr;
    void wake();
};

// A guard for `context` that clears itself when the context is destroyed.
std::shared_ptr<ContextGuard> guardContext(QObject* context);
// Posts `result` to the transfer's completion on its context's thread; dropped when the
// context is gone, and not run once `alive` is false.
void deliver(Transfer& t, TransportResult result, std::shared_ptr<std::atomic<bool>> alive);
// The result a finished transfer delivers (TransferControl.cpp), for curl's `code`.
TransportResult resultOf(Transfer& t, CURLcode code);
// Posts progress to the transfer's context, coalesced; called on every curl progress tick.
void reportProgress(Transfer& t, curl_off_t up, curl_off_t upTotal);

// The system trust store (TrustStore.cpp): libcurl's system CA folder when it holds hashed names
// ("5ad8a5d6.0", as update-ca-certificates keeps them), else null. The same store as the bundle
// file, but OpenSSL reads only the certificates a chain needs instead of the whole bundle (~45 ms).
const char* hashedCaFolder();
// Whether `folder` holds a certificate under a hashed name; false for none or no such folder.
bool holdsHashedNames(const char* folder);

// The upload file (UploadFile.cpp). Takes the file's size, or reads it whole when it reports
// none; false with `failure` set.
bool prepareUpload(UploadBody& upload, QString& failure);
// Opens the upload file when the request is about to go out, without blocking: a pipe or a
// device in its place fails; false with `failure` set.
bool openUpload(UploadBody& upload, QString& failure);

// Request bodies (RequestBody.cpp).
FormBody formBody(QList<FormField> fields);
bool attachBody(Transfer& t);
void rewindBody(Transfer& t);
void releaseBody(RequestBody& body);

// What every transfer sets up (TransferSetup.cpp): TLS, HTTP/1.1, limits and answer capture.
bool configureTransfer(Transfer& t, const QByteArray& userAgent, const QByteArray& extraCaPem,
                       std::chrono::milliseconds connectLimit);
}  // namespace ferrodock::transfer
