#include "Sync/Sharing/PrivateShareInfoItem.hpp"

#include <gtest/gtest.h>

using namespace Sync;

namespace {

PrivateShareInfoItem share(std::string email = "anna@example.org", std::string fileName = "Docs")
{
    return PrivateShareInfoItem(4, 5, true, ShareInfoStatus::Pending, "Anna", std::move(email), std::move(fileName));
}

} // namespace

TEST(PrivateShareInfoTests, DictionaryRoundTrip)
{
    // All eight keys are written, the status as its raw value, and the record comes back equal.
    auto form = dictionary(share());
    EXPECT_EQ(form.size(), 8u);
    EXPECT_EQ(form.at("type"), ArchiveValue("private"));
    EXPECT_EQ(form.at("status"), ArchiveValue(1));
    EXPECT_EQ(form.at("isMine"), ArchiveValue(true));
    EXPECT_EQ(*PrivateShareInfoItem::create(form), share());
}

TEST(PrivateShareInfoTests, StatusRawValues)
{
    // Only 0, 1 and 2 are statuses.
    EXPECT_EQ(shareInfoStatus(2), ShareInfoStatus::Declined);
    EXPECT_FALSE(shareInfoStatus(3));
    EXPECT_FALSE(shareInfoStatus(-1));
    auto form = dictionary(share());
    form["status"] = 3;
    EXPECT_FALSE(PrivateShareInfoItem::create(form));
    form["status"] = 2;
    EXPECT_EQ(PrivateShareInfoItem::create(form)->status(), ShareInfoStatus::Declined);
}

TEST(PrivateShareInfoTests, RequiredAndOptionalEntries)
{
    // Missing email or file name fails; a null or missing recipient or a text share id only clears the field.
    auto form = dictionary(share());
    auto changed = form;
    changed.erase("email");
    EXPECT_FALSE(PrivateShareInfoItem::create(changed));
    changed = form;
    changed.erase("fileName");
    EXPECT_FALSE(PrivateShareInfoItem::create(changed));
    changed = form;
    changed["isMine"] = 1;
    EXPECT_FALSE(PrivateShareInfoItem::create(changed));
    changed = form;
    changed["type"] = "Private";
    EXPECT_FALSE(PrivateShareInfoItem::create(changed));
    changed = form;
    changed["recipient"] = nullptr;
    changed["shareID"] = "4";
    auto lenient = PrivateShareInfoItem::create(changed);
    ASSERT_TRUE(lenient);
    EXPECT_FALSE(lenient->recipient());
    EXPECT_FALSE(lenient->shareID());
    changed.erase("recipient");
    EXPECT_TRUE(PrivateShareInfoItem::create(changed));
    EXPECT_FALSE(PrivateShareInfoItem::create({}));
}

TEST(PrivateShareInfoTests, FormsDoNotCross)
{
    // A public form is no private record.
    ArchiveDictionary publicForm { { "type", "public" }, { "isMine", true }, { "status", 0 }, { "email", "a" },
        { "fileName", "b" } };
    EXPECT_FALSE(PrivateShareInfoItem::create(publicForm));
}

TEST(PrivateShareInfoTests, EqualityOfRecordsAndLists)
{
    // Every field counts, texts compare canonically, lists compare in order.
    EXPECT_NE(share("a@x"), share("b@x"));
    EXPECT_NE(share("a@x", "A"), share("a@x", "B"));
    EXPECT_EQ(share("a@x", "Caf\xc3\xa9"), share("a@x", "Cafe\xcc\x81"));
    EXPECT_TRUE(sameShareInfo(static_cast<const PrivateShareInfo*>(nullptr), nullptr));
    EXPECT_FALSE(sameShareInfo(nullptr, &static_cast<const PrivateShareInfo&>(share())));

    std::shared_ptr<const PrivateShareInfo> a = std::make_shared<PrivateShareInfoItem>(share("a@x"));
    std::shared_ptr<const PrivateShareInfo> b = std::make_shared<PrivateShareInfoItem>(share("b@x"));
    EXPECT_TRUE(sameShareInfos({}, {}));
    EXPECT_TRUE(sameShareInfos({ a, b }, { a, b }));
    EXPECT_FALSE(sameShareInfos({ a, b }, { b, a }));
    EXPECT_FALSE(sameShareInfos({ a }, { a, b }));
}
