#include "Sync/Changes/ServerEdits.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <mutex>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;

namespace {

// The disk paths below `folder` that are conflict names of `fileName`.
std::vector<std::string> copiesOf(const TestCloud& cloud, const std::string& folder, const std::string& fileName)
{
    std::vector<std::string> copies;
    for (const auto& path : cloud.diskPaths()) {
        if (path.starts_with(folder) && path.find('/', folder.size()) == std::string::npos
            && isConflictNameOf(path.substr(folder.size()), fileName)) {
            copies.push_back(path);
        }
    }
    return copies;
}

// What the manager said it kept, over every run since it was made.
struct KeptRecorder {
    explicit KeptRecorder(TestCloud& cloud)
    {
        cloud.manager->serverVersionsKept().observeValues([this](const std::vector<KeptServerVersion>& kept) {
            std::lock_guard lock(mutex);
            runs.push_back(kept);
        });
    }
    std::vector<std::vector<KeptServerVersion>> values()
    {
        std::lock_guard lock(mutex);
        return runs;
    }
    std::mutex mutex;
    std::vector<std::vector<KeptServerVersion>> runs;
};

} // namespace

TEST(ServerEditNames, TheOtherVersionIsNamedBeforeTheExtensionInLocalTime)
{
    // 2026-12-10 10:42:30 in the test's own zone.
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    const auto when = Platform::Date::fromWholeSecondsSince1970(1'796'895'750);
    EXPECT_EQ(conflictName("Bericht.txt", when), "Bericht (Konflikt 2026-12-10 10.42).txt");
    EXPECT_EQ(conflictName("Bericht.txt", when, 2), "Bericht (Konflikt 2026-12-10 10.42) (2).txt");
    EXPECT_EQ(conflictName("Makefile", when), "Makefile (Konflikt 2026-12-10 10.42)");
    EXPECT_EQ(conflictName(".profile", when), ".profile (Konflikt 2026-12-10 10.42)");
    EXPECT_EQ(conflictName("Stand.", when), "Stand. (Konflikt 2026-12-10 10.42)");
    EXPECT_EQ(conflictName("archiv.tar.gz", when), "archiv.tar (Konflikt 2026-12-10 10.42).gz");
    // A long name is shortened in its stem, never inside a character.
    // 223 bytes are left for the stem; the "ä" takes the 223rd and 224th.
    const auto longName = std::string(222, 'a') + "äb.txt";
    const auto shortened = conflictName(longName, when);
    EXPECT_EQ(shortened, std::string(222, 'a') + " (Konflikt 2026-12-10 10.42).txt");
    EXPECT_TRUE(shortened.ends_with(" (Konflikt 2026-12-10 10.42).txt"));
    EXPECT_TRUE(isConflictNameOf(shortened, longName));

    EXPECT_TRUE(isConflictNameOf("Bericht (Konflikt 2026-12-10 10.42).txt", "Bericht.txt"));
    EXPECT_TRUE(isConflictNameOf("Bericht (Konflikt 2025-01-01 00.00) (3).txt", "Bericht.txt"));
    EXPECT_TRUE(isConflictNameOf("Makefile (Konflikt 2026-12-10 10.42)", "Makefile"));
    EXPECT_FALSE(isConflictNameOf("Bericht (Konflikt 2026-12-10 10.42).md", "Bericht.txt"));
    EXPECT_FALSE(isConflictNameOf("Berichte (Konflikt 2026-12-10 10.42).txt", "Bericht.txt"));
    EXPECT_FALSE(isConflictNameOf("Bericht (1).txt", "Bericht.txt"));
    unsetenv("TZ");
    tzset();
}

TEST(ServerEdits, BothSidesEditedKeepsTheServersVersionBesideItAndUploadsItWithTheNextRun)
{
    TestCloud cloud;
    KeptRecorder recorder(cloud);
    cloud.server->addFile("/Docs/Bericht.txt", "v1");
    cloud.server->addFile("/Docs/other.txt", "other");
    ASSERT_TRUE(cloud.sync().completed);

    cloud.writeFile("/Docs/Bericht.txt", "von hier");
    cloud.server->setContent("/Docs/Bericht.txt", "von dort");
    const auto before = Platform::Date::now();
    auto first = cloud.sync();
    const auto after = Platform::Date::now();

    ASSERT_TRUE(first.completed);
    EXPECT_EQ(errorsOf(first), std::vector<std::string>());
    EXPECT_EQ(cloud.readFile("/Docs/Bericht.txt"), "von hier");
    EXPECT_EQ(cloud.server->contentAt("/Docs/Bericht.txt"), "von hier");
    const auto copies = copiesOf(cloud, "/Docs/", "Bericht.txt");
    ASSERT_EQ(copies.size(), 1u);
    const auto name = copies.front().substr(6);
    EXPECT_TRUE(name == conflictName("Bericht.txt", before) || name == conflictName("Bericht.txt", after)) << name;
    EXPECT_EQ(cloud.readFile(copies.front()), "von dort");
    ASSERT_EQ(recorder.values().size(), 1u);
    ASSERT_EQ(recorder.values().front().size(), 1u);
    EXPECT_EQ(recorder.values().front().front().path, copies.front());
    EXPECT_EQ(recorder.values().front().front().localPath, "/Docs/Bericht.txt");

    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(errorsOf(second), std::vector<std::string>());
    EXPECT_EQ(cloud.server->contentAt(copies.front()), "von dort");
    EXPECT_EQ(cloud.server->contentAt("/Docs/Bericht.txt"), "von hier");
    // Told once: the run that uploaded the copy kept nothing new.
    EXPECT_EQ(recorder.values().size(), 1u);
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ServerEdits, UploadsSentAheadEachKeepTheServersVersionFirst)
{
    // More edits than uploads in flight, every other one changed on the
    // server too: each of those has its server version beside it, the
    // others have none, and every local edit is on the server.
    TestCloud cloud;
    constexpr int count = 9;
    for (int index = 0; index < count; ++index) {
        cloud.server->addFile("/F/" + std::to_string(index) + ".bin", "v1 " + std::to_string(index));
    }
    ASSERT_TRUE(cloud.sync().completed);
    for (int index = 0; index < count; ++index) {
        const auto path = "/F/" + std::to_string(index) + ".bin";
        cloud.writeFile(path, "hier " + std::to_string(index));
        if (index % 2 == 0) {
            cloud.server->setContent(path, "dort " + std::to_string(index));
        }
    }
    cloud.server->resetCounts();
    auto first = cloud.sync();

    ASSERT_TRUE(first.completed);
    EXPECT_EQ(errorsOf(first), std::vector<std::string>());
    EXPECT_EQ(cloud.server->callCount(Call::download), (count + 1) / 2);
    EXPECT_EQ(cloud.server->callCount(Call::reupload), count);
    for (int index = 0; index < count; ++index) {
        const auto name = std::to_string(index) + ".bin";
        EXPECT_EQ(cloud.server->contentAt("/F/" + name), "hier " + std::to_string(index));
        const auto copies = copiesOf(cloud, "/F/", name);
        if (index % 2 == 0) {
            ASSERT_EQ(copies.size(), 1u) << name;
            EXPECT_EQ(cloud.readFile(copies.front()), "dort " + std::to_string(index));
        } else {
            EXPECT_EQ(copies, std::vector<std::string>()) << name;
        }
    }
    ASSERT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ServerEdits, AnUnchangedServerCopyCostsNoListingNoDownloadAndNoCopy)
{
    TestCloud cloud;
    for (int index = 0; index < 5; ++index) {
        cloud.server->addFile("/" + std::to_string(index) + ".txt", "v1");
    }
    ASSERT_TRUE(cloud.sync().completed);
    for (int index = 0; index < 5; ++index) {
        cloud.writeFile("/" + std::to_string(index) + ".txt", "neu " + std::to_string(index));
    }
    cloud.server->resetCounts();
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    // The root etag names the listing the stored state is in step with: the
    // only listing is the remote phase's own, after the uploads.
    EXPECT_EQ(cloud.server->callCount(Call::remoteFiles), 1);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->callCount(Call::reupload), 5);
    EXPECT_EQ(cloud.diskPaths(), (std::vector<std::string> { "/0.txt", "/1.txt", "/2.txt", "/3.txt", "/4.txt" }));
    expectInStep(cloud);

    // Without a listing in step, one listing checks every upload of the run.
    ASSERT_TRUE(cloud.fileStore->setListingEtag(std::nullopt));
    for (int index = 0; index < 5; ++index) {
        cloud.writeFile("/" + std::to_string(index) + ".txt", "neuer " + std::to_string(index));
    }
    cloud.server->resetCounts();
    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->callCount(Call::remoteFiles), 2);
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.diskPaths().size(), 5u);
    expectInStep(cloud);
}

