#include "Platform/Network/HTTPHeaders.hpp"

#include <algorithm>

namespace Platform {

namespace {

char lowerASCII(char character)
{
    return (character >= 'A' && character <= 'Z') ? static_cast<char>(character - 'A' + 'a') : character;
}

} // namespace

HTTPHeaders::HTTPHeaders(std::initializer_list<Field> fields)
    : m_fields(fields)
{
}

bool HTTPHeaders::namesEqual(std::string_view left, std::string_view right)
{
    return left.size() == right.size()
        && std::equal(left.begin(), left.end(), right.begin(),
            [](char a, char b) { return lowerASCII(a) == lowerASCII(b); });
}

void HTTPHeaders::add(std::string name, std::string value)
{
    m_fields.emplace_back(std::move(name), std::move(value));
}

void HTTPHeaders::set(std::string name, std::string value)
{
    remove(name);
    add(std::move(name), std::move(value));
}

std::size_t HTTPHeaders::remove(std::string_view name)
{
    return std::erase_if(m_fields, [&](const Field& field) { return namesEqual(field.first, name); });
}

std::optional<std::string> HTTPHeaders::value(std::string_view name) const
{
    for (const auto& [fieldName, fieldValue] : m_fields) {
        if (namesEqual(fieldName, name))
            return fieldValue;
    }
    return std::nullopt;
}

std::vector<std::string> HTTPHeaders::values(std::string_view name) const
{
    std::vector<std::string> result;
    for (const auto& [fieldName, fieldValue] : m_fields) {
        if (namesEqual(fieldName, name))
            result.push_back(fieldValue);
    }
    return result;
}

bool HTTPHeaders::contains(std::string_view name) const
{
    return value(name).has_value();
}

} // namespace Platform
