#include "platform/Transport.h"

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
    void postFields(const QString&, const QList<FormField>&, QObject* context,
                    TransportCompletion completion) override {
        fail(context, std::move(completion));
    }
    void uploadFile(const QString&, const QList<FormField>&, const QString&, const QString&,
                    QObject* context, TransportCompletion completion) override {
        fail(context, std::move(completion));
    }

private:
    static void fail(QObject* context, TransportCompletion completion) {
        QMetaObject::invokeMethod(
            context,
            [completion = std::move(completion)] {
                completion(TransportResult{false, {}, QStringLiteral("no transport installed")});
            },
            Qt::QueuedConnection);
    }
};

}  // namespace

Transport& sharedTransport() {
    if (!slot()) slot() = std::make_unique<NoTransport>();
    return *slot();
}

void installSharedTransport(std::unique_ptr<Transport> transport) {
    slot() = std::move(transport);
}

}  // namespace ferrodock
