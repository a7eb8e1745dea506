#include "Sync/Tests/WatcherTestSupport.hpp"

#include <set>
#include <stdexcept>

namespace Sync::Testing {

void CallCounter::increment()
{
    std::lock_guard lock(m_mutex);
    ++m_count;
    m_changed.notify_all();
}

std::size_t CallCounter::count() const
{
    std::lock_guard lock(m_mutex);
    return m_count;
}

bool CallCounter::waitForCount(std::size_t expected, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_count >= expected; });
}

struct ReferenceWatcher::State {
    std::mutex mutex;
    std::condition_variable changed;
    std::set<std::string> paths;
};

ReferenceWatcher::ReferenceWatcher(const std::string& folder, std::chrono::nanoseconds latency)
    : m_state(std::make_shared<State>())
{
    Platform::FolderWatcher::Options options;
    options.latency = latency;
    options.namesPaths = true;
    options.callback = [state = m_state](Platform::FolderChanges changes) {
        std::lock_guard lock(state->mutex);
        state->paths.insert(changes.paths.begin(), changes.paths.end());
        state->changed.notify_all();
    };
    auto watcher = Platform::FolderWatcher::create(folder, std::move(options));
    if (!watcher) {
        throw std::runtime_error("reference watcher failed: " + watcher.error().description());
    }
    m_watcher = std::move(*watcher);
}

ReferenceWatcher::~ReferenceWatcher() = default;

bool ReferenceWatcher::waitForPath(const std::string& path, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_state->mutex);
    return m_state->changed.wait_for(lock, timeout, [&] { return m_state->paths.contains(path); });
}

} // namespace Sync::Testing
