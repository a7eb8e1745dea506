#include "Sync/Archive/KeyedArchive.hpp"

#include <gtest/gtest.h>

using namespace Sync;

namespace {

std::optional<ArchiveDictionary> read(std::string_view text)
{
    return KeyedArchive::unarchivedDictionary(Platform::Data::fromString(text));
}

} // namespace

TEST(KeyedArchiveTests, EveryKindRoundTrips)
{
    // Each kind comes back as itself: URLs stay URLs, text stays text, bytes stay bytes.
    auto url = *Platform::URL::create("https://example.org/a?b=1");
    ArchiveDictionary root {
        { "null", nullptr },
        { "true", true },
        { "integer", std::int64_t(-9'007'199'254'740'993) },
        { "max", std::numeric_limits<std::int64_t>::max() },
        { "text", "Gr\xc3\xbc\xc3\x9f" "e" },
        { "urlText", url.absoluteString() },
        { "url", url },
        { "bytes", Platform::Data::fromString(std::string("\0\xff", 2)) },
        { "nested", ArchiveArray { ArchiveDictionary { { "deep", ArchiveArray { 1, "x" } } } } },
        { "$url", "a key that looks like a wrapper" },
        { "badText", std::string("name\xff") },
        { "", ArchiveDictionary {} },
    };
    auto back = KeyedArchive::unarchivedDictionary(KeyedArchive::archivedData(root));
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, root);
    EXPECT_EQ(back->at("url").kind(), ArchiveValue::Kind::URL);
    EXPECT_EQ(back->at("urlText").kind(), ArchiveValue::Kind::Text);
    EXPECT_EQ(back->at("true").kind(), ArchiveValue::Kind::Boolean);
}

TEST(KeyedArchiveTests, MalformedInputIsNoRecord)
{
    // Garbage, wrong roots, floats, huge numbers, bad wrappers and unknown "$" keys read as nothing.
    for (auto text : { "", "\xff\xfe", "{", "[]", "42", "null", "{\"a\":1.5}", "{\"a\":18446744073709551615}",
             "{\"a\":{\"$url\":\"not a url\"}}", "{\"a\":{\"$data\":\"!!\"}}", "{\"a\":{\"$data\":5}}",
             "{\"$unknown\":1}", "{\"a\":\"\xff\"}", "{\"a\":1}{" })
        EXPECT_FALSE(read(text)) << text;
    EXPECT_TRUE(read("{\"a\":1}"));
    EXPECT_TRUE(read(" {\"a\":[true,null]} "));
}

TEST(KeyedArchiveTests, DepthIsCapped)
{
    // Nesting within the cap reads; deeper nesting, even hundreds of thousands of levels, is refused.
    std::string shallow = "{\"a\":" + std::string(10, '[') + std::string(10, ']') + "}";
    EXPECT_TRUE(read(shallow));
    std::string deep = "{\"a\":" + std::string(200'000, '[') + std::string(200'000, ']') + "}";
    EXPECT_FALSE(read(deep));
    std::string unclosed = "{\"a\":" + std::string(200'000, '[');
    EXPECT_FALSE(read(unclosed));
}
