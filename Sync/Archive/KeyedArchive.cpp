#include "Sync/Archive/KeyedArchive.hpp"

#include "Platform/Foundation/Base64.hpp"
#include "Platform/Foundation/Unicode.hpp"

#include <nlohmann/json.hpp>

#include <algorithm>

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

// A reader for the archives this program writes, straight into values: plain
// JSON without escapes, integers, shallow nesting, and only the wrappers that
// records use. Anything else it leaves to the general reader below (which
// also decides what is malformed), so both always agree on the result.
class PlainArchiveReader {
public:
    explicit PlainArchiveReader(std::string_view text)
        : m_text(text)
    {
    }

    std::optional<std::vector<KeyedArchive::Member>> rootMembers()
    {
        skipSpace();
        if (!peek('{'))
            return std::nullopt;
        std::vector<KeyedArchive::Member> members;
        members.reserve(16);
        std::optional<std::string_view> wrapperKey;
        bool read = eachMember(0, true, wrapperKey, [&](std::string_view key, ArchiveValue&& member) {
            // Records have a dozen keys: a look over the ones before is cheaper than a set.
            if (std::ranges::any_of(members, [&](const auto& earlier) { return earlier.first == key; }))
                return false;
            members.emplace_back(key, std::move(member));
            return true;
        });
        skipSpace();
        if (!read || m_position != m_text.size())
            return std::nullopt;
        return members;
    }

    std::optional<ArchiveDictionary> root()
    {
        skipSpace();
        if (!peek('{'))
            return std::nullopt;
        std::optional<std::string_view> wrapperKey;
        auto dictionary = members(0, true, wrapperKey);
        skipSpace();
        if (!dictionary || m_position != m_text.size())
            return std::nullopt;
        return dictionary;
    }

private:
    // Far below the general reader's cap, so the cap itself is never in question here.
    static constexpr int plainDepth = 16;

    bool peek(char expected) const { return m_position < m_text.size() && m_text[m_position] == expected; }

    void skipSpace()
    {
        while (m_position < m_text.size()) {
            char next = m_text[m_position];
            if (next != ' ' && next != '\n' && next != '\r' && next != '\t')
                return;
            ++m_position;
        }
    }

    bool consume(char expected)
    {
        skipSpace();
        if (!peek(expected))
            return false;
        ++m_position;
        return true;
    }

    // A string without escapes and control characters, in valid UTF-8.
    std::optional<std::string_view> string()
    {
        if (!consume('"'))
            return std::nullopt;
        auto start = m_position;
        bool ascii = true;
        for (; m_position < m_text.size(); ++m_position) {
            auto byte = static_cast<unsigned char>(m_text[m_position]);
            if (byte == '"')
                break;
            if (byte == '\\' || byte < 0x20)
                return std::nullopt;
            ascii = ascii && byte < 0x80;
        }
        if (m_position == m_text.size())
            return std::nullopt;
        auto text = m_text.substr(start, m_position - start);
        ++m_position;
        if (!ascii && !Platform::isValidUTF8(text))
            return std::nullopt;
        return text;
    }

    // An integer without sign oddities ("-0") or leading zeros that fits 64 bits.
    std::optional<std::int64_t> integer()
    {
        bool negative = peek('-');
        if (negative)
            ++m_position;
        auto start = m_position;
        std::uint64_t magnitude = 0;
        for (; m_position < m_text.size() && m_text[m_position] >= '0' && m_text[m_position] <= '9'; ++m_position) {
            if (m_position - start >= 18)
                return std::nullopt;
            magnitude = magnitude * 10 + static_cast<std::uint64_t>(m_text[m_position] - '0');
        }
        auto digits = m_position - start;
        if (digits == 0 || (digits > 1 && m_text[start] == '0') || (negative && magnitude == 0))
            return std::nullopt;
        if (m_position < m_text.size()
            && (m_text[m_position] == '.' || m_text[m_position] == 'e' || m_text[m_position] == 'E'))
            return std::nullopt;
        auto value = static_cast<std::int64_t>(magnitude);
        return negative ? -value : value;
    }

    bool literal(std::string_view word)
    {
        if (m_text.substr(m_position, word.size()) != word)
            return false;
        m_position += word.size();
        return true;
    }

