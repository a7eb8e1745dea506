#include "Sync/Watch/QVFileSystemEventsWatcher.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/KillPoint.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Sync/Tests/WatcherTestSupport.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>

using namespace Sync;
using namespace Sync::Testing;
using namespace Platform::Testing;
using namespace std::chrono_literals;

namespace {

constexpr auto latency = 150ms;

// A watcher whose calls are counted; `rootSeen` turns true in the call that
// reports the watched folder going away, the last call a watcher makes.
struct CountedWatcher {
    CallCounter calls;
    std::atomic<bool> rootSeen { false };
    std::unique_ptr<QVFileSystemEventsWatcher> watcher;

    explicit CountedWatcher(const std::string& folder, QVFileSystemEventsWatcher::Options options = { latency, nullptr })
    {
        watcher = std::make_unique<QVFileSystemEventsWatcher>(std::move(options));
        watcher->setCompletionBlock([this] {
            if (!watcher->isWatching()) {
                rootSeen = true;
            }
            calls.increment();
        });
        watcher->startWatchingFolderAtPath(folder);
    }

    // Renames the watched folder away and waits for that last call; true when it came.
    bool endWithRootRename(const std::string& folder)
    {
        if (std::rename(folder.c_str(), (folder + ".gone").c_str()) != 0) {
            return false;
        }
        return Platform::Testing::waitUntil([this] { return rootSeen.load(); }, 10s);
    }
};

}

// Proves a file created, changed, renamed and deleted three levels deep calls the block once per change
// (each change's several kernel events gathered into one window), and nothing else.
TEST(QVFileSystemEventsWatcherTests, ChangesThreeLevelsDeepCallOncePerWindow)
{
    TemporaryDirectory root;
    const auto folder = root / "cloud";
    ASSERT_TRUE(Platform::createDirectory(folder + "/a/b/c", Platform::CreateIntermediates::Yes).has_value());
    CountedWatcher counted(folder);
    ASSERT_TRUE(counted.watcher->isWatching());
    EXPECT_EQ(counted.watcher->path(), folder);
    const auto file = folder + "/a/b/c/file.txt";

    writeFile(file, "one");
    ASSERT_TRUE(counted.calls.waitForCount(1));
    { std::ofstream(file, std::ios::app) << "two"; }
    ASSERT_TRUE(counted.calls.waitForCount(2));
    ASSERT_EQ(std::rename(file.c_str(), (folder + "/a/b/c/renamed.txt").c_str()), 0);
    ASSERT_TRUE(counted.calls.waitForCount(3));
    ASSERT_EQ(std::remove((folder + "/a/b/c/renamed.txt").c_str()), 0);
    ASSERT_TRUE(counted.calls.waitForCount(4));

    ASSERT_TRUE(counted.endWithRootRename(folder));
    EXPECT_EQ(counted.calls.count(), 5u);
}

// Proves a burst of 1,000 creations calls the block a few times (about one per latency window it spans),
// not once per file.
TEST(QVFileSystemEventsWatcherTests, BurstCallsAFewTimes)
{
    TemporaryDirectory root;
    const auto folder = root / "cloud";
    ASSERT_TRUE(Platform::createDirectory(folder, Platform::CreateIntermediates::No).has_value());
    CountedWatcher counted(folder);

    const auto started = std::chrono::steady_clock::now();
    for (int index = 0; index < 1000; ++index) {
        writeFile(folder + "/file" + std::to_string(index), "x");
    }
    const auto burst = std::chrono::steady_clock::now() - started;
    ASSERT_TRUE(counted.calls.waitForCount(1));
    ASSERT_TRUE(counted.endWithRootRename(folder));

    // One window per latency the burst spans, one more for its tail, one for the rename.
    const auto windows = static_cast<std::size_t>(std::ceil(std::chrono::duration<double>(burst) / latency));
    EXPECT_LE(counted.calls.count(), windows + 2);
    EXPECT_LT(counted.calls.count(), 20u);
}

