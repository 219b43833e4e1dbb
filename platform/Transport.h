#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace ferrodock {

// What one request ended with. `ok` is false when the request could not be completed (no
// connection, TLS failure, time-out, an answer over the size cap, an unreadable upload file);
// `error` then says why in words meant for standard error, never for the user. Callers judge
// answers by their body, whatever the HTTP status.
struct TransportResult {
    bool ok = false;
    QByteArray body;
    QString error;
};

using TransportCompletion = std::function<void(const TransportResult&)>;

// One field of a form: a urlencoded post or the text part of a multipart upload.
struct FormField {
    QString name;
    QString value;
};

// The HTTPS transport the delegate talks to the service through. Requests overlap freely and
// are never cancelled by callers; each completion runs exactly once, on the thread of
// `context` (the main thread for the delegate), in the order the requests finished. A
// completion whose context has been destroyed is dropped.
class Transport {
public:
    virtual ~Transport() = default;

    // POSTs the urlencoded form of `fields` (names as given, values percent-encoded UTF-8) to
    // origin + `path` as application/x-www-form-urlencoded; values are encoded while they are
    // sent, and the transport's copies are wiped once the request ends.
    virtual void postFields(const QString& path, const QList<FormField>& fields, QObject* context,
                            TransportCompletion completion) = 0;

    // POSTs multipart/form-data to origin + `path`: the text `fields` in order, then the file at
    // `filePath` under the name "file", with its base name as file name and `mimeType` as
    // its content type. The file is streamed from disk, never read whole.
    virtual void uploadFile(const QString& path, const QList<FormField>& fields,
                            const QString& filePath, const QString& mimeType, QObject* context,
                            TransportCompletion completion) = 0;
};

// The process-wide transport the delegate uses, like a shared URL session. The application
// installs one at start; tests install their own. Installing replaces (and destroys) the
// previous one.
Transport& sharedTransport();
void installSharedTransport(std::unique_ptr<Transport> transport);

}  // namespace ferrodock
