#pragma once

#include "Sync/Archive/ArchiveValue.hpp"

#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace Sync {

// The byte form of a dictionary: UTF-8 JSON. Each kind keeps its identity:
// a URL is written as {"$url": text}, bytes as {"$data": Base64}, text that
// is not valid UTF-8 (file names on Linux need not be) as {"$text": Base64};
// a dictionary key that begins with "$" is written with one more "$" in front
// (and a key that is not UTF-8 as "$k:" and its Base64).
// Thread-safe; no exception escapes.
class KeyedArchive {
public:
    // Nesting deeper than this is refused when reading, so hostile input
    // cannot exhaust the stack. Records nest four levels.
    static constexpr int maximumDepth = 32;

    [[nodiscard]] static Platform::Data archivedData(const ArchiveDictionary& root);

    // The root dictionary, or nothing when the bytes are not an archive:
    // malformed or non-UTF-8 JSON, a root that is not a dictionary, numbers
    // that are not 64-bit integers, unknown "$" wrappers, bad Base64 or URLs,
    // or nesting beyond maximumDepth.
    [[nodiscard]] static std::optional<ArchiveDictionary> unarchivedDictionary(const Platform::Data& data);
    // The same over bytes held elsewhere (a database row, an attribute value).
    [[nodiscard]] static std::optional<ArchiveDictionary> unarchivedDictionary(std::string_view data);

    // The root dictionary's members in the order written, keys as views into
    // `data`, without building a dictionary: for readers of many small
    // records. Nothing when the bytes are not plainly an archive (escapes, a
    // "$" key at the root, a duplicate key, deep nesting, ...); the caller
    // then reads them with unarchivedDictionary, which decides.
    using Member = std::pair<std::string_view, ArchiveValue>;
    [[nodiscard]] static std::optional<std::vector<Member>> plainMembers(std::string_view data);
};

} // namespace Sync
