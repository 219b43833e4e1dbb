#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

class QObject;

namespace ferrodock {

// Why a request failed, in classes a person can act on; the detail string says the rest.
enum class TransportError {
    None,
    Unreachable,     // no connection to the host (name, refused, connect time-out)
    ConnectionLost,  // the connection broke while the request or the answer was under way
    NoAnswer,        // nothing moved for the idle limit, or no answer within the deadline
    Untrusted,       // the service's certificate is not trusted for its name
    FileChanged,     // the upload file changed size while it was being sent
    FileGone,        // the upload file is no longer there
    NotRegular,      // the upload file is (now) a folder, a pipe, a device...
    FileUnreadable,  // the upload file could not be opened or read
    NotText,         // the answer is not text (judged by the caller)
    TooLarge,        // the answer is over the size cap
    Cancelled,       // the caller cancelled it
    Other,
};

// What one request ended with. `ok` is false when the request could not be completed; `kind`
// then says why for the person, `error` in words meant for the log, never for the user, and
// `limit` (for NoAnswer) which limit ran out. Callers judge answers by their body, whatever the
// HTTP status.
struct TransportResult {
    bool ok = false;
    QByteArray body;
    QString error;
    TransportError kind = TransportError::None;
    std::chrono::milliseconds limit{0};
};

using TransportCompletion = std::function<void(const TransportResult&)>;

// How far a request is: bytes of the request body sent of `total` (0 when not known yet);
// `fullySent` once the whole request is out and only the answer is awaited.
struct TransportProgress {
    qint64 sent = 0;
    qint64 total = 0;
    bool fullySent = false;
};
using ProgressReport = std::function<void(const TransportProgress&)>;

// Stops one request. Cancelling aborts the transfer at once: nothing more is sent and the
// connection is closed. The completion then runs once with kind Cancelled, unless the request
// had already finished, in which case its own result is delivered. Copyable, callable from
// any thread, harmless after the request ended or the transport went away.
class TransferHandle {
public:
    struct State;
    TransferHandle() = default;
    explicit TransferHandle(std::shared_ptr<State> state) : state_(std::move(state)) {}
    void cancel() const;
    bool isNull() const { return !state_; }

private:
    std::shared_ptr<State> state_;
};

// What a handle shares with its transport: the flag, and how to wake the transport to see
// it, set before the handle is handed out.
struct TransferHandle::State {
    std::atomic<bool> cancelled{false};
    std::function<void()> wake;
};

// One field of a form: a urlencoded post or the text part of a multipart upload. A value
// already in UTF-8 may come as `utf8` instead, sent in place of `value` when not empty: a
// large paste is then held once, at its UTF-8 size.
struct FormField {
    QString name;
    QString value;
    QByteArray utf8{};
};

// The HTTPS transport the window and the commands talk to the service through. Requests
// overlap freely; each completion runs exactly once, on the thread of `context` (the main
// thread for the window), in the order the requests finished. A completion whose context has
// been destroyed is dropped. `progress`, when given, runs on the same thread at most about ten
// times a second, and once more when the request is fully sent; never after the completion.
class Transport {
public:
    virtual ~Transport() = default;

    // POSTs the urlencoded form of `fields` (names as given, values percent-encoded UTF-8) to
    // origin + `path` as application/x-www-form-urlencoded; values are encoded while they are
    // sent, and the transport's copies are wiped once the request ends. A value the caller
    // moves in and shares with nobody is taken as it is, not copied (a large paste).
    virtual TransferHandle postFields(const QString& path, QList<FormField> fields,
                                      QObject* context, TransportCompletion completion,
                                      ProgressReport progress = {}) = 0;

    // POSTs multipart/form-data to origin + `path`: the text `fields` in order, then the file at
    // `filePath` under the name "file", with its base name as file name and `mimeType` as
    // its content type. The file is streamed from disk, never read whole.
    virtual TransferHandle uploadFile(const QString& path, const QList<FormField>& fields,
                                      const QString& filePath, const QString& mimeType,
                                      QObject* context, TransportCompletion completion,
                                      ProgressReport progress = {}) = 0;

    // Every request started for `context` without a progress report of its own reports to
    // `progress` while the watch is set; an empty one ends the watch. Main thread only.
    void watchProgress(const QObject* context, ProgressReport progress);

protected:
    ProgressReport progressFor(const QObject* context, ProgressReport own) const;

private:
    QHash<const QObject*, ProgressReport> watches_;
};

}  // namespace ferrodock
