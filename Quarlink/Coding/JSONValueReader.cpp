#include "Quarlink/Coding/JSONValueReader.hpp"

namespace Quarlink {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the reference date of the
// decoder's default date setting.
constexpr double referenceDateOffset = 978'307'200.0;

const char* typeName(const JSON& value)
{
    switch (value.type()) {
    case JSON::value_t::null:
        return "null";
    case JSON::value_t::boolean:
        return "a boolean";
    case JSON::value_t::number_integer:
    case JSON::value_t::number_unsigned:
        return "an integer";
    case JSON::value_t::number_float:
        return "a number with a fraction";
    case JSON::value_t::string:
        return "a string";
    case JSON::value_t::array:
        return "an array";
    case JSON::value_t::object:
        return "an object";
    default:
        return "something else";
    }
}

std::vector<std::string> appended(std::vector<std::string> path, std::string key)
{
    path.push_back(std::move(key));
    return path;
}

} // namespace

JSONValueReader::JSONValueReader(const JSON& value, DateDecodingStrategy dateStrategy, std::vector<std::string> codingPath)
    : m_value(&value)
    , m_dateStrategy(dateStrategy)
    , m_codingPath(std::move(codingPath))
{
}

DecodingError JSONValueReader::typeMismatch(std::string_view expected) const
{
    if (isNull())
        return valueNotFound(expected);
    return DecodingError(DecodingError::Kind::typeMismatch, m_codingPath,
        "Expected to decode " + std::string(expected) + " but found " + typeName(*m_value) + " instead.");
}

DecodingError JSONValueReader::valueNotFound(std::string_view expected) const
{
    return DecodingError(DecodingError::Kind::valueNotFound, m_codingPath,
        "Expected " + std::string(expected) + " value but found null instead.");
}

DecodingError JSONValueReader::dataCorrupted(std::string description) const
{
    return DecodingError(DecodingError::Kind::dataCorrupted, m_codingPath, std::move(description));
}

std::expected<JSONObjectReader, DecodingError> JSONValueReader::object() const
{
    if (!m_value->is_object())
        return std::unexpected(typeMismatch("an object"));
    return JSONObjectReader(*m_value, m_dateStrategy, m_codingPath);
}

std::expected<std::vector<JSONValueReader>, DecodingError> JSONValueReader::array() const
{
    if (!m_value->is_array())
        return std::unexpected(typeMismatch("an array"));
    std::vector<JSONValueReader> elements;
    elements.reserve(m_value->size());
    std::size_t index = 0;
    for (const auto& element : *m_value)
        elements.emplace_back(element, m_dateStrategy, appended(m_codingPath, "Index " + std::to_string(index++)));
    return elements;
}

std::expected<bool, DecodingError> JSONValueReader::decodeBool() const
{
    if (!m_value->is_boolean())
        return std::unexpected(typeMismatch("a boolean"));
    return m_value->get<bool>();
}

std::expected<std::int64_t, DecodingError> JSONValueReader::decodeSigned(std::int64_t minimum, std::int64_t maximum, std::string_view name) const
{
    if (m_value->is_number_unsigned()) {
        auto value = m_value->get<std::uint64_t>();
        if (value > static_cast<std::uint64_t>(maximum))
            return std::unexpected(dataCorrupted("Parsed JSON number " + std::to_string(value) + " does not fit."));
        return static_cast<std::int64_t>(value);
    }
    if (!m_value->is_number_integer())
        return std::unexpected(typeMismatch(name));
    auto value = m_value->get<std::int64_t>();
    if (value < minimum || value > maximum)
        return std::unexpected(dataCorrupted("Parsed JSON number " + std::to_string(value) + " does not fit."));
    return value;
}

std::expected<std::uint64_t, DecodingError> JSONValueReader::decodeUnsigned(std::uint64_t maximum, std::string_view name) const
{
    if (!m_value->is_number_integer())
        return std::unexpected(typeMismatch(name));
    if (!m_value->is_number_unsigned())
        return std::unexpected(dataCorrupted("Parsed JSON number " + std::to_string(m_value->get<std::int64_t>()) + " does not fit."));
    auto value = m_value->get<std::uint64_t>();
    if (value > maximum)
        return std::unexpected(dataCorrupted("Parsed JSON number " + std::to_string(value) + " does not fit."));
    return value;
}

std::expected<double, DecodingError> JSONValueReader::decodeDouble() const
{
    if (!m_value->is_number())
        return std::unexpected(typeMismatch("a number"));
    return m_value->get<double>();
}

std::expected<std::string, DecodingError> JSONValueReader::decodeString() const
{
    if (!m_value->is_string())
        return std::unexpected(typeMismatch("a string"));
    return m_value->get<std::string>();
}

std::expected<Platform::Date, DecodingError> JSONValueReader::decodeDate() const
{
    if (!m_value->is_number())
        return std::unexpected(typeMismatch("a date (a number)"));
    double seconds = m_value->get<double>();
    if (m_dateStrategy == DateDecodingStrategy::deferredToDate)
        seconds += referenceDateOffset;
    return Platform::Date::fromSecondsSince1970(seconds);
}

std::expected<Platform::URL, DecodingError> JSONValueReader::decodeURL() const
{
    if (!m_value->is_string())
        return std::unexpected(typeMismatch("a URL (a string)"));
    auto url = Platform::URL::create(m_value->get<std::string>());
    if (!url)
        return std::unexpected(dataCorrupted("Invalid URL string."));
    return *url;
}

JSONObjectReader::JSONObjectReader(const JSON& object, DateDecodingStrategy dateStrategy, std::vector<std::string> codingPath)
    : m_object(&object)
    , m_dateStrategy(dateStrategy)
    , m_codingPath(std::move(codingPath))
{
}

bool JSONObjectReader::contains(std::string_view key) const
{
    return m_object->find(key) != m_object->end();
}

std::optional<JSONValueReader> JSONObjectReader::member(std::string_view key) const
{
    auto found = m_object->find(key);
    if (found == m_object->end())
        return std::nullopt;
    return JSONValueReader(*found, m_dateStrategy, appended(m_codingPath, std::string(key)));
}

DecodingError JSONObjectReader::locatedAt(std::string_view key, const DecodingError& error) const
{
    auto path = appended(m_codingPath, std::string(key));
    path.insert(path.end(), error.codingPath().begin(), error.codingPath().end());
    return DecodingError(error.kind(), std::move(path), error.debugDescription());
}

DecodingError JSONObjectReader::keyNotFound(std::string_view key) const
{
    return DecodingError(DecodingError::Kind::keyNotFound, appended(m_codingPath, std::string(key)),
        "No value associated with key \"" + std::string(key) + "\".");
}

} // namespace Quarlink
