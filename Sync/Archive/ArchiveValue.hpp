#pragma once

// Sync/Archive: the engine's keyed archive, a typed value tree that records
// turn themselves into and back from, stored as JSON.

#include "Platform/Foundation/Data.hpp"
#include "Platform/Foundation/URL.hpp"

#include <concepts>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace Sync {

class ArchiveValue;
using ArchiveArray = std::vector<ArchiveValue>;
// Text keys, compared exactly (byte for byte, case-sensitive).
using ArchiveDictionary = std::map<std::string, ArchiveValue, std::less<>>;

// One value of a record's dictionary form: null, Boolean, signed 64-bit
// integer, text, URL, bytes, array or dictionary. Kinds never convert into
// each other: a URL is not text, a Boolean is not an integer, so a reader can
// tell them apart after a round trip through the archive. A plain value.
class ArchiveValue {
public:
    enum class Kind { Null, Boolean, Integer, Text, URL, Bytes, Array, Dictionary };

    ArchiveValue() = default;
    ArchiveValue(std::nullptr_t) { }
    ArchiveValue(bool value)
        : m_storage(value)
    {
    }
    template<std::integral Integer>
        requires(!std::same_as<Integer, bool>)
    ArchiveValue(Integer value)
        : m_storage(static_cast<std::int64_t>(value))
    {
    }
    ArchiveValue(const char* text)
        : m_storage(std::string(text))
    {
    }
    ArchiveValue(std::string text)
        : m_storage(std::move(text))
    {
    }
    ArchiveValue(std::string_view text)
        : m_storage(std::string(text))
    {
    }
    ArchiveValue(Platform::URL url)
        : m_storage(std::move(url))
    {
    }
    ArchiveValue(Platform::Data bytes)
        : m_storage(std::move(bytes))
    {
    }
    ArchiveValue(ArchiveArray array)
        : m_storage(std::move(array))
    {
    }
    ArchiveValue(ArchiveDictionary dictionary)
        : m_storage(std::move(dictionary))
    {
    }

    [[nodiscard]] Kind kind() const { return static_cast<Kind>(m_storage.index()); }
    [[nodiscard]] bool isNull() const { return kind() == Kind::Null; }

    // Each accessor answers only for its own kind; nothing for any other.
    [[nodiscard]] std::optional<bool> boolean() const;
    [[nodiscard]] std::optional<std::int64_t> integer() const;
    [[nodiscard]] const std::string* text() const { return std::get_if<std::string>(&m_storage); }
    // The text to move out of a value about to go.
    [[nodiscard]] std::string* mutableText() { return std::get_if<std::string>(&m_storage); }
    [[nodiscard]] const Platform::URL* url() const { return std::get_if<Platform::URL>(&m_storage); }
    [[nodiscard]] const Platform::Data* bytes() const { return std::get_if<Platform::Data>(&m_storage); }
    [[nodiscard]] const ArchiveArray* array() const { return std::get_if<ArchiveArray>(&m_storage); }
    [[nodiscard]] const ArchiveDictionary* dictionary() const { return std::get_if<ArchiveDictionary>(&m_storage); }

    friend bool operator==(const ArchiveValue&, const ArchiveValue&) = default;

private:
    // The order of the alternatives matches Kind.
    std::variant<std::monostate, bool, std::int64_t, std::string, Platform::URL, Platform::Data, ArchiveArray,
        ArchiveDictionary>
        m_storage;
};

// The value under `key`, or nothing when the key is absent.
[[nodiscard]] const ArchiveValue* find(const ArchiveDictionary& dictionary, std::string_view key);

} // namespace Sync
