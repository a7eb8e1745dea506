#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace Sync {

// An open-addressing hash table of fixed capacity for one computation over
// a known number of keys: one allocation, no node per entry, linear probing.
// The first value inserted under a key stays. Keys must be cheap to copy
// (integers, string views whose text outlives the table).
template<class Key, class Value, class Hash = std::hash<Key>>
class FlatTable {
public:
    // Room for `count` keys at a load of at most one half.
    explicit FlatTable(std::size_t count)
        : m_slots(std::bit_ceil(std::max<std::size_t>(count * 2, 16)))
        , m_mask(m_slots.size() - 1)
    {
    }

    // Inserts `value` under `key` unless the key is there; whether it was not.
    bool insert(const Key& key, const Value& value)
    {
        const auto hash = Hash()(key);
        for (std::size_t index = hash & m_mask;; index = (index + 1) & m_mask) {
            auto& slot = m_slots[index];
            if (!slot.used) {
                slot = { key, value, hash, true };
                return true;
            }
            if (slot.hash == hash && slot.key == key)
                return false;
        }
    }

    // The value under `key`, or nullptr.
    [[nodiscard]] const Value* find(const Key& key) const
    {
        const auto hash = Hash()(key);
        for (std::size_t index = hash & m_mask;; index = (index + 1) & m_mask) {
            const auto& slot = m_slots[index];
            if (!slot.used)
                return nullptr;
            if (slot.hash == hash && slot.key == key)
                return &slot.value;
        }
    }

    [[nodiscard]] bool contains(const Key& key) const { return find(key) != nullptr; }

private:
    struct Slot {
        Key key {};
        Value value {};
        std::size_t hash = 0;
        bool used = false;
    };

    std::vector<Slot> m_slots;
    std::size_t m_mask;
};

// Integer ids spread over the table: consecutive ids must not crowd one run of slots.
struct IDHash {
    std::size_t operator()(std::int64_t id) const
    {
        auto value = static_cast<std::uint64_t>(id) * 0x9e3779b97f4a7c15ULL;
        return static_cast<std::size_t>(value ^ (value >> 32));
    }
};

// A set of remote ids.
using IDSet = FlatTable<std::int64_t, bool, IDHash>;

} // namespace Sync
