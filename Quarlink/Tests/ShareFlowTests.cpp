// Whole share flows against the local service's own share routes: links
// made, fetched from outside, changed and removed; private shares offered to a
// second account, accepted or declined there; all of it kept across a restart.

#include "Quarlink/Account/AccountOperations.hpp"
#include "Quarlink/Files/File.hpp"
#include "Quarlink/Debug/FlushRequest.hpp"
#include "Quarlink/Shares/ShareOperations.hpp"
#include "Quarlink/Thumbnails/ThumbnailOperations.hpp"
#include "Quarlink/Tests/EndpointFixture.hpp"

#include <cstdio>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

// A folder's listing, as the sync engine reads it.
struct FolderListing {
    using SuccessValue = CloudMetaPackage<std::vector<File>>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true,
        .overrides = { RequestMember::queryItems } };
    std::int64_t folderID;
    std::string path() const { return "files"; }
    std::vector<URLQueryItem> queryItems() const { return { { "fileId", std::to_string(folderID) } }; }
};

struct SingleFile {
    using SuccessValue = CloudMetaPackage<File>;
    static constexpr RequestTraits traits { .needsAuthentication = true, .enveloped = true };
    std::int64_t fileID;
    std::string path() const { return "files/" + std::to_string(fileID); }
};

// What `curl` fetches from `url`, without any session.
std::string fetchWithCurl(const std::string& url)
{
    std::string command = "curl -s --max-time 10 '" + url + "'";
    std::string output;
    if (auto* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        while (auto count = std::fread(buffer, 1, sizeof buffer, pipe))
            output.append(buffer, count);
        ::pclose(pipe);
    }
    return output;
}

class ShareFlowTests : public EndpointFixture {
protected:
    const Credentials m_second { "bea@example.org", "Geheim-456" };

    void SetUp() override
    {
        EndpointFixture::SetUp();
        m_server->accounts().addUser(m_second.username, m_second.password);
        ASSERT_TRUE(m_server->seedTree(m_credentials.username, { { "Projekte/" }, { "Projekte/Bericht.txt", "Inhalt des Berichts" } }));
        logIn();
    }

    std::int64_t rootFolder()
    {
        auto info = onlyValue(run(customerInfo(client())));
        return info ? info->rootFolderID : -1;
    }

    std::optional<File> child(std::int64_t folderID, const std::string& name)
    {
        auto listing = onlyValue(run(perform(FolderListing { folderID }, client())));
        if (!listing)
            return std::nullopt;
        for (const auto& file : listing->payload()) {
            if (file.fileName() == name)
                return file;
        }
        return std::nullopt;
    }

    std::string etagOf(std::int64_t fileID)
    {
        auto file = onlyValue(run(perform(SingleFile { fileID }, client())));
        return file ? file->payload().etag() : std::string();
    }

    void restart()
    {
        // The same port, so that links made before stay valid addresses.
        auto port = m_server->port();
        m_client.reset();
        m_server.reset();
        auto started = LocalCloud::LocalCloudServer::start({ .dataFolder = m_root / "data", .port = port, .testControls = true });
        ASSERT_TRUE(started.has_value()) << started.error();
        m_server = std::move(*started);
        m_client = makeClient(m_endpoints);
        logIn();
    }
};

} // namespace

TEST_F(ShareFlowTests, PublicLinkIsServedChangedListedAndKeptAcrossARestart)
{
    // Proves a link made for a file serves its content to curl without a session, takes a new lifetime, shows in
    // the file's share fields, gives the root a new etag, survives a restart, and is gone after deletion.
    auto root = rootFolder();
    auto folder = child(root, "Projekte");
    ASSERT_TRUE(folder);
    auto report = child(folder->fileID(), "Bericht.txt");
    ASSERT_TRUE(report);
    auto rootEtag = etagOf(root);

    auto made = onlyValue(run(createPublicShare(client(), *report, ShareLifetime::unlimited)));
    ASSERT_TRUE(made);
    EXPECT_EQ(lastBody(), (nlohmann::json { { "type", "public" }, { "file_id", report->fileID() }, { "valid_to", 0 } }));
    ASSERT_EQ(made->payload().size(), 1u);
    auto link = made->payload()[0].publicShare();
    ASSERT_TRUE(link);
    EXPECT_FALSE(link->validTo);
    EXPECT_EQ(fetchWithCurl(link->url.absoluteString()), "Inhalt des Berichts");
    EXPECT_NE(etagOf(root), rootEtag);

    for (auto [lifetime, days] : { std::pair { ShareLifetime::long_, 30 }, std::pair { ShareLifetime::medium, 14 } }) {
        ASSERT_TRUE(onlyValue(run(updateLifetime(client(), link->shareID, lifetime))));
        EXPECT_EQ(lastBody(), (nlohmann::json { { "share_id", link->shareID }, { "valid_to", days } }));
    }
    auto changed = onlyValue(run(updateLifetime(client(), *link, ShareLifetime::short_)));
    ASSERT_TRUE(changed);
    EXPECT_EQ(lastBody()["valid_to"], 7);
    EXPECT_TRUE(changed->payload().validTo);
    auto listed = child(folder->fileID(), "Bericht.txt");
    ASSERT_TRUE(listed);
    EXPECT_TRUE(listed->hasPublicShare());
    EXPECT_TRUE(listed->publicShareExpirationDate());

    restart();
    auto links = onlyValue(run(publicShare(client(), report->fileID())));
    ASSERT_TRUE(links);
    ASSERT_EQ(links->payload().size(), 1u);
    EXPECT_EQ(links->payload()[0].shareID, link->shareID);
    EXPECT_TRUE(links->quota());
    EXPECT_EQ(fetchWithCurl(link->url.absoluteString()), "Inhalt des Berichts");

    ASSERT_TRUE(onlyValue(run(deletePublicShare(client(), *report))));
    EXPECT_NE(fetchWithCurl(link->url.absoluteString()), "Inhalt des Berichts");
    auto none = onlyValue(run(publicShare(client(), report->fileID())));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->payload().empty());
}

