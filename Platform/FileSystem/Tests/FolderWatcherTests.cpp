#include "Platform/FileSystem/FolderWatcher.hpp"

#include "Platform/FileSystem/FileOperations.hpp"
#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <future>
#include <mutex>
#include <thread>
#include <unistd.h>

using namespace Platform;
using namespace Platform::Testing;
using namespace std::chrono_literals;

namespace {

// Collects deliveries from the reader thread and lets the test wait for one, with a deadline.
class Collector {
public:
    FolderWatcher::Callback callback()
    {
        return [this](FolderChanges changes) {
            std::lock_guard lock(m_mutex);
            m_deliveries.push_back(std::move(changes));
            m_changed.notify_all();
        };
    }

    // Waits until some delivery satisfies `condition`; true when one did in time.
    bool waitFor(const std::function<bool(const FolderChanges&)>& condition, std::chrono::milliseconds timeout = 5s)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            for (auto const& delivery : m_deliveries) {
                if (condition(delivery)) {
                    return true;
                }
            }
            return false;
        });
    }

    bool waitForPath(const std::string& path)
    {
        return waitFor([&path](const FolderChanges& changes) { return changes.paths.contains(path); });
    }

    // Waits for a delivery after the first `skipped` ones that names `path`.
    bool waitForPathAfter(std::size_t skipped, const std::string& path)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 5s, [&] {
            return std::any_of(m_deliveries.begin() + static_cast<std::ptrdiff_t>(std::min(skipped, m_deliveries.size())),
                               m_deliveries.end(), [&](auto const& delivery) { return delivery.paths.contains(path); });
        });
    }

    // Waits until every path has been delivered; answers how many deliveries it took.
    std::optional<std::size_t> waitForAll(const std::vector<std::string>& paths)
    {
        std::unique_lock lock(m_mutex);
        std::size_t count = 0;
        bool const all = m_changed.wait_for(lock, 10s, [&] {
            std::set<std::string> seen;
            count = m_deliveries.size();
            for (auto const& delivery : m_deliveries) {
                seen.insert(delivery.paths.begin(), delivery.paths.end());
            }
            return std::all_of(paths.begin(), paths.end(), [&](auto const& path) { return seen.contains(path); });
        });
        return all ? std::optional(count) : std::nullopt;
    }

    bool everDelivered(const std::string& path)
    {
        std::lock_guard lock(m_mutex);
        return std::any_of(m_deliveries.begin(), m_deliveries.end(),
                           [&](auto const& delivery) { return delivery.paths.contains(path); });
    }

    std::size_t count()
    {
        std::lock_guard lock(m_mutex);
        return m_deliveries.size();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<FolderChanges> m_deliveries;
};

std::unique_ptr<FolderWatcher> watch(const std::string& folder, Collector& collector,
                                     FolderWatcher::Options options = {})
{
    options.latency = options.latency == 1s ? 50ms : options.latency;
    options.callback = collector.callback();
    options.namesPaths = true;
    auto watcher = FolderWatcher::create(folder, std::move(options));
    EXPECT_TRUE(watcher.has_value());
    return watcher ? std::move(*watcher) : nullptr;
}

void touch(const std::string& path)
{
    int const descriptor = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(descriptor, 0) << path;
    ::close(descriptor);
}

}  // namespace

