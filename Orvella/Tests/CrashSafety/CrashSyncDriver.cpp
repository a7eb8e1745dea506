// crash-sync-driver: one sync run of the real engine through the application's
// sync adapter and the URL-session API client against a local service in
// another process, on a real cloud folder, SQLite store and attributes.
//
//   crash-sync-driver <base URL> <login> <password> <cloud folder> <store file> <transfer folder>
//
// Every kill point the run passes is reported on standard error as
// "kill-point <name>". With ORVELLA_CRASH_STOP=<name>[:<n>] the driver kills
// itself with SIGKILL the n-th time (default: the first) it reaches <name>.
// ORVELLA_CRASH_IDLE_TIMEOUT=<seconds> shortens the client's idle time-out, so
// that a stalled service is given up on quickly.
//
// ORVELLA_CRASH_RETRY=<file> hands the engine to the real scheduler instead
// of running it once: after the login ("logged in" on standard error) the
// driver waits until <file> exists, then the scheduler runs the engine,
// polling every second, retrying a failed run a second after it ended (the
// delay doubling while runs keep failing) and seeing a root etag that never
// changes and no local trigger, so that nothing but a retry can start a run
// after the first. Each failed run is reported as "run failed"; the driver
// ends at the first clean run after a failed one.
//
// Exit status: 0 the run completed without an error event (with
// ORVELLA_CRASH_RETRY: a retry ran cleanly after failed runs); 3 it completed
// with error events; 4 login failed; 5 the run did not end (with
// ORVELLA_CRASH_RETRY: no clean retry within a minute); 6 no run failed
// within a minute; 2 bad arguments.

#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"
#include "Orvella/Tests/ServiceFixture.hpp"
#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Foundation/KillPoint.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/APIEndpointStore.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Sync/Schedule/SyncScheduler.hpp"
#include "Sync/TestSupport/TestCloud.hpp"

#include <charconv>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <mutex>
#include <string>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

struct StopRequest {
    std::string name;
    long remaining = 1;
};

std::optional<StopRequest> stopRequest;
std::mutex stopMutex;

void reachKillPoint(const char* name)
{
    // Written in one call, so that reports of concurrent threads do not mix.
    std::string line = std::string("kill-point ") + name + "\n";
    static_cast<void>(::write(STDERR_FILENO, line.data(), line.size()));
    std::lock_guard lock(stopMutex);
    if (stopRequest && stopRequest->name == name && --stopRequest->remaining == 0) {
        static const char killed[] = "kill-point reached, killing the driver\n";
        static_cast<void>(::write(STDERR_FILENO, killed, sizeof killed - 1));
        ::kill(::getpid(), SIGKILL);
    }
}

void readStopRequest()
{
    const char* value = std::getenv("ORVELLA_CRASH_STOP");
    if (!value || !*value)
        return;
    std::string text = value;
    StopRequest request { text, 1 };
    if (auto colon = text.find(':'); colon != std::string::npos) {
        request.name = text.substr(0, colon);
        request.remaining = std::strtol(text.c_str() + colon + 1, nullptr, 10);
        if (request.remaining < 1)
            request.remaining = 1;
    }
    stopRequest = request;
}

// The scheduler's inputs in the retry mode: sync on and reachable, a poll
// every second, a folder always ready, an etag that never changes, no local trigger.
class PollingEverySecond final : public Sync::SyncConfiguration {
public:
    std::chrono::nanoseconds syncInterval() const override { return 1s; }
    Reactive::Property<bool> isSyncEnabled() const override { return m_on; }
    Reactive::Property<bool> isRemoteReachable() const override { return m_on; }

private:
    Reactive::MutableProperty<bool> m_on { true };
};

class ReadyFolder final : public Sync::CloudFolderPreparator {
public:
    std::expected<void, Reactive::AnyError> prepareCloudFolder() override { return {}; }
};

class UnchangingEtag final : public Sync::RootEtagProvider {
public:
    Reactive::SignalProducer<std::string, Reactive::NoError> rootEtag() override
    {
        return Reactive::SignalProducer<std::string, Reactive::NoError>::value("unchanged");
    }
};