TEST(ServerEdits, TheCopyTakesAFreeNameAndOddNamesKeepTheirShape)
{
    TestCloud cloud;
    cloud.server->addFile("/v1.2/Makefile", "v1");
    cloud.server->addFile("/v1.2/.profile", "v1");
    ASSERT_TRUE(cloud.sync().completed);
    const auto now = Platform::Date::now();
    // A file of the user's already bears the name the copy would take, in
    // this minute and the next (the run may cross into it).
    for (auto when : { now, now.addingSeconds(60) }) {
        cloud.writeFile("/v1.2/" + conflictName("Makefile", when), "the user's own");
    }
    cloud.writeFile("/v1.2/Makefile", "hier");
    cloud.writeFile("/v1.2/.profile", "hier");
    cloud.server->setContent("/v1.2/Makefile", "dort");
    cloud.server->setContent("/v1.2/.profile", "dort");
    auto run = cloud.sync();

    ASSERT_TRUE(run.completed);
    EXPECT_EQ(errorsOf(run), std::vector<std::string>());
    std::vector<std::string> kept;
    for (const auto& path : copiesOf(cloud, "/v1.2/", "Makefile")) {
        if (cloud.readFile(path) == "dort") {
            kept.push_back(path);
        } else {
            EXPECT_EQ(cloud.readFile(path), "the user's own");
        }
    }
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_TRUE(kept.front().ends_with(") (2)")) << kept.front();
    const auto profiles = copiesOf(cloud, "/v1.2/", ".profile");
    ASSERT_EQ(profiles.size(), 1u);
    EXPECT_TRUE(profiles.front().starts_with("/v1.2/.profile (Konflikt ")) << profiles.front();
    EXPECT_EQ(cloud.readFile(profiles.front()), "dort");
    ASSERT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
}

