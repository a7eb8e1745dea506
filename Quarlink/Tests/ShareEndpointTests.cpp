// The share operations against the local service answering with canned
// bodies: what goes on the wire, and how each answer becomes the result.

#include "Quarlink/Shares/DeleteSharesForFileRequest.hpp"
#include "Quarlink/Shares/ShareOperations.hpp"
#include "Quarlink/Tests/EndpointFixture.hpp"

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

const std::string publicLink1 = R"({"type":"public","id":1,"file_id":77,"url":"https://share.example.test/a","share_valid_to":null})";
const std::string publicLink3 = R"({"type":"public","id":3,"file_id":77,"url":"https://share.example.test/c","share_valid_to":1700000000})";
const std::string privateShare2 = R"({"type":"private","id":2,"file_id":77,"is_mine":true,"status":1,"display_name":"Bea",)"
                                  R"("display_email":"b@example.org","name":"Bericht.pdf","cid":42})";
const std::string owner42 = R"({"cid":42,"first_name":"Anna","last_name":"Berg","email":"anna@example.org"})";
const std::string quotaMeta = R"("meta":{"quota":{"used":10,"total":100}})";

class ShareEndpointTests : public EndpointFixture {
protected:
    static std::string envelope(const std::string& data, bool withQuota = true)
    {
        return "{\"data\":" + data + (withQuota ? "," + quotaMeta : std::string()) + "}";
    }

    static PrivateShare privateShare(std::int64_t shareID, std::int64_t cid, std::string fileName = "Bericht.pdf")
    {
        PrivateShare share;
        share.shareID = shareID;
        share.fileID = 77;
        share.email = "b@example.org";
        share.fileName = std::move(fileName);
        share.cid = cid;
        return share;
    }
};

} // namespace

TEST_F(ShareEndpointTests, FilteredListsKeepTheirKindInOrderAndTheQuota)
{
    // Proves privateShares and publicShare keep only their kind, in list order, every public link, the
    // received quota (or metadata without one), and no delta date.
    const auto list = "[" + publicLink1 + "," + privateShare2 + "," + publicLink3 + "]";
    answer("GET", "shares/files/77", envelope(list));
    auto links = onlyValue(run(publicShare(client(), 77)));
    ASSERT_TRUE(links);
    EXPECT_EQ(lastRequest().method, "GET");
    EXPECT_EQ(lastRequest().path, "/v2.0/shares/files/77");
    ASSERT_EQ(links->payload().size(), 2u);
    EXPECT_EQ(links->payload()[0].shareID, 1);
    EXPECT_FALSE(links->payload()[0].validTo);
    EXPECT_EQ(links->payload()[1].shareID, 3);
    EXPECT_EQ(links->quota(), (Quota { 10, 100 }));
    ASSERT_TRUE(links->metaData());
    EXPECT_FALSE(links->deltaUpdateDate());

    answer("GET", "shares/files/77", envelope(list, false));
    auto privates = onlyValue(run(privateShares(client(), 77)));
    ASSERT_TRUE(privates);
    ASSERT_EQ(privates->payload().size(), 1u);
    EXPECT_EQ(privates->payload()[0].shareID, 2);
    EXPECT_EQ(privates->payload()[0].status, ShareStatus::pending);
    ASSERT_TRUE(privates->metaData()) << "the filtered envelope always has metadata";
    EXPECT_FALSE(privates->quota());

    answer("GET", "shares/files/77", envelope("[]"));
    auto none = onlyValue(run(publicShare(client(), 77)));
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->payload().empty());

    answer("GET", "shares/files/77", envelope(list));
    auto whole = onlyValue(run(shares(client(), 77)));
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->payload().size(), 3u);
}

TEST_F(ShareEndpointTests, QueriesUseTheirPathsAndOwnerAndPermissionDecode)
{
    // Proves the share information and permission paths, the owner looked up by the share's cid (not its id),
    // owner decoded only from the top level, and the permission flags as sent.
    answer("GET", "files/77/shareinfos", envelope("{\"owner\":" + owner42 + ",\"shares\":[" + publicLink1 + "," + privateShare2 + "]}"));
    auto info = onlyValue(run(shareInfo(client(), 77)));
    ASSERT_TRUE(info);
    EXPECT_EQ(lastRequest().path, "/v2.0/files/77/shareinfos");
    EXPECT_EQ(info->payload().owner.name(), "Anna Berg");
    EXPECT_EQ(info->payload().allShares.size(), 2u);
    EXPECT_EQ(info->payload().shares().size(), 1u);

    answer("GET", "shares/owner/42", owner42);
    auto found = onlyValue(run(owner(client(), privateShare(9, 42))));
    ASSERT_TRUE(found);
    EXPECT_EQ(lastRequest().path, "/v2.0/shares/owner/42");
    EXPECT_EQ(found->email, "anna@example.org");
    answer("GET", "shares/owner/42", envelope(owner42));
    EXPECT_TRUE(failedDecoding(run(owner(client(), privateShare(9, 42))))) << "an owner inside an envelope is no owner";

    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":true,"is_share_allowed_public":false})"));
    auto permission = onlyValue(run(sharePermission(client(), 77)));
    ASSERT_TRUE(permission);
    EXPECT_EQ(lastRequest().path, "/v2.0/files/77/permissions");
    EXPECT_TRUE(permission->payload().isPrivatelySharable);
    EXPECT_FALSE(permission->payload().isPubliclySharable);
    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":1,"is_share_allowed_public":0})"));
    EXPECT_TRUE(failedDecoding(run(sharePermission(client(), 77))));
}

