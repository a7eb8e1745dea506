// Strict reading of JSON documents into typed values.

#include "Quarlink/Coding/JSONDecoder.hpp"

#include <gtest/gtest.h>

#include <clocale>

using namespace Quarlink;

namespace {

struct Item {
    std::int64_t fileID;
    std::string name;
    bool isFolder;
    std::optional<Platform::Date> modified;
    std::vector<std::int32_t> tags;

    static std::expected<Item, DecodingError> decode(const JSONValueReader& reader)
    {
        auto object = reader.object();
        if (!object)
            return std::unexpected(object.error());
        auto fileID = object->decode<std::int64_t>("file_id");
        if (!fileID)
            return std::unexpected(fileID.error());
        auto name = object->decode<std::string>("name");
        if (!name)
            return std::unexpected(name.error());
        auto isFolder = object->decode<bool>("is_folder");
        if (!isFolder)
            return std::unexpected(isFolder.error());
        auto modified = object->decodeIfPresent<Platform::Date>("modified");
        if (!modified)
            return std::unexpected(modified.error());
        auto tags = object->decode<std::vector<std::int32_t>>("tags");
        if (!tags)
            return std::unexpected(tags.error());
        return Item { *fileID, *name, *isFolder, *modified, *tags };
    }
};

DecodingError::Kind failureKind(std::string_view text)
{
    auto result = JSONDecoder::makeDefault().decode<Item>(text);
    EXPECT_FALSE(result.has_value()) << text;
    return result ? DecodingError::Kind::dataCorrupted : result.error().kind();
}

} // namespace

TEST(JSONDecoder, decodesARecord)
{
    // A well-formed object decodes field by field; an absent optional stays absent.
    auto item = JSONDecoder::makeDefault().decode<Item>(R"({"file_id":7,"name":"a.txt","is_folder":false,"tags":[1,2],"other":null})");
    ASSERT_TRUE(item) << item.error().description();
    EXPECT_EQ(item->fileID, 7);
    EXPECT_EQ(item->name, "a.txt");
    EXPECT_FALSE(item->isFolder);
    EXPECT_FALSE(item->modified.has_value());
    EXPECT_EQ(item->tags, (std::vector<std::int32_t> { 1, 2 }));
}

TEST(JSONDecoder, integersAreStrict)
{
    // An integer field refuses floats, booleans, strings and numbers out of its range.
    EXPECT_EQ(failureKind(R"({"file_id":7.0,"name":"","is_folder":false,"tags":[]})"), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(failureKind(R"({"file_id":true,"name":"","is_folder":false,"tags":[]})"), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(failureKind(R"({"file_id":"7","name":"","is_folder":false,"tags":[]})"), DecodingError::Kind::typeMismatch);
    EXPECT_EQ(failureKind(R"({"file_id":9223372036854775808,"name":"","is_folder":false,"tags":[]})"), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failureKind(R"({"file_id":1,"name":"","is_folder":false,"tags":[2147483648]})"), DecodingError::Kind::dataCorrupted);
    auto decoder = JSONDecoder::makeDefault();
    EXPECT_FALSE(decoder.decode<std::uint32_t>("-1"));
    EXPECT_EQ(decoder.decode<std::int64_t>("-9223372036854775808"), INT64_MIN);
}

TEST(JSONDecoder, booleansAreStrict)
{
    // A boolean field refuses numbers.
    EXPECT_EQ(failureKind(R"({"file_id":1,"name":"","is_folder":1,"tags":[]})"), DecodingError::Kind::typeMismatch);
}

TEST(JSONDecoder, missingAndNullValues)
{
    // A missing required key is keyNotFound with its path, null is valueNotFound.
    auto missing = JSONDecoder::makeDefault().decode<Item>(R"({"file_id":1,"is_folder":false,"tags":[]})");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind(), DecodingError::Kind::keyNotFound);
    EXPECT_EQ(missing.error().codingPath(), std::vector<std::string> { "name" });
    EXPECT_EQ(failureKind(R"({"file_id":1,"name":null,"is_folder":false,"tags":[]})"), DecodingError::Kind::valueNotFound);

    auto element = JSONDecoder::makeDefault().decode<std::vector<Item>>(R"([{"file_id":1,"name":"","is_folder":false,"tags":[1,"x"]}])");
    ASSERT_FALSE(element);
    EXPECT_EQ(element.error().codingPathString(), "Index 0.tags.Index 1");
}

TEST(JSONDecoder, badBytesAreNoDocument)
{
    // Empty bodies, malformed JSON and invalid UTF-8 are all data corruption, never a partial value.
    EXPECT_EQ(failureKind(""), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failureKind("{"), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(failureKind("{\"file_id\":1,\"name\":\"\xC3\x28\",\"is_folder\":false,\"tags\":[]}"), DecodingError::Kind::dataCorrupted);
}

TEST(JSONDecoder, datesAreSecondsSince1970)
{
    // The default decoder reads dates as seconds since 1970, whole or with a fraction; anything else fails.
    auto decoder = JSONDecoder::makeDefault();
    EXPECT_EQ(decoder.decode<Platform::Date>("60"), Platform::Date::fromWholeSecondsSince1970(60));
    EXPECT_EQ(decoder.decode<Platform::Date>("60.5"), Platform::Date::fromNanosecondsSince1970(60'500'000'000));
    EXPECT_EQ(decoder.decode<Platform::Date>("-1.5"), Platform::Date::fromNanosecondsSince1970(-1'500'000'000));
    EXPECT_FALSE(decoder.decode<Platform::Date>("\"1970-01-01\""));
}

TEST(JSONDecoder, urlsAreAbsoluteStrings)
{
    // A URL field holds an absolute URL string; anything else fails.
    auto decoder = JSONDecoder::makeDefault();
    EXPECT_EQ(decoder.decode<Platform::URL>(R"("http://127.0.0.1:8642/a%20b")"), *Platform::URL::create("http://127.0.0.1:8642/a%20b"));
    EXPECT_EQ(decoder.decode<Platform::URL>(R"("no url")").error().kind(), DecodingError::Kind::dataCorrupted);
    EXPECT_EQ(decoder.decode<Platform::URL>("3").error().kind(), DecodingError::Kind::typeMismatch);
}

TEST(JSONDecoder, eachDefaultDecoderIsNew)
{
    // Changing one decoder's setting leaves other and later default decoders alone.
    auto first = JSONDecoder::makeDefault();
    first.setDateDecodingStrategy(DateDecodingStrategy::deferredToDate);
    EXPECT_EQ(first.decode<Platform::Date>("0"), Platform::Date::fromWholeSecondsSince1970(978'307'200));
    EXPECT_EQ(JSONDecoder::makeDefault().decode<Platform::Date>("0"), Platform::Date());
}

TEST(JSONDecoder, keysAreTakenAsTheyStand)
{
    // A snake-case key matches only a model key written the same; no conversion from camel case happens.
    auto camel = JSONDecoder::makeDefault().decode<Item>(R"({"fileId":7,"name":"","is_folder":false,"tags":[]})");
    ASSERT_FALSE(camel);
    EXPECT_EQ(camel.error().kind(), DecodingError::Kind::keyNotFound);
}

TEST(JSONDecoder, numbersDoNotDependOnTheLocale)
{
    // Under a locale with a decimal comma, "60.5" still reads as sixty and a half.
    const char* german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    if (!german)
        GTEST_SKIP() << "no German locale on this machine";
    auto date = JSONDecoder::makeDefault().decode<Platform::Date>("60.5");
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(date, Platform::Date::fromNanosecondsSince1970(60'500'000'000));
}
