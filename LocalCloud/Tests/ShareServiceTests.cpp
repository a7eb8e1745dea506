#include "LocalCloud/Tests/FileServiceTestSupport.hpp"

#include <chrono>

using namespace LocalCloud;
using namespace LocalCloud::Testing;

namespace {

class ShareServiceTests : public FileServiceFixture {
protected:
    void SetUp() override
    {
        FileServiceFixture::SetUp();
        m_server->accounts().addUser("bert@example.org", "passwort");
        m_bert = std::make_unique<ServiceClient>(m_server->port());
        ASSERT_TRUE(m_bert->logIn("bert@example.org", "passwort"));
    }
    void TearDown() override
    {
        m_bert.reset();
        FileServiceFixture::TearDown();
    }

    // The path of a public link's address.
    static std::string linkPath(const nlohmann::json& share)
    {
        auto url = share.value("url", "");
        auto start = url.find("/public/");
        return start == std::string::npos ? url : url.substr(start);
    }

    Answer fetchWithoutSession(const std::string& path)
    {
        httplib::Client client("127.0.0.1", m_server->port());
        auto result = client.Get(path);
        if (!result)
            return {};
        return { result->status, result->headers, result->body };
    }

    std::int64_t now() const { return m_clock.seconds(); }

    std::unique_ptr<ServiceClient> m_bert;
};

std::int64_t idOf(const nlohmann::json& item)
{
    return item.value("id", std::int64_t { -1 });
}

} // namespace

TEST_F(ShareServiceTests, PublicLinkServesTheContentWithoutSessionForItsLifetime)
{
    // Proves a public link serves its file without session, changes the file's share fields and root etag, and ends with its deletion or its file.
    auto file = idOf(m_client->upload(m_rootID, "Bericht.txt", "oeffentlich"));
    auto rootEtag = m_client->etag(m_rootID);
    auto created = m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 7 } });
    ASSERT_EQ(created.status, 200) << created.body;
    ASSERT_EQ(created.data().size(), 1u);
    auto share = created.data()[0];
    EXPECT_EQ(share.value("type", ""), "public");
    EXPECT_EQ(share.value("file_id", 0), file);
    auto validTo = share.value("share_valid_to", std::int64_t { 0 });
    EXPECT_EQ(validTo, now() + 7 * 86400);
    EXPECT_TRUE(created.json()["meta"].contains("quota"));
    // 128 random bits in hexadecimal at least.
    EXPECT_GE(linkPath(share).size(), std::string("/public/").size() + 32);

    auto fetched = fetchWithoutSession(linkPath(share));
    EXPECT_EQ(fetched.status, 200);
    EXPECT_EQ(fetched.body, "oeffentlich");
    auto listed = m_client->file(file);
    EXPECT_TRUE(listed.value("has_public_shares", false));
    EXPECT_EQ(listed.value("share_valid_to", std::int64_t { 0 }), validTo);
    EXPECT_NE(m_client->etag(m_rootID), rootEtag);

    auto updated = m_client->call("PATCH", "shares/" + std::to_string(idOf(share)),
        nlohmann::json { { "share_id", idOf(share) }, { "valid_to", 0 } }.dump());
    ASSERT_EQ(updated.status, 200);
    EXPECT_TRUE(updated.data()["share_valid_to"].is_null());
    EXPECT_TRUE(m_client->file(file)["share_valid_to"].is_null());
    // Ten years is the longest lifetime, one day more is refused.
    auto longest = m_client->call("PATCH", "shares/" + std::to_string(idOf(share)), nlohmann::json { { "valid_to", 3650 } }.dump());
    ASSERT_EQ(longest.status, 200) << longest.body;
    EXPECT_EQ(longest.data().value("share_valid_to", std::int64_t { 0 }), now() + 3650 * 86400);
    auto other = idOf(m_client->upload(m_rootID, "Zehn Jahre.txt", "lange"));
    auto createdLongest = m_client->post("shares", { { "type", "public" }, { "file_id", other }, { "valid_to", 3650 } });
    ASSERT_EQ(createdLongest.status, 200) << createdLongest.body;
    EXPECT_EQ(createdLongest.data()[0].value("share_valid_to", std::int64_t { 0 }), now() + 3650 * 86400);
    for (int days : { -1, 3651 }) {
        EXPECT_EQ(m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", days } }).errorCode(), "1000");
        EXPECT_EQ(m_client->call("PATCH", "shares/" + std::to_string(idOf(share)), nlohmann::json { { "valid_to", days } }.dump()).errorCode(), "1000");
    }
    EXPECT_EQ(m_client->post("shares", { { "type", "public" }, { "file_id", m_rootID }, { "valid_to", 0 } }).errorCode(), "5047");
    EXPECT_EQ(m_client->post("shares", { { "type", "public" }, { "file_id", 999999 }, { "valid_to", 0 } }).errorCode(), "5004");
    EXPECT_EQ(m_client->call("POST", "shares", "{\"type\":").errorCode(), "1000");
    EXPECT_EQ(m_bert->call("PATCH", "shares/" + std::to_string(idOf(share)), nlohmann::json { { "valid_to", 7 } }.dump()).errorCode(), "5004");
    ServiceClient anonymous(m_server->port());
    EXPECT_EQ(anonymous.post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 0 } }).errorCode(), "3001");

    auto removed = m_client->call("DELETE", "shares/files/" + std::to_string(file) + "?type=public");
    EXPECT_EQ(removed.status, 200);
    EXPECT_EQ(fetchWithoutSession(linkPath(share)).status, 404);
    EXPECT_FALSE(m_client->file(file).value("has_public_shares", true));
    EXPECT_EQ(m_client->call("DELETE", "shares/files/" + std::to_string(file) + "?type=alle").errorCode(), "1000");

    // A link ends with its file.
    auto second = m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 30 } }).data()[0];
    EXPECT_EQ(fetchWithoutSession(linkPath(second)).status, 200);
    (void)m_client->post("files/deleter", { { "file_ids", { file } } });
    EXPECT_EQ(fetchWithoutSession(linkPath(second)).status, 404);
    EXPECT_EQ(fetchWithoutSession("/public/00000000000000000000000000000000").status, 404);
}

