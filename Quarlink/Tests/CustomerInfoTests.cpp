// Customer data: its decoding, the feature set and the full name.

#include "Quarlink/Account/CustomerInfo.hpp"
#include "Quarlink/Tests/DecodeTable.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;
using namespace Quarlink::Testing;

namespace {

JSON customerObject()
{
    return JSON::parse(R"({"cid":12,"first_name":"Eva","last_name":"Muster","email":"eva@example.invalid","root_file_id":100,
        "features":{"advertising":true,"has_ocr":false},"main_product_short_name":"Free","limits":{"mail_total_size":5000}})");
}

FeatureSet features(JSON object)
{
    auto customer = customerObject();
    customer["features"] = std::move(object);
    auto decoded = decodeJSON<CustomerInfo>(customer);
    EXPECT_TRUE(decoded);
    return decoded ? decoded->features : FeatureSet(std::int64_t { -1 });
}

CustomerInfo person(std::string first, std::string last, std::string email)
{
    return CustomerInfo { 1, std::move(first), std::move(last), std::move(email), 2, {}, "p", { 0 } };
}

} // namespace

TEST(CustomerInfo, decodeTable)
{
    // Eight required keys at the top level; "features" and "limits" must be objects.
    auto info = decodeJSON<CustomerInfo>(customerObject());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->cid, 12);
    EXPECT_EQ(info->rootFolderID, 100);
    EXPECT_EQ(info->product, "Free");
    EXPECT_EQ(info->limits, Limits { 5000 });
    EXPECT_EQ(info->features, FeatureSet::shouldShowAdvertising);
    expectRequiredKeys<CustomerInfo>(customerObject(), { { "cid", JSONKind::integer }, { "first_name", JSONKind::string },
        { "last_name", JSONKind::string }, { "email", JSONKind::string }, { "root_file_id", JSONKind::integer },
        { "features", JSONKind::object }, { "main_product_short_name", JSONKind::string }, { "limits", JSONKind::object } });
    expectUnknownKeysIgnored<CustomerInfo>(customerObject());
    auto badLimits = customerObject();
    badLimits["limits"] = JSON::object();
    EXPECT_EQ(decodeJSON<CustomerInfo>(badLimits).error().codingPathString(), "limits.mail_total_size");
}

TEST(FeatureSet, decoding)
{
    // Only keys of the table holding JSON true count, matched case-sensitively; other values are no error.
    EXPECT_EQ(features({ { "advertising", true }, { "has_ocr", false }, { "has_reminders", true }, { "other", true } }).rawValue(), 5);
    EXPECT_TRUE(features(JSON::object()).isEmpty());
    for (const JSON& value : { JSON(1), JSON("true"), JSON(nullptr), JSON::array({ true }), JSON::object() })
        EXPECT_TRUE(features({ { "has_server_search", value } }).isEmpty()) << value.dump();
    EXPECT_TRUE(features({ { "HAS_OCR", true }, { "Has_ocr", true } }).isEmpty());
    EXPECT_EQ(features({ { "has_ocr", true } }), FeatureSet::hasDocumentScanner);
    EXPECT_EQ(features({ { "advertising", true }, { "has_ocr", true }, { "has_reminders", true }, { "has_document_view", true },
                  { "has_server_search", true }, { "has_delta_request", true } })
                  .rawValue(),
        63);
}

TEST(FeatureSet, algebra)
{
    // Union, intersection, differences, insert/remove/update and the subset relations on raw bits.
    FeatureSet some { FeatureSet::shouldShowAdvertising, FeatureSet::hasReminders };
    FeatureSet other { FeatureSet::hasReminders, FeatureSet::hasServerSearch };
    EXPECT_EQ(some.rawValue(), 5);
    EXPECT_EQ(some.unionWith(other).rawValue(), 21);
    EXPECT_EQ(some.intersection(other), FeatureSet::hasReminders);
    EXPECT_EQ(some.symmetricDifference(other).rawValue(), 17);
    EXPECT_EQ(some.subtracting(other), FeatureSet::shouldShowAdvertising);
    EXPECT_TRUE(FeatureSet::hasReminders.isSubset(some));
    EXPECT_TRUE(some.isSuperset(FeatureSet::hasReminders));
    EXPECT_FALSE(some.isSubset(other));
    EXPECT_TRUE(some.isDisjoint(FeatureSet::shouldUseDeltaRequest));
    EXPECT_FALSE(some.isDisjoint(other));
    EXPECT_TRUE(FeatureSet().isEmpty());
    EXPECT_EQ(FeatureSet(std::int64_t { 8 }), FeatureSet::hasDocumentView);

    FeatureSet changing;
    EXPECT_TRUE(changing.insert(FeatureSet::hasDocumentView));
    EXPECT_FALSE(changing.insert(FeatureSet::hasDocumentView));
    EXPECT_TRUE(changing.update(FeatureSet::hasDocumentView));
    EXPECT_FALSE(changing.update(FeatureSet::hasDocumentScanner));
    EXPECT_EQ(changing.rawValue(), 10);
    EXPECT_TRUE(changing.remove(FeatureSet::hasDocumentView));
    EXPECT_FALSE(changing.remove(FeatureSet::hasDocumentView));
    EXPECT_EQ(changing, FeatureSet::hasDocumentScanner);
    EXPECT_TRUE(changing.contains(FeatureSet()));
}

TEST(FeatureSet, valuesThatAreNoObjectFail)
{
    // An array, a string, a number or null under "features" fails the customer data.
    for (const JSON& value : { JSON::array(), JSON("x"), JSON(1), JSON(nullptr) }) {
        auto customer = customerObject();
        customer["features"] = value;
        auto failed = decodeJSON<CustomerInfo>(customer);
        ASSERT_FALSE(failed) << value.dump();
        EXPECT_TRUE(namesKey(failed.error(), "features"));
    }
}

TEST(CustomerInfo, fullName)
{
    // Both names; one alone; the e-mail address; "Unbekannt". White space counts as a name.
    EXPECT_EQ(person("Eva", "Muster", "e@x").fullName(), "Eva Muster");
    EXPECT_EQ(person("Eva", "", "e@x").fullName(), "Eva");
    EXPECT_EQ(person("", "Muster", "e@x").fullName(), "Muster");
    EXPECT_EQ(person("", "", "e@x").fullName(), "e@x");
    EXPECT_EQ(person("", "", "").fullName(), "Unbekannt");
    EXPECT_EQ(person(" ", "", "").fullName(), " ");
}

TEST(Limits, encodesAndDecodes)
{
    // One key both ways; equality by the one field.
    auto json = JSONEncoder().encodeToJSON(Limits { 42 });
    ASSERT_TRUE(json);
    EXPECT_EQ(json->dump(), R"({"mail_total_size":42})");
    EXPECT_EQ(decodeJSON<Limits>(*json), Limits { 42 });
    EXPECT_NE(Limits { 1 }, Limits { 2 });
    expectRequiredKeys<Limits>(*json, { { "mail_total_size", JSONKind::integer } });
}
