#include "Sync/Sharing/PublicShareInfoItem.hpp"

#include <gtest/gtest.h>

using namespace Sync;

namespace {

Platform::URL link()
{
    return *Platform::URL::create("https://share.example.org/s/abc");
}

// A record of another type, as the application may hand one over.
class OtherPublicShare final : public PublicShareInfo {
public:
    std::optional<std::int64_t> shareID() const override { return 1; }
    std::optional<std::int64_t> fileID() const override { return 2; }
    const Platform::URL& publicURL() const override { return m_url; }
    std::optional<Platform::Date> expirationDate() const override { return std::nullopt; }
    Platform::URL m_url = link();
};

} // namespace

TEST(PublicShareInfoTests, DictionaryForm)
{
    // All five keys are written, absent values as null and the URL as a URL value.
    PublicShareInfoItem info(std::nullopt, 9, link(), std::nullopt);
    auto form = dictionary(info);
    EXPECT_EQ(form.size(), 5u);
    EXPECT_EQ(form.at("type"), ArchiveValue("public"));
    EXPECT_TRUE(form.at("shareID").isNull());
    EXPECT_EQ(form.at("fileID"), ArchiveValue(9));
    EXPECT_EQ(form.at("url"), ArchiveValue(link()));
    EXPECT_TRUE(form.at("validTo").isNull());
    auto back = PublicShareInfoItem::create(form);
    ASSERT_TRUE(back);
    EXPECT_FALSE(back->expirationDate());
    EXPECT_TRUE(isValid(*back));
    EXPECT_EQ(*back, info);
}

TEST(PublicShareInfoTests, ExpirationIsCutToWholeSeconds)
{
    // 1.9 s is written as 1, -0.5 s as 0, -1.9 s as -1; a fraction does not survive the round trip.
    auto written = [](double seconds) {
        return dictionary(PublicShareInfoItem(1, 2, link(), Platform::Date::fromSecondsSince1970(seconds))).at("validTo");
    };
    EXPECT_EQ(written(1.9), ArchiveValue(1));
    EXPECT_EQ(written(-0.5), ArchiveValue(0));
    EXPECT_EQ(written(-1.9), ArchiveValue(-1));

    PublicShareInfoItem fractional(1, 2, link(), Platform::Date::fromSecondsSince1970(100.25));
    EXPECT_NE(*PublicShareInfoItem::create(dictionary(fractional)), fractional);
    PublicShareInfoItem whole(1, 2, link(), Platform::Date::fromWholeSecondsSince1970(100));
    EXPECT_EQ(*PublicShareInfoItem::create(dictionary(whole)), whole);
}

TEST(PublicShareInfoTests, ValidityAgainstTheClock)
{
    // A link is valid strictly before its expiration instant.
    auto now = Platform::Date::fromWholeSecondsSince1970(5000);
    EXPECT_TRUE(isValid(PublicShareInfoItem(1, 2, link(), now.addingSeconds(1)), now));
    EXPECT_FALSE(isValid(PublicShareInfoItem(1, 2, link(), now), now));
    EXPECT_FALSE(isValid(PublicShareInfoItem(1, 2, link(), now.addingSeconds(-1)), now));
    EXPECT_TRUE(isValid(PublicShareInfoItem(1, 2, link(), Platform::Date::now().addingSeconds(3600))));
}

TEST(PublicShareInfoTests, RebuildingRejectsWrongForms)
{
    // Empty forms, other types and URL text give no record; wrong optional kinds only clear fields.
    auto form = dictionary(PublicShareInfoItem(1, 2, link(), Platform::Date::fromWholeSecondsSince1970(7)));
    EXPECT_FALSE(PublicShareInfoItem::create({}));
    auto changed = form;
    changed["type"] = "Public";
    EXPECT_FALSE(PublicShareInfoItem::create(changed));
    changed = form;
    changed["url"] = link().absoluteString();
    EXPECT_FALSE(PublicShareInfoItem::create(changed));
    changed = form;
    changed["shareID"] = "1";
    changed["validTo"] = true;
    auto lenient = PublicShareInfoItem::create(changed);
    ASSERT_TRUE(lenient);
    EXPECT_FALSE(lenient->shareID());
    EXPECT_FALSE(lenient->expirationDate());
    EXPECT_EQ(lenient->fileID(), 2);
}

TEST(PublicShareInfoTests, EqualityOfOptionalRecords)
{
    // Absent records are equal to each other only; other conforming types compare by their fields.
    PublicShareInfoItem bare(std::nullopt, std::nullopt, link(), std::nullopt);
    EXPECT_TRUE(sameShareInfo(static_cast<const PublicShareInfo*>(nullptr), nullptr));
    EXPECT_FALSE(sameShareInfo(nullptr, &bare));
    OtherPublicShare other;
    EXPECT_EQ(PublicShareInfoItem(1, 2, link(), std::nullopt), other);
    EXPECT_NE(PublicShareInfoItem(1, 3, link(), std::nullopt), other);
}
