#pragma once

#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Coding/DecodingError.hpp"

#include <nlohmann/json.hpp>

#include <concepts>
#include <cstdint>
#include <expected>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace Quarlink {

using JSON = nlohmann::json;

// How a date is read from a JSON number.
enum class DateDecodingStrategy {
    // Seconds since 2001-01-01 00:00:00 UTC, the decoder's setting when nothing else is chosen.
    deferredToDate,
    // Seconds since 1970-01-01 00:00:00 UTC, integer or with a fraction.
    secondsSince1970,
};

class JSONValueReader;
class JSONObjectReader;

// A type that reads itself from JSON: `static std::expected<T, DecodingError>
// decode(const JSONValueReader&)`.
template<class T>
concept JSONDecodableRecord = requires(const JSONValueReader& reader) {
    { T::decode(reader) } -> std::same_as<std::expected<T, DecodingError>>;
};

// One value of a JSON document being decoded, with the path that led to it.
// Reading is strict: an integer accepts only JSON integers that fit (no floats,
// no booleans), a boolean only true or false, a text only a string, a date only
// a number. Borrowed: valid while the document it reads lives.
class JSONValueReader {
public:
    JSONValueReader(const JSON& value, DateDecodingStrategy dateStrategy, std::vector<std::string> codingPath = {});

    [[nodiscard]] const JSON& json() const { return *m_value; }
    [[nodiscard]] const std::vector<std::string>& codingPath() const { return m_codingPath; }
    [[nodiscard]] DateDecodingStrategy dateStrategy() const { return m_dateStrategy; }
    [[nodiscard]] bool isNull() const { return m_value->is_null(); }

    // This value as a keyed record; a type mismatch when it is no object.
    [[nodiscard]] std::expected<JSONObjectReader, DecodingError> object() const;
    // The elements of this value; a type mismatch when it is no array.
    [[nodiscard]] std::expected<std::vector<JSONValueReader>, DecodingError> array() const;

    // This value as T: bool, an integer type, double, std::string, Platform::Date,
    // Platform::URL (an absolute URL string),
    // JSON (taken as it is), std::vector and std::optional of these (null gives
    // an absent optional), or a `JSONDecodableRecord`.
    template<class T>
    [[nodiscard]] std::expected<T, DecodingError> decode() const;

    [[nodiscard]] DecodingError typeMismatch(std::string_view expected) const;
    [[nodiscard]] DecodingError valueNotFound(std::string_view expected) const;
    [[nodiscard]] DecodingError dataCorrupted(std::string description) const;

private:
    [[nodiscard]] std::expected<bool, DecodingError> decodeBool() const;
    [[nodiscard]] std::expected<std::int64_t, DecodingError> decodeSigned(std::int64_t minimum, std::int64_t maximum, std::string_view typeName) const;
    [[nodiscard]] std::expected<std::uint64_t, DecodingError> decodeUnsigned(std::uint64_t maximum, std::string_view typeName) const;
    [[nodiscard]] std::expected<double, DecodingError> decodeDouble() const;
    [[nodiscard]] std::expected<std::string, DecodingError> decodeString() const;
    [[nodiscard]] std::expected<Platform::Date, DecodingError> decodeDate() const;
    [[nodiscard]] std::expected<Platform::URL, DecodingError> decodeURL() const;

    template<class T>
    struct IsVector : std::false_type { };
    template<class U>
    struct IsVector<std::vector<U>> : std::true_type { };
    template<class T>
    struct IsOptional : std::false_type { };
    template<class U>
    struct IsOptional<std::optional<U>> : std::true_type { };

    const JSON* m_value;
    DateDecodingStrategy m_dateStrategy;
    std::vector<std::string> m_codingPath;
};

// The members of a JSON object being decoded. Borrowed like `JSONValueReader`.
class JSONObjectReader {
public:
    JSONObjectReader(const JSON& object, DateDecodingStrategy dateStrategy, std::vector<std::string> codingPath);

    [[nodiscard]] bool contains(std::string_view key) const;
    // The member under `key`; absent when the object has no such key.
    [[nodiscard]] std::optional<JSONValueReader> member(std::string_view key) const;

