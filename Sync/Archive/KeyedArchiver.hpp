#pragma once

#include "Sync/Archive/KeyedArchive.hpp"

#include <concepts>
#include <memory>

namespace Sync {

// A type that turns itself into a dictionary with text keys and, through that
// dictionary, into archive bytes. The way back is a static factory of the
// adopting type, `T::create(const ArchiveDictionary&)`, which answers an empty
// result (nullptr or no value) when the dictionary does not describe one;
// `unarchived<T>(data)` chains the two.
class KeyedArchiver {
public:
    virtual ~KeyedArchiver() = default;

    // The value's dictionary form, built afresh on every call.
    [[nodiscard]] virtual ArchiveDictionary dictionary() const = 0;

    // The archive bytes of dictionary().
    [[nodiscard]] Platform::Data data() const { return KeyedArchive::archivedData(dictionary()); }
};

template<typename T>
concept KeyedUnarchivable = requires(const ArchiveDictionary& dictionary) {
    { T::create(dictionary) };
    { !T::create(dictionary) } -> std::convertible_to<bool>;
};

// The value of type T that the bytes hold; empty when the bytes are no archive
// or T::create refuses the dictionary. Never throws.
template<KeyedUnarchivable T>
[[nodiscard]] auto unarchived(const Platform::Data& data) -> decltype(T::create(std::declval<const ArchiveDictionary&>()))
{
    auto dictionary = KeyedArchive::unarchivedDictionary(data);
    if (!dictionary)
        return {};
    return T::create(*dictionary);
}

} // namespace Sync
