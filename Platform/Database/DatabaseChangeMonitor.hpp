#pragma once

#include "Platform/Database/DatabaseConfiguration.hpp"
#include "Platform/Database/DatabaseError.hpp"
#include "Platform/Database/DatabaseObserver.hpp"

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace Platform {

class DatabaseChangeMonitor;

// What one observation shares between its token, the monitor and the tasks
// waiting on its executor. Internal to the database layer.
struct DatabaseObservation::State {
    DatabaseExecutor executor;
    std::function<void()> onChange;

    // Guards the fields below; never held while calling the executor or `onChange`.
    std::mutex mutex;
    // Where the notification stands: one task at a time per observation, and a
    // commit during a running callback schedules exactly one more.
    enum class Phase { idle, scheduled, running, runningAgain };
    Phase phase = Phase::idle;
    bool cancelled = false;
    // Keeps the monitor alive while the observation is; released by `invalidate`.
    std::shared_ptr<DatabaseChangeMonitor> monitor;
};

// Hands `observation` a notification (from the monitor thread).
void deliverDatabaseChange(const std::shared_ptr<DatabaseObservation::State>& observation);

// The per-file, per-process watcher behind `DatabaseObserver` (internal).
// Owns a thread that waits on inotify, on a wake-up from commits of this
// process and on the fallback time-out, compares `PRAGMA data_version`, and
// hands every registered observation its notification. Observations keep
// their monitor alive; the last one to go stops the thread.
class DatabaseChangeMonitor {
public:
    // The monitor of `configuration.file` in this process, started when there is none.
    static std::expected<std::shared_ptr<DatabaseChangeMonitor>, DatabaseError> monitor(
        const DatabaseConfiguration& configuration, const std::string& key);
    // Wakes the monitor of the file with `key`, if this process has one; called after each local commit.
    static void commitHappened(const std::string& key);
    // The key that names `file` in this process: its absolute, canonical path.
    static std::string keyFor(const std::filesystem::path& file);

    ~DatabaseChangeMonitor();

    void add(const std::shared_ptr<DatabaseObservation::State>& observation);
    void remove(const DatabaseObservation::State* observation);

    struct Core;

private:
    explicit DatabaseChangeMonitor(std::shared_ptr<Core> core);

    std::shared_ptr<Core> m_core;
    std::thread m_thread;
};

} // namespace Platform
