#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Platform {

// The paths the sync engine itself is changing on disk, so the folder watcher
// can drop the events those changes cause instead of starting another run.
// The disk code registers an absolute path (as the path resolver gave it)
// before it touches it and ends the registration when done; the watcher drops
// events for exactly that path (or, with `Scope::subtree`, for anything below
// it too) from the registration until `window` after its end. Events for other
// paths, or arriving later, are kept.
//
// What to register: a move registers its source and its destination (a moved
// folder's contents then count as its own too); a recursive delete or a move to
// the Trash registers the item with `Scope::subtree`; a download registers its
// temporary file and its final name; writing an extended attribute or a date
// registers the item, since both cause events as well.
//
// Thread-safe: the disk code and the watcher's reader thread share one registry.
// Registering and ending cost O(log n) and a lookup O(depth of the path), so a
// sync that registers thousands of changes a second does not slow down as the
// window fills.
class OwnChangeRegistry {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;

    enum class Scope {
        item,     // the path itself (a file written, a folder created, a name moved)
        subtree,  // the path and everything below it (a folder removed recursively)
    };

    // Ends its registration when destroyed (at the clock's current time).
    class [[nodiscard]] Registration {
    public:
        Registration() = default;
        Registration(Registration&& other) noexcept;
        Registration& operator=(Registration&& other) noexcept;
        ~Registration();
        void end();

    private:
        friend class OwnChangeRegistry;
        Registration(std::weak_ptr<OwnChangeRegistry> registry, std::uint64_t identifier);
        std::weak_ptr<OwnChangeRegistry> m_registry;
        std::uint64_t m_identifier = 0;
    };

    static std::shared_ptr<OwnChangeRegistry> create(Clock::duration window = std::chrono::seconds{2});

    // Registers `path` until the returned registration ends.
    Registration registerChange(std::string path, Scope scope);

    // The same with explicit times, for code that keeps its own clock.
    std::uint64_t begin(std::string path, Scope scope, TimePoint now);
    void end(std::uint64_t identifier, TimePoint now);

    // Whether an event for `path` at `now` comes from a registered change.
    bool contains(std::string_view path, TimePoint now);

private:
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const { return std::hash<std::string_view>{}(path); }
    };
    // How many registrations (running or within their window) name a path, by scope.
    struct PathCount {
        std::size_t items = 0;
        std::size_t subtrees = 0;
    };
    using PathCounts = std::unordered_map<std::string, PathCount, PathHash, std::equal_to<>>;
    struct Entry {
        // Pointers into an unordered map stay valid when it rehashes; its iterators do not.
        PathCounts::value_type* path = nullptr;
        Scope scope = Scope::item;
        bool ended = false;
    };
    explicit OwnChangeRegistry(Clock::duration window);
    void prune(TimePoint now);
    void forget(std::uint64_t identifier);

    Clock::duration m_window;
    std::weak_ptr<OwnChangeRegistry> m_self;
    std::mutex m_mutex;
    std::unordered_map<std::uint64_t, Entry> m_entries;
    PathCounts m_paths;
    // Ended registrations by the time they ended, so expiry looks only at the oldest.
    std::multimap<TimePoint, std::uint64_t> m_ended;
    std::uint64_t m_nextIdentifier = 1;
};

}  // namespace Platform
