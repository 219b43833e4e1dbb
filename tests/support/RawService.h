#pragma once

#include "support/TestService.h"

namespace ferrodock::test {

// A service that answers every request with `answer`, byte for byte.
class RawService : public TestService {
public:
    RawService(QList<RawStep> answer, Options options) : TestService(options) {
        Reply reply;
        reply.kind = Reply::Kind::Raw;
        reply.raw = std::move(answer);
        setReply(reply);
    }
};

}  // namespace ferrodock::test
