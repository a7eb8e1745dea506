#include "Sync/Tests/SyncEngineTestSupport.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <algorithm>

namespace Sync::Testing {

namespace {

std::vector<std::string> precomposedSorted(std::vector<std::string> paths)
{
    for (auto& path : paths) {
        path = Platform::precomposed(path);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

std::vector<std::string> changesWith(const TestCloud::RunResult& run, SyncEvent::Kind kind)
{
    std::vector<std::string> changes;
    for (const auto& [event, change] : run.events) {
        if (event.kind() == kind) {
            changes.push_back(change.description());
        }
    }
    return changes;
}

std::vector<std::string> errorsOf(const TestCloud::RunResult& run)
{
    std::vector<std::string> errors;
    for (const auto& [event, change] : run.events) {
        if (event.isError()) {
            errors.push_back(change.description() + ": " + event.error()->description());
        }
    }
    return errors;
}

std::shared_ptr<RemoteFile> listingEntry(std::int64_t id, std::int64_t parentID, std::string path,
    const std::string& content)
{
    RemoteFile::Fields fields;
    fields.id = id;
    fields.parentID = parentID;
    const bool folder = path.size() > 1 && path.ends_with('/');
    auto name = folder ? path.substr(0, path.size() - 1) : path;
    fields.fileName = name.substr(name.rfind('/') + 1);
    fields.path = std::move(path);
    fields.type = folder ? FileType::folder() : FileType::file("text/plain");
    fields.fileHash = folder ? std::string() : Platform::sha1Hex(content);
    fields.lastModifiedDate = Platform::Date::fromWholeSecondsSince1970(1'760'000'000);
    fields.etag = "odd-" + std::to_string(id);
    return std::make_shared<RemoteFile>(std::move(fields));
}

void expectInStep(const TestCloud& cloud)
{
    const auto disk = precomposedSorted(cloud.diskPaths());
    EXPECT_EQ(disk, precomposedSorted(cloud.server->paths()));
    EXPECT_EQ(disk, precomposedSorted(cloud.storedPaths()));
    for (const auto& path : cloud.diskPaths()) {
        if (!path.ends_with('/')) {
            EXPECT_EQ(cloud.readFile(path), cloud.server->contentAt(path)) << path;
        }
        EXPECT_EQ(cloud.status(path), FileSyncStatus::upToDate) << path;
    }
}

void expectIdle(TestCloud& cloud)
{
    cloud.server->resetCounts();
    auto run = cloud.sync();
    EXPECT_TRUE(run.completed);
    EXPECT_EQ(changesWith(run, SyncEvent::Kind::Started), std::vector<std::string>());
    EXPECT_EQ(cloud.server->mutationCount(), 0);
    EXPECT_EQ(cloud.server->callCount(InMemorySyncServer::Call::download), 0);
}

} // namespace Sync::Testing
