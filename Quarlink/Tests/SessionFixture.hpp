#pragma once

// Test support for logins, session renewals and error reports: a user on the
// local service, a refresher that logs in again, and a filter that counts.

#include "Quarlink/Requests/RequestFilter.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Quarlink/Session/SessionOperations.hpp"
#include "Quarlink/Tests/PipelineFixture.hpp"
#include "Reactive/MutableProperty.hpp"

#include <atomic>

namespace Quarlink::Testing {

// Renews the session by logging in with fixed credentials, once `proceed` is
// true (it starts true); or fails with `failure` when one is set.
class LoginRefresher final : public SessionRefresher {
public:
    explicit LoginRefresher(Credentials credentials, std::optional<Reactive::AnyError> failure = std::nullopt)
        : m_credentials(std::move(credentials))
        , m_failure(std::move(failure))
    {
    }

    RefreshAction& refreshSessionAction() override { return m_action; }

    // Executions of the action so far.
    std::atomic<int> executions { 0 };
    Reactive::MutableProperty<bool> proceed { true };

private:
    Credentials m_credentials;
    std::optional<Reactive::AnyError> m_failure;
    RefreshAction m_action { [this](const std::shared_ptr<APIClient>& client) {
        ++executions;
        if (m_failure)
            return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::error(*m_failure);
        auto released = proceed.producer().filter([](bool value) { return value; }).take(1).ignoreValues();
        return released.template promoteError<Reactive::AnyError>().then(login(client, m_credentials));
    } };
};

// Lets every request run and counts how often it was asked, by path.
class CountingFilter final : public RequestFilter {
public:
    Reactive::SignalProducer<bool, Reactive::AnyError> shouldPerform(const AnyRequest& request, APIClient&) override
    {
        {
            std::lock_guard lock(m_mutex);
            ++m_counts[request.path()];
        }
        m_changed.notify_all();
        return Reactive::SignalProducer<bool, Reactive::AnyError>::value(true);
    }

    bool waitForCount(const std::string& path, int count, std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_counts[path] >= count; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<std::string, int> m_counts;
};

class SessionFixture : public PipelineFixture {
protected:
    const Credentials m_credentials { "anna@example.org", "Geheim-123" };

    void SetUp() override
    {
        PipelineFixture::SetUp();
        m_server->accounts().addUser(m_credentials.username, m_credentials.password);
    }

    // Requests the server saw on `path` under the base URL.
    std::size_t requestsTo(const std::string& method, const std::string& path) const
    {
        std::size_t count = 0;
        for (const auto& entry : m_server->requestLog())
            count += entry.method == method && entry.path == "/v2.0/" + path;
        return count;
    }

    std::size_t successfulLogins() const
    {
        std::size_t count = 0;
        for (const auto& attempt : m_server->accounts().loginAttempts())
            count += attempt.succeeded;
        return count;
    }

    void logIn()
    {
        auto events = run(login(client(), m_credentials));
        ASSERT_TRUE(events.back().isCompleted());
    }
};

} // namespace Quarlink::Testing