// Proves the engine's own registered writes call nothing, while the watched folder going away after them
// is still reported.
TEST(QVFileSystemEventsWatcherTests, OwnChangesCallNothing)
{
    TemporaryDirectory root;
    const auto folder = root / "cloud";
    ASSERT_TRUE(Platform::createDirectory(folder, Platform::CreateIntermediates::No).has_value());
    auto registry = Platform::OwnChangeRegistry::create(5s);
    CountedWatcher counted(folder, { latency, registry });
    ReferenceWatcher reference(folder, latency);

    {
        auto const file = registry->registerChange(folder + "/own.txt", Platform::OwnChangeRegistry::Scope::item);
        writeFile(folder + "/own.txt", "mine");
        auto const directory = registry->registerChange(folder + "/Own", Platform::OwnChangeRegistry::Scope::subtree);
        ASSERT_TRUE(Platform::createDirectory(folder + "/Own", Platform::CreateIntermediates::No).has_value());
        writeFile(folder + "/Own/inside.txt", "mine");
    }
    // The reference watcher has gathered the same events by now, so a call
    // for them would have come as well.
    ASSERT_TRUE(reference.waitForPath(folder + "/Own/inside.txt"));

    ASSERT_TRUE(counted.endWithRootRename(folder));
    EXPECT_EQ(counted.calls.count(), 1u);
}

// Proves deleting the watched folder is reported with one call and leaves the watcher idle, and that a
// folder made anew at the path is watched again (announced with one call), as a path-based stream would.
TEST(QVFileSystemEventsWatcherTests, DeletedFolderIsReportedAndWatchedAgainWhenBack)
{
    TemporaryDirectory root;
    const auto folder = root / "cloud";
    ASSERT_TRUE(Platform::createDirectory(folder + "/sub", Platform::CreateIntermediates::Yes).has_value());
    writeFile(folder + "/sub/file.txt", "x");
    CountedWatcher counted(folder);

    ASSERT_TRUE(Platform::removeItem(folder).has_value());
    ASSERT_TRUE(waitUntil([&] { return counted.rootSeen.load(); }, 10s));
    EXPECT_FALSE(counted.watcher->isWatching());
    const auto afterRemoval = counted.calls.count();

    ASSERT_TRUE(Platform::createDirectory(folder, Platform::CreateIntermediates::No).has_value());
    ASSERT_TRUE(counted.calls.waitForCount(afterRemoval + 1));
    EXPECT_TRUE(counted.watcher->isWatching());
    writeFile(folder + "/new.txt", "x");
    EXPECT_TRUE(counted.calls.waitForCount(afterRemoval + 2));
}

namespace {

// Counts the attempts to watch a folder again that found nothing to watch.
std::atomic<int> failedRevivals { 0 };

void countFailedRevival(const char* name)
{
    if (std::string_view(name) == "folder-watch-revival-failed")
        failedRevivals.fetch_add(1);
}

}

// Proves a folder that is still missing when the watcher first looks for it again is looked for until it is
// back, however long that takes: it is then watched (announced with one call), and a file put into it calls.
TEST(QVFileSystemEventsWatcherTests, AFolderBackOnlyAfterAFailedLookIsWatchedAgain)
{
    TemporaryDirectory root;
    const auto folder = root / "cloud";
    ASSERT_TRUE(Platform::createDirectory(folder, Platform::CreateIntermediates::No).has_value());
    failedRevivals = 0;
    Platform::killPointHandler.store(&countFailedRevival);
    CountedWatcher counted(folder);

    ASSERT_TRUE(Platform::removeItem(folder).has_value());
    ASSERT_TRUE(waitUntil([&] { return counted.rootSeen.load(); }, 10s));
    const auto afterRemoval = counted.calls.count();
    ASSERT_TRUE(waitUntil([] { return failedRevivals.load() >= 1; }, 10s));

    ASSERT_TRUE(Platform::createDirectory(folder, Platform::CreateIntermediates::No).has_value());
    const bool announced = counted.calls.waitForCount(afterRemoval + 1);
    Platform::killPointHandler.store(nullptr);
    ASSERT_TRUE(announced);
    EXPECT_TRUE(counted.watcher->isWatching());
    writeFile(folder + "/new.txt", "x");
    EXPECT_TRUE(counted.calls.waitForCount(afterRemoval + 2));
}

