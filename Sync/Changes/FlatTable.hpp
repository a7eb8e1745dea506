#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <new>
#include <type_traits>

#include <utility>
#include <vector>

namespace Sync {

// Room for `count` keys at a load of two thirds, and no more: a table lives
// beside both views of a tree, and rounding up to a power of two would make
// it up to three times its entries.
[[nodiscard]] inline std::size_t flatTableSlots(std::size_t count)
{
    return std::max<std::size_t>(count + count / 2 + 1, 16);
}

// The slot where a probe for `hash` begins among `slots`: the hash's high
// bits scaled to the count, which need not be a power of two.
[[nodiscard]] inline std::size_t firstSlot(std::uint64_t hash, std::size_t slots)
{
    __extension__ using Wide = unsigned __int128;
    return static_cast<std::size_t>((Wide(hash) * slots) >> 64);
}

// The slot a probe goes on to, wrapping around at the end.
[[nodiscard]] inline std::size_t nextSlot(std::size_t index, std::size_t slots)
{
    return index + 1 == slots ? 0 : index + 1;
}

// The hashes the tables keep are never zero (zero marks a free slot): the
// top bit is set in every one, so the bits below it place a key, and 32 of
// them, never zero either, are kept in its slot as a tag.
[[nodiscard]] inline std::size_t tableHash(std::size_t hash)
{
    return hash | (std::size_t(1) << (sizeof(std::size_t) * 8 - 1));
}

[[nodiscard]] inline std::uint32_t slotTag(std::size_t hash)
{
    return static_cast<std::uint32_t>(hash) | (std::uint32_t(1) << 31);
}

[[nodiscard]] inline std::size_t homeSlot(std::size_t hash, std::size_t slots)
{
    return firstSlot(hash << 1, slots);
}

// The probe of every table: the first slot from `start` on, wrapping around,
// where `stops` (the key's own slot, or a free one). The tables are never full.
template<class Slots, class Stops>
[[nodiscard]] std::size_t probeFrom(const Slots& slots, std::size_t start, const Stops& stops)
{
    auto index = start;
    while (!stops(slots[index]))
        index = nextSlot(index, slots.size());
    return index;
}

// `count` slots whose bytes are all zero, which the tables take for free
// slots: fresh pages of a big table come zeroed from the system, so they are
// not written twice. Not in huge pages: measured on a million slots they
// made no probe faster, and the first table that asked for them waited
// some 30 ms while the system compacted memory.
template<class Slot>
class ZeroedSlots {
public:
    static_assert(std::is_trivially_copyable_v<Slot> && std::is_trivially_destructible_v<Slot>);

    explicit ZeroedSlots(std::size_t count)
        : m_slots(static_cast<Slot*>(std::calloc(count, sizeof(Slot))))
        , m_count(count)
    {
        if (!m_slots)
            throw std::bad_alloc();
    }

    [[nodiscard]] Slot& operator[](std::size_t index) { return m_slots.get()[index]; }
    [[nodiscard]] const Slot& operator[](std::size_t index) const { return m_slots.get()[index]; }
    [[nodiscard]] std::size_t size() const { return m_count; }

private:
    struct Free {
        void operator()(Slot* slots) const { std::free(slots); }
    };

    std::unique_ptr<Slot, Free> m_slots;
    std::size_t m_count;
};

// An open-addressing hash table of fixed capacity for one computation over
// a known number of keys: one allocation, no node per entry, linear probing,
// 32 bits of the hash kept beside each key so that a probe rarely reads the
// key (the other bits place it).
// The first value inserted under a key stays. Keys must be cheap to copy
// (string views whose text outlives the table, small values).
//
// Loops over many keys hash each key once (`hash`) and pass the hash to
// `insert` and `find`.
template<class Key, class Value, class Hash = std::hash<Key>>
class FlatTable {
public:
    explicit FlatTable(std::size_t count)
        : m_slots(flatTableSlots(count))
    {
    }

    [[nodiscard]] static std::size_t hash(const Key& key) { return tableHash(Hash()(key)); }

    // Inserts `value` under `key` unless the key is there; whether it was not.
    bool insert(const Key& key, const Value& value) { return insert(key, value, hash(key)); }
    bool insert(const Key& key, const Value& value, std::size_t hash)
    {
        auto& slot = m_slots[slotOf(key, hash)];
        if (slot.tag != 0)
            return false;
        slot = { key, value, slotTag(hash) };
        return true;
    }

