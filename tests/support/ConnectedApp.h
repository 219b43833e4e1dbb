#pragma once

#include "support/AppHarness.h"
#include "support/TestService.h"

#include <QTest>

namespace ferrodock::test {

// The real interface and delegate talking to the in-process test service.
class ConnectedApp : public AppHarness {
public:
    // `session`: what the session file holds at start, if anything.
    explicit ConnectedApp(TestService::Options options = {},
                          std::chrono::milliseconds idleLimit = std::chrono::seconds(60),
                          const QByteArray& session = {})
        : service(options), transport(service.makeTransport(idleLimit)) {
        if (!session.isEmpty()) home.writeSession(session);
        delegate.transport = transport.get();
        start();
    }

    // The body of the request the service received last.
    RecordedRequest lastRequest() const {
        return service.requests().value(service.requests().size() - 1);
    }

    TestService service;
    // Goes first: no answer reaches a delegate that is going.
    std::unique_ptr<Transport> transport;
};

}  // namespace ferrodock::test