// Proves watching a missing folder, or a file, logs the watcher's line and leaves it idle with its path
// unchanged, without a call while nothing is made there.
TEST(QVFileSystemEventsWatcherTests, MissingFolderIsLoggedAndLeftIdle)
{
    TemporaryDirectory root;
    writeFile(root / "plain", "x");
    Platform::LogCapture log;
    CallCounter calls;

    auto watcher = QVFileSystemEventsWatcher::eventsWatcherWithURL(Platform::URL::fileURL(root / "missing/./x/.."),
        [&calls] { calls.increment(); });
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_EQ(watcher->path(), "");
    EXPECT_TRUE(log.contains("[QVFileSystemEventsWatcher, -[QVFileSystemEventsWatcher startWatchingFolderAtPath:]] "
                             "Cannot start watching for files systemt events, directory at path "
        + root / "missing" + " does not exist or is not a directory!"));

    watcher->startWatchingFolderAtPath(root.path());
    ASSERT_TRUE(watcher->isWatching());
    watcher->startWatchingFolderAtPath(root / "plain");
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_EQ(watcher->path(), root.path());
    EXPECT_TRUE(log.contains("directory at path " + root / "plain" + " does not exist"));
    EXPECT_EQ(calls.count(), 0u);
}

// Proves a folder made only after watching began (the cloud folder of a first login) is watched from
// then on: one call when it appears, then a call for a file put into it.
TEST(QVFileSystemEventsWatcherTests, AFolderMadeAfterTheStartIsWatchedOnceItExists)
{
    TemporaryDirectory root;
    const auto folder = root / "cloud";
    CountedWatcher counted(folder);
    EXPECT_FALSE(counted.watcher->isWatching());
    EXPECT_EQ(counted.calls.count(), 0u);

    ASSERT_TRUE(Platform::createDirectory(folder, Platform::CreateIntermediates::No).has_value());
    ASSERT_TRUE(counted.calls.waitForCount(1));
    EXPECT_TRUE(counted.watcher->isWatching());
    writeFile(folder + "/new.txt", "x");
    EXPECT_TRUE(counted.calls.waitForCount(2));
}

// Proves the producer sends the folder at once, again for every change, and that disposing it stops the
// watcher: a change afterwards sends nothing.
TEST(QVFileSystemEventsWatcherTests, EventProducerFollowsItsSubscription)
{
    TemporaryDirectory root;
    const auto folder = Platform::URL::fileURL(root.path());
    CallCounter values;
    std::mutex mutex;
    std::vector<Platform::URL> received;

    auto subscription = QVFileSystemEventsWatcher::eventProducer(folder, { latency, nullptr })
                            .startWithValues([&](const Platform::URL& url) {
                                {
                                    std::lock_guard lock(mutex);
                                    received.push_back(url);
                                }
                                values.increment();
                            });
    EXPECT_EQ(values.count(), 1u);
    writeFile(root / "a.txt", "x");
    ASSERT_TRUE(values.waitForCount(2));

    subscription.dispose();
    ReferenceWatcher reference(root.path(), latency);
    writeFile(root / "b.txt", "x");
    ASSERT_TRUE(reference.waitForPath(root / "b.txt"));
    EXPECT_EQ(values.count(), 2u);
    std::lock_guard lock(mutex);
    for (const auto& url : received) {
        EXPECT_EQ(url, folder);
    }
}