// Proves a file created (with its first write), changed, renamed and deleted three levels deep is reported
// each time, the creation and its write in one delivery.
TEST(FolderWatcherTests, ReportsChangesThreeLevelsDeep)
{
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "a/b/c", CreateIntermediates::Yes).has_value());
    Collector collector;
    auto const watcher = watch(root.path(), collector);
    ASSERT_TRUE(watcher);
    EXPECT_EQ(watcher->path(), root.path());
    std::string const file = root / "a/b/c/file.txt";

    writeFile(file, "one");
    ASSERT_TRUE(collector.waitForPath(file));

    auto seen = collector.count();
    { std::ofstream(file, std::ios::app) << "two"; }
    ASSERT_TRUE(collector.waitForPathAfter(seen, file));
    seen = collector.count();
    ASSERT_EQ(::rename(file.c_str(), (root / "a/b/c/renamed.txt").c_str()), 0);
    ASSERT_TRUE(collector.waitForPathAfter(seen, file));
    ASSERT_TRUE(collector.waitForPathAfter(seen, root / "a/b/c/renamed.txt"));
    seen = collector.count();
    ASSERT_EQ(::unlink((root / "a/b/c/renamed.txt").c_str()), 0);
    ASSERT_TRUE(collector.waitForPathAfter(seen, root / "a/b/c/renamed.txt"));
}

// Proves a burst of 1,000 creations is delivered in a few gathered deliveries, not one per file.
TEST(FolderWatcherTests, BurstIsGatheredIntoFewDeliveries)
{
    TemporaryDirectory root;
    Collector collector;
    FolderWatcher::Options options;
    options.latency = 200ms;
    auto const watcher = watch(root.path(), collector, std::move(options));
    std::vector<std::string> paths;
    for (int index = 0; index < 1000; ++index) {
        paths.push_back(root.path() + "/f" + std::to_string(index));
        touch(paths.back());
    }
    auto const deliveries = collector.waitForAll(paths);
    ASSERT_TRUE(deliveries.has_value());
    EXPECT_LE(*deliveries, 10u);
}

// Proves a directory made and filled at once, and a tree moved in from outside, are reported completely and
// watched from then on.
TEST(FolderWatcherTests, NewAndMovedInDirectoriesAreSeenCompletely)
{
    TemporaryDirectory outside;
    ASSERT_TRUE(createDirectory(outside / "tree/sub", CreateIntermediates::Yes).has_value());
    writeFile(outside / "tree/sub/deep.txt", "d");
    TemporaryDirectory root;
    Collector collector;
    auto const watcher = watch(root.path(), collector);

    ASSERT_TRUE(createDirectory(root / "new/one/two", CreateIntermediates::Yes).has_value());
    writeFile(root / "new/one/two/x.txt", "x");
    writeFile(root / "new/y.txt", "y");
    ASSERT_TRUE(collector.waitForAll({root / "new", root / "new/one", root / "new/one/two",
                                      root / "new/one/two/x.txt", root / "new/y.txt"}));

    ASSERT_TRUE(moveItem(outside / "tree", root / "tree").has_value());
    ASSERT_TRUE(collector.waitForAll({root / "tree", root / "tree/sub", root / "tree/sub/deep.txt"}));
    writeFile(root / "tree/sub/later.txt", "l");
    ASSERT_TRUE(collector.waitForPath(root / "tree/sub/later.txt"));

    // A directory renamed inside the folder is watched under its new name.
    ASSERT_TRUE(moveItem(root / "tree", root / "renamed").has_value());
    writeFile(root / "renamed/sub/after.txt", "a");
    ASSERT_TRUE(collector.waitForPath(root / "renamed/sub/after.txt"));
}

// Proves deleting the watched folder, or renaming it, is reported as a root change.
TEST(FolderWatcherTests, ReportsTheRootGoingAway)
{
    TemporaryDirectory parent;
    ASSERT_TRUE(createDirectory(parent / "cloud/sub", CreateIntermediates::Yes).has_value());
    ASSERT_TRUE(createDirectory(parent / "other", CreateIntermediates::Yes).has_value());
    Collector deleted;
    auto const first = watch(parent / "cloud", deleted);
    Collector renamed;
    auto const second = watch(parent / "other", renamed);

    ASSERT_TRUE(removeItem(parent / "cloud").has_value());
    EXPECT_TRUE(deleted.waitFor([](auto const& changes) { return changes.rootChanged; }));
    ASSERT_TRUE(moveItem(parent / "other", parent / "moved").has_value());
    EXPECT_TRUE(renamed.waitFor([&](auto const& changes) {
        return changes.rootChanged && changes.paths.contains(parent / "other");
    }));
}