    // The value under `key`, or nullptr.
    [[nodiscard]] const Value* find(const Key& key) const { return find(key, hash(key)); }
    [[nodiscard]] const Value* find(const Key& key, std::size_t hash) const
    {
        const auto& slot = m_slots[slotOf(key, hash)];
        return slot.tag == 0 ? nullptr : &slot.value;
    }
    [[nodiscard]] Value* find(const Key& key) { return find(key, hash(key)); }
    [[nodiscard]] Value* find(const Key& key, std::size_t hash)
    {
        return const_cast<Value*>(std::as_const(*this).find(key, hash));
    }

    [[nodiscard]] bool contains(const Key& key) const { return find(key) != nullptr; }

private:
    struct Slot {
        Key key {};
        Value value {};
        // Never zero for a key: zero marks a free slot.
        std::uint32_t tag = 0;
    };

    // The slot holding `key`, or the free one where it would go.
    [[nodiscard]] std::size_t slotOf(const Key& key, std::size_t hash) const
    {
        const auto tag = slotTag(hash);
        return probeFrom(m_slots, homeSlot(hash, m_slots.size()),
            [&](const Slot& slot) { return slot.tag == 0 || (slot.tag == tag && slot.key == key); });
    }

    ZeroedSlots<Slot> m_slots;
};

// A FlatTable whose keys stay with the caller: the keys are those of a
// sequence of entries, and a slot holds only the position of one entry and
// a tag, 8 bytes. A probe that meets the tag asks `keyAt(position)` for the
// entry's key. A million keys take 12 MB instead of the 36 of slots that
// hold a string view, and a table probed in no order stays in the cache
// far better.
template<class Key, class Hash = std::hash<Key>>
class PositionTable {
public:
    explicit PositionTable(std::size_t count)
        : m_slots(flatTableSlots(count))
    {
    }

    [[nodiscard]] static std::size_t hash(const Key& key) { return tableHash(Hash()(key)); }

    void prefetch(std::size_t hash) const { __builtin_prefetch(&m_slots[homeSlot(hash, m_slots.size())]); }

    // Inserts `position` under `key` unless the key is there. Answers the
    // position now under the key, which the caller may replace, and whether
    // it was inserted.
    template<class KeyAt>
    std::pair<std::uint32_t*, bool> insert(const Key& key, std::size_t hash, std::uint32_t position, const KeyAt& keyAt)
    {
        auto& slot = m_slots[slotOf(key, hash, keyAt)];
        if (slot.tag != 0)
            return { &slot.position, false };
        slot = { position, slotTag(hash) };
        return { &slot.position, true };
    }

    // The position under `key`, or nullptr.
    template<class KeyAt>
    [[nodiscard]] const std::uint32_t* find(const Key& key, std::size_t hash, const KeyAt& keyAt) const
    {
        const auto& slot = m_slots[slotOf(key, hash, keyAt)];
        return slot.tag == 0 ? nullptr : &slot.position;
    }

    // For prefetching only: the position in the first slot with this hash's
    // tag, whatever its key; nullptr when there is none.
    [[nodiscard]] const std::uint32_t* probe(std::size_t hash) const
    {
        const auto tag = slotTag(hash);
        const auto& slot = m_slots[probeFrom(m_slots, homeSlot(hash, m_slots.size()),
            [&](const Slot& slot) { return slot.tag == 0 || slot.tag == tag; })];
        return slot.tag == 0 ? nullptr : &slot.position;
    }

private:
    struct Slot {
        std::uint32_t position;
        // Never zero for a key: zero marks a free slot.
        std::uint32_t tag;
    };

    // The slot holding `key`, or the free one where it would go.
    template<class KeyAt>
    [[nodiscard]] std::size_t slotOf(const Key& key, std::size_t hash, const KeyAt& keyAt) const
    {
        const auto tag = slotTag(hash);
        return probeFrom(m_slots, homeSlot(hash, m_slots.size()),
            [&](const Slot& slot) { return slot.tag == 0 || (slot.tag == tag && keyAt(slot.position) == key); });
    }

    ZeroedSlots<Slot> m_slots;
};

} // namespace Sync
