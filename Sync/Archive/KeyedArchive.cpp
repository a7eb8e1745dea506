#include "Sync/Archive/KeyedArchive.hpp"

#include "Platform/Foundation/Base64.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <nlohmann/json.hpp>

namespace Sync {

namespace {

using JSON = nlohmann::json;

constexpr std::string_view urlKey = "$url";
constexpr std::string_view dataKey = "$data";
constexpr std::string_view textKey = "$text";
constexpr std::string_view byteKeyPrefix = "$k:";

JSON wrapped(std::string_view key, std::string value)
{
    JSON object = JSON::object();
    object[std::string(key)] = std::move(value);
    return object;
}

JSON textJSON(const std::string& text)
{
    if (Platform::isValidUTF8(text))
        return text;
    return wrapped(textKey, Platform::base64Encoded(Platform::Data::fromString(text)));
}

JSON toJSON(const ArchiveValue& value);

JSON dictionaryJSON(const ArchiveDictionary& dictionary)
{
    JSON object = JSON::object();
    for (const auto& [key, entry] : dictionary) {
        // JSON keys must be UTF-8; a key that is not is written in Base64
        // behind "$k:" (record keys are constants, so this is for completeness).
        std::string written = key.starts_with('$') ? "$" + key : key;
        if (!Platform::isValidUTF8(key))
            written = std::string(byteKeyPrefix) + Platform::base64Encoded(Platform::Data::fromString(key));
        object[written] = toJSON(entry);
    }
    return object;
}

JSON toJSON(const ArchiveValue& value)
{
    switch (value.kind()) {
    case ArchiveValue::Kind::Null:
        return nullptr;
    case ArchiveValue::Kind::Boolean:
        return *value.boolean();
    case ArchiveValue::Kind::Integer:
        return *value.integer();
    case ArchiveValue::Kind::Text:
        return textJSON(*value.text());
    case ArchiveValue::Kind::URL:
        return wrapped(urlKey, value.url()->absoluteString());
    case ArchiveValue::Kind::Bytes:
        return wrapped(dataKey, Platform::base64Encoded(*value.bytes()));
    case ArchiveValue::Kind::Array: {
        JSON array = JSON::array();
        for (const auto& element : *value.array())
            array.push_back(toJSON(element));
        return array;
    }
    case ArchiveValue::Kind::Dictionary:
        return dictionaryJSON(*value.dictionary());
    }
    return nullptr;
}

std::optional<ArchiveValue> fromJSON(const JSON& json);

std::optional<ArchiveValue> wrapperFromJSON(const std::string& key, const JSON& json)
{
    if (!json.is_string())
        return std::nullopt;
    const auto& text = json.get_ref<const std::string&>();
    if (key == urlKey) {
        auto url = Platform::URL::create(text);
        return url ? std::optional<ArchiveValue>(*url) : std::nullopt;
    }
    auto bytes = Platform::base64Decoded(text);
    if (!bytes)
        return std::nullopt;
    if (key == dataKey)
        return ArchiveValue(std::move(*bytes));
    return ArchiveValue(bytes->toString());
}

std::optional<ArchiveValue> objectFromJSON(const JSON& json)
{
    if (json.size() == 1) {
        const auto& key = json.begin().key();
        if (key == urlKey || key == dataKey || key == textKey)
            return wrapperFromJSON(key, json.begin().value());
    }
    ArchiveDictionary dictionary;
    for (const auto& [key, entry] : json.items()) {
        std::string name = key;
        if (name.starts_with('$')) {
            // Only the escape written above is known; any other "$" key is not ours.
            if (name.starts_with("$$"))
                name.erase(0, 1);
            else if (name.starts_with(byteKeyPrefix)) {
                auto decoded = Platform::base64Decoded(std::string_view(name).substr(byteKeyPrefix.size()));
                if (!decoded)
                    return std::nullopt;
                name = decoded->toString();
            } else
                return std::nullopt;
        }
        auto value = fromJSON(entry);
        if (!value)
            return std::nullopt;
        dictionary.insert_or_assign(std::move(name), std::move(*value));
    }
    return ArchiveValue(std::move(dictionary));
}

std::optional<ArchiveValue> fromJSON(const JSON& json)
{
    switch (json.type()) {
    case JSON::value_t::null:
        return ArchiveValue(nullptr);
    case JSON::value_t::boolean:
        return ArchiveValue(json.get<bool>());
    case JSON::value_t::number_integer:
        return ArchiveValue(json.get<std::int64_t>());
    case JSON::value_t::number_unsigned: {
        auto number = json.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return std::nullopt;
        return ArchiveValue(static_cast<std::int64_t>(number));
    }
    case JSON::value_t::string:
        return ArchiveValue(json.get<std::string>());
    case JSON::value_t::array: {
        ArchiveArray array;
        array.reserve(json.size());
        for (const auto& element : json) {
            auto value = fromJSON(element);
            if (!value)
                return std::nullopt;
            array.push_back(std::move(*value));
        }
        return ArchiveValue(std::move(array));
    }
    case JSON::value_t::object:
        return objectFromJSON(json);
    default:
        // Floating-point numbers, binary values and discarded values are not archive kinds.
        return std::nullopt;
    }
}

} // namespace

Platform::Data KeyedArchive::archivedData(const ArchiveDictionary& root)
{
    // Every text was checked for UTF-8 above, so dump cannot throw; the
    // handler is strict so that a slip would show instead of corrupting text.
    return Platform::Data::fromString(dictionaryJSON(root).dump(-1, ' ', false, JSON::error_handler_t::strict));
}

std::optional<ArchiveDictionary> KeyedArchive::unarchivedDictionary(const Platform::Data& data)
{
    try {
        bool tooDeep = false;
        // The parser itself keeps its own stack; the callback drops anything
        // deeper than allowed before it is built, and conversion below then
        // recurses over a tree of bounded depth.
        auto callback = [&tooDeep](int depth, JSON::parse_event_t, JSON&) {
            if (depth > maximumDepth) {
                tooDeep = true;
                return false;
            }
            return true;
        };
        auto json = JSON::parse(data.stringView(), callback, false);
        if (tooDeep || json.is_discarded() || !json.is_object())
            return std::nullopt;
        auto value = fromJSON(json);
        if (!value || !value->dictionary())
            return std::nullopt;
        return *value->dictionary();
    } catch (...) {
        // Malformed input must read as "no record", whatever the parser does.
        return std::nullopt;
    }
}

} // namespace Sync
