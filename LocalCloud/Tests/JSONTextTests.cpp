#include "LocalCloud/Routes/JSONText.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <random>
#include <string>
#include <vector>

using LocalCloud::appendJSONString;

namespace {

// What the service wrote before it wrote strings itself: the JSON library,
// invalid UTF-8 replaced.
std::string libraryQuoted(const std::string& text)
{
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string ownQuoted(const std::string& text)
{
    std::string out = "x";
    appendJSONString(out, text);
    return out.substr(1);
}

// The bytes where UTF-8 decoding and JSON escaping change their mind.
const std::vector<char> hostileBytes = [] {
    std::vector<char> bytes;
    for (int byte : { 0x00, 0x01, 0x08, 0x09, 0x0A, 0x0C, 0x0D, 0x1F, 0x20, 0x22, 0x2F, 0x41, 0x5C, 0x7F, 0x80, 0x8F,
             0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4,
             0xF5, 0xFE, 0xFF })
        bytes.push_back(static_cast<char>(byte));
    return bytes;
}();

} // namespace

TEST(JSONTextTests, WritesEveryStringAsTheJSONLibraryDoes)
{
    // Proves the hand-written escaping is byte for byte the library's: every
    // string of up to two bytes, every string of three and four hostile bytes,
    // and random hostile strings around well-formed text.
    for (int first = 0; first < 256; ++first) {
        std::string one(1, static_cast<char>(first));
        ASSERT_EQ(ownQuoted(one), libraryQuoted(one)) << "byte " << first;
        for (int second = 0; second < 256; ++second) {
            std::string two { static_cast<char>(first), static_cast<char>(second) };
            ASSERT_EQ(ownQuoted(two), libraryQuoted(two)) << "bytes " << first << " " << second;
        }
    }
    for (char a : hostileBytes)
        for (char b : hostileBytes)
            for (char c : hostileBytes) {
                std::string three { a, b, c };
                ASSERT_EQ(ownQuoted(three), libraryQuoted(three));
                for (char d : hostileBytes) {
                    std::string four { a, b, c, d };
                    ASSERT_EQ(ownQuoted(four), libraryQuoted(four));
                }
            }
    const std::vector<std::string> pieces { "Bericht", "\xC3\xA4", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xED\x9F\xBF",
        "\xEE\x80\x80", "\xF4\x8F\xBF\xBF", "/", " ", "" };
    std::mt19937 random(35);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const auto parts = random() % 8;
        for (unsigned part = 0; part < parts; ++part) {
            if (random() % 2)
                text += pieces[random() % pieces.size()];
            else
                text += hostileBytes[random() % hostileBytes.size()];
        }
        ASSERT_EQ(ownQuoted(text), libraryQuoted(text));
    }
}

TEST(JSONTextTests, AppendsToWhatIsThere)
{
    // Proves the string goes after what the output held, quotes included, and
    // that a long plain run is copied whole.
    std::string out = "{\"name\":";
    appendJSONString(out, "a \"b\"\\c\n\x01" + std::string(1000, 'z'));
    EXPECT_EQ(out, "{\"name\":\"a \\\"b\\\"\\\\c\\n\\u0001" + std::string(1000, 'z') + "\"");
}
