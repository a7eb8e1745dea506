#pragma once

// Reading what clients send: decimal texts, and the members of JSON bodies
// with their types checked (a wrong type is as good as a missing member).

#include <nlohmann/json.hpp>

#include <charconv>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <type_traits>
#include <vector>

namespace LocalCloud {

inline std::optional<std::int64_t> integerFrom(const std::string& text)
{
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

inline std::int64_t identifierFrom(const std::smatch& match)
{
    return integerFrom(match[1].str()).value_or(-1);
}

// A JSON object body, or nothing when it is not one.
inline std::optional<nlohmann::json> objectBody(const std::string& text)
{
    auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    return json;
}

inline const nlohmann::json* member(const nlohmann::json& object, const char* name)
{
    auto found = object.find(name);
    return found == object.end() ? nullptr : &*found;
}

inline std::optional<std::int64_t> integerMember(const nlohmann::json& object, const char* name)
{
    const auto* value = member(object, name);
    if (!value || !value->is_number_integer())
        return std::nullopt;
    return value->get<std::int64_t>();
}

inline std::optional<std::string> stringMember(const nlohmann::json& object, const char* name)
{
    const auto* value = member(object, name);
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get<std::string>();
}

// An array member whose elements are all integers (`std::int64_t`) or all strings.
template <class Element>
inline std::optional<std::vector<Element>> arrayMember(const nlohmann::json& object, const char* name)
{
    const auto* value = member(object, name);
    if (!value || !value->is_array())
        return std::nullopt;
    std::vector<Element> elements;
    for (const auto& element : *value) {
        bool fits = std::is_same_v<Element, std::string> ? element.is_string() : element.is_number_integer();
        if (!fits)
            return std::nullopt;
        elements.push_back(element.get<Element>());
    }
    return elements;
}

inline std::optional<std::vector<std::int64_t>> identifiersMember(const nlohmann::json& object, const char* name)
{
    return arrayMember<std::int64_t>(object, name);
}

inline std::optional<std::vector<std::string>> stringsMember(const nlohmann::json& object, const char* name)
{
    return arrayMember<std::string>(object, name);
}

} // namespace LocalCloud