TEST(ServerEdits, AServerVersionThatCannotBeKeptHoldsItsUploadBack)
{
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "v1");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/a.txt", "hier");
    cloud.server->setContent("/a.txt", "dort");
    cloud.server->failNext(Call::download);
    auto first = cloud.sync();

    ASSERT_TRUE(first.completed);
    EXPECT_FALSE(errorsOf(first).empty());
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "dort");
    EXPECT_EQ(cloud.readFile("/a.txt"), "hier");
    EXPECT_EQ(copiesOf(cloud, "/", "a.txt"), std::vector<std::string>());

    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "hier");
    const auto copies = copiesOf(cloud, "/", "a.txt");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(cloud.readFile(copies.front()), "dort");
}

TEST(ServerEdits, AnUnreadableServerSideHoldsTheUploadsOfKnownFilesBack)
{
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "v1");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/a.txt", "hier");
    cloud.server->setContent("/a.txt", "dort");
    cloud.server->failNext(Call::remoteFiles);
    int runFailures = 0;
    cloud.manager->runFailures().observeValues([&](const Reactive::AnyError&) { ++runFailures; });
    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "dort");
    EXPECT_EQ(cloud.readFile("/a.txt"), "hier");
    // Held back, the upload fails the run, which the scheduler then tries again.
    EXPECT_EQ(errorsOf(first).size(), 2u) << ::testing::PrintToString(errorsOf(first)); // The upload and the download.
    EXPECT_EQ(errorsOf(first).front().rfind("Reupload /a.txt: ", 0), 0u) << errorsOf(first).front();
    EXPECT_EQ(runFailures, 1);

    ASSERT_TRUE(cloud.sync().completed);
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "hier");
    ASSERT_EQ(copiesOf(cloud, "/", "a.txt").size(), 1u);
}

TEST(ServerEdits, ACopyKeptByARunThatEndedBeforeItsUploadIsNotKeptTwice)
{
    TestCloud cloud;
    KeptRecorder recorder(cloud);
    cloud.server->addFile("/a.txt", "v1");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/a.txt", "hier");
    cloud.server->setContent("/a.txt", "dort");
    cloud.server->failNext(Call::reupload);
    ASSERT_TRUE(cloud.sync().completed);
    ASSERT_EQ(copiesOf(cloud, "/", "a.txt").size(), 1u);
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "dort");

    cloud.server->resetCounts();
    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(errorsOf(second), std::vector<std::string>());
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->contentAt("/a.txt"), "hier");
    const auto copies = copiesOf(cloud, "/", "a.txt");
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(cloud.server->contentAt(copies.front()), "dort");
    ASSERT_EQ(recorder.values().size(), 2u);
    EXPECT_TRUE(recorder.values().back().front().keptBefore);
    expectInStep(cloud);
    expectIdle(cloud);
}

TEST(ServerEdits, ADecomposedNameOnDiskIsKeptOnceAndFoundAgainAfterAnInterruptedRun)
{
    // The disk spells the name decomposed, the server and the copy precomposed.
    TestCloud cloud;
    const std::string decomposed = "/Gru\xCC\x88\xC3\x9F" "e.txt";
    const std::string precomposed = "/Gr\xC3\xBC\xC3\x9F" "e.txt";
    cloud.writeFile(decomposed, "v1");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile(decomposed, "hier");
    ASSERT_GE(cloud.server->setContent(precomposed, "dort"), 0);
    cloud.server->failNext(Call::reupload);
    auto first = cloud.sync();
    ASSERT_TRUE(first.completed);
    const auto copies = copiesOf(cloud, "/", "Gr\xC3\xBC\xC3\x9F" "e.txt");
    ASSERT_EQ(copies.size(), 1u) << ::testing::PrintToString(cloud.diskPaths());
    EXPECT_EQ(cloud.readFile(copies.front()), "dort");

    cloud.server->resetCounts();
    auto second = cloud.sync();
    ASSERT_TRUE(second.completed);
    EXPECT_EQ(errorsOf(second), std::vector<std::string>());
    EXPECT_EQ(cloud.server->callCount(Call::download), 0);
    EXPECT_EQ(cloud.server->contentAt(precomposed), "hier");
    EXPECT_EQ(copiesOf(cloud, "/", "Gr\xC3\xBC\xC3\x9F" "e.txt"), copies);
    ASSERT_TRUE(cloud.sync().completed);
    expectInStep(cloud);
}
