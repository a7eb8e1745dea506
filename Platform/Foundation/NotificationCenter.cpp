#include "Platform/Foundation/NotificationCenter.hpp"

#include <algorithm>
#include <utility>

namespace Platform {

// One observer. `running` lists the threads inside its block, so that removal
// can wait for the others to leave it.
struct NotificationCenter::Entry {
    std::string name;
    const void* sender;
    Block block;

    std::mutex mutex;
    std::condition_variable left;
    bool active = true;
    std::vector<std::thread::id> running;

    // Marks the calling thread as inside the block; false once removed.
    bool enter()
    {
        std::lock_guard lock(mutex);
        if (!active)
            return false;
        running.push_back(std::this_thread::get_id());
        return true;
    }

    void leave()
    {
        {
            std::lock_guard lock(mutex);
            auto self = std::find(running.begin(), running.end(), std::this_thread::get_id());
            if (self != running.end())
                running.erase(self);
        }
        left.notify_all();
    }

    void deactivate()
    {
        std::unique_lock lock(mutex);
        active = false;
        auto self = std::this_thread::get_id();
        left.wait(lock, [&] { return std::all_of(running.begin(), running.end(), [&](auto id) { return id == self; }); });
    }
};

struct NotificationCenter::State {
    mutable std::mutex mutex;
    // Copied on write, so a post delivers from a snapshot with no lock held.
    std::shared_ptr<const std::vector<std::shared_ptr<Entry>>> entries = std::make_shared<std::vector<std::shared_ptr<Entry>>>();
};

NotificationCenter::NotificationCenter()
    : m_state(std::make_shared<State>())
{
}

NotificationCenter::~NotificationCenter() = default;

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Never destroyed: observers may still post from other threads at exit.
    static auto* center = new NotificationCenter();
    return *center;
}

NotificationCenter::Registration NotificationCenter::addObserver(std::string name, const void* sender, Block block)
{
    auto entry = std::make_shared<Entry>();
    entry->name = std::move(name);
    entry->sender = sender;
    entry->block = std::move(block);
    {
        std::lock_guard lock(m_state->mutex);
        auto entries = std::make_shared<std::vector<std::shared_ptr<Entry>>>(*m_state->entries);
        entries->push_back(entry);
        m_state->entries = std::move(entries);
    }
    return Registration(m_state, entry);
}

void NotificationCenter::post(const Notification& notification)
{
    std::shared_ptr<const std::vector<std::shared_ptr<Entry>>> entries;
    {
        std::lock_guard lock(m_state->mutex);
        entries = m_state->entries;
    }
    for (const auto& entry : *entries) {
        if (entry->name != notification.name)
            continue;
        if (entry->sender && entry->sender != notification.sender)
            continue;
        if (!entry->enter())
            continue;
        // Leaves the block even when it throws, so removal never waits forever.
        struct Leaving {
            Entry& entry;
            ~Leaving() { entry.leave(); }
        } leaving { *entry };
        entry->block(notification);
    }
}

void NotificationCenter::post(std::string name, const void* sender, Notification::UserInfo userInfo)
{
    post(Notification { std::move(name), sender, std::move(userInfo) });
}

std::size_t NotificationCenter::observerCount(std::string_view name) const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<std::size_t>(std::count_if(m_state->entries->begin(), m_state->entries->end(),
        [&](const auto& entry) { return entry->name == name; }));
}

NotificationCenter::Registration& NotificationCenter::Registration::operator=(Registration&& other) noexcept
{
    if (this != &other) {
        remove();
        m_state = std::move(other.m_state);
        m_entry = std::move(other.m_entry);
    }
    return *this;
}

void NotificationCenter::Registration::remove()
{
    auto entry = std::exchange(m_entry, nullptr);
    if (!entry)
        return;
    if (auto state = m_state.lock()) {
        std::lock_guard lock(state->mutex);
        auto entries = std::make_shared<std::vector<std::shared_ptr<Entry>>>();
        for (const auto& existing : *state->entries) {
            if (existing != entry)
                entries->push_back(existing);
        }
        state->entries = std::move(entries);
    }
    entry->deactivate();
}

bool NotificationCenter::Registration::isActive() const
{
    if (!m_entry)
        return false;
    std::lock_guard lock(m_entry->mutex);
    return m_entry->active;
}

} // namespace Platform
