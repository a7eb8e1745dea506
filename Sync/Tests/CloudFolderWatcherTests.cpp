#include "Sync/Watch/CloudFolderWatcher.hpp"

#include "Platform/FileSystem/Tests/TemporaryDirectory.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Sync/Tests/WatcherTestSupport.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using namespace Platform::Testing;
using namespace std::chrono_literals;

namespace {

constexpr auto latency = 150ms;

class SettingsCloudFolderProvider final : public CloudFolderProvider {
public:
    explicit SettingsCloudFolderProvider(const std::string& path) : m_folder(Platform::URL::fileURL(path)) {}
    Reactive::Property<Platform::URL> currentCloudFolder() const override { return m_folder; }
    void setFolder(const std::string& path) { m_folder.set(Platform::URL::fileURL(path)); }

private:
    Reactive::MutableProperty<Platform::URL> m_folder;
};

}

// Proves a subscription gets one value at once, one per change on disk, and one at once when the cloud
// folder setting changes; afterwards changes in the old folder send nothing and the new folder is watched.
TEST(CloudFolderWatcherTests, FollowsTheCloudFolderSetting)
{
    TemporaryDirectory first;
    TemporaryDirectory second;
    auto provider = std::make_shared<SettingsCloudFolderProvider>(first.path());
    CloudFolderWatcher watcher(provider, { latency, nullptr });
    CallCounter values;

    Reactive::ScopedDisposable subscription(watcher.cloudFolderChanged().startWithValues([&](Reactive::Unit) { values.increment(); }));
    EXPECT_EQ(values.count(), 1u);
    writeFile(first / "a.txt", "x");
    ASSERT_TRUE(values.waitForCount(2));

    provider->setFolder(second.path());
    EXPECT_EQ(values.count(), 3u);

    ReferenceWatcher reference(first.path(), latency);
    writeFile(first / "old.txt", "x");
    ASSERT_TRUE(reference.waitForPath(first / "old.txt"));
    writeFile(second / "new.txt", "x");
    ASSERT_TRUE(values.waitForCount(4));
    EXPECT_EQ(values.count(), 4u);
}

// Proves a cloud folder that does not exist is logged and sends only the first value, and that a later
// setting pointing at a real folder is watched again.
TEST(CloudFolderWatcherTests, MissingCloudFolderSendsOnlyItsFirstValue)
{
    TemporaryDirectory root;
    Platform::LogCapture log;
    auto provider = std::make_shared<SettingsCloudFolderProvider>(root / "missing");
    CloudFolderWatcher watcher(provider, { latency, nullptr });
    CallCounter values;

    Reactive::ScopedDisposable subscription(watcher.cloudFolderChanged().startWithValues([&](Reactive::Unit) { values.increment(); }));
    EXPECT_EQ(values.count(), 1u);
    EXPECT_TRUE(log.contains("directory at path " + root / "missing" + " does not exist or is not a directory!"));

    provider->setFolder(root.path());
    EXPECT_EQ(values.count(), 2u);
    writeFile(root / "a.txt", "x");
    ASSERT_TRUE(values.waitForCount(3));
}

// Proves every subscription has a watcher of its own: disposing one leaves the other watching.
TEST(CloudFolderWatcherTests, EachSubscriptionWatchesOnItsOwn)
{
    TemporaryDirectory root;
    auto provider = std::make_shared<SettingsCloudFolderProvider>(root.path());
    CloudFolderWatcher watcher(provider, { latency, nullptr });
    CallCounter firstValues;
    CallCounter secondValues;

    auto first = watcher.cloudFolderChanged().startWithValues([&](Reactive::Unit) { firstValues.increment(); });
    Reactive::ScopedDisposable second(watcher.cloudFolderChanged().startWithValues([&](Reactive::Unit) { secondValues.increment(); }));
    first.dispose();

    ReferenceWatcher reference(root.path(), latency);
    writeFile(root / "a.txt", "x");
    ASSERT_TRUE(secondValues.waitForCount(2));
    ASSERT_TRUE(reference.waitForPath(root / "a.txt"));
    EXPECT_EQ(firstValues.count(), 1u);
}
