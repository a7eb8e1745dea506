#pragma once

#include "Platform/FileSystem/ChangeStamp.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

namespace Sync {

// The bindings the latest scan read from the items' attributes, so that the
// next scan reads again only those of items that changed since: reading an
// attribute costs about as much as looking at the item, and an idle scan
// would otherwise pay twice for every item.
//
// An answer is kept under the item's path and its Platform::ChangeStamp: a
// write or removal of the attribute gives the item a new change time, and
// so does a rename or move; a replaced item has another inode. Equal path
// and stamp therefore mean the attribute reads as it did, and so does what
// decides the binding (the attribute's bytes, the item's path and its
// identity on disk). An answer read less than `racyInterval` after the
// item's last change serves only the scan that read it: a write within the
// same timestamp tick would leave the stamp as it was.
//
// Paths are kept as 64-bit hashes (with the device), so the memo stays
// small: two paths of one hash would also need one inode and one change
// time to be mistaken for each other.
//
// Each scan begins with `beginScan`, which forgets what the scan before did
// not ask for, so the memo holds about the items of the latest scan.
// Thread-safe.
class BindingMemo {
public:
    struct Options {
        // How long after its last change an item's answer may be kept.
        std::chrono::nanoseconds racyInterval = std::chrono::seconds { 2 };
    };

    BindingMemo()
        : BindingMemo(Options {})
    {
    }
    explicit BindingMemo(Options options)
        : m_options(options)
    {
    }

    void beginScan();

    // The answer kept for the item at `path` with `stamp`: the bound remote id
    // or an empty optional for an unbound item. Nothing when no answer is kept
    // (the outer optional), the item is new or changed since.
    [[nodiscard]] std::optional<std::optional<std::int64_t>> find(std::string_view path,
        const Platform::ChangeStamp& stamp);

    // Room for `count` answers, so that a scan of that many items never
    // grows the table while it keeps them.
    void reserve(std::size_t count);

    // The indices below `count` of the items whose answers `find` would not
    // give; `question(index)` gives an item's path and stamp.
    template<class Question>
    [[nodiscard]] std::vector<std::uint32_t> unknown(std::size_t count, Question question) const
    {
        std::vector<std::uint32_t> indices;
        std::lock_guard lock(m_mutex);
        for (std::size_t index = 0; index < count; ++index) {
            const auto [path, stamp] = question(index);
            if (!slotFor(path, stamp))
                indices.push_back(static_cast<std::uint32_t>(index));
        }
        return indices;
    }

    // Keeps what the item at `path`, found with `stamp`, read as when its
    // attribute was read from `readStart` on; for the current scan only
    // when that was within `racyInterval` of the item's last change. Remote
    // ids are at least 1; a smaller one is not kept.
    void keep(std::string_view path, const Platform::ChangeStamp& stamp, std::optional<std::int64_t> bound,
        Platform::FileTime readStart);

    // Keeps `bound` for the item at `path` whose attribute the engine itself
    // has just written, found with `stamp` right after the write, for the
    // next scan too: the engine knows what it wrote, and the look at the item
    // makes the file system give any later change a newer change time (on
    // file systems with fine-grained change times on demand; elsewhere a
    // foreign write of the attribute within the same tick would be taken for
    // the engine's own until the item changes again).
    void learn(std::string_view path, const Platform::ChangeStamp& stamp, std::int64_t bound);

    // How many answers are kept.
    [[nodiscard]] std::size_t size() const;

private:
    // `key` 0 marks a free slot; `bound` 0 an unbound item.
    struct Slot {
        std::uint64_t key = 0;
        std::uint64_t inode = 0;
        std::int64_t changeTime = 0;
        std::int64_t bound = 0;
    };

    [[nodiscard]] static std::uint64_t keyOf(std::string_view path, std::uint64_t device);
    // The slot of `key`, or the free one where it would go.
    [[nodiscard]] std::size_t slotOf(std::uint64_t key) const;
    // The slot holding the answer for `path` with `stamp`, or none.
    [[nodiscard]] const Slot* slotFor(std::string_view path, const Platform::ChangeStamp& stamp) const;
    // Moves the answers into a table with room for `count`: only those the
    // current scan asked for, as not asked yet (a new scan), or all of them.
    void rebuild(std::size_t count, bool onlyAsked);

    Options m_options;
    mutable std::mutex m_mutex;
    std::vector<Slot> m_slots;
    enum class Mark : std::uint8_t {
        notAsked,
        // The current scan asked for the answer: the next one keeps it.
        asked,
        // Read by the current scan too soon after the item's last change.
        thisScanOnly,
    };
    std::vector<Mark> m_marks;
    std::size_t m_count = 0;

    // Stores the answer for `path` with `stamp`, growing the table first when
    // it is four fifths full. The caller holds `m_mutex`.
    void put(std::string_view path, const Platform::ChangeStamp& stamp, std::int64_t bound, Mark mark);
};

} // namespace Sync
