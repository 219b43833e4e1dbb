#pragma once

#include "core/Transport.h"

#include <QtCore>

#include <optional>
#include <utility>

namespace ferrodock::test {

// One request as a page made it.
struct FakeRequest {
    QString path;
    QList<FormField> fields;
    QString filePath;  // empty for a form post
    QString mimeType;
    QPointer<QObject> context;
    TransportCompletion completion;
    ProgressReport progress;
    std::shared_ptr<TransferHandle::State> control = std::make_shared<TransferHandle::State>();

    bool cancelled() const { return control->cancelled; }

    // The fields as "name=value", in order.
    QStringList form() const {
        QStringList list;
        for (const FormField& f : fields)
            list << f.name + u'=' + (f.utf8.isEmpty() ? f.value : QString::fromUtf8(f.utf8));
        return list;
    }
};

// A transport that only records: the test decides when and how each request ends.
class FakeTransport final : public Transport {
public:
    FakeTransport() = default;
    // One that ends every request with `answer`.
    explicit FakeTransport(const QByteArray& answer) : reply(TransportResult{true, answer, {}}) {}
    TransferHandle postFields(const QString& path, QList<FormField> fields, QObject* context,
                              TransportCompletion completion, ProgressReport progress) override {
        return record({path, std::move(fields), QString(), QString(), context,
                       std::move(completion), progressFor(context, std::move(progress))});
    }
    TransferHandle uploadFile(const QString& path, const QList<FormField>& fields,
                              const QString& filePath, const QString& mimeType, QObject* context,
                              TransportCompletion completion, ProgressReport progress) override {
        return record({path, fields, filePath, mimeType, context, std::move(completion),
                       progressFor(context, std::move(progress))});
    }

    // Ends request `index` (the last one by default), as the transport would on its context.
    void finish(const TransportResult& result, qsizetype index = -1) {
        FakeRequest& request = requests[index < 0 ? requests.size() - 1 : index];
        const TransportCompletion completion = std::exchange(request.completion, {});
        if (request.context) completion(result);
    }
    void answer(const QByteArray& body, qsizetype index = -1) { finish({true, body, {}}, index); }

    QList<FakeRequest> requests;
    std::optional<TransportResult> reply;          // when set, every request ends so, a turn later
    int replyAfter = 0;                            // or this many milliseconds later
    std::function<void(const FakeRequest&)> seen;  // told of each request as it is made

private:
    TransferHandle record(FakeRequest request) {
        requests.append(std::move(request));
        if (seen) seen(requests.last());
        if (reply)
            QTimer::singleShot(replyAfter, requests.last().context,
                               [this, index = requests.size() - 1] { finish(*reply, index); });
        return TransferHandle(requests.last().control);
    }
};

}  // namespace ferrodock::test
