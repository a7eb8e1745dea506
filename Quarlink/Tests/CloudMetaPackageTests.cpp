// The response envelope and its quota, decoded with the response decoder's defaults.

#include "Quarlink/Coding/JSONDecoder.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/CloudMetaPackage.hpp"

#include <gtest/gtest.h>

using namespace Quarlink;

namespace {

using Files = CloudMetaPackage<std::vector<std::int64_t>>;

std::expected<Files, DecodingError> decode(std::string_view text)
{
    return JSONDecoder::makeDefault().decode<Files>(text);
}

static_assert(CloudMetaPackageType<Files>);

} // namespace

TEST(CloudMetaPackage, metadataAndQuota)
{
    // "meta" with a quota gives that quota; missing or null "meta" gives no metadata; "{}" metadata without quota.
    auto full = decode(R"({"data":[1,2],"meta":{"quota":{"used":10,"total":100,"x":1},"y":2},"z":3})");
    ASSERT_TRUE(full) << full.error().description();
    EXPECT_EQ(full->payload(), (std::vector<std::int64_t> { 1, 2 }));
    EXPECT_EQ(full->quota(), (Quota { 10, 100 }));

    for (const char* text : { R"({"data":[]})", R"({"data":[],"meta":null})" }) {
        auto bare = decode(text);
        ASSERT_TRUE(bare);
        EXPECT_FALSE(bare->metaData().has_value());
        EXPECT_FALSE(bare->quota().has_value());
        EXPECT_FALSE(bare->deltaUpdateDate().has_value());
    }
    for (const char* text : { R"({"data":[],"meta":{}})", R"({"data":[],"meta":{"quota":null}})" }) {
        auto empty = decode(text);
        ASSERT_TRUE(empty);
        EXPECT_TRUE(empty->metaData().has_value());
        EXPECT_FALSE(empty->quota().has_value());
    }
}

