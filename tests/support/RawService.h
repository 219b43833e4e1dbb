#pragma once

#include "support/TestService.h"

namespace ferrodock::test {

// A service that answers every request with `answer`, byte for byte.
struct RawService : TestService {
    RawService(QList<RawStep> answer, Options options) : TestService(options) {
        setReply({Reply::Kind::Raw, 200, {}, {}, {}, 0, {}, std::move(answer)});
    }
};

}  // namespace ferrodock::test