TEST_F(ShareServiceTests, PublicLinkEndsWhenItsLifetimeRunsOut)
{
    // Proves a public link serves until the last second of its days and not at their end, and one without end keeps serving.
    auto file = idOf(m_client->upload(m_rootID, "Woche.txt", "sieben Tage"));
    auto week = m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 7 } }).data()[0];
    auto other = idOf(m_client->upload(m_rootID, "Immer.txt", "ohne Ende"));
    auto forever = m_client->post("shares", { { "type", "public" }, { "file_id", other }, { "valid_to", 0 } }).data()[0];
    ASSERT_EQ(fetchWithoutSession(linkPath(week)).status, 200);

    m_clock.advance(std::chrono::days(7) - std::chrono::seconds(1));
    EXPECT_EQ(fetchWithoutSession(linkPath(week)).body, "sieben Tage");
    m_clock.advance(std::chrono::seconds(1));
    EXPECT_EQ(fetchWithoutSession(linkPath(week)).status, 404);
    m_clock.advance(std::chrono::days(3650));
    EXPECT_EQ(fetchWithoutSession(linkPath(forever)).body, "ohne Ende");
}

TEST_F(ShareServiceTests, PrivateSharesGoToAccountsWhoAcceptOrDecline)
{
    // Proves private shares check their recipients, wait in the recipient's pending list, are accepted there and show as accepted to the owner.
    auto folder = idOf(m_client->createFolder(m_rootID, "Projekt"));
    auto inner = idOf(m_client->createFolder(folder, "Innen"));
    auto file = idOf(m_client->upload(folder, "plan.txt", "Plan"));
    for (const char* address : { "kein-at", "a@b", "x y@example.org", "a@@example.org", "@example.org", "a@.org" }) {
        auto refused = m_client->post("shares", { { "type", "private" }, { "file_id", folder }, { "message", "Hallo" },
            { "share_with", { "bert@example.org", address } } });
        EXPECT_EQ(refused.status, 400) << address;
        EXPECT_EQ(refused.errorCode(), "4025") << address;
    }
    EXPECT_TRUE(m_bert->get("shares/pending").data().empty());
    EXPECT_EQ(m_client->post("shares", { { "type", "private" }, { "file_id", file }, { "message", "" }, { "share_with", { "bert@example.org" } } }).errorCode(), "5047");
    EXPECT_EQ(m_client->post("shares", { { "type", "private" }, { "file_id", folder }, { "share_with", { "bert@example.org" } } }).errorCode(), "1000");

    auto created = m_client->post("shares", { { "type", "private" }, { "file_id", folder }, { "message", "Schau mal" },
        { "share_with", { "bert@example.org", "extern@example.com" } } });
    ASSERT_EQ(created.status, 200) << created.body;
    ASSERT_EQ(created.data().size(), 2u);
    auto mine = created.data()[0];
    EXPECT_EQ(mine.value("type", ""), "private");
    EXPECT_TRUE(mine.value("is_mine", false));
    EXPECT_EQ(mine.value("status", 0), 1);
    EXPECT_EQ(mine.value("display_email", ""), "bert@example.org");
    EXPECT_EQ(mine.value("name", ""), "Projekt");
    auto annaCid = m_server->accounts().account("anna")->customerID;
    EXPECT_EQ(mine.value("cid", std::int64_t { 0 }), annaCid);
    auto listed = m_client->file(folder);
    EXPECT_TRUE(listed.value("has_private_shares", false));
    EXPECT_EQ(listed.value("share_with", 0), 2);

    // Nothing inside a privately shared folder gets a share of its own, unless allowed for that item.
    EXPECT_EQ(m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 0 } }).errorCode(), "6010");
    EXPECT_EQ(m_client->post("shares", { { "type", "private" }, { "file_id", inner }, { "message", "" }, { "share_with", nlohmann::json::array() } }).errorCode(), "6010");
    auto permissions = m_client->get("files/" + std::to_string(inner) + "/permissions").data();
    EXPECT_EQ(permissions, (nlohmann::json { { "is_share_allowed_private", false }, { "is_share_allowed_public", false } }));
    ASSERT_TRUE(m_server->files().setSharePermissions("anna", file, -1, 1).has_value());
    EXPECT_EQ(m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 0 } }).status, 200);
    // The folder now holds a share, so it takes no further private share.
    EXPECT_EQ(m_client->get("files/" + std::to_string(folder) + "/permissions").data()["is_share_allowed_private"], false);

    auto pending = m_bert->get("shares/pending").data();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_FALSE(pending[0].value("is_mine", true));
    auto shareID = idOf(pending[0]);
    auto owner = m_bert->get("shares/owner/" + std::to_string(annaCid));
    ASSERT_EQ(owner.status, 200);
    EXPECT_FALSE(owner.json().contains("data"));
    EXPECT_EQ(owner.json().value("cid", std::int64_t { 0 }), annaCid);
    EXPECT_EQ(m_bert->get("shares/owner/1").errorCode(), "5004");

    EXPECT_EQ(m_client->put("shares/accept", { { "share_id", shareID } }).errorCode(), "5004");
    EXPECT_EQ(m_bert->put("shares/accept", { { "share_id", shareID }, { "target_folder_name", "a/b" } }).errorCode(), "5011");
    EXPECT_EQ(m_bert->put("shares/accept", { { "share_id", shareID }, { "target_parent_folder_id", folder } }).errorCode(), "5004");
    auto accepted = m_bert->put("shares/accept", { { "share_id", shareID }, { "target_folder_name", "Von Anna" } });
    ASSERT_EQ(accepted.status, 200) << accepted.body;
    EXPECT_EQ(accepted.data().value("status", 0), 2);
    EXPECT_TRUE(m_bert->get("shares/pending").data().empty());
    EXPECT_EQ(m_bert->put("shares/refuse", { { "share_id", shareID } }).errorCode(), "5004");

    auto ownShares = m_client->get("shares/files/" + std::to_string(folder)).data();
    ASSERT_EQ(ownShares.size(), 2u);
    EXPECT_EQ(ownShares[0].value("status", 0), 2);
    EXPECT_EQ(ownShares[1].value("status", 0), 1);
    auto info = m_client->get("files/" + std::to_string(folder) + "/shareinfos").data();
    EXPECT_EQ(info["owner"].value("cid", std::int64_t { 0 }), annaCid);
    EXPECT_EQ(info["shares"].size(), 2u);
    EXPECT_EQ(m_bert->get("shares/files/" + std::to_string(folder)).errorCode(), "5004");

    // Deletion by identifier, then by file and type.
    ASSERT_EQ(m_client->call("DELETE", "shares/" + std::to_string(idOf(ownShares[1]))).status, 200);
    EXPECT_EQ(m_client->file(folder).value("share_with", 0), 1);
    EXPECT_EQ(m_bert->call("DELETE", "shares/" + std::to_string(shareID)).errorCode(), "5004");
    ASSERT_EQ(m_client->call("DELETE", "shares/files/" + std::to_string(folder) + "?type=private").status, 200);
    EXPECT_FALSE(m_client->file(folder).value("has_private_shares", true));
    EXPECT_TRUE(m_bert->get("shares").data().empty());
}

