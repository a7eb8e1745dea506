#pragma once

// Test support for the composition root: a temporary home with its XDG
// folders and group directory, LocalCloud on a free loopback port with one
// user, a session bus and a notification server of the test's own, the main
// queue in virtual time, and the container built from the module with
// headless stand-ins for the user interface.

#include "LocalCloud/Server/LocalCloudServer.hpp"
#include "Orvella/AppModule/AppModule.hpp"
#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/SessionRefresher/PasswordWindowNavigator.hpp"
#include "Platform/Desktop/Tests/PrivateSessionBus.hpp"
#include "Platform/Desktop/Tests/RecordingNotificationServer.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Tests/PipelineFixture.hpp"
#include "Reactive/Schedulers/TestScheduler.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <thread>

namespace Orvella::Testing {

using namespace std::chrono_literals;

// The password window without widgets: counts how often it is shown and
// closed; the test plays the user.
class HeadlessPasswordWindow final : public PasswordWindow {
public:
    void showWindow() override { ++shows; }
    void close() override
    {
        ++closes;
        m_closed.second.send(Reactive::Unit {});
    }
    Reactive::Signal<Reactive::Unit, Reactive::NoError> loginCompleted() const override { return m_login.first; }
    Reactive::Signal<Reactive::Unit, Reactive::NoError> logoutCompleted() const override { return m_logout.first; }
    Reactive::Signal<Reactive::Unit, Reactive::NoError> closed() const override { return m_closed.first; }

    void userLoggedIn() { m_login.second.send(Reactive::Unit {}); }
    void userLoggedOut() { m_logout.second.send(Reactive::Unit {}); }
    // The user closes the window with neither.
    void userClosed() { m_closed.second.send(Reactive::Unit {}); }

    std::atomic<int> shows { 0 };
    std::atomic<int> closes { 0 };

private:
    std::pair<Reactive::Signal<Reactive::Unit, Reactive::NoError>, Reactive::Observer<Reactive::Unit, Reactive::NoError>> m_login
        = Reactive::Signal<Reactive::Unit, Reactive::NoError>::pipe();
    std::pair<Reactive::Signal<Reactive::Unit, Reactive::NoError>, Reactive::Observer<Reactive::Unit, Reactive::NoError>> m_logout
        = Reactive::Signal<Reactive::Unit, Reactive::NoError>::pipe();
    std::pair<Reactive::Signal<Reactive::Unit, Reactive::NoError>, Reactive::Observer<Reactive::Unit, Reactive::NoError>> m_closed
        = Reactive::Signal<Reactive::Unit, Reactive::NoError>::pipe();
};

// The navigator's holder of the password window, without widgets.
class HeadlessPasswordWindowNavigator final : public PasswordWindowNavigator {
public:
    std::shared_ptr<PasswordWindow> heldPasswordWindow() override { return m_held; }
    std::expected<std::shared_ptr<PasswordWindow>, Reactive::AnyError> makePasswordWindow() override
    {
        ++made;
        if (failsToMake)
            return std::unexpected(Reactive::AnyError(Quarlink::APIClientError::notLoggedIn()));
        last = std::make_shared<HeadlessPasswordWindow>();
        return last;
    }
    void holdPasswordWindow(std::shared_ptr<PasswordWindow> window) override { m_held = std::move(window); }
    void activateApplication() override { ++activations; }
    void forget() { m_held.reset(); }

    std::atomic<int> made { 0 };
    std::atomic<int> activations { 0 };
    std::atomic<bool> failsToMake { false };
    std::shared_ptr<HeadlessPasswordWindow> last;

private:
    std::shared_ptr<PasswordWindow> m_held;
};

class AppModuleFixture : public ::testing::Test {
protected:
    const Quarlink::Credentials m_credentials { "anna@example.org", "Geheim-123" };

    void SetUp() override
    {
        for (const char* name : { "HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "ORVELLA_GROUP_CONTAINER",
                 "ORVELLA_LIVE_BASE_URL" }) {
            if (const char* value = std::getenv(name))
                m_savedEnvironment[name] = value;
            else
                m_savedEnvironment[name] = std::nullopt;
        }
        const std::filesystem::path home = m_home.path();
        ::setenv("HOME", home.c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
        ::setenv("XDG_STATE_HOME", (home / ".local/state").c_str(), 1);
        ::setenv("ORVELLA_GROUP_CONTAINER", groupFolder().c_str(), 1);

        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = home / "service", .testControls = true });
        ASSERT_TRUE(started.has_value()) << started.error();
        m_server = std::move(*started);
        m_server->accounts().addUser(m_credentials.username, m_credentials.password);
        ::setenv("ORVELLA_LIVE_BASE_URL", m_server->baseURL().c_str(), 1);
        serveCustomer();

        m_bus = Platform::Testing::PrivateSessionBus::start();
        ASSERT_TRUE(m_bus);
        m_notifications = std::make_unique<Platform::Testing::RecordingNotificationServer>(m_bus->address(), false);
        ASSERT_TRUE(m_notifications->isServing());
    }

    void TearDown() override
    {
        m_resolver.reset();
        runQueuesDry();
        m_notifications.reset();
        m_bus.reset();
        m_server.reset();
        // Requests still under way end with the service, and their endings queue work too.
        runQueuesDry();
        for (const auto& [name, value] : m_savedEnvironment) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }

    std::filesystem::path groupFolder() const { return std::filesystem::path(m_home.path()) / "group"; }
    std::filesystem::path cloudFolder() const { return std::filesystem::path(m_home.path()) / "Cloud"; }

    AppModuleEnvironment environment()
    {
        return AppModuleEnvironment {
            .mainQueue = m_mainQueue,
            // The settings' write-backs wait in a queue of their own, run when the settings manager ends:
            // pumped together with the main queue, the suite's read-back of a write starts the same write again.
            .settingsContext = SettingsManagerContext {
                .mainQueue = m_settingsQueue,
                .cloudFolderQueue = m_settingsQueue,
                .loginItems = LoginItemList::session(),
                .sidebar = Platform::SidebarBookmarks(),
            },
            .launchArguments = m_launchArguments,
            .busAddress = m_bus->address(),
            // No Secret Service answers there: the password goes to the private file below the home.
            .keychainBusAddress = "unix:path=" + (std::filesystem::path(m_home.path()) / "no-bus").string(),
            .reachabilityMonitor = [] { return std::make_unique<Quarlink::Testing::ReachableMonitor>(); },
            .extensionRegistry = m_extensionRegistry,
            .extensionURL = m_extensionURL,
        };
    }

    // The container as the application builds it, with the headless user interface.
    Resolver& buildContainer()
    {
        m_resolver.reset();
        auto navigator = m_navigator;
        auto more = m_moreUserInterface;
        auto module = std::make_shared<AppModule>(
            [navigator, more](Binder& binder) {
                binder.addBinding<PasswordWindowNavigator>(Scope::single, [navigator](Resolver&) { return navigator; });
                if (more)
                    more(binder);
            },
            environment());
        m_resolver = std::make_unique<Resolver>(std::vector<std::shared_ptr<Module>> { module });
        return *m_resolver;
    }

    template<class Key>
    std::shared_ptr<Key> resolved()
    {
        auto resolution = m_resolver->resolve<Key>();
        EXPECT_TRUE(resolution.has_value()) << (resolution ? "" : resolution.error().description());
        return resolution ? *resolution : nullptr;
    }

    // Runs the main queue's work until `condition` holds; false when it did not within `timeout`.
    bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 20s)
    {
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            m_mainQueue->advance();
            std::this_thread::sleep_for(2ms);
        }
        m_mainQueue->advance();
        return true;
    }

    // Runs the main queue's work that is due now, including what other threads queued meanwhile.
    void drainMainQueue()
    {
        for (int round = 0; round < 20; ++round) {
            m_mainQueue->advance();
            std::this_thread::sleep_for(1ms);
        }
    }

    std::string customerJSON() const
    {
        return nlohmann::json { { "cid", 4711 }, { "first_name", "Anna" }, { "last_name", "Berg" },
            { "email", m_credentials.username }, { "root_file_id", m_server->rootIdentifier(m_credentials.username) },
            { "features", { { "advertising", false }, { "has_ocr", false }, { "has_reminders", false } } },
            { "main_product_short_name", "Free" }, { "limits", { { "mail_total_size", 1 } } } }
            .dump();
    }

    // The local service has no customer route of its own.
    void serveCustomer() { m_server->script("GET", "/v2.0/customer", { .status = 200, .body = customerJSON() }); }

    std::vector<std::pair<std::string, std::string>> shownNotifications() const
    {
        std::vector<std::pair<std::string, std::string>> shown;
        for (const auto& notification : m_notifications->shown())
            shown.emplace_back(notification.summary, notification.body);
        return shown;
    }

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

    Platform::Testing::TemporaryDirectory m_home;
    std::unique_ptr<LocalCloud::LocalCloudServer> m_server;
    std::unique_ptr<Platform::Testing::PrivateSessionBus> m_bus;
    std::unique_ptr<Platform::Testing::RecordingNotificationServer> m_notifications;
    std::shared_ptr<Reactive::TestScheduler> m_mainQueue = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<Reactive::TestScheduler> m_settingsQueue = std::make_shared<Reactive::TestScheduler>();
    std::vector<std::string> m_launchArguments { "orvella" };
    std::shared_ptr<HeadlessPasswordWindowNavigator> m_navigator = std::make_shared<HeadlessPasswordWindowNavigator>();
    std::shared_ptr<Platform::ExtensionRegistry> m_extensionRegistry;
    // Further headless stand-ins of the user interface.
    std::function<void(Binder&)> m_moreUserInterface;
    std::filesystem::path m_extensionURL;
    std::unique_ptr<Resolver> m_resolver;

private:
    // Work still queued holds what scheduled it, and that holds the queue:
    // both run dry, also of work the client's threads queue meanwhile.
    void runQueuesDry()
    {
        for (int round = 0; round < 200; ++round) {
            m_settingsQueue->run();
            m_mainQueue->advance(std::chrono::hours(1));
            if (m_settingsQueue->pendingCount() == 0 && m_mainQueue->pendingCount() == 0 && round >= 10)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    std::map<std::string, std::optional<std::string>> m_savedEnvironment;
};

} // namespace Orvella::Testing
