// The check before a server change overwrites or deletes on disk, over a
// synced cloud folder and its store: only a record that knows the content
// can tell the user's edit apart; one without a hash lets the change through.

#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/Execution/LocalEditGuard.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include <gtest/gtest.h>

#include <algorithm>

using namespace Sync;
using namespace Sync::Testing;
using Code = ChangeExecutionError::Code;

namespace {

// The stored record at `path` again, with `hash` as its content hash.
void storeHash(const TestCloud& cloud, const std::string& path, std::string_view hash)
{
    const auto files = cloud.fileStore->files();
    const auto stored = std::ranges::find_if(files, [&](const FileRef& file) { return file->path() == path; });
    ASSERT_NE(stored, files.end()) << path;
    auto record = std::make_shared<FileWrapperItem>(**stored);
    record->setFileHash(hash);
    ASSERT_TRUE(cloud.fileStore->setFile(record->syncFileID(), record)) << path;
}

std::optional<Code> refusal(const std::optional<Reactive::AnyError>& error)
{
    if (!error) {
        return std::nullopt;
    }
    const auto* refused = error->as<ChangeExecutionError>();
    EXPECT_NE(refused, nullptr) << error->description();
    return refused ? std::optional(refused->code) : std::nullopt;
}

} // namespace

TEST(LocalEditGuard, AFileEditedOnDiskIsKeptOnlyWhereItsRecordKnowsTheContent)
{
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "synced");
    cloud.server->addFile("/D/b.txt", "synced");
    ASSERT_TRUE(cloud.sync().completed);
    cloud.writeFile("/a.txt", "edited here");
    cloud.writeFile("/D/b.txt", "edited here");
    const auto file = cloud.server->fileAt("/a.txt");
    const auto folder = cloud.server->fileAt("/D/");
    ASSERT_TRUE(file && folder);
    const LocalEditGuard guard(*cloud.fileStore, cloud.cloudFolderURL());

    EXPECT_EQ(refusal(guard.checkOverwrite(*file)), Code::localEditConflict);
    EXPECT_EQ(refusal(guard.checkDelete(*file)), Code::localEditConflict);
    EXPECT_EQ(refusal(guard.checkDelete(*folder)), Code::localEditConflict);

    // A record from a store that kept no hash, or of a file that could not be
    // read when it was stored: nothing to compare the disk with.
    for (const std::string_view unknown : { std::string_view(), FileWrapperItem::missingFileHashKey }) {
        storeHash(cloud, "/a.txt", unknown);
        storeHash(cloud, "/D/b.txt", unknown);
        EXPECT_EQ(refusal(guard.checkOverwrite(*file)), std::nullopt) << unknown;
        EXPECT_EQ(refusal(guard.checkDelete(*file)), std::nullopt) << unknown;
        EXPECT_EQ(refusal(guard.checkDelete(*folder)), std::nullopt) << unknown;
    }
    EXPECT_EQ(cloud.readFile("/a.txt"), "edited here");
}

TEST(LocalEditGuard, AServerDeleteOfAFileWithoutRecordComparesWithTheServersHash)
{
    // The record is gone (forgotten after an earlier conflict): the server's
    // own hash is all there is, and a server entry without one cannot refuse.
    TestCloud cloud;
    cloud.server->addFile("/a.txt", "synced");
    ASSERT_TRUE(cloud.sync().completed);
    const auto file = cloud.server->fileAt("/a.txt");
    ASSERT_TRUE(file);
    ASSERT_TRUE(cloud.fileStore->setFile(file->syncFileID(), nullptr));
    cloud.writeFile("/a.txt", "edited here");
    const LocalEditGuard guard(*cloud.fileStore, cloud.cloudFolderURL());

    EXPECT_EQ(refusal(guard.checkDelete(*file)), Code::localEditConflict);
    for (const std::string_view unknown : { std::string_view(), FileWrapperItem::missingFileHashKey }) {
        auto hashless = std::make_shared<FileWrapperItem>(*file);
        hashless->setFileHash(unknown);
        EXPECT_EQ(refusal(guard.checkDelete(*hashless)), std::nullopt) << unknown;
    }
}
