#include "Orvella/Service/RemoteSyncFile.hpp"
#include "Orvella/Sharing/APIClientPrivateShareService.hpp"
#include "Orvella/Sharing/APIClientPublicShareService.hpp"
#include "Orvella/Sharing/APIManagerError.hpp"
#include "Orvella/Sharing/ShareError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Tests/EndpointFixture.hpp"
#include "Sync/Model/FileWrapperItem.hpp"
#include "Sync/Sharing/PublicShareInfoItem.hpp"

#include <gtest/gtest.h>

using namespace Orvella;
using Quarlink::Testing::run;

namespace {

const std::string publicLink = R"({"type":"public","id":1,"file_id":77,"url":"https://share.example.test/a","share_valid_to":null})";
const std::string privateShare = R"({"type":"private","id":2,"file_id":77,"is_mine":true,"status":1,"display_name":"Bea",)"
                                 R"("display_email":"b@example.org","name":"Bericht","cid":42})";
const std::string declinedShare = R"({"type":"private","id":4,"file_id":77,"is_mine":false,"status":0,)"
                                  R"("display_email":"c@example.org","name":"Bericht","cid":43})";

constexpr const char* fileReason = "Die Datei kann nicht freigeben werden, da sich die Datei in einem freigegebenen Ordner befindet.";
constexpr const char* folderReason = "Der Ordner kann nicht freigeben werden, da er bereits freigegeben ist, sich in einem "
                                     "freigegebenen Ordner befindet oder freigegebene Objekte enthält.";

class ShareServicesTests : public Quarlink::Testing::EndpointFixture {
protected:
    void SetUp() override
    {
        EndpointFixture::SetUp();
        m_public = std::make_shared<APIClientPublicShareService>(client());
        m_private = std::make_shared<APIClientPrivateShareService>(client());
        logIn();
    }

    static std::string envelope(const std::string& data) { return "{\"data\":" + data + "}"; }

    static Sync::FileRef remoteItem(bool folder, std::int64_t id = 77)
    {
        return RemoteSyncFile::make(Quarlink::File({ .fileID = id, .parentID = 1, .path = folder ? "/Bericht/" : "/Bericht.pdf",
            .fileName = folder ? "Bericht" : "Bericht.pdf", .mimeType = folder ? "httpd/unix-directory" : "application/pdf",
            .etag = "e" }));
    }

    static Sync::FileRef localItem()
    {
        return std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields { .path = "/neu.txt", .fileName = "neu.txt" });
    }

    static std::shared_ptr<Sync::FileWrapperItem> storedItem(std::optional<Platform::Date> expiry)
    {
        auto link = std::make_shared<Sync::PublicShareInfoItem>(9, 77, *Platform::URL::create("https://share.example.test/alt"), expiry);
        return std::make_shared<Sync::FileWrapperItem>(Sync::FileWrapperItem::Fields {
            .syncFileID = 77, .path = "/Bericht.pdf", .fileName = "Bericht.pdf", .syncParentID = 1, .hasPublicShare = true,
            .publicShareInfo = link, .type = Sync::FileType::file("application/pdf") });
    }

    std::size_t requestsSinceLogin() const { return m_server->requestCount() - m_loginRequests; }

    template<class V>
    static const Reactive::AnyError& failure(const std::vector<Reactive::Event<V, Reactive::AnyError>>& events)
    {
        EXPECT_TRUE(!events.empty() && events.back().isFailed());
        return events.back().error();
    }

    void logIn()
    {
        EndpointFixture::logIn();
        m_loginRequests = m_server->requestCount();
    }

    std::shared_ptr<APIClientPublicShareService> m_public;
    std::shared_ptr<APIClientPrivateShareService> m_private;
    std::size_t m_loginRequests = 0;
};

} // namespace