    // A required member: a missing key is `keyNotFound`, null is `valueNotFound`
    // (unless T is an optional).
    template<class T>
    [[nodiscard]] std::expected<T, DecodingError> decode(std::string_view key) const
    {
        if constexpr (isScalar<T>()) {
            // The hot path of every record: a scalar needs its coding path only
            // when it fails, so the path is not copied for each key read.
            auto found = m_object->find(key);
            if (found == m_object->end())
                return std::unexpected(keyNotFound(key));
            auto value = JSONValueReader(*found, m_dateStrategy).template decode<T>();
            if (!value)
                return std::unexpected(locatedAt(key, value.error()));
            return value;
        } else {
            auto value = member(key);
            if (!value)
                return std::unexpected(keyNotFound(key));
            return value->template decode<T>();
        }
    }

    // An optional member: a missing key and null both give an absent value.
    template<class T>
    [[nodiscard]] std::expected<std::optional<T>, DecodingError> decodeIfPresent(std::string_view key) const
    {
        auto value = member(key);
        if (!value || value->isNull())
            return std::optional<T>();
        auto decoded = value->template decode<T>();
        if (!decoded)
            return std::unexpected(decoded.error());
        return std::optional<T>(std::move(*decoded));
    }

    // The two forms above into a field, for records read key after key:
    // `object.read("a", a, failure) && object.read("b", b, failure)` stops at
    // the first failure, which is kept in `failure`; `target` is left alone then.
    template<class T>
    [[nodiscard]] bool read(std::string_view key, T& target, std::optional<DecodingError>& failure) const
    {
        auto value = decode<T>(key);
        if (!value) {
            failure = std::move(value.error());
            return false;
        }
        target = std::move(*value);
        return true;
    }
    template<class T>
    [[nodiscard]] bool readIfPresent(std::string_view key, std::optional<T>& target, std::optional<DecodingError>& failure) const
    {
        auto value = decodeIfPresent<T>(key);
        if (!value) {
            failure = std::move(value.error());
            return false;
        }
        target = std::move(*value);
        return true;
    }

    [[nodiscard]] DecodingError keyNotFound(std::string_view key) const;

private:
    template<class T>
    struct Scalar : std::bool_constant<std::is_arithmetic_v<T> || std::is_same_v<T, std::string>
                        || std::is_same_v<T, Platform::Date> || std::is_same_v<T, Platform::URL>> { };
    template<class U>
    struct Scalar<std::optional<U>> : Scalar<U> { };
    template<class T>
    static constexpr bool isScalar() { return Scalar<T>::value; }
    // `error`, raised by the member under `key` read without a path, with the path.
    [[nodiscard]] DecodingError locatedAt(std::string_view key, const DecodingError& error) const;

    const JSON* m_object;
    DateDecodingStrategy m_dateStrategy;
    std::vector<std::string> m_codingPath;
};

template<class T>
std::expected<T, DecodingError> JSONValueReader::decode() const
{
    if constexpr (std::is_same_v<T, bool>) {
        return decodeBool();
    } else if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) {
        auto value = decodeSigned(std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), "a signed integer");
        if (!value)
            return std::unexpected(value.error());
        return static_cast<T>(*value);
    } else if constexpr (std::is_integral_v<T>) {
        auto value = decodeUnsigned(std::numeric_limits<T>::max(), "an unsigned integer");
        if (!value)
            return std::unexpected(value.error());
        return static_cast<T>(*value);
    } else if constexpr (std::is_same_v<T, double>) {
        return decodeDouble();
    } else if constexpr (std::is_same_v<T, std::string>) {
        return decodeString();
    } else if constexpr (std::is_same_v<T, Platform::Date>) {
        return decodeDate();
    } else if constexpr (std::is_same_v<T, Platform::URL>) {
        return decodeURL();
    } else if constexpr (std::is_same_v<T, JSON>) {
        return *m_value;
    } else if constexpr (IsOptional<T>::value) {
        if (isNull())
            return T();
        auto value = decode<typename T::value_type>();
        if (!value)
            return std::unexpected(value.error());
        return T(std::move(*value));
    } else if constexpr (IsVector<T>::value) {
        auto elements = array();
        if (!elements)
            return std::unexpected(elements.error());
        T result;
        result.reserve(elements->size());
        for (const auto& element : *elements) {
            auto value = element.template decode<typename T::value_type>();
            if (!value)
                return std::unexpected(value.error());
            result.push_back(std::move(*value));
        }
        return result;
    } else {
        static_assert(JSONDecodableRecord<T>, "T cannot be decoded from JSON: give it a static decode(const JSONValueReader&)");
        return T::decode(*this);
    }
}

} // namespace Quarlink
