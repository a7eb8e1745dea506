#include "Sync/Schedule/SyncScheduler.hpp"

#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/TestSupport/TestCloud.hpp"
#include "Sync/Tests/SchedulerTestDoubles.hpp"
#include "Sync/Watch/CloudFolderWatcher.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <iostream>

using namespace Sync;
using namespace Sync::Testing;
using namespace std::chrono_literals;

namespace {

constexpr auto interval = 300s;

// The cloud folder as the disk store's configuration holds it.
class ConfiguredCloudFolder final : public CloudFolderProvider {
public:
    explicit ConfiguredCloudFolder(std::shared_ptr<TestFolderConfiguration> configuration)
        : m_configuration(std::move(configuration))
    {
    }
    Reactive::Property<Platform::URL> currentCloudFolder() const override { return m_configuration->folderURL(); }

private:
    std::shared_ptr<TestFolderConfiguration> m_configuration;
};

// The root etag as the application takes it from its remote service: a failed request sends nothing.
class ServerRootEtag final : public RootEtagProvider {
public:
    explicit ServerRootEtag(std::shared_ptr<SyncAPIClient> client) : m_client(std::move(client)) {}
    Reactive::SignalProducer<std::string, Reactive::NoError> rootEtag() override
    {
        ++polls;
        return m_client->syncRootEtag().ignoreError();
    }
    // The scheduler's polls (the engine asks the root etag in its runs too).
    std::atomic<int> polls { 0 };

private:
    std::shared_ptr<SyncAPIClient> m_client;
};

// A whole engine on real components (disk, database, inotify) against the in-memory server, started by
// the scheduler alone. The remote trigger runs in virtual time; everything else in real time.
struct Engine {
    TestCloud cloud;
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges = cloud.ownChanges;
    std::shared_ptr<SyncManager> manager = std::make_shared<SyncManager>(cloud.server,
        FileSystemFileStore(cloud.configuration, ownChanges), cloud.fileStore, cloud.referenceMapping, cloud.statusStore);
    std::shared_ptr<Reactive::TestScheduler> pollClock = std::make_shared<Reactive::TestScheduler>();
    std::shared_ptr<TestSyncConfiguration> configuration = std::make_shared<TestSyncConfiguration>(interval);
    std::shared_ptr<CloudFolderWatcher> watcher = std::make_shared<CloudFolderWatcher>(
        std::make_shared<ConfiguredCloudFolder>(cloud.configuration), FileSystemEventsWatcherOptions { 1s, ownChanges });
    std::shared_ptr<ServerRootEtag> rootEtag = std::make_shared<ServerRootEtag>(cloud.server);
    std::atomic<int> runs { 0 };
    Platform::LogCapture log;
    std::unique_ptr<SyncScheduler> scheduler;
    Reactive::AnyDisposable runCounting;

    // Sync starts switched off, so that the local trigger's first value is
    // refused rather than racing the first poll.
    Engine()
    {
        configuration->enabled.set(false);
        SyncSchedulerOptions options;
        options.intervalScheduler = pollClock;
        options.remoteTriggerScheduler = pollClock;
        scheduler = std::make_unique<SyncScheduler>(configuration, std::make_shared<TestCloudFolderPreparator>(), manager,
            watcher, rootEtag, options);
        runCounting = scheduler->syncAction().isExecuting().signal().observeValues([this](bool executing) {
            if (executing) {
                ++runs;
            }
        });
    }

    ~Engine()
    {
        runCounting.dispose();
        scheduler.reset();
    }

    // Waits until the local trigger watches, switches sync on, runs the
    // first poll and waits until the run it starts is over.
    bool settle()
    {
        if (!log.waitForLine("could not start. sync was already running", 10s)) {
            return false;
        }
        configuration->enabled.set(true);
        pollClock->advance();
        const bool settled = Platform::Testing::waitUntil([this] { return runs == 1 && scheduler->status().value().isIdle(); }, 20s);
        if (!settled) {
            std::cout << "not settled: " << runs << " runs, status " << scheduler->status().value() << ", "
                      << rootEtag->polls << " etag polls\n";
        }
        return settled;
    }
};

}

// Proves a file dropped into the cloud folder, and a new folder filled at once, reach the server through
// the local trigger alone, about a second (the watcher's latency) after the drop.
TEST(SyncSchedulerEndToEndTests, DroppedFilesReachTheServer)
{
    Engine engine;
    ASSERT_TRUE(engine.settle());
    const auto started = std::chrono::steady_clock::now();

    engine.cloud.writeFile("/dropped.txt", "hello");
    ASSERT_TRUE(Platform::Testing::waitUntil([&] { return engine.cloud.server->contentAt("/dropped.txt") == "hello"; }, 15s));
    const auto elapsed = std::chrono::steady_clock::now() - started;
    std::cout << "dropped file on the server after " << std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count() << " ms\n";
    EXPECT_LT(elapsed, 6s);

    engine.cloud.makeFolder("/New");
    engine.cloud.writeFile("/New/a.txt", "a");
    engine.cloud.makeFolder("/New/Deeper");
    engine.cloud.writeFile("/New/Deeper/b.txt", "b");
    EXPECT_TRUE(Platform::Testing::waitUntil([&] {
        return engine.cloud.server->contentAt("/New/a.txt") == "a" && engine.cloud.server->contentAt("/New/Deeper/b.txt") == "b";
    }, 15s));
    EXPECT_EQ(engine.rootEtag->polls, 1);
}

// Proves a change made on the server arrives on disk at the next poll, and only then.
TEST(SyncSchedulerEndToEndTests, ServerChangeArrivesAtTheNextPoll)
{
    Engine engine;
    ASSERT_TRUE(engine.settle());
    engine.cloud.server->addFile("/Remote/news.txt", "from the server");
    EXPECT_FALSE(engine.cloud.exists("/Remote/news.txt"));

    engine.pollClock->advance(interval);
    EXPECT_EQ(engine.rootEtag->polls, 2);
    EXPECT_TRUE(Platform::Testing::waitUntil([&] { return engine.cloud.readFile("/Remote/news.txt") == "from the server"; }, 15s));
}