// Proves the engine's own registered changes fire nothing (a file written, a folder made with content)
// while an unregistered change right after them is still reported.
TEST(FolderWatcherTests, OwnChangesAreIgnored)
{
    TemporaryDirectory root;
    auto const registry = OwnChangeRegistry::create(2s);
    Collector collector;
    FolderWatcher::Options options;
    options.ownChanges = registry;
    auto const watcher = watch(root.path(), collector, std::move(options));

    {
        auto const file = registry->registerChange(root / "own.txt", OwnChangeRegistry::Scope::item);
        writeFile(root / "own.txt", "mine");
        auto const folder = registry->registerChange(root / "ownFolder", OwnChangeRegistry::Scope::item);
        ASSERT_TRUE(createDirectory(root / "ownFolder", CreateIntermediates::No).has_value());
        auto const inside = registry->registerChange(root / "ownFolder/in.txt", OwnChangeRegistry::Scope::item);
        writeFile(root / "ownFolder/in.txt", "mine");
    }
    writeFile(root / "user.txt", "theirs");

    ASSERT_TRUE(collector.waitForPath(root / "user.txt"));
    EXPECT_FALSE(collector.everDelivered(root / "own.txt"));
    EXPECT_FALSE(collector.everDelivered(root / "ownFolder"));
    EXPECT_FALSE(collector.everDelivered(root / "ownFolder/in.txt"));
}

// Proves a lost event queue is reported as "everything changed" and that the rebuilt watches still see
// changes deep in the tree. The reader is held in its callback while more events arrive than the kernel
// queues.
TEST(FolderWatcherTests, QueueOverflowReportsEverythingAndRebuilds)
{
    int queueLimit = 16384;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queueLimit;
    if (queueLimit > 100'000) {
        GTEST_SKIP() << "the kernel queues too many events to overflow quickly";
    }
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "deep/er", CreateIntermediates::Yes).has_value());
    ASSERT_TRUE(createDirectory(root / "many", CreateIntermediates::No).has_value());
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<bool> blocked{false};
    Collector collector;
    FolderWatcher::Options options;
    options.latency = 10ms;
    options.namesPaths = true;
    options.callback = [&, inner = collector.callback()](FolderChanges changes) {
        if (!blocked.exchange(true)) {
            released.wait();
        }
        inner(std::move(changes));
    };
    auto watcher = FolderWatcher::create(root.path(), std::move(options));
    ASSERT_TRUE(watcher.has_value());

    touch(root / "blocker");
    ASSERT_TRUE(waitUntil([&] { return blocked.load(); }));
    for (int index = 0; index <= queueLimit + 100; ++index) {
        touch(root.path() + "/many/f" + std::to_string(index));
    }
    release.set_value();

    ASSERT_TRUE(collector.waitFor([](auto const& changes) { return changes.everythingChanged; }, 10s));
    writeFile(root / "deep/er/after.txt", "a");
    ASSERT_TRUE(collector.waitForPath(root / "deep/er/after.txt"));
}

// Proves reaching the watch limit is reported once as degraded without failing, and that the directories
// that are watched still report changes.
TEST(FolderWatcherTests, WatchLimitDegradesWithoutFailing)
{
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "a", CreateIntermediates::No).has_value());
    ASSERT_TRUE(createDirectory(root / "b", CreateIntermediates::No).has_value());
    ASSERT_TRUE(createDirectory(root / "c", CreateIntermediates::No).has_value());
    LogCapture const log;
    Collector collector;
    FolderWatcher::Options options;
    options.maximumWatches = 2;
    auto const watcher = watch(root.path(), collector, std::move(options));
    ASSERT_TRUE(watcher);

    EXPECT_TRUE(watcher->isDegraded());
    ASSERT_TRUE(collector.waitFor([](auto const& changes) { return changes.degraded; }));
    writeFile(root / "a/seen.txt", "s");
    ASSERT_TRUE(createDirectory(root / "d", CreateIntermediates::No).has_value());
    ASSERT_TRUE(collector.waitForAll({root / "a/seen.txt", root / "d"}));
    auto const lines = log.lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](auto const& line) { return line.find("watch limit reached") != std::string::npos; }),
              1);
}