TEST_F(ShareServiceTests, SharesCustomerDataAndPicturesSurviveARestart)
{
    // Proves shares, pending invitations, customer data and the profile picture are all still there after a restart.
    auto folder = idOf(m_client->createFolder(m_rootID, "Geteilt"));
    // Beside the folder: a folder that holds a link takes no private share.
    auto file = idOf(m_client->upload(m_rootID, "x.txt", "xx"));
    auto link = m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 14 } }).data()[0];
    (void)m_client->post("shares", { { "type", "private" }, { "file_id", folder }, { "message", "m" }, { "share_with", { "bert@example.org" } } });
    CustomerRecord customer { "anna", "Anna", "Muster", "anna@example.org", 5, "Premium", 1000 };
    ASSERT_TRUE(m_server->accounts().setCustomer(customer));
    ASSERT_EQ(m_client->call("PUT", "profile/picture", "\x89PNG\r\n\x1a\nbild", "image/png").status, 200);
    // The links' addresses name the port, which a restart changes; the rest stays.
    auto withoutOrigins = [](nlohmann::json list) {
        for (auto& share : list) {
            if (share.contains("url"))
                share["url"] = linkPath(share);
        }
        return list;
    };
    auto shares = withoutOrigins(m_client->get("shares").data());
    auto before = m_client->everything();

    m_bert.reset();
    restartServer();
    m_bert = std::make_unique<ServiceClient>(m_server->port());
    ASSERT_TRUE(m_bert->logIn("bert@example.org", "passwort"));
    EXPECT_EQ(withoutOrigins(m_client->get("shares").data()), shares);
    EXPECT_EQ(m_client->everything(), before);
    EXPECT_EQ(m_bert->get("shares/pending").data().size(), 1u);
    EXPECT_EQ(fetchWithoutSession(linkPath(link)).body, "xx");
    auto data = m_client->get("customer").json();
    EXPECT_FALSE(data.contains("data"));
    EXPECT_EQ(data.value("first_name", ""), "Anna");
    EXPECT_EQ(data.value("root_file_id", std::int64_t { 0 }), m_rootID);
    EXPECT_EQ(data["features"]["advertising"], true);
    EXPECT_EQ(data["features"]["has_reminders"], true);
    EXPECT_EQ(data["features"]["has_ocr"], false);
    EXPECT_EQ(data["limits"].value("mail_total_size", 0), 1000);
    EXPECT_EQ(data.value("main_product_short_name", ""), "Premium");
    EXPECT_EQ(m_client->get("profile/picture").body, "\x89PNG\r\n\x1a\nbild");
    // The next share gets an identifier of its own.
    auto next = m_client->post("shares", { { "type", "public" }, { "file_id", folder }, { "valid_to", 0 } }).data()[0];
    EXPECT_GT(idOf(next), idOf(link));
}

