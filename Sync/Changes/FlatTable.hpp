#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace Sync {

// Room for `count` keys at a load of at most two thirds: the tables of one
// computation over a million files stay small enough for the cache.
[[nodiscard]] inline std::size_t flatTableSlots(std::size_t count)
{
    return std::bit_ceil(std::max<std::size_t>(count + count / 2 + 1, 16));
}

// An open-addressing hash table of fixed capacity for one computation over
// a known number of keys: one allocation, no node per entry, linear probing,
// the full hash kept beside each key so that a probe rarely reads the key.
// The first value inserted under a key stays. Keys must be cheap to copy
// (string views whose text outlives the table, small values).
//
// Loops over many keys hash each key once (`hash`), may `prefetch` its slot
// some keys ahead, and pass the hash to `insert` and `find`.
template<class Key, class Value, class Hash = std::hash<Key>>
class FlatTable {
public:
    explicit FlatTable(std::size_t count)
        : m_slots(flatTableSlots(count))
        , m_mask(m_slots.size() - 1)
    {
    }

    // Never zero: zero marks a free slot.
    [[nodiscard]] static std::size_t hash(const Key& key)
    {
        return Hash()(key) | (std::size_t(1) << (sizeof(std::size_t) * 8 - 1));
    }

    void prefetch(std::size_t hash) const { __builtin_prefetch(&m_slots[hash & m_mask]); }

    // Inserts `value` under `key` unless the key is there; whether it was not.
    bool insert(const Key& key, const Value& value) { return insert(key, value, hash(key)); }
    bool insert(const Key& key, const Value& value, std::size_t hash)
    {
        for (std::size_t index = hash & m_mask;; index = (index + 1) & m_mask) {
            auto& slot = m_slots[index];
            if (slot.hash == 0) {
                slot = { key, value, hash };
                return true;
            }
            if (slot.hash == hash && slot.key == key)
                return false;
        }
    }

    // The value under `key`, or nullptr.
    [[nodiscard]] const Value* find(const Key& key) const { return find(key, hash(key)); }
    [[nodiscard]] const Value* find(const Key& key, std::size_t hash) const
    {
        for (std::size_t index = hash & m_mask;; index = (index + 1) & m_mask) {
            const auto& slot = m_slots[index];
            if (slot.hash == 0)
                return nullptr;
            if (slot.hash == hash && slot.key == key)
                return &slot.value;
        }
    }
    [[nodiscard]] Value* find(const Key& key) { return find(key, hash(key)); }
    [[nodiscard]] Value* find(const Key& key, std::size_t hash)
    {
        return const_cast<Value*>(std::as_const(*this).find(key, hash));
    }

    [[nodiscard]] bool contains(const Key& key) const { return find(key) != nullptr; }

    // For prefetching only: the first slot with this hash, whatever its key,
    // as key and value; nothing when there is none.
    [[nodiscard]] std::pair<const Key*, const Value*> probe(std::size_t hash) const
    {
        for (std::size_t index = hash & m_mask;; index = (index + 1) & m_mask) {
            const auto& slot = m_slots[index];
            if (slot.hash == 0)
                return { nullptr, nullptr };
            if (slot.hash == hash)
                return { &slot.key, &slot.value };
        }
    }

private:
    struct Slot {
        Key key {};
        Value value {};
        std::size_t hash = 0;
    };

    std::vector<Slot> m_slots;
    std::size_t m_mask;
};

} // namespace Sync
