#pragma once

#include "support/AppHarness.h"
#include "support/TestService.h"

#include <QTest>

namespace ferrodock::test {

// The real window talking to the in-process test service.
class ConnectedApp : public AppHarness {
public:
    // `saved`: what the session file holds at start, if anything.
    explicit ConnectedApp(TestService::Options options = {},
                          std::chrono::milliseconds idleLimit = std::chrono::seconds(60),
                          const QByteArray& saved = {})
        : AppHarness(nullptr), service(options) {
        transport = service.makeTransport(idleLimit);
        if (!saved.isEmpty()) home.writeSession(saved);
        start();
    }
    ~ConnectedApp() override {
        window.reset();
        transport.reset();
    }

    // The body of the request the service received last.
    RecordedRequest lastRequest() const {
        return service.requests().value(service.requests().size() - 1);
    }

    TestService service;
};

}  // namespace ferrodock::test
