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

TEST(KeyedArchiveTests, NestingReadsUpToTheCapAndNotOneLevelBeyond)
{
    // The root dictionary is level 0; a value at level maximumDepth still reads, one level deeper is refused,
    // whether the levels are arrays, dictionaries or what the archive wrote itself.
    constexpr int cap = KeyedArchive::maximumDepth;
    auto arrays = [](int levels, std::string_view innermost) {
        return "{\"a\":" + std::string(static_cast<std::size_t>(levels), '[') + std::string(innermost)
            + std::string(static_cast<std::size_t>(levels), ']') + "}";
    };
    EXPECT_TRUE(read(arrays(cap, "")));
    EXPECT_FALSE(read(arrays(cap + 1, "")));
    EXPECT_TRUE(read(arrays(cap - 1, "1")));
    EXPECT_FALSE(read(arrays(cap, "1")));

    auto dictionaries = [](int levels) {
        std::string text;
        for (int level = 0; level < levels; ++level)
            text += "{\"d\":";
        text += "true";
        return text + std::string(static_cast<std::size_t>(levels), '}');
    };
    ASSERT_TRUE(read(dictionaries(cap)));
    EXPECT_FALSE(read(dictionaries(cap + 1)));

    auto nested = [](int levels) {
        ArchiveValue value = std::int64_t(7);
        for (int level = 1; level < levels; ++level)
            value = ArchiveArray { value };
        return ArchiveDictionary { { "a", value } };
    };
    auto atCap = nested(cap);
    EXPECT_EQ(KeyedArchive::unarchivedDictionary(KeyedArchive::archivedData(atCap)), atCap);
    EXPECT_FALSE(KeyedArchive::unarchivedDictionary(KeyedArchive::archivedData(nested(cap + 1))));
}

TEST(KeyedArchiveTests, UnusualButValidInputReadsAsWritten)
{
    // Escapes, duplicate keys, escaped "$" keys, deep nesting and edge numbers
    // read exactly as the JSON says, whichever way the reader takes.
    EXPECT_EQ(read(R"({"a":"x\"y\u00fc"})")->at("a"), ArchiveValue("x\"y\xc3\xbc"));
    EXPECT_EQ(read(R"({"a":1,"a":2})")->at("a"), ArchiveValue(2));
    EXPECT_EQ(read(R"({"$$url":"t"})")->at("$url"), ArchiveValue("t"));
    EXPECT_EQ(read(R"({"a":{"$$data":"AAE="}})")->at("a"), ArchiveValue(ArchiveDictionary { { "$data", "AAE=" } }));
    EXPECT_EQ(read(R"({"a":{"$data":"AAE="}})")->at("a"), ArchiveValue(Platform::Data::fromString(std::string("\0\1", 2))));
    EXPECT_EQ(read(R"({"a":-0})")->at("a"), ArchiveValue(0));
    EXPECT_EQ(read(R"({"a":-9223372036854775808})")->at("a"), ArchiveValue(std::numeric_limits<std::int64_t>::min()));
    EXPECT_EQ(read(R"({"a":123456789012345678})")->at("a"), ArchiveValue(std::int64_t(123456789012345678)));
    EXPECT_EQ(read("{\"a\":\"Gr\xc3\xbc\xc3\x9f" "e\"}")->at("a"), ArchiveValue("Gr\xc3\xbc\xc3\x9f" "e"));
    std::string nested = "{\"a\":" + std::string(25, '[') + "7" + std::string(25, ']') + "}";
    auto deep = read(nested);
    ASSERT_TRUE(deep);
    const ArchiveValue* value = &deep->at("a");
    for (int level = 0; level < 25; ++level)
        value = &value->array()->front();
    EXPECT_EQ(*value, ArchiveValue(7));
    for (auto text : { "{\"a\":01}", "{\"a\":1e2}", "{\"a\":\"\t\"}", "{\"a\":tru}", "{\"a\":1,}", "{\"a\" 1}",
             "{\"a\":{\"$url\":\"https://x.org\",\"b\":1}}", "{\"a\":{\"b\":1,\"$data\":\"AAE=\"}}",
             "{\"$data\":\"AAE=\"}", "{\"a\":\"\xed\xa0\x80\"}" })
        EXPECT_FALSE(read(text)) << text;
}
