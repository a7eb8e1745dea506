#include "Sync/TestSupport/InMemorySyncServer.hpp"

#include "Platform/Foundation/Digest.hpp"
#include "Sync/Model/FileWrapperItem.hpp"

#include <gtest/gtest.h>

using namespace Sync;
using namespace Sync::Testing;
using Call = InMemorySyncServer::Call;
using Reactive::AnyError;

namespace {

// The one value of a producer of the double (which delivers on the starting thread).
template<class T>
Reactive::Result<T, AnyError> valueOf(const SyncAPIClient::Producer<T>& producer)
{
    std::optional<Reactive::Result<T, AnyError>> outcome;
    bool completed = false;
    producer.start(Reactive::Observer<T, AnyError>::make([&](Reactive::Event<T, AnyError>&& event) {
        if (event.isValue()) {
            outcome = Reactive::Result<T, AnyError>(std::move(event).value());
        } else if (event.isFailed()) {
            outcome = Reactive::Result<T, AnyError>(std::unexpect, std::move(event).error());
        } else {
            completed = event.isCompleted();
        }
    }));
    if (!outcome && completed) {
        if constexpr (std::is_same_v<T, Reactive::Unit>) {
            return Reactive::Unit();
        }
    }
    return outcome.value_or(Reactive::Result<T, AnyError>(std::unexpect, AnyError(ServerError { "no value" })));
}

FileRef folderItem(std::int64_t id, std::string path, std::int64_t parent)
{
    auto name = path.substr(0, path.size() - 1);
    name = name.substr(name.rfind('/') + 1);
    return std::make_shared<FileWrapperItem>(FileWrapperItem::Fields {
        .syncFileID = SyncFileID::remote(id),
        .path = std::move(path),
        .fileName = std::move(name),
        .syncParentID = SyncFileID::remote(parent),
        .lastModifiedDate = Platform::Date(),
        .type = FileType::folder(),
        .fileHash = ""
    });
}

} // namespace

TEST(InMemorySyncServer, ListsItsTreeAsTheServiceDoes)
{
    // Ids start at the root's 100, folder paths end with "/", hashes are lower-case SHA-1.
    auto server = std::make_shared<InMemorySyncServer>();
    server->addFile("/Docs/a.txt", "alpha");

    EXPECT_EQ(valueOf(server->syncRootFolderID()).value(), 100);
    auto listing = valueOf(server->syncRemoteFiles()).value();
    ASSERT_EQ(listing.size(), 2u);
    EXPECT_EQ(listing[0]->path(), "/Docs/");
    EXPECT_EQ(listing[0]->syncFileID(), SyncFileID::remote(101));
    EXPECT_EQ(listing[0]->syncParentID(), SyncFileID::remote(100));
    EXPECT_EQ(listing[1]->path(), "/Docs/a.txt");
    EXPECT_EQ(listing[1]->syncParentID(), SyncFileID::remote(101));
    EXPECT_EQ(listing[1]->fileHash(), Platform::sha1Hex(std::string_view("alpha")));
}

TEST(InMemorySyncServer, EveryMutationChangesTheRootEtag)
{
    // The root etag differs after each change, so a poller sees every one.
    auto server = std::make_shared<InMemorySyncServer>();
    std::vector<std::string> etags { valueOf(server->syncRootEtag()).value() };
    server->addFolder("/A/");
    etags.push_back(valueOf(server->syncRootEtag()).value());
    server->moveItem("/A/", "/B/");
    etags.push_back(valueOf(server->syncRootEtag()).value());
    server->removeItem("/B/");
    etags.push_back(valueOf(server->syncRootEtag()).value());

    std::sort(etags.begin(), etags.end());
    EXPECT_EQ(std::unique(etags.begin(), etags.end()), etags.end());
}

TEST(InMemorySyncServer, DeleteCompletesWithoutAValueAndMoveOnlyReparents)
{
    // The adapter's behaviour: a delete sends no value; a move keeps the item's name.
    auto server = std::make_shared<InMemorySyncServer>();
    const auto folder = server->addFolder("/A/");
    const auto target = server->addFolder("/B/");
    ASSERT_TRUE(valueOf(server->syncMove(folderItem(folder, "/B/Renamed/", target))));
    EXPECT_EQ(server->paths(), (std::vector<std::string> { "/B/", "/B/A/" }));

    bool sentValue = false;
    bool completed = false;
    server->syncDelete(folderItem(folder, "/B/A/", target)).start(
        Reactive::Observer<Reactive::Unit, AnyError>::make([&](Reactive::Event<Reactive::Unit, AnyError>&& event) {
            sentValue = sentValue || event.isValue();
            completed = completed || event.isCompleted();
        }));
    EXPECT_FALSE(sentValue);
    EXPECT_TRUE(completed);
    EXPECT_EQ(server->paths(), std::vector<std::string> { "/B/" });
}

TEST(InMemorySyncServer, InjectedFailuresHitTheChosenCallsOnly)
{
    // A failure injected for one call and path fails exactly that many such calls.
    auto server = std::make_shared<InMemorySyncServer>();
    server->addFolder("/A/");
    server->failNext(Call::remoteFiles, 2);
    server->failNext(Call::createFolder, 1, "/A/Sub/");

    EXPECT_FALSE(valueOf(server->syncRemoteFiles()));
    EXPECT_TRUE(valueOf(server->syncRootFolderID()));
    EXPECT_FALSE(valueOf(server->syncRemoteFiles()));
    EXPECT_TRUE(valueOf(server->syncRemoteFiles()));
    EXPECT_TRUE(valueOf(server->syncCreateFolder(folderItem(0, "/Other/", 100))));
    EXPECT_FALSE(valueOf(server->syncCreateFolder(folderItem(0, "/A/Sub/", *server->idAt("/A/")))));
    EXPECT_EQ(server->callCount(Call::remoteFiles), 3);
    EXPECT_EQ(server->mutationCount(), 2);
}