// Proves a tree of exactly as many folders as the watch limit is watched whole, and one folder more degrades.
TEST(FolderWatcherTests, WatchLimitCountsEveryFolderOfTheTree)
{
    TemporaryDirectory root;
    ASSERT_TRUE(createDirectory(root / "a", CreateIntermediates::No).has_value());
    ASSERT_TRUE(createDirectory(root / "a/b", CreateIntermediates::No).has_value());
    for (std::size_t const limit : {std::size_t{3}, std::size_t{2}}) {
        Collector collector;
        FolderWatcher::Options options;
        options.maximumWatches = limit;
        auto const watcher = watch(root.path(), collector, std::move(options));
        ASSERT_TRUE(watcher);
        EXPECT_EQ(watcher->isDegraded(), limit < 3) << limit;
    }
}

// Proves deliveries go through the caller's executor when one is given, and that a watcher may be destroyed
// from its own callback.
TEST(FolderWatcherTests, DeliversThroughExecutorAndMayEndInItsCallback)
{
    TemporaryDirectory root;
    std::mutex mutex;
    std::deque<std::function<void()>> queue;
    std::unique_ptr<FolderWatcher> watcher;
    std::atomic<bool> delivered{false};
    FolderWatcher::Options options;
    options.latency = 10ms;
    options.executor = [&](std::function<void()> work) {
        std::lock_guard lock(mutex);
        queue.push_back(std::move(work));
    };
    auto const testThread = std::this_thread::get_id();
    options.callback = [&](FolderChanges) {
        EXPECT_EQ(std::this_thread::get_id(), testThread);
        delivered = true;
    };
    auto created = FolderWatcher::create(root.path(), std::move(options));
    ASSERT_TRUE(created.has_value());
    watcher = std::move(*created);
    writeFile(root / "x", "x");
    ASSERT_TRUE(waitUntil([&] {
        std::lock_guard lock(mutex);
        return !queue.empty();
    }));
    std::function<void()> work;
    {
        std::lock_guard lock(mutex);
        work = std::move(queue.front());
    }
    work();
    EXPECT_TRUE(delivered);

    Collector collector;
    std::atomic<bool> ended{false};
    std::unique_ptr<FolderWatcher> selfEnding;
    FolderWatcher::Options ending;
    ending.latency = 10ms;
    std::mutex endingMutex;
    ending.callback = [&](FolderChanges) {
        std::lock_guard lock(endingMutex);
        selfEnding.reset();
        ended = true;
    };
    auto made = FolderWatcher::create(root.path(), std::move(ending));
    ASSERT_TRUE(made.has_value());
    {
        std::lock_guard lock(endingMutex);
        selfEnding = std::move(*made);
    }
    writeFile(root / "y", "y");
    ASSERT_TRUE(waitUntil([&] { return ended.load(); }));
}

// Proves watching something that is not a directory fails up front.
TEST(FolderWatcherTests, RefusesMissingFoldersAndFiles)
{
    TemporaryDirectory root;
    writeFile(root / "file", "");
    Collector collector;
    FolderWatcher::Options options;
    options.callback = collector.callback();
    auto missing = FolderWatcher::create(root / "missing", options);
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().code, FileSystemErrorCode::notFound);
    auto file = FolderWatcher::create(root / "file", options);
    ASSERT_FALSE(file.has_value());
    EXPECT_EQ(file.error().code, FileSystemErrorCode::notADirectory);
}