TEST_F(ShareServicesTests, ARefusedPublicPermissionKeepsTheTableSubjectAloneAndTheCreationRetitlesIt)
{
    // The permission check alone shows the file row; link creation shows the folder row under the preparation subject.
    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":true,"is_share_allowed_public":false})"));
    auto refused = run(m_public->sharePermission(remoteItem(false)));
    EXPECT_EQ(Quarlink::subject(failure(refused)), "Die Datei kann nicht freigeben werden.");
    EXPECT_EQ(Quarlink::reason(failure(refused)), fileReason);
    EXPECT_FALSE(Quarlink::recoveryInfo(failure(refused)));
    EXPECT_EQ(Quarlink::underlyingError(failure(refused)).as<ShareError>()->alertStyle(), AlertStyle::warning);

    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":true,"is_share_allowed_public":false})"));
    auto creation = run(m_public->createPublicShare(remoteItem(true), Sync::ShareLifetime::Long));
    EXPECT_EQ(Quarlink::subject(failure(creation)), "Freigabe konnte nicht vorbereitet werden");
    EXPECT_EQ(Quarlink::reason(failure(creation)), folderReason);
    EXPECT_EQ(requestsTo("POST", "shares"), 0u);
}

TEST_F(ShareServicesTests, APermittedLinkIsCreatedWithItsLifetimeAndAPrivateFirstAnswerIsNoLink)
{
    // The first share must be public: a private one first fails with noShareFromAPI even with a public one after it.
    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":false,"is_share_allowed_public":true})"));
    answer("POST", "shares", envelope("[" + publicLink + "]"));
    auto created = run(m_public->createPublicShare(remoteItem(false), Sync::ShareLifetime::Medium));
    auto link = onlyValue(created);
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)->publicURL().absoluteString(), "https://share.example.test/a");
    EXPECT_EQ((*link)->shareID(), 1);
    EXPECT_FALSE((*link)->expirationDate());
    EXPECT_EQ(lastBody()["file_id"], 77);

    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":false,"is_share_allowed_public":true})"));
    answer("POST", "shares", envelope("[" + privateShare + "," + publicLink + "]"));
    auto wrong = run(m_public->createPublicShare(remoteItem(false), Sync::ShareLifetime::Short));
    EXPECT_TRUE(APIManagerError::matches(failure(wrong), APIManagerError::Case::noShareFromAPI));
    EXPECT_EQ(Quarlink::subject(failure(wrong)), "Freigabe konnte nicht vorbereitet werden");
    EXPECT_EQ(Quarlink::reason(failure(wrong)), "Unerwarteter Fehler beim Verarbeiten der Anfrage.");
}

TEST_F(ShareServicesTests, AStoredLinkIsReusedOnlyWhileItIsValid)
{
    // A record without expiry, or with one ahead, gives its link without a request; an expired one makes a new link.
    auto unlimited = run(m_public->createPublicShare(storedItem(std::nullopt), Sync::ShareLifetime::Short));
    ASSERT_TRUE(onlyValue(unlimited));
    EXPECT_EQ((*onlyValue(unlimited))->publicURL().absoluteString(), "https://share.example.test/alt");
    auto ahead = run(m_public->createPublicShare(storedItem(Platform::Date::fromWholeSecondsSince1970(4'000'000'000)),
        Sync::ShareLifetime::Short));
    ASSERT_TRUE(onlyValue(ahead));
    EXPECT_EQ(requestsSinceLogin(), 0u);

    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":false,"is_share_allowed_public":true})"));
    answer("POST", "shares", envelope("[" + publicLink + "]"));
    auto expired = run(m_public->createPublicShare(storedItem(Platform::Date::fromWholeSecondsSince1970(1'000'000'000)),
        Sync::ShareLifetime::Short));
    ASSERT_TRUE(onlyValue(expired));
    EXPECT_EQ((*onlyValue(expired))->publicURL().absoluteString(), "https://share.example.test/a");
    EXPECT_EQ(requestsTo("POST", "shares"), 1u);
}

TEST_F(ShareServicesTests, EveryPrivateCheckFailureButAMissingIDIsRetitled)
{
    // A refusal and a failed request both get the preparation subject with their own reason; a missing id keeps its texts.
    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":false,"is_share_allowed_public":true})"));
    auto refused = run(m_private->sharePermission(remoteItem(true)));
    EXPECT_EQ(Quarlink::subject(failure(refused)), "Freigabe konnte nicht vorbereitet werden");
    EXPECT_EQ(Quarlink::reason(failure(refused)), folderReason);

    answerError("GET", "files/77/permissions", 500, "1002");
    auto failed = run(m_private->sharePermission(remoteItem(true)));
    EXPECT_EQ(Quarlink::subject(failure(failed)), "Freigabe konnte nicht vorbereitet werden");

    auto missing = run(m_private->sharePermission(localItem()));
    EXPECT_EQ(Quarlink::subject(failure(missing)), "Aufruf fehlgeschlagen");
    EXPECT_TRUE(APIManagerError::matches(failure(missing), APIManagerError::Case::cannotCreateShareForItemWithoutID));
}

