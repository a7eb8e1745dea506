#pragma once

// Table-driven checks of a model's JSON rules: every required key missing, null
// and of every wrong JSON kind fails and names the key; optional keys may be
// absent or null; unknown keys are ignored.

#include "Quarlink/Coding/JSONDecoder.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Quarlink::Testing {

// The JSON kind a key must hold. `number` accepts integers and fractions (dates).
enum class JSONKind { boolean, integer, number, string, array, object };

struct KeyRule {
    std::string key;
    JSONKind kind;
};

inline std::vector<JSON> valuesOtherThan(JSONKind kind)
{
    std::vector<JSON> values;
    if (kind != JSONKind::boolean)
        values.push_back(true);
    if (kind != JSONKind::integer && kind != JSONKind::number)
        values.push_back(7);
    if (kind != JSONKind::number)
        values.push_back(1.5);
    if (kind != JSONKind::string)
        values.push_back("7");
    if (kind != JSONKind::array)
        values.push_back(JSON::array({ 1 }));
    if (kind != JSONKind::object)
        values.push_back(JSON::object({ { "a", 1 } }));
    return values;
}

template<class T>
std::expected<T, DecodingError> decodeJSON(const JSON& document)
{
    return JSONDecoder::makeDefault().decode<T>(document.dump());
}

// Whether the error's coding path ends in `key`.
inline bool namesKey(const DecodingError& error, const std::string& key)
{
    return !error.codingPath().empty() && error.codingPath().back() == key;
}

template<class T>
void expectRequiredKeys(const JSON& valid, const std::vector<KeyRule>& rules)
{
    ASSERT_TRUE(decodeJSON<T>(valid)) << decodeJSON<T>(valid).error().description();
    for (const auto& rule : rules) {
        auto missing = valid;
        missing.erase(rule.key);
        auto withoutKey = decodeJSON<T>(missing);
        ASSERT_FALSE(withoutKey) << "missing " << rule.key;
        EXPECT_EQ(withoutKey.error().kind(), DecodingError::Kind::keyNotFound) << rule.key;
        EXPECT_TRUE(namesKey(withoutKey.error(), rule.key)) << rule.key << ": " << withoutKey.error().codingPathString();

        auto nulled = valid;
        nulled[rule.key] = nullptr;
        auto withNull = decodeJSON<T>(nulled);
        ASSERT_FALSE(withNull) << "null " << rule.key;
        EXPECT_EQ(withNull.error().kind(), DecodingError::Kind::valueNotFound) << rule.key;
        EXPECT_TRUE(namesKey(withNull.error(), rule.key)) << rule.key;

        for (const auto& wrong : valuesOtherThan(rule.kind)) {
            auto mistyped = valid;
            mistyped[rule.key] = wrong;
            auto withWrongKind = decodeJSON<T>(mistyped);
            ASSERT_FALSE(withWrongKind) << rule.key << " = " << wrong.dump();
            EXPECT_TRUE(namesKey(withWrongKind.error(), rule.key)) << rule.key << " = " << wrong.dump() << ": "
                                                                   << withWrongKind.error().codingPathString();
        }
    }
}

// Each optional key decodes when absent and when null, and fails (naming it)
// when it holds a wrong kind.
template<class T>
void expectOptionalKeys(const JSON& valid, const std::vector<KeyRule>& rules)
{
    for (const auto& rule : rules) {
        auto absent = valid;
        absent.erase(rule.key);
        EXPECT_TRUE(decodeJSON<T>(absent)) << "absent " << rule.key;
        auto nulled = valid;
        nulled[rule.key] = nullptr;
        EXPECT_TRUE(decodeJSON<T>(nulled)) << "null " << rule.key;
        for (const auto& wrong : valuesOtherThan(rule.kind)) {
            auto mistyped = valid;
            mistyped[rule.key] = wrong;
            auto withWrongKind = decodeJSON<T>(mistyped);
            ASSERT_FALSE(withWrongKind) << rule.key << " = " << wrong.dump();
            EXPECT_TRUE(namesKey(withWrongKind.error(), rule.key)) << rule.key;
        }
    }
}

template<class T>
void expectUnknownKeysIgnored(JSON valid)
{
    valid["unknown_key"] = JSON::object({ { "nested", JSON::array({ nullptr }) } });
    valid["another"] = nullptr;
    EXPECT_TRUE(decodeJSON<T>(valid));
}

} // namespace Quarlink::Testing
