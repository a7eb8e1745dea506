// Share models: statuses, both kinds of share, owners, share information and permissions.

#include "Quarlink/Shares/ShareInfo.hpp"
#include "Quarlink/Shares/ShareLifetime.hpp"
#include "Quarlink/Shares/SharePermission.hpp"
#include "Quarlink/Tests/DecodeTable.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

JSON publicObject()
{
    return JSON::parse(R"({"type":"public","id":1,"file_id":2,"url":"https://example.invalid/s/abc","share_valid_to":1700000000})");
}

JSON privateObject()
{
    return JSON::parse(R"({"type":"private","id":3,"file_id":4,"is_mine":true,"status":2,"display_name":"Eva",
        "display_email":"eva@example.invalid","name":"Bericht.pdf","cid":99})");
}

JSON ownerObject()
{
    return JSON::parse(R"({"cid":5,"first_name":"Eva","last_name":"Muster","email":"eva@example.invalid"})");
}

} // namespace

TEST(ShareStatus, integersAndNothingElse)
{
    // 2 is accepted, 1 pending, every other integer declined; a string of digits, a boolean or null fail.
    auto status = [](JSON value) {
        auto object = privateObject();
        object["status"] = std::move(value);
        return decodeJSON<PrivateShare>(object);
    };
    EXPECT_EQ(status(2)->status, ShareStatus::accepted);
    EXPECT_EQ(status(1)->status, ShareStatus::pending);
    for (const JSON& other : { JSON(0), JSON(3), JSON(-1), JSON(18446744073709551615ULL) })
        EXPECT_EQ(status(other)->status, ShareStatus::declined) << other.dump();
    for (const JSON& bad : { JSON("2"), JSON(true), JSON(nullptr), JSON(2.0) }) {
        auto failed = status(bad);
        ASSERT_FALSE(failed) << bad.dump();
        EXPECT_TRUE(namesKey(failed.error(), "status"));
    }
}

TEST(PublicShare, decodeTable)
{
    // Identifiers and URL required; the expiry optional; an invalid URL text fails.
    auto valid = publicObject();
    valid.erase("type");
    expectRequiredKeys<PublicShare>(valid, { { "id", JSONKind::integer }, { "file_id", JSONKind::integer }, { "url", JSONKind::string } });
    expectOptionalKeys<PublicShare>(valid, { { "share_valid_to", JSONKind::number } });
    expectUnknownKeysIgnored<PublicShare>(valid);
    valid["url"] = "not a url";
    EXPECT_FALSE(decodeJSON<PublicShare>(valid));
}

TEST(PrivateShare, decodeTable)
{
    // Every key but "display_name" is required; the fields take their differently named keys.
    auto valid = privateObject();
    auto share = decodeJSON<PrivateShare>(valid);
    ASSERT_TRUE(share);
    EXPECT_EQ(share->shareID, 3);
    EXPECT_EQ(share->fileID, 4);
    EXPECT_TRUE(share->isMine);
    EXPECT_EQ(share->recipient, "Eva");
    EXPECT_EQ(share->email, "eva@example.invalid");
    EXPECT_EQ(share->fileName, "Bericht.pdf");
    EXPECT_EQ(share->cid, 99);
    expectRequiredKeys<PrivateShare>(valid, { { "id", JSONKind::integer }, { "file_id", JSONKind::integer },
        { "is_mine", JSONKind::boolean }, { "display_email", JSONKind::string }, { "name", JSONKind::string },
        { "cid", JSONKind::integer } });
    expectOptionalKeys<PrivateShare>(valid, { { "display_name", JSONKind::string } });
    expectUnknownKeysIgnored<PrivateShare>(valid);
    valid.erase("display_name");
    EXPECT_FALSE(decodeJSON<PrivateShare>(valid)->recipient.has_value());
}

