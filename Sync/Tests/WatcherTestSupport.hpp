#pragma once

#include "Platform/FileSystem/FolderWatcher.hpp"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

namespace Sync::Testing {

// Counts calls arriving from any thread and lets a test wait for a count with a deadline.
class CallCounter {
public:
    void increment();
    [[nodiscard]] std::size_t count() const;
    // Waits until at least `expected` calls came; true when they did in time.
    [[nodiscard]] bool waitForCount(std::size_t expected, std::chrono::milliseconds timeout = std::chrono::seconds { 10 }) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::size_t m_count = 0;
};

// A platform watcher of its own on a folder, without any registry of own
// changes: it tells a test when the kernel's events for a path have been
// read and gathered, so the test knows a watcher under test with the same
// latency has had its chance to report them too.
class ReferenceWatcher {
public:
    ReferenceWatcher(const std::string& folder, std::chrono::nanoseconds latency);
    ~ReferenceWatcher();
    // Waits until a delivery named `path`; true when one did in time.
    [[nodiscard]] bool waitForPath(const std::string& path, std::chrono::milliseconds timeout = std::chrono::seconds { 10 });

private:
    struct State;
    std::shared_ptr<State> m_state;
    std::unique_ptr<Platform::FolderWatcher> m_watcher;
};

} // namespace Sync::Testing