TEST_F(ShareServicesTests, AnInvitationYieldsOnlyThePrivateSharesInOrder)
{
    // Public entries are skipped; statuses map by name; the addresses and the message go out unchanged.
    answer("GET", "files/77/permissions", envelope(R"({"is_share_allowed_private":true,"is_share_allowed_public":false})"));
    answer("POST", "shares", envelope("[" + privateShare + "," + publicLink + "," + declinedShare + "]"));
    auto invited = run(m_private->createPrivateShare(remoteItem(true), "Hallo", { "b@example.org", "c@example.org" }));
    auto shares = onlyValue(invited);
    ASSERT_TRUE(shares);
    ASSERT_EQ(shares->size(), 2u);
    EXPECT_EQ((*shares)[0]->shareID(), 2);
    EXPECT_EQ((*shares)[0]->status(), Sync::ShareInfoStatus::Pending);
    EXPECT_EQ((*shares)[0]->recipient(), "Bea");
    EXPECT_EQ((*shares)[1]->shareID(), 4);
    EXPECT_EQ((*shares)[1]->status(), Sync::ShareInfoStatus::Declined);
    EXPECT_FALSE((*shares)[1]->recipient());
    EXPECT_EQ(lastBody()["message"], "Hallo");
    EXPECT_EQ(lastBody()["share_with"], nlohmann::json::array({ "b@example.org", "c@example.org" }));
}

TEST_F(ShareServicesTests, NothingIsSentWhereAnIDIsMissing)
{
    // Items without remote id, private lookups of files and records without share id fail at once.
    EXPECT_TRUE(APIManagerError::matches(failure(run(m_public->sharePermission(localItem()))),
        APIManagerError::Case::cannotCreateShareForItemWithoutID));
    EXPECT_TRUE(APIManagerError::matches(failure(run(m_public->createPublicShare(localItem(), Sync::ShareLifetime::Long))),
        APIManagerError::Case::cannotCreateShareForItemWithoutID));
    EXPECT_TRUE(APIManagerError::matches(failure(run(m_public->publicShare(localItem()))),
        APIManagerError::Case::cannotCreateShareForItemWithoutID));
    EXPECT_TRUE(APIManagerError::matches(failure(run(m_private->privateShares(remoteItem(false)))),
        APIManagerError::Case::cannotCreateShareForItemWithoutID));
    EXPECT_TRUE(APIManagerError::matches(failure(run(m_private->createPrivateShare(localItem(), "", {}))),
        APIManagerError::Case::cannotCreateShareForItemWithoutID));
    Sync::PublicShareInfoItem withoutID(std::nullopt, 77, *Platform::URL::create("https://share.example.test/a"), std::nullopt);
    EXPECT_TRUE(APIManagerError::matches(failure(run(m_public->deleteShare(withoutID))), APIManagerError::Case::oldShareWithoutShareID));
    EXPECT_EQ(requestsSinceLogin(), 0u);
}

TEST_F(ShareServicesTests, LookupsAndDeletionSendTheirRequests)
{
    // The current link, the folder's shares and a deletion, each with its request; a deletion sends no value.
    answer("GET", "shares/files/77", envelope("[" + privateShare + "," + publicLink + "]"));
    auto link = onlyValue(run(m_public->publicShare(remoteItem(false))));
    ASSERT_TRUE(link);
    EXPECT_EQ((*link)->shareID(), 1);
    answer("GET", "shares/files/77", envelope("[" + privateShare + "]"));
    auto none = run(m_public->publicShare(remoteItem(false)));
    EXPECT_TRUE(APIManagerError::matches(failure(none), APIManagerError::Case::noShareFromAPI));
    answer("GET", "shares/files/77", envelope("[]"));
    auto empty = onlyValue(run(m_private->privateShares(remoteItem(true))));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());

    answer("DELETE", "shares/2", "");
    Sync::PublicShareInfoItem record(2, 77, *Platform::URL::create("https://share.example.test/a"), std::nullopt);
    auto deleted = run(m_private->deleteShare(record));
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_TRUE(deleted[0].isCompleted());
    EXPECT_EQ(lastRequest().method, "DELETE");
    EXPECT_EQ(lastRequest().path, "/v2.0/shares/2");
}