TEST(CloudMetaPackage, decodingFailures)
{
    // A missing or null "data", a bad quota or a top-level array fail the whole package.
    EXPECT_EQ(decode(R"({"meta":{}})").error().kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(decode(R"({"data":null})").error().kind(), DecodingError::Kind::valueNotFound);
    auto badQuota = decode(R"({"data":[],"meta":{"quota":{"used":"10","total":100}}})");
    ASSERT_FALSE(badQuota);
    EXPECT_EQ(badQuota.error().codingPathString(), "meta.quota.used");
    EXPECT_FALSE(decode(R"({"data":[],"meta":{"quota":{"used":1.5,"total":100}}})"));
    EXPECT_FALSE(decode(R"({"data":[],"meta":{"quota":{"total":100}}})"));
    EXPECT_EQ(decode("[]").error().kind(), DecodingError::Kind::typeMismatch);
}

TEST(CloudMetaPackage, deltaDateNeedsMetadata)
{
    // A date written without metadata is dropped; with metadata it is kept and can be cleared.
    auto bare = *decode(R"({"data":[]})");
    bare.setDeltaUpdateDate(Platform::Date::fromWholeSecondsSince1970(5));
    EXPECT_FALSE(bare.metaData().has_value());
    EXPECT_FALSE(bare.deltaUpdateDate().has_value());

    auto withMeta = *decode(R"({"data":[],"meta":{}})");
    withMeta.setDeltaUpdateDate(Platform::Date::fromWholeSecondsSince1970(5));
    EXPECT_EQ(withMeta.deltaUpdateDate(), Platform::Date::fromWholeSecondsSince1970(5));
    withMeta.setDeltaUpdateDate(std::nullopt);
    EXPECT_FALSE(withMeta.deltaUpdateDate().has_value());
}

TEST(CloudMetaPackage, mapKeepsTheQuotaAndDropsTheDate)
{
    // A mapped package always has metadata with the source's quota and no date; a failing transform gives its error.
    Files source(Quota { 1, 2 }, { 3 });
    source.setDeltaUpdateDate(Platform::Date::fromWholeSecondsSince1970(9));
    auto mapped = source.map([](const std::vector<std::int64_t>& ids) { return ids.size(); });
    EXPECT_EQ(mapped.payload(), 1u);
    EXPECT_EQ(mapped.quota(), (Quota { 1, 2 }));
    EXPECT_FALSE(mapped.deltaUpdateDate().has_value());

    auto bare = *decode(R"({"data":[]})");
    auto fromBare = bare.map([](const auto& ids) { return ids; });
    EXPECT_TRUE(fromBare.metaData().has_value());
    EXPECT_FALSE(fromBare.quota().has_value());

    auto failed = source.map([](const auto&) -> std::expected<int, std::string> { return std::unexpected("nein"); });
    ASSERT_FALSE(failed);
    EXPECT_EQ(failed.error(), "nein");
}

TEST(Quota, defaultsAndEquality)
{
    // A new quota has 0 of 1,000,000,000 bytes; quotas are equal when both counts are.
    EXPECT_EQ(Quota {}, (Quota { 0, 1'000'000'000 }));
    EXPECT_NE((Quota { 1, 2 }), (Quota { 2, 2 }));
}

TEST(CloudMetaPackage, codingKeys)
{
    // Keys exist only for their exact JSON strings, never for integers, and describe themselves for error messages.
    using PackageKeys = Files::CodingKeys;
    EXPECT_EQ(PackageKeys::fromStringValue("data")->keyCase(), PackageKeys::Case::payload);
    EXPECT_EQ(PackageKeys::fromStringValue("meta")->stringValue(), "meta");
    EXPECT_FALSE(PackageKeys::fromStringValue("Data"));
    EXPECT_FALSE(PackageKeys::fromIntValue(0));
    EXPECT_FALSE(PackageKeys(PackageKeys::Case::payload).intValue());
    EXPECT_EQ(PackageKeys(PackageKeys::Case::payload).description(), "CodingKeys(stringValue: \"data\", intValue: nil)");
    EXPECT_EQ(CloudMetaData::CodingKeys(CloudMetaData::CodingKeys::Case::quota).debugDescription(), "CodingKeys(stringValue: \"quota\", intValue: nil)");
    EXPECT_FALSE(CloudMetaData::CodingKeys::fromStringValue("quotas"));
}

TEST(CloudMetaPackage, streamedListsDecodeAsTheTreeDoes)
{
    // A list payload read element by element gives the same value or the same error as the parsed tree.
    using Lists = CloudMetaPackage<std::vector<std::vector<std::int64_t>>>;
    static_assert(JSONDocumentDecodable<Lists>);
    auto tree = [](std::string_view text) -> std::expected<Lists, DecodingError> {
        auto document = JSONDecoder::parse(text);
        if (!document)
            return std::unexpected(document.error());
        return JSONValueReader(*document, DateDecodingStrategy::secondsSince1970).decode<Lists>();
    };
    for (const char* text : {
             R"({"data":[[1,2],[3]],"meta":{"quota":{"used":1,"total":2}}})",
             R"({"meta":null,"data":[]})",
             R"({"data":[[1],["x"],[2]]})",
             R"({"data":[[1],[2.5]],"meta":{"quota":{"used":"1","total":2}}})",
             R"({"data":[[1]],"meta":{"quota":{"used":"1","total":2}}})",
             R"({"data":null})",
             R"({"data":{"a":[1]}})",
             R"({"data":7})",
             R"({"meta":{}})",
             R"({"data":[[1]],"data":[[2],[3]]})",
             R"({"data":[[1]],"data":5})",
             R"({"x":{"data":[[9]]},"data":[[1,[2]]]})",
             R"({"data":[[1],[2]]} trailing)",
             R"({"data":[[1],["\xff"]]})",
             R"([{"data":[[1]]}])",
             R"({"data":[[1],)",
             "",
         }) {
        auto streamed = JSONDecoder::makeDefault().decode<Lists>(text);
        auto whole = tree(text);
        ASSERT_EQ(streamed.has_value(), whole.has_value()) << text;
        if (streamed) {
            EXPECT_EQ(streamed->payload(), whole->payload()) << text;
            EXPECT_EQ(streamed->quota(), whole->quota()) << text;
            EXPECT_EQ(streamed->metaData().has_value(), whole->metaData().has_value()) << text;
        } else {
            EXPECT_EQ(streamed.error(), whole.error()) << text << ": " << streamed.error().description() << " / "
                                                       << whole.error().description();
        }
    }
}
