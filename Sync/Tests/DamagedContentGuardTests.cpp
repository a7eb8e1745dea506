// A file a power cut damaged (its bytes lost while its name, date and
// record survived) never goes up over the server's good copy: real files in
// a real cloud folder, the whole engine against the server double.

#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;

namespace {

const auto recordedDate = Platform::Date::fromWholeSecondsSince1970(1'700'000'000);

// A cloud whose one file "/Docs/a.txt" is synced with `content`, dated `recordedDate`.
void syncOneFile(TestCloud& cloud, const std::string& content)
{
    cloud.server->addFile("/Docs/a.txt", content, recordedDate);
    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_EQ(cloud.readFile("/Docs/a.txt"), content);
    cloud.server->resetCounts();
}

} // namespace

TEST(DamagedContentGuard, OtherBytesUnderTheRecordedDateComeBackFromTheServerAndAreKeptBeside)
{
    // The content changed but the date did not: no edit does that. The
    // server's version comes down again, the local bytes are kept as a new
    // file beside it (which then goes up like any), and the server's copy is
    // never overwritten.
    TestCloud cloud;
    syncOneFile(cloud, "the good content");
    cloud.writeFile("/Docs/a.txt", "\x01garbled after a cut", recordedDate);

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->callCount(InMemorySyncServer::Call::reupload), 0);
    EXPECT_EQ(cloud.server->contentAt("/Docs/a.txt"), "the good content");
    EXPECT_EQ(cloud.readFile("/Docs/a.txt"), "the good content");
    EXPECT_EQ(cloud.readFile("/Docs/a (lokale Kopie).txt"), "\x01garbled after a cut");
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->contentAt("/Docs/a (lokale Kopie).txt"), "\x01garbled after a cut");
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(DamagedContentGuard, AFileThatBecameEmptyOrZerosIsRestoredWhateverItsDate)
{
    // Empty, or as long as before but all zeros, under a new date or the
    // recorded one: the server's version comes back and nothing of the
    // zeros is kept; the server's copy stays as it was.
    for (const auto& [damaged, keepDate] : std::vector<std::pair<std::string, bool>> {
             { "", false }, { std::string(16, '\0'), false }, { std::string(16, '\0'), true } }) {
        TestCloud cloud;
        syncOneFile(cloud, "sixteen bytes!!!");
        cloud.writeFile("/Docs/a.txt", damaged, keepDate ? std::optional(recordedDate) : std::nullopt);

        auto run = cloud.sync();

        ASSERT_TRUE(run.completed);
        EXPECT_EQ(errorsOf(run), std::vector<std::string>());
        EXPECT_EQ(cloud.server->callCount(InMemorySyncServer::Call::reupload), 0) << damaged.size();
        EXPECT_EQ(cloud.server->contentAt("/Docs/a.txt"), "sixteen bytes!!!");
        EXPECT_EQ(cloud.readFile("/Docs/a.txt"), "sixteen bytes!!!");
        EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/Docs/", "/Docs/a.txt" }));
        expectInStep(cloud);
    }
}

TEST(DamagedContentGuard, AnEditUnderANewDateStillGoesUp)
{
    // The guard takes nothing from the user: new content under a new date
    // is an edit and replaces the server's copy, and a file that had no
    // content may become anything.
    TestCloud cloud;
    syncOneFile(cloud, "before");
    cloud.server->addFile("/empty.txt", "", recordedDate);
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/Docs/a.txt", "after");
    cloud.writeFile("/empty.txt", std::string(4, '\0'));

    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    EXPECT_EQ(cloud.server->contentAt("/Docs/a.txt"), "after");
    EXPECT_EQ(cloud.server->contentAt("/empty.txt"), std::string(4, '\0'));
    EXPECT_FALSE(cloud.exists("/Docs/a (lokale Kopie).txt"));
    expectInStep(cloud);
}
