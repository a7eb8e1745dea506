#include "Sync/References/BindingMemo.hpp"

#include "Sync/Changes/FlatTable.hpp"

#include <functional>
#include <utility>

namespace Sync {

namespace {

    // Slots per kept answer: a table about four fifths full keeps probe
    // sequences short and wastes little.
    std::size_t slotsFor(std::size_t count) { return std::max<std::size_t>(count + count / 4 + 1, 64); }

    std::uint64_t mixed(std::uint64_t value)
    {
        value ^= value >> 33;
        value *= 0xff51afd7ed558ccdULL;
        value ^= value >> 33;
        value *= 0xc4ceb9fe1a85ec53ULL;
        value ^= value >> 33;
        return value;
    }

} // namespace

std::uint64_t BindingMemo::keyOf(std::string_view path, std::uint64_t device)
{
    auto key = mixed(std::hash<std::string_view> {}(path) ^ mixed(device + 0x9e3779b97f4a7c15ULL));
    return key == 0 ? 1 : key;
}

void BindingMemo::rebuild(std::size_t count, bool onlyAsked)
{
    auto oldSlots = std::exchange(m_slots, std::vector<Slot>(slotsFor(count)));
    auto oldMarks = std::exchange(m_marks, std::vector<Mark>(m_slots.size(), Mark::notAsked));
    m_count = 0;
    for (std::size_t index = 0; index < oldSlots.size(); ++index) {
        if (oldSlots[index].key == 0 || (onlyAsked && oldMarks[index] != Mark::asked))
            continue;
        auto slot = probeFrom(m_slots, firstSlot(oldSlots[index].key, m_slots.size()),
            [](const Slot& candidate) { return candidate.key == 0; });
        m_slots[slot] = oldSlots[index];
        m_marks[slot] = onlyAsked ? Mark::notAsked : oldMarks[index];
        ++m_count;
    }
}

void BindingMemo::beginScan()
{
    std::lock_guard lock(m_mutex);
    std::size_t asked = 0;
    for (std::size_t index = 0; index < m_slots.size(); ++index)
        asked += m_slots[index].key != 0 && m_marks[index] == Mark::asked ? 1 : 0;
    // Room for a few new items of the next scan, but not for the table's
    // growth during the scan before: that would cost memory and cache.
    const auto wanted = asked + asked / 16;
    if (asked == m_count && m_slots.size() <= slotsFor(wanted) + slotsFor(wanted) / 8) {
        m_marks.assign(m_slots.size(), Mark::notAsked);
        return;
    }
    rebuild(wanted, true);
}

const BindingMemo::Slot* BindingMemo::slotFor(std::string_view path, const Platform::ChangeStamp& stamp) const
{
    if (m_count == 0)
        return nullptr;
    const auto& slot = m_slots[slotOf(keyOf(path, stamp.device))];
    if (slot.key == 0 || slot.inode != stamp.inode || slot.changeTime != stamp.changeTime.time_since_epoch().count())
        return nullptr;
    return &slot;
}

std::size_t BindingMemo::slotOf(std::uint64_t key) const
{
    return probeFrom(m_slots, firstSlot(key, m_slots.size()),
        [&](const Slot& slot) { return slot.key == 0 || slot.key == key; });
}

std::optional<std::optional<std::int64_t>> BindingMemo::find(std::string_view path, const Platform::ChangeStamp& stamp)
{
    std::lock_guard lock(m_mutex);
    const auto* slot = slotFor(path, stamp);
    if (!slot)
        return std::nullopt;
    auto& mark = m_marks[static_cast<std::size_t>(slot - m_slots.data())];
    if (mark == Mark::notAsked)
        mark = Mark::asked;
    return slot->bound == 0 ? std::optional<std::int64_t>() : std::optional(slot->bound);
}

void BindingMemo::reserve(std::size_t count)
{
    std::lock_guard lock(m_mutex);
    if (count * 5 > m_slots.size() * 4)
        rebuild(count + count / 16, false);
}

void BindingMemo::keep(std::string_view path, const Platform::ChangeStamp& stamp, std::optional<std::int64_t> bound,
    Platform::FileTime readStart)
{
    if (bound && *bound < 1)
        return;
    const bool settled = stamp.changeTime + m_options.racyInterval <= readStart;
    std::lock_guard lock(m_mutex);
    put(path, stamp, bound.value_or(0), settled ? Mark::asked : Mark::thisScanOnly);
}

void BindingMemo::learn(std::string_view path, const Platform::ChangeStamp& stamp, std::int64_t bound)
{
    if (bound < 1)
        return;
    std::lock_guard lock(m_mutex);
    put(path, stamp, bound, Mark::asked);
}

void BindingMemo::put(std::string_view path, const Platform::ChangeStamp& stamp, std::int64_t bound, Mark mark)
{
    if ((m_count + 1) * 5 > m_slots.size() * 4)
        rebuild((m_count + 1) * 3 / 2, false);
    const auto key = keyOf(path, stamp.device);
    const auto index = slotOf(key);
    if (m_slots[index].key == 0)
        ++m_count;
    m_slots[index] = { key, stamp.inode, stamp.changeTime.time_since_epoch().count(), bound };
    m_marks[index] = mark;
}

std::size_t BindingMemo::size() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

} // namespace Sync