TEST_F(ShareEndpointTests, CreationSendsItsBodiesAndDecodesTheMadeShares)
{
    // Proves the public link's and the private share's bodies in the request log (recipients as given, neither
    // checked nor deduplicated), and the made shares decoded from the answer, an empty list included.
    answer("POST", "shares", envelope("[" + publicLink1 + "]"));
    auto made = onlyValue(run(createPublicShare(client(), 77, ShareLifetime::medium)));
    ASSERT_TRUE(made);
    EXPECT_EQ(lastRequest().method, "POST");
    EXPECT_EQ(lastRequest().header("Content-Type"), "application/json");
    EXPECT_EQ(lastBody(), (nlohmann::json { { "type", "public" }, { "file_id", 77 }, { "valid_to", 14 } }));
    ASSERT_EQ(made->payload().size(), 1u);
    EXPECT_TRUE(made->payload()[0].isPublic());

    answer("POST", "shares", envelope("[" + privateShare2 + "]"));
    std::vector<std::string> recipients { "b@example.org", "b@example.org", "kein@adresse", " c@example.org" };
    auto invited = onlyValue(run(createPrivateShare(client(), 77, "Schau mal", recipients)));
    ASSERT_TRUE(invited);
    EXPECT_EQ(lastBody(),
        (nlohmann::json { { "type", "private" }, { "file_id", 77 }, { "message", "Schau mal" }, { "share_with", recipients } }));
    EXPECT_TRUE(invited->payload()[0].isPrivate());

    answer("POST", "shares", envelope("[]"));
    auto empty = onlyValue(run(createPrivateShare(client(), 77, "", {})));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->payload().empty());
    EXPECT_EQ(lastBody(), (nlohmann::json { { "type", "private" }, { "file_id", 77 }, { "message", "" }, { "share_with", nlohmann::json::array() } }));

    answerError("POST", "shares", 400, "4025");
    EXPECT_EQ(remoteErrorOf(run(createPrivateShare(client(), 77, "", { "kaputt" }))), RemoteError::Case::invalidRecipientList);
}

