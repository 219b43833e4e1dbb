#include "core/Transport.h"

#include <QMetaObject>

namespace ferrodock {

namespace {
std::unique_ptr<Transport>& slot() {
    static std::unique_ptr<Transport> transport;
    return transport;
}

// Stands in until a real transport is installed, so a misconfigured start fails requests
// instead of crashing.
class NoTransport final : public Transport {
public:
    TransferHandle postFields(const QString&, QList<FormField>, QObject* context,
                              TransportCompletion completion, ProgressReport) override {
        fail(context, std::move(completion));
        return {};
    }
    TransferHandle uploadFile(const QString&, const QList<FormField>&, const QString&,
                              const QString&, QObject* context, TransportCompletion completion,
                              ProgressReport) override {
        fail(context, std::move(completion));
        return {};
    }

private:
    static void fail(QObject* context, TransportCompletion completion) {
        QMetaObject::invokeMethod(
            context,
            [completion = std::move(completion)] {
                completion(TransportResult{
                    false, {}, QStringLiteral("no transport installed"), TransportError::Other});
            },
            Qt::QueuedConnection);
    }
};

}  // namespace

void Transport::watchProgress(const QObject* context, ProgressReport progress) {
    if (progress)
        watches_.insert(context, std::move(progress));
    else
        watches_.remove(context);
}

ProgressReport Transport::progressFor(const QObject* context, ProgressReport own) const {
    return own ? own : watches_.value(context);
}

Transport& sharedTransport() {
    if (!slot()) slot() = std::make_unique<NoTransport>();
    return *slot();
}

void installSharedTransport(std::unique_ptr<Transport> transport) {
    slot() = std::move(transport);
}

}  // namespace ferrodock