class NoLocalTrigger final : public Sync::FileSystemTrigger {
public:
    Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> cloudFolderChanged() const override
    {
        return Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>::never();
    }
};

// The retry mode: see the top of the file.
int runUntilARetrySucceeds(const std::shared_ptr<Sync::SyncManager>& engine, const std::filesystem::path& go)
{
    std::cerr << "logged in" << std::endl;
    auto deadline = std::chrono::steady_clock::now() + 120s;
    while (!std::filesystem::exists(go)) {
        if (std::chrono::steady_clock::now() > deadline)
            return 2;
        std::this_thread::sleep_for(10ms);
    }
    std::mutex mutex;
    std::condition_variable changed;
    int failures = 0;
    bool clean = false;
    Sync::SyncSchedulerOptions options;
    options.firstRetryDelay = 1s;
    auto scheduler = std::make_unique<Sync::SyncScheduler>(std::make_shared<PollingEverySecond>(),
        std::make_shared<ReadyFolder>(), engine, std::make_shared<NoLocalTrigger>(), std::make_shared<UnchangingEtag>(),
        options);
    auto errors = scheduler->syncAction().values().observeValues([](const Sync::SyncEventPair& pair) {
        if (pair.first.isError())
            std::cerr << "error: " << pair.second.description() << ": " << pair.first.error()->description() << '\n';
    });
    auto outcomes = scheduler->status().producer().startWithValues([&](const Sync::SyncStatus& status) {
        std::lock_guard lock(mutex);
        if (status.kind() == Sync::SyncStatus::Kind::failed) {
            ++failures;
            std::cerr << "run failed" << std::endl;
        } else if (status.kind() == Sync::SyncStatus::Kind::allInSync && failures > 0) {
            // In sync before the first run says nothing; after a failed one, a retry did it.
            clean = true;
        }
        changed.notify_all();
    });
    int status = 0;
    {
        std::unique_lock lock(mutex);
        if (!changed.wait_for(lock, 60s, [&] { return clean; }))
            status = failures == 0 ? 6 : 5;
    }
    outcomes.dispose();
    errors.dispose();
    scheduler.reset();
    return status;
}