TEST_F(ShareEndpointTests, LifetimeChangesSendTheShareIdentifierWhicheverKind)
{
    // Proves updateLifetime sends PATCH "shares/<id>" with share_id and valid_to, also for a Share holding a private share.
    const auto changed = envelope(R"({"id":17,"file_id":77,"url":"https://share.example.test/a","share_valid_to":1700000000})");
    answer("PATCH", "shares/17", changed);
    auto link = onlyValue(run(updateLifetime(client(), 17, ShareLifetime::long_)));
    ASSERT_TRUE(link);
    EXPECT_EQ(lastRequest().method, "PATCH");
    EXPECT_EQ(lastBody(), (nlohmann::json { { "share_id", 17 }, { "valid_to", 30 } }));
    EXPECT_TRUE(link->payload().validTo);

    answer("PATCH", "shares/17", changed);
    ASSERT_TRUE(onlyValue(run(updateLifetime(client(), Share::private_(privateShare(17, 42)), ShareLifetime::short_))));
    EXPECT_EQ(lastRequest().path, "/v2.0/shares/17");
    EXPECT_EQ(lastBody(), (nlohmann::json { { "share_id", 17 }, { "valid_to", 7 } }));
}

TEST_F(ShareEndpointTests, DeletionsAndDeclineGiveOneEmptyValueWhateverTheBody)
{
    // Proves the deletions' paths and "type" queries, and that a successful deletion or refusal whose body is no
    // JSON still gives exactly one empty value; a service error fails.
    answer("DELETE", "shares/17", "kein JSON", 200, "text/plain");
    ASSERT_TRUE(onlyValue(run(deleteShare(client(), 17))));
    EXPECT_EQ(lastRequest().method, "DELETE");
    EXPECT_TRUE(lastRequest().query.empty());

    answer("DELETE", "shares/17", "");
    ASSERT_TRUE(onlyValue(run(deleteShare(client(), Share::private_(privateShare(17, 42))))));
    answer("DELETE", "shares/17", R"({"data":"egal"})");
    PublicShare link { 17, 77, *Platform::URL::create("https://share.example.test/a"), std::nullopt };
    ASSERT_TRUE(onlyValue(run(deleteShare(client(), link))));
    EXPECT_EQ(lastRequest().path, "/v2.0/shares/17");

    answer("DELETE", "shares/files/42", "<html>", 200, "text/html");
    ASSERT_TRUE(onlyValue(run(deletePublicShare(client(), 42))));
    EXPECT_EQ(lastRequest().path, "/v2.0/shares/files/42");
    EXPECT_EQ(lastRequest().query, (std::multimap<std::string, std::string> { { "type", "public" } }));
    answer("DELETE", "shares/files/42", "");
    ASSERT_TRUE(onlyValue(run(deletePrivateShares(client(), 42))));
    EXPECT_EQ(lastRequest().query, (std::multimap<std::string, std::string> { { "type", "private" } }));
    answer("DELETE", "shares/files/42", "");
    ASSERT_TRUE(onlyValue(run(perform(DeleteSharesForFileRequest(42, DeleteSharesForFileRequest::ShareType::all), client()))));
    EXPECT_TRUE(lastRequest().query.empty());

    answer("PUT", "shares/refuse", "nicht lesbar", 200, "text/plain");
    ASSERT_TRUE(onlyValue(run(decline(client(), privateShare(5, 42)))));
    EXPECT_EQ(lastRequest().method, "PUT");
    EXPECT_EQ(lastBody(), (nlohmann::json { { "share_id", 5 } }));

    answerError("DELETE", "shares/18", 404, "5004");
    EXPECT_EQ(remoteErrorOf(run(deleteShare(client(), 18))), RemoteError::Case::fileNotFound);
}

TEST_F(ShareEndpointTests, ListsAndAcceptanceLeaveAbsentKeysOut)
{
    // Proves the account's share lists, and that acceptance sends its optional keys only when present (never
    // null), a share object's own file name even when empty.
    answer("GET", "shares", envelope("[" + privateShare2 + "," + publicLink1 + "]"));
    auto all = onlyValue(run(shares(client())));
    ASSERT_TRUE(all);
    EXPECT_EQ(lastRequest().path, "/v2.0/shares");
    EXPECT_EQ(all->payload().size(), 2u);
    answer("GET", "shares/pending", envelope("[]"));
    auto pending = onlyValue(run(pendingShares(client())));
    ASSERT_TRUE(pending);
    EXPECT_TRUE(pending->payload().empty());

    const auto accepted = envelope(privateShare2);
    answer("PUT", "shares/accept", accepted);
    auto taken = onlyValue(run(accept(client(), 5)));
    ASSERT_TRUE(taken);
    EXPECT_EQ(lastRequest().method, "PUT");
    EXPECT_EQ(lastRequest().body, R"({"share_id":5})");
    EXPECT_EQ(taken->payload().fileName, "Bericht.pdf");

    answer("PUT", "shares/accept", accepted);
    ASSERT_TRUE(onlyValue(run(accept(client(), 5, 9, std::string("Urlaub")))));
    EXPECT_EQ(lastBody(), (nlohmann::json { { "share_id", 5 }, { "target_parent_folder_id", 9 }, { "target_folder_name", "Urlaub" } }));

    answer("PUT", "shares/accept", accepted);
    ASSERT_TRUE(onlyValue(run(accept(client(), privateShare(5, 42, "")))));
    EXPECT_EQ(lastBody(), (nlohmann::json { { "share_id", 5 }, { "target_folder_name", "" } }));
}

TEST_F(ShareEndpointTests, NothingIsSentUntilStarted)
{
    // Proves the operations are cold and each start sends again.
    auto producer = deleteShare(client(), 17);
    auto listing = shares(client(), 77);
    EXPECT_EQ(m_server->requestCount(), 0u);
    m_server->script("DELETE", "/v2.0/shares/17", { .body = "" }, 2);
    ASSERT_TRUE(onlyValue(run(producer)));
    ASSERT_TRUE(onlyValue(run(producer)));
    EXPECT_EQ(m_server->requestCount(), 2u);
}

TEST_F(ShareEndpointTests, EnvelopesAnnounceTheirQuotaAndBareAnswersNone)
{
    // Proves an enveloped share answer announces its quota once and the bare owner answer announces nothing.
    std::mutex mutex;
    std::vector<Quota> announced;
    auto observing = receivedQuota(client().get()).startWithValues([&](const Quota& quota) {
        std::lock_guard lock(mutex);
        announced.push_back(quota);
    });
    answer("GET", "shares/owner/42", owner42);
    ASSERT_TRUE(onlyValue(run(owner(client(), privateShare(9, 42)))));
    answer("GET", "shares/files/77", envelope("[" + privateShare2 + "]"));
    ASSERT_TRUE(onlyValue(run(privateShares(client(), 77))));
    observing.dispose();
    std::lock_guard lock(mutex);
    EXPECT_EQ(announced, (std::vector<Quota> { Quota { 10, 100 } }));
}
