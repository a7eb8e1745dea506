#pragma once

#include <any>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace Platform {

// One in-process announcement: a name, the object that sent it (compared by
// identity only, never dereferenced) and a keyed map of typed values.
struct Notification {
    using UserInfo = std::map<std::string, std::any, std::less<>>;

    std::string name;
    // The sender's identity; null when the poster names none.
    const void* sender = nullptr;
    UserInfo userInfo {};

    // The value under `key` when it holds a `T`; null when the key is missing
    // or holds another type.
    template<class T>
    [[nodiscard]] const T* userInfoValue(std::string_view key) const
    {
        auto entry = userInfo.find(key);
        if (entry == userInfo.end())
            return nullptr;
        return std::any_cast<T>(&entry->second);
    }
};

// Publish and subscribe inside one process, by notification name and sender.
//
// Delivery is synchronous: `post` calls every matching observer on the
// posting thread, in the order the observers were added, and returns when all
// have run. No lock of the centre is held while an observer runs, so an
// observer may post, add or remove observers (its own included).
//
// Threading: every member may be called from any thread. An observer added
// during a post is not called for that post. Once removal of an observer has
// returned, its block is never called again, and no other thread is still
// inside it (removal waits for them; removing from inside the block itself
// does not wait for the calling thread).
class NotificationCenter {
public:
    using Block = std::function<void(const Notification&)>;

    class Registration;

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // The process's default centre; lives until the process ends.
    [[nodiscard]] static NotificationCenter& defaultCenter();

    // Calls `block` for every notification named `name` whose sender is
    // `sender`; a null `sender` matches every sender. The observation lasts
    // until the returned registration is removed or destroyed.
    [[nodiscard]] Registration addObserver(std::string name, const void* sender, Block block);

    void post(const Notification& notification);
    void post(std::string name, const void* sender, Notification::UserInfo userInfo = {});

    // Observers currently registered for `name` (for diagnostics and tests).
    [[nodiscard]] std::size_t observerCount(std::string_view name) const;

    struct Entry;

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// Ends one observation when removed or destroyed. Move-only; may outlive the
// centre (removal then does nothing).
class NotificationCenter::Registration {
public:
    Registration() = default;
    Registration(Registration&& other) noexcept = default;
    Registration& operator=(Registration&& other) noexcept;
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;
    ~Registration() { remove(); }

    void remove();
    [[nodiscard]] bool isActive() const;

private:
    friend class NotificationCenter;
    Registration(std::weak_ptr<State> state, std::shared_ptr<Entry> entry)
        : m_state(std::move(state))
        , m_entry(std::move(entry))
    {
    }

    std::weak_ptr<State> m_state;
    std::shared_ptr<Entry> m_entry;
};

} // namespace Platform