TEST_F(ShareFlowTests, PrivateShareIsPendingAcceptedAndShownAcceptedToItsOwner)
{
    // Proves a folder offered to a second account is pending there, accepted there, shown accepted in the owner's
    // list, kept across a restart, and removed by identifier; a second offer is declined and removed by type.
    auto folder = child(rootFolder(), "Projekte");
    ASSERT_TRUE(folder);
    auto offered = onlyValue(run(createPrivateShare(client(), *folder, "Schau mal", { m_second.username })));
    ASSERT_TRUE(offered);
    ASSERT_EQ(offered->payload().size(), 1u);
    auto mine = offered->payload()[0].privateShare();
    ASSERT_TRUE(mine);
    EXPECT_EQ(mine->status, ShareStatus::pending);

    auto second = makeClient(m_endpoints);
    ASSERT_TRUE(run(login(second, m_second)).back().isCompleted());
    auto pending = onlyValue(run(pendingShares(second)));
    ASSERT_TRUE(pending);
    ASSERT_EQ(pending->payload().size(), 1u);
    auto accepted = onlyValue(run(accept(second, pending->payload()[0])));
    ASSERT_TRUE(accepted);
    EXPECT_EQ(accepted->payload().status, ShareStatus::accepted);
    auto foundOwner = onlyValue(run(owner(second, pending->payload()[0])));
    ASSERT_TRUE(foundOwner);
    EXPECT_EQ(foundOwner->email, m_credentials.username);

    restart();
    auto listed = onlyValue(run(privateShares(client(), folder->fileID())));
    ASSERT_TRUE(listed);
    ASSERT_EQ(listed->payload().size(), 1u);
    EXPECT_EQ(listed->payload()[0].status, ShareStatus::accepted);

    ASSERT_TRUE(onlyValue(run(deleteShare(client(), listed->payload()[0]))));
    auto gone = onlyValue(run(privateShares(client(), folder->fileID())));
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->payload().empty());

    ASSERT_TRUE(onlyValue(run(createPrivateShare(client(), *folder, "", { m_second.username }))));
    auto otherClient = makeClient(m_endpoints);
    ASSERT_TRUE(run(login(otherClient, m_second)).back().isCompleted());
    auto again = onlyValue(run(pendingShares(otherClient)));
    ASSERT_TRUE(again);
    ASSERT_EQ(again->payload().size(), 1u);
    ASSERT_TRUE(onlyValue(run(decline(otherClient, again->payload()[0]))));
    ASSERT_TRUE(onlyValue(run(deletePrivateShares(client(), *folder))));
    auto cleared = onlyValue(run(shares(client(), folder->fileID())));
    ASSERT_TRUE(cleared);
    EXPECT_TRUE(cleared->payload().empty());
}

TEST_F(ShareFlowTests, RefusalsAreServiceErrors)
{
    // Proves a malformed recipient is the service's 4025, the root cannot get a public link, and an unknown share
    // identifier fails instead of succeeding.
    auto folder = child(rootFolder(), "Projekte");
    ASSERT_TRUE(folder);
    EXPECT_EQ(remoteErrorOf(run(createPrivateShare(client(), *folder, "", { "kein at zeichen" }))),
        RemoteError::Case::invalidRecipientList);
    EXPECT_TRUE(run(createPublicShare(client(), rootFolder(), ShareLifetime::short_)).back().isFailed());
    EXPECT_TRUE(run(deleteShare(client(), 987654)).back().isFailed());
}

TEST_F(ShareFlowTests, ThumbnailsPictureAndFlushFromTheService)
{
    // Proves the service's drawn preview arrives as an image of the asked size and as a file, a profile picture
    // goes up, comes back and is removed, and the flush outside "/v2.0" succeeds with the session.
    auto report = child(child(rootFolder(), "Projekte")->fileID(), "Bericht.txt");
    ASSERT_TRUE(report);
    auto image = onlyValue(run(thumbnail(client(), report->fileID(), ThumbnailSize::custom(32, 16))));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format(), Image::Format::png);
    EXPECT_EQ(image->width(), 32);
    EXPECT_EQ(image->height(), 16);
    auto file = onlyValue(run(downloadThumbnail(client(), report->fileID())));
    ASSERT_TRUE(file);
    EXPECT_TRUE(Image::create(Platform::Data::fromString(readFile(file->path()))));
    std::filesystem::remove(file->path());

    writeFile(m_root / "mein-bild.png", "Bildinhalt");
    ASSERT_TRUE(onlyValue(run(uploadCustomerImage(client(), Platform::URL::fileURL((m_root / "mein-bild.png").string())))));
    auto target = m_root / "profil" / "bild.png";
    ASSERT_TRUE(onlyValue(run(downloadCustomerImage(client(), Platform::URL::fileURL(target.string())))));
    EXPECT_EQ(readFile(target), "Bildinhalt");
    ASSERT_TRUE(onlyValue(run(deleteCustomerImage(client()))));
    EXPECT_TRUE(run(downloadCustomerImage(client(), Platform::URL::fileURL(target.string()))).back().isFailed());
    EXPECT_EQ(readFile(target), "Bildinhalt") << "a failed download keeps the picture there";

    ASSERT_TRUE(onlyValue(run(perform(FlushRequest(), client()))));
    EXPECT_EQ(lastRequest().path, "/debug/flush-cloud");
    EXPECT_TRUE(downloadsFolderEmpties());
}