// Starts `producer` and waits for its end; true when it completed.
template<class V, class E>
bool await(const Reactive::SignalProducer<V, E>& producer, std::chrono::seconds timeout, std::string& failure)
{
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool completed = false;
    auto started = producer.start(Reactive::Observer<V, E>::make([&](Reactive::Event<V, E>&& event) {
        if (event.isValue())
            return;
        std::lock_guard lock(mutex);
        if constexpr (!std::is_same_v<E, Reactive::NoError>) {
            if (event.isFailed())
                failure = event.error().description();
        }
        completed = event.isCompleted();
        ended = true;
        changed.notify_all();
    }));
    std::unique_lock lock(mutex);
    if (!changed.wait_for(lock, timeout, [&] { return ended; }))
        failure = "did not end";
    return completed;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 7) {
        std::cerr << "usage: crash-sync-driver <base URL> <login> <password> <cloud folder> <store file> <transfer folder>\n";
        return 2;
    }
    readStopRequest();
    Platform::killPointHandler.store(&reachKillPoint);

    auto baseURL = Platform::URL::create(argv[1]);
    if (!baseURL) {
        std::cerr << "crash-sync-driver: bad base URL\n";
        return 2;
    }
    Platform::URLSessionConfiguration configuration;
    if (const char* idle = std::getenv("ORVELLA_CRASH_IDLE_TIMEOUT"))
        configuration.idleTimeout = std::chrono::seconds(std::strtol(idle, nullptr, 10));
    configuration.connectTimeout = configuration.idleTimeout;
    configuration.temporaryDirectory = argv[6];
    auto endpoints = std::make_shared<Quarlink::InMemoryEnvironmentStore>(
        std::make_shared<Quarlink::Environment>(Quarlink::Environment::custom(*baseURL)));
    auto client = Quarlink::URLSessionAPIClient::create(configuration, std::make_shared<Quarlink::Testing::MemoryCredentialStore>(),
        endpoints, std::make_unique<Quarlink::Testing::ReachableMonitor>());
    if (!client) {
        std::cerr << "crash-sync-driver: no API client\n";
        return 2;
    }

    auto ownChanges = Platform::OwnChangeRegistry::create();
    auto holder = std::make_shared<Orvella::Testing::MemoryCredentialHolder>();
    auto manager = Orvella::APIClientManager::create({
        .apiClient = *client,
        .sanitizer = std::make_shared<Orvella::EmailDomainPartCredentialSanitizer>("example.org"),
        .settingsManager = nullptr,
        .credentialHolder = holder,
    });
    auto refresher = std::make_shared<Orvella::Testing::DelegateRefresher>(manager, holder);
    Quarlink::setSessionRefresher(**client, refresher);

    int status = 0;
    {
        std::string failure;
        if (!await(manager->login({ argv[2], argv[3] }), 120s, failure)) {
            std::cerr << "crash-sync-driver: login failed: " << failure << '\n';
            status = 4;
        }
    }
    if (status == 0) {
        std::filesystem::path cloudFolder = argv[4];
        auto storeScheduler = Reactive::QueueScheduler::make("CrashSyncDriver.stores");
        auto folderConfiguration = std::make_shared<Sync::Testing::TestFolderConfiguration>(
            Platform::URL::fileURL(cloudFolder.string(), Platform::URL::IsDirectory::Yes));
        auto factory = Platform::Database::factory(Sync::cloudDatabaseConfiguration(argv[5]));
        auto fileStore = std::make_shared<Sync::RealmFileStore>(factory, storeScheduler);
        auto statusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(factory, storeScheduler);
        auto references = std::make_shared<Sync::ExtendedAttributeFileReferenceMapping>(fileStore,
            Platform::ExtendedAttributes::system(), ownChanges);
        auto diskStore = std::make_shared<Sync::FileSystemFileStore>(folderConfiguration, ownChanges);
        auto adapter = std::make_shared<Orvella::SyncAPIClientAdapter>(Orvella::SyncAPIClientAdapter::Collaborators {
            .apiClient = manager->apiClient(), .apiManager = manager });
        auto engine = std::make_shared<Sync::SyncManager>(adapter, *diskStore, fileStore, references, statusStore);
        if (const char* go = std::getenv("ORVELLA_CRASH_RETRY"); go && *go) {
            status = runUntilARetrySucceeds(engine, go);
            engine.reset();
        } else {
            std::mutex mutex;
            std::condition_variable changed;
            bool ended = false;
            std::size_t errors = 0;
            auto started = engine->performSync().start(Reactive::Observer<Sync::SyncEventPair, Reactive::NoError>::make(
                [&](Reactive::Event<Sync::SyncEventPair, Reactive::NoError>&& event) {
                    std::lock_guard lock(mutex);
                    if (event.isValue()) {
                        const auto& [syncEvent, change] = event.value();
                        if (syncEvent.isError()) {
                            ++errors;
                            std::cerr << "error: " << change.description() << ": " << syncEvent.error()->description() << '\n';
                        }
                    } else {
                        ended = true;
                    }
                    changed.notify_all();
                }));
            std::unique_lock lock(mutex);
            if (!changed.wait_for(lock, 600s, [&] { return ended; }))
                status = 5;
            else if (errors > 0)
                status = 3;
            lock.unlock();
            engine.reset();
        }
    }
    // A finished run lets go of the manager on the client's delivery thread.
    for (int attempt = 0; attempt < 1000 && manager.use_count() > 1; ++attempt)
        std::this_thread::sleep_for(5ms);
    Quarlink::setSessionRefresher(**client, nullptr);
    refresher.reset();
    manager.reset();
    std::cerr << "crash-sync-driver: run ended with status " << status << '\n';
    return status;
}