TEST(Share, typeChoosesTheCase)
{
    // Exactly "public" is a public link; any other text a private share, which then needs the private keys.
    auto publicShare = decodeJSON<Share>(publicObject());
    ASSERT_TRUE(publicShare);
    EXPECT_TRUE(publicShare->isPublic());
    EXPECT_FALSE(publicShare->isPrivate());
    EXPECT_EQ(publicShare->shareID(), 1);
    EXPECT_EQ(publicShare->fileID(), 2);
    EXPECT_EQ(publicShare->publicShare()->validTo, Platform::Date::fromWholeSecondsSince1970(1'700'000'000));
    EXPECT_FALSE(publicShare->privateShare().has_value());

    auto withoutExpiry = publicObject();
    withoutExpiry["share_valid_to"] = nullptr;
    auto nulled = decodeJSON<Share>(withoutExpiry);
    withoutExpiry.erase("share_valid_to");
    auto absent = decodeJSON<Share>(withoutExpiry);
    ASSERT_TRUE(nulled && absent);
    EXPECT_FALSE(nulled->publicShare()->validTo.has_value());
    EXPECT_EQ(*nulled, *absent);

    auto privateShare = decodeJSON<Share>(privateObject());
    ASSERT_TRUE(privateShare);
    EXPECT_TRUE(privateShare->isPrivate());
    EXPECT_EQ(privateShare->shareID(), 3);
    EXPECT_EQ(privateShare->fileID(), 4);
    EXPECT_FALSE(privateShare->publicShare().has_value());
    EXPECT_NE(*privateShare, *publicShare);

    for (const char* type : { "Public", "PUBLIC", "", "link" }) {
        auto object = publicObject();
        object["type"] = type;
        EXPECT_FALSE(decodeJSON<Share>(object)) << type;
        auto asPrivate = privateObject();
        asPrivate["type"] = type;
        auto decoded = decodeJSON<Share>(asPrivate);
        ASSERT_TRUE(decoded) << type;
        EXPECT_TRUE(decoded->isPrivate()) << type;
    }
    for (const char* key : { "is_mine", "status", "display_email", "name", "cid" }) {
        auto object = privateObject();
        object.erase(key);
        EXPECT_FALSE(decodeJSON<Share>(object)) << key;
    }
    expectRequiredKeys<Share>(privateObject(), { { "type", JSONKind::string } });
}

TEST(Owner, nameAndDecoding)
{
    // The two names with one space, untrimmed; all four keys required.
    expectRequiredKeys<Owner>(ownerObject(), { { "cid", JSONKind::integer }, { "first_name", JSONKind::string },
        { "last_name", JSONKind::string }, { "email", JSONKind::string } });
    EXPECT_EQ(decodeJSON<Owner>(ownerObject())->name(), "Eva Muster");
    EXPECT_EQ((Owner { 1, "Eva", "", "" }).name(), "Eva ");
    EXPECT_EQ((Owner { 1, "", "", "" }).name(), " ");
    EXPECT_EQ((Owner { 1, " a ", "b ", "" }).name(), " a  b ");
}

TEST(ShareInfo, privateSharesAndWholeLists)
{
    // `shares` keeps the private shares in order; only public links give an empty list; one bad share fails all.
    JSON info { { "owner", ownerObject() }, { "shares", JSON::array({ privateObject(), publicObject(), privateObject() }) } };
    info["shares"][2]["id"] = 7;
    auto decoded = decodeJSON<ShareInfo>(info);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->owner.cid, 5);
    EXPECT_EQ(decoded->allShares.size(), 3u);
    ASSERT_EQ(decoded->shares().size(), 2u);
    EXPECT_EQ(decoded->shares()[0].shareID, 3);
    EXPECT_EQ(decoded->shares()[1].shareID, 7);

    JSON onlyPublic { { "owner", ownerObject() }, { "shares", JSON::array({ publicObject(), publicObject() }) } };
    auto links = decodeJSON<ShareInfo>(onlyPublic);
    ASSERT_TRUE(links);
    EXPECT_TRUE(links->shares().empty());
    EXPECT_EQ(links->allShares.size(), 2u);

    info["shares"][1].erase("url");
    auto broken = decodeJSON<ShareInfo>(info);
    ASSERT_FALSE(broken);
    EXPECT_EQ(broken.error().codingPathString(), "shares.Index 1.url");
    expectRequiredKeys<ShareInfo>(onlyPublic, { { "owner", JSONKind::object }, { "shares", JSONKind::array } });

    ShareInfo built(Owner { 1, "a", "b", "c" }, { *decodeJSON<Share>(publicObject()) });
    EXPECT_EQ(built.allShares.size(), 1u);
    EXPECT_TRUE(built.shares().empty());
}

TEST(SharePermission, booleansOnly)
{
    // Both flags required as JSON booleans; 1 and 0 fail; false is an answer, not a failure.
    JSON valid { { "is_share_allowed_private", true }, { "is_share_allowed_public", false } };
    auto permission = decodeJSON<SharePermission>(valid);
    ASSERT_TRUE(permission);
    EXPECT_TRUE(permission->isPrivatelySharable);
    EXPECT_FALSE(permission->isPubliclySharable);
    expectRequiredKeys<SharePermission>(valid, { { "is_share_allowed_private", JSONKind::boolean },
        { "is_share_allowed_public", JSONKind::boolean } });
    expectUnknownKeysIgnored<SharePermission>(valid);
    EXPECT_FALSE(decodeJSON<SharePermission>(JSON { { "is_share_allowed_private", 1 }, { "is_share_allowed_public", 0 } }));
}

TEST(ShareLifetime, casesInOrder)
{
    // Four lifetimes, in the order their integers are taken from.
    EXPECT_EQ(static_cast<int>(ShareLifetime::short_), 0);
    EXPECT_EQ(static_cast<int>(ShareLifetime::medium), 1);
    EXPECT_EQ(static_cast<int>(ShareLifetime::long_), 2);
    EXPECT_EQ(static_cast<int>(ShareLifetime::unlimited), 3);
}
