#pragma once

// Quarlink/Environment: where the service is (the endpoint in force and the
// store that answers it) and the states the client publishes.

#include "Platform/Foundation/URL.hpp"

namespace Quarlink {

// Where requests go: every request path is appended to `baseURL`.
// Implementations are immutable and may be read from any thread.
class APIEndpoint {
public:
    virtual ~APIEndpoint() = default;

    // Computed on each read; never fails.
    [[nodiscard]] virtual Platform::URL baseURL() const = 0;
};

} // namespace Quarlink
