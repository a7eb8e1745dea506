#pragma once

#include "Reactive/NoError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <string>

namespace Sync {

// Tells the remote trigger the etag of the remote root folder. Implemented
// by the application, usually over its remote service.
class RootEtagProvider {
public:
    virtual ~RootEtagProvider() = default;

    // Started after each successful preparation of the cloud folder; every
    // string it sends is the current etag of the remote root folder. It
    // cannot fail: a request that fails sends nothing. The scheduler gives
    // each start at most one polling interval and then disposes it, so a
    // request that never answers does not hold up later polls.
    [[nodiscard]] virtual Reactive::SignalProducer<std::string, Reactive::NoError> rootEtag() = 0;
};

} // namespace Sync
