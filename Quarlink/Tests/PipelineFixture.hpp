#pragma once

// Test support: the local service on loopback, a URL-session client pointed at
// it, and a recorder that waits for a started producer's events.

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "Platform/Network/ReachabilityMonitor.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Quarlink/Requests/Perform.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <thread>
#include <mutex>
#include <random>
#include <unistd.h>

namespace Quarlink::Testing {

using namespace std::chrono_literals;

// Loopback is always reachable; nothing is probed.
class ReachableMonitor final : public Platform::ReachabilityMonitor {
public:
    [[nodiscard]] Platform::HostReachability status() const override { return Platform::HostReachability::reachable; }
    void start(Handler) override { m_running = true; }
    void stop() override { m_running = false; }
    [[nodiscard]] bool isRunning() const override { return m_running; }

private:
    bool m_running = false;
};

class MemoryCredentialStore final : public CredentialStore {
public:
    [[nodiscard]] std::optional<std::string> email() const override { return m_email; }
    void setEmail(std::optional<std::string> email) override { m_email = std::move(email); }
    [[nodiscard]] std::optional<std::string> password() const override { return m_password; }
    void setPassword(std::optional<std::string> password) override { m_password = std::move(password); }

private:
    std::optional<std::string> m_email;
    std::optional<std::string> m_password;
};

// Every event of one start, kept for inspection; `wait` returns once the start ended.
template<class V>
class Recorder {
public:
    using Event = Reactive::Event<V, Reactive::AnyError>;

    Reactive::Observer<V, Reactive::AnyError> observer(std::function<void(const Event&)> alsoCall = {})
    {
        return Reactive::Observer<V, Reactive::AnyError>::make([this, alsoCall](Event&& event) {
            if (alsoCall)
                alsoCall(event);
            std::lock_guard lock(m_mutex);
            m_events.push_back(std::move(event));
            m_changed.notify_all();
        });
    }

    [[nodiscard]] bool wait(std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return !m_events.empty() && m_events.back().isTerminating(); });
    }

    [[nodiscard]] std::vector<Event> events() const
    {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

    [[nodiscard]] std::vector<V> values() const
    {
        std::vector<V> values;
        for (const auto& event : events()) {
            if (event.isValue())
                values.push_back(event.value());
        }
        return values;
    }

    [[nodiscard]] std::optional<Event> terminal() const
    {
        auto all = events();
        if (all.empty() || !all.back().isTerminating())
            return std::nullopt;
        return all.back();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Event> m_events;
};

// Starts `producer`, waits for its end and returns what it sent.
template<class V>
std::vector<Reactive::Event<V, Reactive::AnyError>> run(const Reactive::SignalProducer<V, Reactive::AnyError>& producer)
{
    Recorder<V> recorder;
    auto started = producer.start(recorder.observer());
    EXPECT_TRUE(recorder.wait()) << "the request did not end in time";
    return recorder.events();
}

class PipelineFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path()
            / ("pipeline-tests-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(m_root / "downloads");
        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = m_root / "data", .testControls = true });
        ASSERT_TRUE(started.has_value()) << started.error();
        m_server = std::move(*started);
        m_endpoints = std::make_shared<InMemoryEnvironmentStore>(
            std::make_shared<Environment>(Environment::custom(*Platform::URL::create(m_server->baseURL()))));
        m_client = makeClient(m_endpoints);
    }

    void TearDown() override
    {
        m_client.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    std::shared_ptr<URLSessionAPIClient> makeClient(std::shared_ptr<APIEndpointStore> endpoints)
    {
        Platform::URLSessionConfiguration configuration;
        configuration.idleTimeout = m_idleTimeout;
        configuration.temporaryDirectory = m_root / "downloads";
        auto client = URLSessionAPIClient::create(configuration, std::make_shared<MemoryCredentialStore>(), std::move(endpoints),
            std::make_unique<ReachableMonitor>());
        EXPECT_TRUE(client.has_value());
        return client ? *client : nullptr;
    }

    // Whether the client's download folder is empty, or becomes so within a deadline (the session
    // removes what it kept of a transfer on its own thread, after the delivery).
    bool downloadsFolderEmpties() const
    {
        auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!std::filesystem::is_empty(m_root / "downloads")) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    std::string baseURL() const { return m_server->baseURL(); }
    std::shared_ptr<APIClient> client() const { return m_client; }

    static void writeFile(const std::filesystem::path& path, const std::string& bytes)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    static std::string readFile(const std::filesystem::path& path)
    {
        std::ifstream stream(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }

    std::filesystem::path m_root;
    // The client's idle time-out; a fixture may shorten it before `SetUp`.
    std::chrono::seconds m_idleTimeout = 30s;
    std::unique_ptr<LocalCloud::LocalCloudServer> m_server;
    std::shared_ptr<InMemoryEnvironmentStore> m_endpoints;
    std::shared_ptr<URLSessionAPIClient> m_client;
};

} // namespace Quarlink::Testing