    std::optional<ArchiveValue> value(int depth)
    {
        skipSpace();
        if (m_position == m_text.size())
            return std::nullopt;
        switch (m_text[m_position]) {
        case '{':
            return object(depth + 1);
        case '[':
            return array(depth + 1);
        case '"': {
            auto text = string();
            return text ? std::optional<ArchiveValue>(ArchiveValue(*text)) : std::nullopt;
        }
        case 't':
            return literal("true") ? std::optional<ArchiveValue>(true) : std::nullopt;
        case 'f':
            return literal("false") ? std::optional<ArchiveValue>(false) : std::nullopt;
        case 'n':
            return literal("null") ? std::optional<ArchiveValue>(nullptr) : std::nullopt;
        default: {
            auto number = integer();
            return number ? std::optional<ArchiveValue>(*number) : std::nullopt;
        }
        }
    }

    // A dictionary with its "$$" keys unescaped, or the URL or bytes that a
    // lone "$url" or "$data" key wraps (`root` takes no wrapper). Other "$"
    // keys and duplicate keys are left to the general reader.
    std::optional<ArchiveValue> object(int depth)
    {
        std::optional<std::string_view> wrapperKey;
        auto dictionary = members(depth, false, wrapperKey);
        if (!dictionary)
            return std::nullopt;
        if (wrapperKey)
            return unwrapped(*wrapperKey, dictionary->begin()->second);
        return ArchiveValue(std::move(*dictionary));
    }

    std::optional<ArchiveDictionary> members(int depth, bool root, std::optional<std::string_view>& wrapperKey)
    {
        ArchiveDictionary dictionary;
        bool read = eachMember(depth, root, wrapperKey, [&](std::string_view key, ArchiveValue&& member) {
            return dictionary.try_emplace(std::string(key), std::move(member)).second;
        });
        if (!read)
            return std::nullopt;
        return dictionary;
    }

    // Reads an object, handing each member to `add` (which answers false for
    // a duplicate key). A wrapper key is handed on as it is and noted.
    template<class Add>
    bool eachMember(int depth, bool root, std::optional<std::string_view>& wrapperKey, Add&& add)
    {
        if (depth > plainDepth || !consume('{'))
            return false;
        if (consume('}'))
            return true;
        bool empty = true;
        do {
            auto key = string();
            if (!key || !consume(':'))
                return false;
            if (key->starts_with('$')) {
                if (key->starts_with("$$"))
                    key->remove_prefix(1);
                else if (!root && (*key == urlKey || *key == dataKey) && !wrapperKey && empty)
                    wrapperKey = key;
                else
                    return false;
            } else if (wrapperKey) {
                return false;
            }
            auto member = value(depth);
            if (!member || !add(*key, std::move(*member)))
                return false;
            empty = false;
        } while (consume(','));
        return consume('}');
    }

    std::optional<ArchiveValue> array(int depth)
    {
        if (depth > plainDepth || !consume('['))
            return std::nullopt;
        ArchiveArray elements;
        if (consume(']'))
            return ArchiveValue(std::move(elements));
        do {
            auto element = value(depth);
            if (!element)
                return std::nullopt;
            elements.push_back(std::move(*element));
        } while (consume(','));
        if (!consume(']'))
            return std::nullopt;
        return ArchiveValue(std::move(elements));
    }

    static std::optional<ArchiveValue> unwrapped(std::string_view key, const ArchiveValue& wrapped)
    {
        if (!wrapped.text())
            return std::nullopt;
        if (key == urlKey) {
            auto url = Platform::URL::create(*wrapped.text());
            return url ? std::optional<ArchiveValue>(std::move(*url)) : std::nullopt;
        }
        auto bytes = Platform::base64Decoded(*wrapped.text());
        return bytes ? std::optional<ArchiveValue>(std::move(*bytes)) : std::nullopt;
    }

    std::string_view m_text;
    std::size_t m_position = 0;
};

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
    return unarchivedDictionary(data.stringView());
}

std::optional<std::vector<KeyedArchive::Member>> KeyedArchive::plainMembers(std::string_view data)
{
    try {
        return PlainArchiveReader(data).rootMembers();
    } catch (...) {
        // Out of memory: the general reader decides.
        return std::nullopt;
    }
}

std::optional<ArchiveDictionary> KeyedArchive::unarchivedDictionary(std::string_view data)
{
    try {
        if (auto plain = PlainArchiveReader(data).root())
            return plain;
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
        auto json = JSON::parse(data, callback, false);
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
