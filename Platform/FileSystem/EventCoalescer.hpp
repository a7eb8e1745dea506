#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <set>
#include <string>

namespace Platform {

// One delivery of a folder watcher: what changed during one latency window.
struct FolderChanges {
    std::set<std::string> paths;     // absolute paths of changed items, sorted, each once; only when they are kept
    bool everythingChanged = false;  // events were lost (queue overflow): look at the whole folder
    bool rootChanged = false;        // the watched folder itself was deleted, moved or unmounted
    bool degraded = false;           // the watch limit was reached: some directories go unwatched
};

// Gathers watcher events into deliveries: the first event after a delivery
// opens a window of `latency`; everything that arrives until the window closes
// goes out together. So a burst yields one delivery per window, however many
// events it holds. With `Paths::kept` each delivery names the changed paths;
// when more distinct paths arrive than `maximumPaths`, it says
// `everythingChanged` instead of listing them. With `Paths::dropped` a path
// only opens the window, so a receiver that rescans anyway pays nothing for a
// burst of many paths.
//
// Time is always an argument; the coalescer never reads a clock. Not
// thread-safe: it belongs to the watcher's reader thread.
class EventCoalescer {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    enum class Paths { kept, dropped };

    explicit EventCoalescer(std::chrono::nanoseconds latency, Paths paths = Paths::kept,
                            std::size_t maximumPaths = 100'000);

    void addPath(std::string path, TimePoint now);
    void addEverythingChanged(TimePoint now);
    void addRootChanged(TimePoint now);
    void addDegraded(TimePoint now);

    // When the open window closes; nothing while no event is waiting.
    std::optional<TimePoint> deadline() const { return m_deadline; }
    // The delivery, once `now` has reached the deadline; it starts afresh.
    std::optional<FolderChanges> takeDue(TimePoint now);

private:
    void open(TimePoint now);

    std::chrono::nanoseconds m_latency;
    Paths m_paths;
    std::size_t m_maximumPaths;
    std::optional<TimePoint> m_deadline;
    FolderChanges m_pending;
};

}  // namespace Platform
