#include "Sync/Disk/FileSystemFileStore.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/Unicode.hpp"
#include "Sync/Tests/DiskTestSupport.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace Sync;
using namespace Sync::Testing;
using Platform::FileSystemErrorCode;
using Platform::Testing::exists;
using Platform::Testing::readFile;
using Platform::Testing::writeFile;

namespace {

struct StoreFixture : ::testing::Test {
    TemporaryDirectory sandbox;
    std::string cloud = sandbox / "cloud";
    std::shared_ptr<TestConfiguration> configuration;
    std::shared_ptr<Platform::OwnChangeRegistry> ownChanges = Platform::OwnChangeRegistry::create();
    std::optional<FileSystemFileStore> store;

    void SetUp() override
    {
        ASSERT_EQ(::mkdir(cloud.c_str(), 0755), 0);
        configuration = std::make_shared<TestConfiguration>(cloud);
        store.emplace(configuration, ownChanges);
    }
    std::string at(const std::string& relative) const { return cloud + "/" + relative; }
    bool registered(const std::string& relative) const
    {
        return ownChanges->contains(at(relative), Platform::OwnChangeRegistry::Clock::now());
    }
};

Platform::Date someDate() { return Platform::Date::fromNanosecondsSince1970(1'234'567'890'987'654'321); }

} // namespace

// Proves a folder is made with its missing parents and the file's date, registered as the engine's own change.
TEST_F(StoreFixture, CreateFolderMakesParentsAndDatesTheFolder)
{
    auto result = store->createFolder(*item("/a/b/c/", "", SyncFileID(), someDate()));

    ASSERT_TRUE(result.has_value());
    struct stat status { };
    ASSERT_EQ(::stat(at("a/b/c").c_str(), &status), 0);
    EXPECT_TRUE(S_ISDIR(status.st_mode));
    EXPECT_EQ(modificationTime(at("a/b/c")), someDate());
    EXPECT_TRUE(registered("a"));
    EXPECT_TRUE(registered("a/b/c"));
}

// Proves an existing folder counts as success while a file in the way fails with the log line.
TEST_F(StoreFixture, CreateFolderOverExistingItems)
{
    ASSERT_EQ(::mkdir(at("Docs").c_str(), 0755), 0);
    writeFile(at("file"), "x");
    Platform::LogCapture log;

    EXPECT_TRUE(store->createFolder(*item("/Docs/")).has_value());
    auto blocked = store->createFolder(*item("/file/"));
    ASSERT_FALSE(blocked.has_value());
    EXPECT_EQ(blocked.error().operation, DiskOperation::createFolder);
    EXPECT_EQ(blocked.error().cause.code, FileSystemErrorCode::notADirectory);
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "❗️directory couldn't be created: file://" + cloud + "/file/" }));
    EXPECT_EQ(readFile(at("file")), "x");
}

// Proves createFolder refuses a file record and a path that climbs out of the folder, touching nothing.
TEST_F(StoreFixture, CreateFolderRefusesFilesAndEscapes)
{
    EXPECT_FALSE(store->createFolder(*item("/plain")).has_value());
    EXPECT_FALSE(exists(at("plain")));
    auto escape = store->createFolder(*item("/../outside/"));
    ASSERT_FALSE(escape.has_value());
    EXPECT_EQ(escape.error().cause.code, FileSystemErrorCode::invalidPath);
    EXPECT_FALSE(exists(sandbox / "outside"));
}

// Proves delete removes a folder with its contents, and an item already gone counts as success.
TEST_F(StoreFixture, DeleteRemovesAndAcceptsItemsAlreadyGone)
{
    ASSERT_EQ(::mkdir(at("Docs").c_str(), 0755), 0);
    writeFile(at("Docs/a.txt"), "a");

    EXPECT_TRUE(store->deleteItem(*item("/Docs/")).has_value());
    EXPECT_FALSE(exists(at("Docs")));
    EXPECT_TRUE(registered("Docs/a.txt"));
    EXPECT_TRUE(store->deleteItem(*item("/Docs/")).has_value());
}

// Proves delete with movesToTrash puts the item and its .trashinfo where file managers look, reading the setting afresh.
TEST_F(StoreFixture, DeleteMovesToTheTrashWhenConfigured)
{
    DataHome home(sandbox / "data");
    writeFile(at("a.txt"), "content");
    configuration->setMovesToTrash(true);

    ASSERT_TRUE(store->deleteItem(*item("/a.txt")).has_value());

    EXPECT_FALSE(exists(at("a.txt")));
    EXPECT_EQ(readFile(sandbox / "data/Trash/files/a.txt"), "content");
    auto info = readFile(sandbox / "data/Trash/info/a.txt.trashinfo");
    EXPECT_NE(info.find("Path=" + cloud + "/a.txt"), std::string::npos);
}

// Proves delete never removes the cloud folder itself nor anything outside it, and logs the failure.
TEST_F(StoreFixture, DeleteRefusesTheFolderAndEscapes)
{
    writeFile(sandbox / "victim", "v");
    writeFile(at("kept"), "k");
    Platform::LogCapture log;

    auto root = store->deleteItem(*item("/"));
    auto escape = store->deleteItem(*item("/../victim"));

    ASSERT_FALSE(root.has_value());
    ASSERT_FALSE(escape.has_value());
    EXPECT_EQ(escape.error().cause.code, FileSystemErrorCode::invalidPath);
    EXPECT_TRUE(exists(at("kept")));
    EXPECT_TRUE(exists(sandbox / "victim"));
    EXPECT_TRUE(log.contains("❗️file couldn't be removed: file://"));
}

