#pragma once

// Test support for the client's tests: a scripted reachability monitor, an
// in-memory credential store, a recorder of stream events with deadlines,
// and a fixture that runs the local service on loopback with a client for it.

#include "LocalCloud/Http/LoopbackPorts.hpp"
#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "Platform/Network/ReachabilityMonitor.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Reactive/SignalProducer.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

namespace Quarlink::Testing {

using namespace std::chrono_literals;

// Reachability that the test decides; each `report` is one assessment.
class ScriptedReachabilityMonitor final : public Platform::ReachabilityMonitor {
public:
    struct Control {
        std::mutex mutex;
        Platform::HostReachability status = Platform::HostReachability::reachable;
        Handler handler;
        bool running = false;
        int starts = 0;

        // Delivers one assessment, as the monitor's thread would.
        void report(Platform::HostReachability reachability)
        {
            Handler current;
            {
                std::lock_guard lock(mutex);
                status = reachability;
                if (!running)
                    return;
                current = handler;
            }
            current(reachability);
        }
    };

    explicit ScriptedReachabilityMonitor(std::shared_ptr<Control> control)
        : m_control(std::move(control))
    {
    }
    ~ScriptedReachabilityMonitor() override { stop(); }

    Platform::HostReachability status() const override
    {
        std::lock_guard lock(m_control->mutex);
        return m_control->status;
    }
    void start(Handler handler) override
    {
        std::lock_guard lock(m_control->mutex);
        if (m_control->running)
            return;
        m_control->running = true;
        ++m_control->starts;
        m_control->handler = std::move(handler);
    }
    void stop() override
    {
        std::lock_guard lock(m_control->mutex);
        m_control->running = false;
        m_control->handler = nullptr;
    }
    bool isRunning() const override
    {
        std::lock_guard lock(m_control->mutex);
        return m_control->running;
    }

private:
    std::shared_ptr<Control> m_control;
};

class InMemoryCredentialStore final : public CredentialStore {
public:
    std::optional<std::string> email() const override { return m_email; }
    void setEmail(std::optional<std::string> email) override { m_email = std::move(email); }
    std::optional<std::string> password() const override { return m_password; }
    void setPassword(std::optional<std::string> password) override { m_password = std::move(password); }

private:
    std::optional<std::string> m_email;
    std::optional<std::string> m_password;
};

// Collects the events of one start of a producer; waits with deadlines.
template<class V, class E>
class Recorder {
public:
    // `onValue` runs inside each value's delivery (where a download's file still exists).
    explicit Recorder(const Reactive::SignalProducer<V, E>& producer, std::function<void(const V&)> onValue = {})
        : m_onValue(std::move(onValue))
    {
        m_disposable = producer.startWithEvents([this](const Reactive::Event<V, E>& event) {
            std::lock_guard lock(m_mutex);
            if (event.isValue())
                m_values.push_back(event.value());
            else if (event.isFailed())
                m_error = event.error();
            if (event.isTerminating())
                m_terminated = true;
            if (event.isCompleted())
                m_completed = true;
            if (event.isValue() && m_onValue)
                m_onValue(event.value());
            m_changed.notify_all();
        });
    }
    ~Recorder() { m_disposable.dispose(); }

    bool waitForTermination(std::chrono::milliseconds timeout = 20s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_terminated; });
    }
    bool waitForValues(std::size_t count, std::chrono::milliseconds timeout = 20s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_values.size() >= count; });
    }
    std::vector<V> values() const
    {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    std::optional<E> error() const
    {
        std::lock_guard lock(m_mutex);
        return m_error;
    }
    bool completed() const
    {
        std::lock_guard lock(m_mutex);
        return m_completed;
    }
    bool terminated() const
    {
        std::lock_guard lock(m_mutex);
        return m_terminated;
    }
    void dispose() { m_disposable.dispose(); }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<V> m_values;
    std::optional<E> m_error;
    bool m_terminated = false;
    bool m_completed = false;
    std::function<void(const V&)> m_onValue;
    Reactive::AnyDisposable m_disposable;
};

// Waits until `condition` holds, polling; false when the deadline passes.
inline bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

// A loopback port nothing listens on.
inline int closedLoopbackPort() { return LocalCloud::unusedLoopbackPort(); }

// The local service over a private folder and a client for it whose
// reachability the test scripts.
class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device random;
        m_root = std::filesystem::temp_directory_path()
            / ("quarlink-client-tests-" + std::to_string(::getpid()) + "-" + std::to_string(random()));
        std::filesystem::create_directories(downloadFolder());
        std::filesystem::create_directories(m_root / "files");
        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = m_root / "data", .testControls = true });
        ASSERT_TRUE(started.has_value()) << started.error();
        m_server = std::move(*started);
        m_endpointStore = std::make_shared<InMemoryEnvironmentStore>(
            std::make_shared<Environment>(Environment::custom(*Platform::URL::create(m_server->baseURL()))));
        m_client = makeClient();
    }

    void TearDown() override
    {
        m_client.reset();
        m_server.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    std::shared_ptr<URLSessionAPIClient> makeClient(Platform::URLSessionConfiguration configuration = {})
    {
        if (configuration.temporaryDirectory.empty())
            configuration.temporaryDirectory = downloadFolder();
        auto created = URLSessionAPIClient::create(configuration, std::make_shared<InMemoryCredentialStore>(),
            m_endpointStore, std::make_unique<ScriptedReachabilityMonitor>(m_reachability));
        EXPECT_TRUE(created.has_value());
        return created ? *created : nullptr;
    }

    Platform::URLRequest request(const std::string& path, std::string method = "GET") const
    {
        return Platform::URLRequest { .url = m_server->baseURL() + path, .method = std::move(method) };
    }

    std::filesystem::path downloadFolder() const { return m_root / "downloads"; }
    bool downloadFolderIsEmpty() const { return std::filesystem::is_empty(downloadFolder()); }

    std::filesystem::path writeSourceFile(const std::string& name, const std::string& bytes) const
    {
        auto path = m_root / "files" / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    static std::string randomBytes(std::size_t count, unsigned seed)
    {
        std::mt19937 generator(seed);
        std::string bytes(count, '\0');
        for (auto& byte : bytes)
            byte = static_cast<char>(generator() & 0xff);
        return bytes;
    }

    static std::string readFile(const std::filesystem::path& path)
    {
        std::ifstream stream(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(stream), {});
    }

    std::filesystem::path m_root;
    std::unique_ptr<LocalCloud::LocalCloudServer> m_server;
    std::shared_ptr<ScriptedReachabilityMonitor::Control> m_reachability = std::make_shared<ScriptedReachabilityMonitor::Control>();
    std::shared_ptr<InMemoryEnvironmentStore> m_endpointStore;
    std::shared_ptr<URLSessionAPIClient> m_client;
};

} // namespace Quarlink::Testing
