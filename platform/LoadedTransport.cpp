#include "platform/LoadedTransport.h"

#include <QMetaObject>
#include <QObject>

#include <dlfcn.h>

namespace ferrodock {

LoadedTransport::LoadedTransport(QByteArray modulePath, HttpsTransport::Options options)
    : modulePath_(std::move(modulePath)), options_(std::move(options)) {}

// The module stays mapped: the transport's thread and posted completions run its code.
LoadedTransport::~LoadedTransport() = default;

Transport* LoadedTransport::loaded() {
    if (inner_ || !failure_.isEmpty()) return inner_.get();
    void* module = ::dlopen(modulePath_.constData(), RTLD_NOW | RTLD_LOCAL);
    const auto make =
        module ? reinterpret_cast<MakeTransport>(::dlsym(module, kMakeTransport)) : nullptr;
    if (make) inner_.reset(make(options_));
    if (!inner_)
        failure_ = QStringLiteral("cannot load the transport: %1")
                       .arg(QString::fromLocal8Bit(::dlerror()));
    return inner_.get();
}

TransferHandle LoadedTransport::fail(QObject* context, TransportCompletion completion) const {
    TransportResult result;
    result.error = failure_;
    result.kind = TransportError::Other;
    QMetaObject::invokeMethod(
        context, [completion = std::move(completion), result] { completion(result); },
        Qt::QueuedConnection);
    return TransferHandle(std::make_shared<TransferHandle::State>());
}

TransferHandle LoadedTransport::postFields(const QString& path, QList<FormField> fields,
                                           QObject* context, TransportCompletion completion,
                                           ProgressReport progress) {
    Transport* transport = loaded();
    if (!transport) return fail(context, std::move(completion));
    return transport->postFields(path, std::move(fields), context, std::move(completion),
                                 progressFor(context, std::move(progress)));
}

TransferHandle LoadedTransport::uploadFile(const QString& path, const QList<FormField>& fields,
                                           const QString& filePath, const QString& mimeType,
                                           QObject* context, TransportCompletion completion,
                                           ProgressReport progress) {
    Transport* transport = loaded();
    if (!transport) return fail(context, std::move(completion));
    return transport->uploadFile(path, fields, filePath, mimeType, context, std::move(completion),
                                 progressFor(context, std::move(progress)));
}

}  // namespace ferrodock
