#pragma once

#include "platform/HttpsTransport.h"

#include <QByteArray>

#include <memory>

namespace ferrodock {

// The HTTPS transport from its module (ferrodock-transport.so), loaded at the first request:
// libcurl and all it pulls in (TLS, Kerberos, LDAP, SSH) are mapped and relocated only by a
// run that sends something, never before the window's first frame. When the module cannot be
// loaded, each request fails with kind Other, the reason in its error.
class LoadedTransport final : public Transport {
public:
    LoadedTransport(QByteArray modulePath, HttpsTransport::Options options);
    ~LoadedTransport() override;

    TransferHandle postFields(const QString& path, QList<FormField> fields, QObject* context,
                              TransportCompletion completion,
                              ProgressReport progress = {}) override;
    TransferHandle uploadFile(const QString& path, const QList<FormField>& fields,
                              const QString& filePath, const QString& mimeType, QObject* context,
                              TransportCompletion completion,
                              ProgressReport progress = {}) override;

private:
    Transport* loaded();
    TransferHandle fail(QObject* context, TransportCompletion completion) const;

    QByteArray modulePath_;
    HttpsTransport::Options options_;
    std::unique_ptr<Transport> inner_;
    QString failure_;
};

// What the module exports: a transport made with `options`, owned by the caller.
using MakeTransport = Transport* (*)(const HttpsTransport::Options& options);
inline constexpr char kMakeTransport[] = "ferrodock_make_transport";

}  // namespace ferrodock
