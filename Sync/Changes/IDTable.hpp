#pragma once

#include "Sync/Changes/FlatTable.hpp"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace Sync {

// FlatTable for remote ids: a slot is the id and the value, nothing else,
// so a million ids with small values take a few tens of megabytes. The
// first value inserted under an id stays. `Value` must be cheap to copy.
template<class Value>
class IDTable {
public:
    explicit IDTable(std::size_t count)
        : m_slots(flatTableSlots(count))
    {
    }

    void prefetch(std::int64_t id) const { __builtin_prefetch(&m_slots[indexOf(id)]); }

    // Inserts `value` under `id` unless the id is there. Answers the value
    // now under the id, and whether it was inserted.
    std::pair<Value*, bool> insert(std::int64_t id, const Value& value)
    {
        const auto key = keyOf(id);
        if (key == freeSlot) {
            if (m_hasFreeSlotID)
                return { &m_freeSlotValue, false };
            m_hasFreeSlotID = true;
            m_freeSlotValue = value;
            return { &m_freeSlotValue, true };
        }
        auto& slot = m_slots[slotOf(key, id)];
        if (slot.key != freeSlot)
            return { &slot.value, false };
        slot = { key, value };
        return { &slot.value, true };
    }

    // The value under `id`, or nullptr.
    [[nodiscard]] const Value* find(std::int64_t id) const
    {
        const auto key = keyOf(id);
        if (key == freeSlot)
            return m_hasFreeSlotID ? &m_freeSlotValue : nullptr;
        const auto& slot = m_slots[slotOf(key, id)];
        return slot.key == freeSlot ? nullptr : &slot.value;
    }
    [[nodiscard]] Value* find(std::int64_t id) { return const_cast<Value*>(std::as_const(*this).find(id)); }

    [[nodiscard]] bool contains(std::int64_t id) const { return find(id) != nullptr; }

private:
    // Slots keep ids with the sign bit flipped, so that a zeroed slot is a
    // free one. The one id that comes out as zero (no server sends it, but a
    // listing is not trusted) is kept beside the slots.
    static constexpr std::uint64_t freeSlot = 0;
    [[nodiscard]] static std::uint64_t keyOf(std::int64_t id)
    {
        return static_cast<std::uint64_t>(id) ^ (std::uint64_t(1) << 63);
    }

    struct Slot {
        std::uint64_t key;
        [[no_unique_address]] Value value;
    };

    // The slot holding `key` (of `id`), or the free one where it would go.
    [[nodiscard]] std::size_t slotOf(std::uint64_t key, std::int64_t id) const
    {
        return probeFrom(m_slots, indexOf(id), [&](const Slot& slot) { return slot.key == freeSlot || slot.key == key; });
    }

    // Consecutive ids must not crowd one run of slots.
    [[nodiscard]] std::size_t indexOf(std::int64_t id) const
    {
        auto value = static_cast<std::uint64_t>(id) * 0x9e3779b97f4a7c15ULL;
        return firstSlot(value ^ (value >> 32), m_slots.size());
    }

    ZeroedSlots<Slot> m_slots;
    bool m_hasFreeSlotID { false };
    Value m_freeSlotValue {};
};

// A set of remote ids.
struct NoValue { };
class IDSet {
public:
    explicit IDSet(std::size_t count)
        : m_table(count)
    {
    }

    void prefetch(std::int64_t id) const { m_table.prefetch(id); }
    // Whether `id` was not in the set.
    bool insert(std::int64_t id) { return m_table.insert(id, {}).second; }
    [[nodiscard]] bool contains(std::int64_t id) const { return m_table.contains(id); }

private:
    IDTable<NoValue> m_table;
};

} // namespace Sync
