#pragma once

#include "Sync/Changes/FilePrefetch.hpp"
#include "Sync/Changes/FlatTable.hpp"
#include "Sync/Model/File.hpp"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace Sync {

// A view with the entries left out that no comparison may see, because
// comparing them would delete, overwrite or misplace what the user has:
// - `files`: what takes part, in input order;
// - `twins`: entries whose path equals a kept entry's under canonical
//   equivalence (a trailing "/" playing no part); they are error events of
//   their change, never bound to the kept one's identity;
// - `orphans`: listing entries whose parent folder is not in the listing
//   (or was left out itself); error events, never downloaded;
// - `duplicates`: listing entries whose remote id a kept entry has already
//   (one item listed at two paths); error events, never a second local item
//   bound to that id;
// - `misplaced`: listing entries whose path is not their parent's path and
//   their name; error events, never downloaded, and no folder is made for
//   the path they claim;
// - `withheldIDs`: the remote ids of every entry left out for any reason, so
//   that the stored records of items the server still has are not taken for
//   items it deleted.
// Entries naming the cloud folder itself, and entries named as the disk
// store ignores (with everything below them), are left out without an event.
struct ScreenedView {
    std::vector<FileRef> files;
    std::vector<FileRef> twins;
    std::vector<FileRef> orphans;
    std::vector<FileRef> duplicates;
    std::vector<FileRef> misplaced;
    std::unordered_set<std::int64_t> withheldIDs;
};

// Whether `file` stands for the cloud folder itself: the root folder's id, a
// path of slashes alone ("", "/", "//"), or an empty name.
[[nodiscard]] bool namesCloudFolder(const File& file, std::int64_t rootFolderID);
// Whether a component of `path` is one of the names the disk store ignores,
// or the name of its staging folder.
[[nodiscard]] bool liesInIgnoredName(const std::string& path);

// The server listing. Of two twins the one `isStored` knows keeps its place,
// else the first in listing order. Linear in the listing's size; the listing
// is taken over, and its room holds the kept entries.
[[nodiscard]] ScreenedView screenListing(std::vector<FileRef> listing, std::int64_t rootFolderID,
    const std::function<bool(std::int64_t)>& isStored);

// Positions in a sequence of keyed entries (see KeyedEntry), by twin key.
using TwinKeyTable = PositionTable<std::string_view>;

// A twin key (see TwinKeys) with its hash, computed once for every table a
// step builds over it.
struct TwinKey {
    std::string_view key;
    std::size_t hash;
};

// The path under which two entries would land on the same disk item: the
// path without a trailing "/", precomposed. ASCII text is its own
// precomposed form, so its key is a view into the path itself; other keys
// are copies kept here, as long as the keys are used.
class TwinKeys {
public:
    [[nodiscard]] std::string_view key(std::string_view path);
    [[nodiscard]] TwinKey keyed(std::string_view path);

private:
    std::deque<std::string> m_normalised;
};

// An entry of a view with its twin key, in 24 bytes: a screening keeps one
// per entry of a view, beside both views.
struct KeyedEntry {
    KeyedEntry(std::size_t entryIndex, const TwinKey& twinKey)
        : data(twinKey.key.data())
        , size(static_cast<std::uint32_t>(twinKey.key.size()))
        , index(static_cast<std::uint32_t>(entryIndex))
        , hash(twinKey.hash)
    {
    }

    [[nodiscard]] std::string_view text() const { return { data, size }; }
    [[nodiscard]] TwinKey key() const { return { text(), hash }; }

    const char* data;
    std::uint32_t size;
    // Where the entry stands in its view.
    std::uint32_t index;
    std::size_t hash;
};

// The disk scan, its identifiers already looked up, with the twin key of
// each item: of two twins the first with a remote id keeps its place, else
// the first named in NFC, else the first in scan order.
[[nodiscard]] ScreenedView screenDiskFiles(std::vector<FileRef> diskFiles, const std::vector<TwinKey>& keys);

// The stored records of screenStoredFiles, with the one kept at each path.
class ScreenedRecords {
public:
    std::vector<FileRef> files;

    // The keys look into the records and into the object itself.
    ScreenedRecords(ScreenedRecords&&) = default;
    ScreenedRecords& operator=(ScreenedRecords&&) = default;
    ScreenedRecords(const ScreenedRecords&) = delete;
    ScreenedRecords& operator=(const ScreenedRecords&) = delete;

    // The kept record whose twin key is `key`, or nullptr.
    [[nodiscard]] const File* at(const TwinKey& key) const;
    // Loops over many keys ask, some keys ahead, for what `at` will read,
    // each step once the one before has arrived: the key's slot; the entry
    // it names (answering its position, or noPosition); the text of the
    // entry's key and where its record is kept; the record.
    static constexpr std::uint32_t noPosition = UINT32_MAX;
    void prefetchSlot(const TwinKey& key) const;
    [[nodiscard]] std::uint32_t prefetchEntry(const TwinKey& key) const;
    void prefetchKey(std::uint32_t position) const;
    void prefetchRecord(std::uint32_t position) const;

private:
    friend ScreenedRecords screenStoredRecords(const std::vector<FileRef>&, std::int64_t,
        const std::unordered_set<std::int64_t>&, const std::function<bool(std::int64_t)>&);
    explicit ScreenedRecords(std::size_t count);

    [[nodiscard]] std::string_view keyAt(std::uint32_t position) const { return m_keyed[position].text(); }

    // Every stored record, in input order.
    std::vector<const File*> m_records;
    // The records that take part, with their keys; the table holds positions in it.
    std::vector<KeyedEntry> m_keyed;
    TwinKeys m_keys;
    TwinKeyTable m_keeperAt;
};

// The stored records a phase compares: without records naming the cloud
// folder or an ignored name, without records of `withheldIDs`, and, of
// records that share a path, only one: the first `keep` answers true for,
// else the first. The others are no evidence of a delete either way.
[[nodiscard]] ScreenedRecords screenStoredRecords(const std::vector<FileRef>& storedFiles,
    std::int64_t rootFolderID, const std::unordered_set<std::int64_t>& withheldIDs,
    const std::function<bool(std::int64_t)>& keep);
[[nodiscard]] std::vector<FileRef> screenStoredFiles(const std::vector<FileRef>& storedFiles,
    std::int64_t rootFolderID, const std::unordered_set<std::int64_t>& withheldIDs,
    const std::function<bool(std::int64_t)>& keep);

} // namespace Sync
