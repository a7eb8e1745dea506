#pragma once

#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/Date.hpp"
#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Coding/DecodingError.hpp"

#include <nlohmann/json.hpp>

#include <cmath>
#include <concepts>
#include <expected>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace Quarlink {

using JSON = nlohmann::json;
// A JSON tree that keeps the keys of its objects in the order they were written.
using OrderedJSON = nlohmann::ordered_json;

// How record keys are written.
enum class KeyEncodingStrategy {
    // Each key as the record names it.
    useDefaultKeys,
    // Each key through `snakeCaseKey` ("fileIDs" gives "file_ids").
    convertToSnakeCase,
};

// How a date is written.
enum class DateEncodingStrategy {
    // Seconds since 2001-01-01 as a number with a fraction: the setting when nothing else is chosen.
    deferredToDate,
    // Whole seconds since 1970 as an integer, cut toward zero (1.9 s gives 1, -1.5 s gives -1).
    wholeSecondsSince1970,
};

class JSONObjectWriter;

// A record that writes its fields as a JSON object: `void encode(JSONObjectWriter&) const`.
template<class T>
concept JSONEncodableRecord = requires(const T& value, JSONObjectWriter& writer) {
    { value.encode(writer) } -> std::same_as<void>;
};

namespace Detail {

// What all writers of one encoding share: the settings and the first failure.
struct EncodingContext {
    KeyEncodingStrategy keyStrategy;
    DateEncodingStrategy dateStrategy;
    std::optional<EncodingError> failure;
};

template<class T>
struct IsVector : std::false_type { };
template<class U>
struct IsVector<std::vector<U>> : std::true_type { };
template<class T>
struct IsOptional : std::false_type { };
template<class U>
struct IsOptional<std::optional<U>> : std::true_type { };

OrderedJSON encodeString(std::string_view text, EncodingContext& context, const std::vector<std::string>& path);
OrderedJSON encodeDouble(double value, EncodingContext& context, const std::vector<std::string>& path);
OrderedJSON encodeDate(const Platform::Date& date, const EncodingContext& context);

template<class T>
OrderedJSON encodeValue(const T& value, EncodingContext& context, const std::vector<std::string>& path);

} // namespace Detail

// The fields of one JSON object being written, in the order they are
// written. Keys pass through the encoder's key setting at every depth; the
// first value that cannot be written fails the whole encoding.
class JSONObjectWriter {
public:
    JSONObjectWriter(OrderedJSON& object, Detail::EncodingContext& context, std::vector<std::string> codingPath)
        : m_object(&object)
        , m_context(&context)
        , m_codingPath(std::move(codingPath))
    {
    }

    // Writes a field. T is bool, an integer type, double, a text, Platform::Date,
    // Platform::URL (its absolute text),
    // JSON or OrderedJSON (written as it is, its keys unconverted; a JSON
    // object's keys in its own, sorted order), std::vector of these, or a
    // `JSONEncodableRecord`. An absent std::optional leaves the key out (it is
    // never written as null).
    template<class T>
    void encode(std::string_view key, const T& value)
    {
        if constexpr (Detail::IsOptional<T>::value) {
            if (!value)
                return;
            encode(key, *value);
        } else {
            auto name = wireName(key);
            auto path = m_codingPath;
            path.push_back(name);
            (*m_object)[name] = Detail::encodeValue(value, *m_context, path);
        }
    }

private:
    [[nodiscard]] std::string wireName(std::string_view key) const;

    OrderedJSON* m_object;
    Detail::EncodingContext* m_context;
    std::vector<std::string> m_codingPath;
};

// Writes values as compact UTF-8 JSON (no whitespace, no line breaks; the
// keys of a record in the order its `encode` writes them). Numbers are written the same
// under every process locale. A plain value; make one per use.
class JSONEncoder {
public:
    JSONEncoder() = default;

    [[nodiscard]] KeyEncodingStrategy keyEncodingStrategy() const { return m_keyStrategy; }
    void setKeyEncodingStrategy(KeyEncodingStrategy strategy) { m_keyStrategy = strategy; }
    [[nodiscard]] DateEncodingStrategy dateEncodingStrategy() const { return m_dateStrategy; }
    void setDateEncodingStrategy(DateEncodingStrategy strategy) { m_dateStrategy = strategy; }

    // The value as a JSON tree, keys in written order; fails on text that is
    // not valid UTF-8 and on numbers that are not finite.
    template<class T>
    [[nodiscard]] std::expected<OrderedJSON, EncodingError> encodeToOrderedJSON(const T& value) const
    {
        Detail::EncodingContext context { m_keyStrategy, m_dateStrategy, std::nullopt };
        auto tree = Detail::encodeValue(value, context, {});
        if (context.failure)
            return std::unexpected(*context.failure);
        return tree;
    }

    // The same tree, for comparing values: the order of keys is lost.
    template<class T>
    [[nodiscard]] std::expected<JSON, EncodingError> encodeToJSON(const T& value) const
    {
        auto tree = encodeToOrderedJSON(value);
        if (!tree)
            return std::unexpected(tree.error());
        return JSON(*tree);
    }

    template<class T>
    [[nodiscard]] std::expected<Platform::Data, EncodingError> encode(const T& value) const
    {
        auto tree = encodeToOrderedJSON(value);
        if (!tree)
            return std::unexpected(tree.error());
        return serialize(*tree);
    }

    // A JSON tree as compact bytes; fails when a string in it is not valid UTF-8.
    [[nodiscard]] static std::expected<Platform::Data, EncodingError> serialize(const JSON& tree);
    [[nodiscard]] static std::expected<Platform::Data, EncodingError> serialize(const OrderedJSON& tree);

private:
    KeyEncodingStrategy m_keyStrategy { KeyEncodingStrategy::useDefaultKeys };
    DateEncodingStrategy m_dateStrategy { DateEncodingStrategy::deferredToDate };
};

template<class T>
OrderedJSON Detail::encodeValue(const T& value, EncodingContext& context, const std::vector<std::string>& path)
{
    if constexpr (std::is_same_v<T, bool>) {
        return value;
    } else if constexpr (std::is_integral_v<T>) {
        return value;
    } else if constexpr (std::is_floating_point_v<T>) {
        return encodeDouble(static_cast<double>(value), context, path);
    } else if constexpr (std::is_convertible_v<const T&, std::string_view>) {
        return encodeString(std::string_view(value), context, path);
    } else if constexpr (std::is_same_v<T, Platform::Date>) {
        return encodeDate(value, context);
    } else if constexpr (std::is_same_v<T, Platform::URL>) {
        return value.absoluteString();
    } else if constexpr (std::is_same_v<T, OrderedJSON>) {
        return value;
    } else if constexpr (std::is_same_v<T, JSON>) {
        return OrderedJSON(value);
    } else if constexpr (IsOptional<T>::value) {
        if (!value)
            return nullptr;
        return encodeValue(*value, context, path);
    } else if constexpr (IsVector<T>::value) {
        OrderedJSON array = OrderedJSON::array();
        std::size_t index = 0;
        for (const auto& element : value) {
            auto elementPath = path;
            elementPath.push_back("Index " + std::to_string(index++));
            array.push_back(encodeValue(element, context, elementPath));
        }
        return array;
    } else {
        static_assert(JSONEncodableRecord<T>, "T cannot be encoded as JSON: give it encode(JSONObjectWriter&) const");
        OrderedJSON object = OrderedJSON::object();
        JSONObjectWriter writer(object, context, path);
        value.encode(writer);
        return object;
    }
}

} // namespace Quarlink
