#pragma once

#include "Quarlink/Environment/APIEndpoint.hpp"

#include <memory>
#include <mutex>

namespace Quarlink {

// Answers the endpoint in force now. The client asks on every access to its
// endpoint, so a change reaches the next request without a new client.
// Implementations must answer from any thread.
class APIEndpointStore {
public:
    virtual ~APIEndpointStore() = default;

    // Never null.
    [[nodiscard]] virtual std::shared_ptr<const APIEndpoint> currentEndpoint() const = 0;
};

// A store of environments; it adds nothing but a second name for the endpoint.
class APIEnvironmentStore : public APIEndpointStore {
public:
    // The endpoint in force at the time of each call.
    [[nodiscard]] std::shared_ptr<const APIEndpoint> environment() const { return currentEndpoint(); }
};

// A store that keeps its endpoint in memory, for programs without settings
// and for tests. Thread-safe: the endpoint may be replaced while requests read it.
class InMemoryEnvironmentStore final : public APIEnvironmentStore {
public:
    // `endpoint` must not be null.
    explicit InMemoryEnvironmentStore(std::shared_ptr<const APIEndpoint> endpoint)
        : m_endpoint(std::move(endpoint))
    {
    }

    [[nodiscard]] std::shared_ptr<const APIEndpoint> currentEndpoint() const override
    {
        std::lock_guard lock(m_mutex);
        return m_endpoint;
    }

    // `endpoint` must not be null.
    void setCurrentEndpoint(std::shared_ptr<const APIEndpoint> endpoint)
    {
        std::lock_guard lock(m_mutex);
        m_endpoint = std::move(endpoint);
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const APIEndpoint> m_endpoint;
};

} // namespace Quarlink
