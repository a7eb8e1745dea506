#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using Kind = SyncEvent::Kind;
using Call = InMemorySyncServer::Call;

TEST(SyncManager, FirstSyncDownBringsAThreeLevelTreeToDisk)
{
    // A first run fetches every folder and file of a nested server tree and records it.
    TestCloud cloud;
    cloud.server->addFile("/A/B/C/deep.txt", "deep");
    cloud.server->addFile("/A/B/mid.txt", "mid");
    cloud.server->addFile("/A/top.txt", "top");
    cloud.server->addFile("/root.txt", "root");
    cloud.server->addFolder("/Empty/");

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/A/B/C/deep.txt"), "deep");
    EXPECT_TRUE(cloud.exists("/Empty"));
    expectInStep(cloud);
    expectIdle(cloud);
}