TEST_F(ShareServiceTests, ThumbnailsPicturesAndFlushAnswerAsImagesAndServiceErrors)
{
    // Proves thumbnails are PNGs of the asked size (or an image's own bytes), the picture can be replaced and deleted, and the flush needs a session.
    auto text = idOf(m_client->upload(m_rootID, "a.txt", "text"));
    const std::string gif = "GIF89a\x01\x00\x01\x00";
    auto image = idOf(m_client->upload(m_rootID, "b.png", gif));
    auto thumbnail = m_client->get("files/" + std::to_string(text) + "/thumbnail?x=125&y=60");
    ASSERT_EQ(thumbnail.status, 200);
    EXPECT_EQ(thumbnail.header("Content-Type"), "image/png");
    ASSERT_GT(thumbnail.body.size(), 24u);
    EXPECT_EQ(thumbnail.body.substr(0, 8), "\x89PNG\r\n\x1a\n");
    auto bigEndian = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t index = 0; index < 4; ++index)
            value = value << 8 | static_cast<unsigned char>(thumbnail.body[at + index]);
        return value;
    };
    EXPECT_EQ(bigEndian(16), 125u);
    EXPECT_EQ(bigEndian(20), 60u);
    auto own = m_client->get("files/" + std::to_string(image) + "/thumbnail?x=60&y=60");
    EXPECT_EQ(own.body, gif);
    EXPECT_EQ(own.header("Content-Type"), "image/gif");
    // A folder has nothing to preview.
    auto folder = m_client->get("files/" + std::to_string(m_rootID) + "/thumbnail?x=60&y=60");
    EXPECT_EQ(folder.status, 403);
    EXPECT_EQ(folder.errorCode(), "5047");
    EXPECT_NE(folder.header("X-Error-Message").find("not allowed"), std::string::npos);
    // 4096 pixels is the longest side asked for; one more is refused.
    for (const char* query : { "x=4096&y=1", "x=1&y=4096" }) {
        auto longest = m_client->get("files/" + std::to_string(text) + "/thumbnail?" + std::string(query));
        EXPECT_EQ(longest.status, 200) << query;
        EXPECT_EQ(longest.header("Content-Type"), "image/png") << query;
    }
    for (const char* query : { "x=0&y=60", "x=60", "x=60&y=100000", "x=a&y=1", "x=-5&y=5", "x=4097&y=1", "x=1&y=4097" })
        EXPECT_EQ(m_client->get("files/" + std::to_string(text) + "/thumbnail?" + std::string(query)).errorCode(), "1000") << query;
    EXPECT_EQ(m_client->get("files/999999/thumbnail?x=60&y=60").errorCode(), "5004");

    EXPECT_EQ(m_client->get("profile/picture").errorCode(), "5004");
    ASSERT_EQ(m_client->call("PUT", "profile/picture", "erstes", "application/octet-stream").status, 200);
    ASSERT_EQ(m_client->call("PUT", "profile/picture", "\xff\xd8\xff zweites", "image/jpeg").status, 200);
    auto picture = m_client->get("profile/picture");
    EXPECT_EQ(picture.body, "\xff\xd8\xff zweites");
    EXPECT_EQ(picture.header("Content-Type"), "image/jpeg");
    EXPECT_EQ(m_bert->get("profile/picture").errorCode(), "5004");
    EXPECT_EQ(m_client->call("DELETE", "profile/picture").status, 200);
    EXPECT_EQ(m_client->call("DELETE", "profile/picture").errorCode(), "5004");

    httplib::Client plain("127.0.0.1", m_server->port());
    auto refused = plain.Get("/debug/flush-cloud");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->get_header_value("X-Error-Code"), "3001");
    httplib::Headers cookie;
    auto login = plain.Post("/v2.0/login", R"({"world":"2","login":"anna","password":"geheim"})", "application/json");
    ASSERT_TRUE(login);
    auto session = login->get_header_value("Set-Cookie");
    auto flushed = plain.Get("/debug/flush-cloud", { { "Cookie", session.substr(0, session.find(';')) } });
    ASSERT_TRUE(flushed);
    EXPECT_EQ(flushed->status, 200);
    std::error_code ignored;
    EXPECT_EQ(std::filesystem::file_size(serviceDatabaseFile(dataFolder()).string() + "-wal", ignored), 0u);
}

