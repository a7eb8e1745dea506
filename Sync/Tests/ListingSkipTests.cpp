// The run that skips the listing because the root etag names the stored
// state: it may skip only a listing that told the truth, and only while
// nothing but an etag change could make the next listing say otherwise.

#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;

namespace {

std::string name(int index)
{
    return "/f" + std::to_string(index) + ".txt";
}

std::string content(int index)
{
    return "content " + std::to_string(index);
}

// One run, with the number of listings it fetched.
struct CountedRun {
    TestCloud::RunResult result;
    int listings = 0;
};

CountedRun countedSync(TestCloud& cloud)
{
    cloud.server->resetCounts();
    CountedRun run;
    run.result = cloud.sync();
    run.listings = cloud.server->callCount(Call::remoteFiles);
    return run;
}

} // namespace

TEST(ListingSkip, AListingThatDeletedHereIsListedAgainAndWhatItLeftOutComesBack)
{
    // A short listing (another file on the server made the etag change) reads
    // as deletes: one of twenty files, and then most of sixty, which the
    // mass-deletion bound sends to the Trash. The next run, with the root
    // etag unchanged, lists again and brings every file back; a run after a
    // listing that deleted nothing skips again.
    for (const auto& [count, hidden] : { std::pair(20, 1), std::pair(60, 51) }) {
        SCOPED_TRACE(std::to_string(hidden) + " of " + std::to_string(count));
        TestCloud cloud;
        DataHome home(cloud.directory() + "/data");
        for (int index = 0; index < count; ++index)
            cloud.server->addFile(name(index), content(index));
        ASSERT_TRUE(cloud.sync().completed);

        cloud.server->addFile("/new.txt", "new");
        for (int index = 0; index < hidden; ++index)
            cloud.server->hideFromListings(name(index));
        auto shortListed = countedSync(cloud);
        ASSERT_TRUE(shortListed.result.completed);
        ASSERT_EQ(cloud.readFile("/new.txt"), "new");
        ASSERT_FALSE(cloud.exists(name(0)));
        const auto etag = cloud.server->rootEtag();

        auto again = countedSync(cloud);

        ASSERT_TRUE(again.result.completed);
        EXPECT_EQ(cloud.server->rootEtag(), etag);
        EXPECT_EQ(again.listings, 1);
        EXPECT_EQ(errorsOf(again.result), std::vector<std::string>());
        for (int index = 0; index < hidden; ++index)
            EXPECT_EQ(cloud.readFile(name(index)), content(index)) << name(index);
        expectInStep(cloud);
        EXPECT_EQ(countedSync(cloud).listings, 0);
    }
}

TEST(ListingSkip, APublicLinkPastItsExpiryIsListedAgainThoughNoEtagChanged)
{
    // The service lists an expired link as none without a new etag: the run
    // after the expiry lists, and the record no longer says "shared".
    TestCloud cloud;
    cloud.server->addFile("/shared.txt", "s");
    cloud.server->addFile("/plain.txt", "p");
    ASSERT_TRUE(cloud.sync().completed);
    const auto expiry = Platform::Date::fromWholeSecondsSince1970(Platform::Date::now().wholeSecondsSince1970() + 3);
    auto link = std::make_shared<PublicShareInfoItem>(7, cloud.server->idAt("/shared.txt"),
        *Platform::URL::create("https://share.example/abc"), expiry);
    ASSERT_TRUE(cloud.server->setShares("/shared.txt", link, {}));
    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_TRUE(cloud.fileStore->fileAtPath("/shared.txt")->hasPublicShare());
    // While the link is valid the skip holds.
    EXPECT_EQ(countedSync(cloud).listings, 0);
    const auto etag = cloud.server->rootEtag();

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (isValid(*link) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_FALSE(isValid(*link));
    auto expired = countedSync(cloud);

    ASSERT_TRUE(expired.result.completed);
    EXPECT_EQ(cloud.server->rootEtag(), etag);
    EXPECT_EQ(expired.listings, 1);
    auto stored = std::dynamic_pointer_cast<FileWrapperItem>(cloud.fileStore->fileAtPath("/shared.txt"));
    ASSERT_TRUE(stored);
    EXPECT_FALSE(stored->hasPublicShare());
    EXPECT_FALSE(stored->publicShareInfo());
    // Brought in step, the record holds nothing that expires: the skip holds again.
    EXPECT_EQ(countedSync(cloud).listings, 0);
}

TEST(ListingSkip, ARootEtagRequestThatFailsNeverSkipsTheListing)
{
    // Without the root etag nothing says the stored state is in step: the
    // listing is fetched, with no etag stored (the first sync) and with one.
    TestCloud cloud;
    cloud.server->addFile("/first.txt", "first");
    cloud.server->failNext(Call::rootEtag);
    auto first = countedSync(cloud);
    ASSERT_TRUE(first.result.completed);
    EXPECT_EQ(first.listings, 1);
    EXPECT_EQ(cloud.readFile("/first.txt"), "first");

    cloud.server->addFile("/second.txt", "second");
    cloud.server->failNext(Call::rootEtag);
    auto second = countedSync(cloud);
    ASSERT_TRUE(second.result.completed);
    EXPECT_EQ(second.listings, 1);
    EXPECT_EQ(cloud.readFile("/second.txt"), "second");
    expectInStep(cloud);
}

TEST(ListingSkip, WhatTheRemotePhaseFailedIsTriedAndReportedAgainByTheNextRun)
{
    // A download that failed comes down with the next run though the server
    // did not change; an entry the listing refuses (its parent is missing)
    // is an error of every run, not of the first only.
    TestCloud cloud;
    cloud.server->addFile("/kept.txt", "kept");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.server->addFile("/late.txt", "late");
    cloud.server->failNext(Call::download, 1, "/late.txt");
    auto failed = cloud.sync();
    ASSERT_TRUE(failed.completed);
    ASSERT_EQ(errorsOf(failed).size(), 1u);
    ASSERT_FALSE(cloud.exists("/late.txt"));

    auto retried = cloud.sync();

    ASSERT_TRUE(retried.completed);
    EXPECT_EQ(errorsOf(retried), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/late.txt"), "late");

    cloud.server->addListingEntry(listingEntry(970, 777, "/Lost/file.txt", "lost"));
    for (int run = 0; run < 3; ++run) {
        SCOPED_TRACE(run);
        auto refused = countedSync(cloud);
        ASSERT_TRUE(refused.result.completed);
        EXPECT_EQ(refused.listings, 1);
        ASSERT_EQ(errorsOf(refused.result).size(), 1u);
        EXPECT_NE(errorsOf(refused.result)[0].find("/Lost/file.txt"), std::string::npos);
    }
}
