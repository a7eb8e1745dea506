#pragma once

// Reading what clients send: decimal texts, and the members of JSON bodies
// with their types checked (a wrong type is as good as a missing member).

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
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

// Whether a "Content-Type" value names JSON ("application/json", any letter
// case, parameters allowed).
inline bool isJSONContentType(std::string_view contentType)
{
    auto type = contentType.substr(0, contentType.find(';'));
    while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
        type.remove_suffix(1);
    while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
        type.remove_prefix(1);
    constexpr std::string_view json = "application/json";
    return type.size() == json.size()
        && std::ranges::equal(type, json, [](char left, char right) {
               return std::tolower(static_cast<unsigned char>(left)) == right;
           });
}

// How deep a client's JSON may nest: far beyond any body the service takes,
// far below what makes a parsed tree of a small body large.
inline constexpr std::size_t maximumJSONDepth = 64;

// Whether the arrays and objects of `text` nest no deeper than `depth`; looks
// at brackets outside strings only, so it costs no memory whatever the text.
inline bool nestsWithin(std::string_view text, std::size_t depth)
{
    std::size_t level = 0;
    bool inString = false;
    bool escaped = false;
    for (char character : text) {
        if (inString) {
            if (escaped)
                escaped = false;
            else if (character == '\\')
                escaped = true;
            else if (character == '"')
                inString = false;
        } else if (character == '"') {
            inString = true;
        } else if (character == '[' || character == '{') {
            if (++level > depth)
                return false;
        } else if ((character == ']' || character == '}') && level > 0) {
            --level;
        }
    }
    return true;
}

// A JSON object, or nothing when `text` is none or nests deeper than the bound
// (checked before parsing, so a deep text never becomes a deep tree).
inline std::optional<nlohmann::json> parsedObject(const std::string& text)
{
    if (!nestsWithin(text, maximumJSONDepth))
        return std::nullopt;
    auto json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object())
        return std::nullopt;
    return json;
}

// A JSON object body, or nothing when it is not one or does not say it is JSON.
inline std::optional<nlohmann::json> objectBody(std::string_view contentType, const std::string& text)
{
    if (!isJSONContentType(contentType))
        return std::nullopt;
    return parsedObject(text);
}

// A SHA-1 as the service writes it: 40 lower-case hexadecimal digits.
inline bool isContentHash(std::string_view text)
{
    return text.size() == 40
        && std::ranges::all_of(text, [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
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
