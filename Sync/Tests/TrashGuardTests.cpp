#include "Sync/Tests/DiskTestSupport.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>

using namespace Sync;
using namespace Sync::Testing;

namespace {

// A cloud of `count` synced files at the top level, the Trash setting off,
// its Trash in the test's own data home.
struct GuardedCloud {
    TestCloud cloud;
    DataHome home { cloud.directory() + "/data" };
    std::mutex mutex;
    std::vector<std::size_t> reports;

    explicit GuardedCloud(int count)
    {
        for (int index = 0; index < count; ++index)
            cloud.server->addFile("/f" + std::to_string(index) + ".txt", "content " + std::to_string(index));
        EXPECT_TRUE(cloud.sync().completed);
        cloud.manager->trashedForSafety().observeValues([this](std::size_t trashed) {
            std::lock_guard lock(mutex);
            reports.push_back(trashed);
        });
    }

    // The server loses the first `count` files.
    void loseOnServer(int count)
    {
        for (int index = 0; index < count; ++index)
            cloud.server->removeItem("/f" + std::to_string(index) + ".txt");
    }

    std::size_t inTrash() const
    {
        std::error_code ignored;
        auto files = cloud.directory() + "/data/Trash/files";
        if (!std::filesystem::exists(files, ignored))
            return 0;
        auto entries = std::filesystem::directory_iterator(files, ignored);
        return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
    }
};

} // namespace

TEST(TrashGuard, AListingThatLosesMoreThanFiftyOfMostStoredItemsSendsEveryDeleteToTheTrash)
{
    // Proves the bound on the count: 50 of 60 files gone from the listing (more than half, not more than
    // 50) are removed as the setting says; 51 of 60 all go to the Trash, none is removed outright, and the
    // run reports the 51 once.
    {
        GuardedCloud guarded(60);
        guarded.loseOnServer(50);
        ASSERT_TRUE(guarded.cloud.sync().completed);
        EXPECT_FALSE(guarded.cloud.exists("/f0.txt"));
        EXPECT_EQ(guarded.inTrash(), 0u);
        EXPECT_TRUE(guarded.reports.empty());
    }
    GuardedCloud guarded(60);
    guarded.loseOnServer(51);
    auto run = guarded.cloud.sync();
    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_FALSE(guarded.cloud.exists("/f0.txt"));
    EXPECT_EQ(guarded.inTrash(), 51u);
    std::lock_guard lock(guarded.mutex);
    EXPECT_EQ(guarded.reports, std::vector<std::size_t> { 51 });
    EXPECT_EQ(guarded.cloud.storedPaths().size(), 9u);
}

TEST(TrashGuard, AListingThatLosesMoreThanHalfOfTheStoredItemsSendsEveryDeleteToTheTrash)
{
    // Proves the bound on the share: 60 of 120 files gone (more than 50, not more than half) are removed as
    // the setting says; 61 of 120 all go to the Trash; a lost folder counts with what lies below it.
    {
        GuardedCloud guarded(120);
        guarded.loseOnServer(60);
        ASSERT_TRUE(guarded.cloud.sync().completed);
        EXPECT_EQ(guarded.inTrash(), 0u);
        EXPECT_TRUE(guarded.reports.empty());
    }
    GuardedCloud guarded(59);
    for (int index = 0; index < 62; ++index)
        guarded.cloud.server->addFile("/Lost/g" + std::to_string(index) + ".txt", "lost");
    ASSERT_TRUE(guarded.cloud.sync().completed); // 59 + 1 folder + 62 = 122 stored
    guarded.cloud.server->removeItem("/Lost/");
    ASSERT_TRUE(guarded.cloud.sync().completed); // 63 of 122 gone, in one delete of a folder
    EXPECT_FALSE(guarded.cloud.exists("/Lost"));
    EXPECT_EQ(guarded.inTrash(), 1u); // the folder, with its files inside
    EXPECT_EQ(guarded.cloud.storedPaths().size(), 59u);
    std::lock_guard lock(guarded.mutex);
    EXPECT_EQ(guarded.reports, std::vector<std::size_t> { 63 });
}