// Proves delete finds an item stored in NFC whose name on disk is in NFD.
TEST_F(StoreFixture, DeleteFindsDecomposedNames)
{
    std::string precomposed = "Caf\xc3\xa9.txt";
    writeFile(at(Platform::decomposed(precomposed)), "x");

    EXPECT_TRUE(store->deleteItem(*item("/" + precomposed)).has_value());
    EXPECT_FALSE(exists(at(Platform::decomposed(precomposed))));
}

// Proves a move renames the item and registers both places; the same place twice does nothing and logs nothing.
TEST_F(StoreFixture, MoveRenamesAndSkipsSamePlace)
{
    ASSERT_EQ(::mkdir(at("Docs").c_str(), 0755), 0);
    writeFile(at("a.txt"), "a");
    Platform::LogCapture log;

    EXPECT_TRUE(store->move(*item("/a.txt"), *item("/Docs/b.txt")).has_value());
    EXPECT_EQ(readFile(at("Docs/b.txt")), "a");
    EXPECT_FALSE(exists(at("a.txt")));
    EXPECT_TRUE(registered("a.txt"));
    EXPECT_TRUE(registered("Docs/b.txt"));

    EXPECT_TRUE(store->move(*item("/Docs/b.txt"), *item("/Docs/b.txt")).has_value());
    EXPECT_TRUE(log.lines().empty());
}

// Proves a move onto an existing item fails, logs, and changes nothing.
TEST_F(StoreFixture, MoveNeverReplaces)
{
    writeFile(at("a.txt"), "a");
    writeFile(at("b.txt"), "b");
    Platform::LogCapture log;

    auto result = store->move(*item("/a.txt"), *item("/b.txt"));

    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(result.error().cause.code, FileSystemErrorCode::alreadyExists);
    EXPECT_EQ(readFile(at("a.txt")), "a");
    EXPECT_EQ(readFile(at("b.txt")), "b");
    EXPECT_TRUE(log.contains("❗️ couldn't move file locally: "));
}

// Proves a move whose source is gone succeeds only when its destination already holds the same item.
TEST_F(StoreFixture, MoveAlreadyDoneCountsAsSuccess)
{
    writeFile(at("b.txt"), "same");
    auto hash = Platform::sha1Hex(std::string_view("same"));

    EXPECT_TRUE(store->move(*item("/a.txt", hash), *item("/b.txt")).has_value());
    auto other = store->move(*item("/a.txt", Platform::sha1Hex(std::string_view("other"))), *item("/b.txt"));
    ASSERT_FALSE(other.has_value());
    EXPECT_EQ(other.error().cause.code, FileSystemErrorCode::notFound);
    auto nothing = store->move(*item("/c.txt", hash), *item("/d.txt"));
    EXPECT_FALSE(nothing.has_value());
}

// Proves a move fails when the destination's folder is missing, and never leaves the cloud folder.
TEST_F(StoreFixture, MoveMakesNoParentsAndStaysInside)
{
    writeFile(at("a.txt"), "a");

    EXPECT_FALSE(store->move(*item("/a.txt"), *item("/Missing/a.txt")).has_value());
    EXPECT_FALSE(exists(at("Missing")));
    auto escape = store->move(*item("/a.txt"), *item("/../a.txt"));
    ASSERT_FALSE(escape.has_value());
    EXPECT_EQ(escape.error().cause.code, FileSystemErrorCode::invalidPath);
    EXPECT_FALSE(store->move(*item("/a.txt"), *item("/")).has_value());
    EXPECT_TRUE(exists(at("a.txt")));
    EXPECT_FALSE(exists(sandbox / "a.txt"));
}

// Proves update sets the content modification date to the nanosecond and reports a missing item without logging.
TEST_F(StoreFixture, UpdateSetsTheDate)
{
    writeFile(at("a.txt"), "a");
    Platform::LogCapture log;

    EXPECT_TRUE(store->update(*item("/a.txt", "", SyncFileID(), someDate())).has_value());
    EXPECT_EQ(modificationTime(at("a.txt")), someDate());
    EXPECT_TRUE(registered("a.txt"));

    auto missing = store->update(*item("/gone.txt"));
    ASSERT_FALSE(missing.has_value());
    EXPECT_EQ(missing.error().operation, DiskOperation::update);
    EXPECT_TRUE(log.lines().empty());
}

// Proves the store works without an own-change registry and reads the folder afresh for every operation.
TEST_F(StoreFixture, WorksWithoutRegistryAndFollowsTheFolder)
{
    FileSystemFileStore plain(configuration);
    std::string second = sandbox / "second";
    ASSERT_EQ(::mkdir(second.c_str(), 0755), 0);
    configuration->setFolder(second);

    EXPECT_TRUE(plain.createFolder(*item("/New/")).has_value());
    EXPECT_TRUE(exists(second + "/New"));
    EXPECT_FALSE(exists(at("New")));
}