TEST_F(ShareServiceTests, AFolderThatHoldsASharedItemTakesNoPrivateShare)
{
    // Proves a private share of a folder with a share anywhere below it is refused with 6010, and its flags say so beforehand.
    auto outer = idOf(m_client->createFolder(m_rootID, "Aussen"));
    auto middle = idOf(m_client->createFolder(outer, "Mitte"));
    auto file = idOf(m_client->upload(middle, "link.txt", "Link"));
    auto inviteTo = [&](std::int64_t folder) {
        return m_client->post("shares", { { "type", "private" }, { "file_id", folder }, { "message", "" },
            { "share_with", { "bert@example.org" } } });
    };
    auto allowsPrivate = [&](std::int64_t folder) {
        auto flags = m_client->get("files/" + std::to_string(folder) + "/permissions").data();
        EXPECT_EQ(m_client->file(folder).value("is_share_allowed_private", true), flags.value("is_share_allowed_private", false));
        return flags.value("is_share_allowed_private", false);
    };
    EXPECT_TRUE(allowsPrivate(outer));
    ASSERT_EQ(m_client->post("shares", { { "type", "public" }, { "file_id", file }, { "valid_to", 0 } }).status, 200);
    EXPECT_FALSE(allowsPrivate(outer));
    EXPECT_FALSE(allowsPrivate(middle));
    auto refused = inviteTo(outer);
    EXPECT_EQ(refused.status, 403);
    EXPECT_EQ(refused.errorCode(), "6010");
    EXPECT_EQ(inviteTo(middle).errorCode(), "6010");
    EXPECT_FALSE(m_client->file(outer).value("has_private_shares", true));

    // A privately shared folder below counts as well; once the shares are gone the folder may be shared again.
    auto other = idOf(m_client->createFolder(m_rootID, "Andere"));
    auto inner = idOf(m_client->createFolder(other, "Innen"));
    ASSERT_EQ(inviteTo(inner).status, 200);
    EXPECT_FALSE(allowsPrivate(other));
    EXPECT_EQ(inviteTo(other).errorCode(), "6010");
    ASSERT_EQ(m_client->call("DELETE", "shares/files/" + std::to_string(inner) + "?type=private").status, 200);
    EXPECT_TRUE(allowsPrivate(other));
    EXPECT_EQ(inviteTo(other).status, 200);
}
