// ferrodock-transport.so: the HTTPS transport and libcurl behind one entry point, loaded by
// LoadedTransport at the first request.
#include "platform/LoadedTransport.h"

extern "C" __attribute__((visibility("default"))) ferrodock::Transport* ferrodock_make_transport(
    const ferrodock::HttpsTransport::Options& options) {
    return new ferrodock::HttpsTransport(options);
}

// Checked here so that a change of either side fails to build rather than to load.
static_assert(std::is_same_v<decltype(&ferrodock_make_transport), ferrodock::MakeTransport>);
