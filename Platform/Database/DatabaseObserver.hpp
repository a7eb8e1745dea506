#pragma once

#include "Platform/Database/DatabaseConfiguration.hpp"
#include "Platform/Database/DatabaseError.hpp"

#include <expected>
#include <functional>
#include <memory>

namespace Platform {

// Runs a task somewhere: on a scheduler, a main loop, a queue. The layer calls
// it from its own monitor thread, never from the thread that started
// observing; an executor that runs the task inline runs it on the monitor thread.
using DatabaseExecutor = std::function<void(std::function<void()>)>;

// The live registration of one observer; move-only. Ending it (`invalidate`
// or destruction) is safe from any thread, also from inside the observer's own
// callback. After it returns no new callback starts; a callback already
// running on another thread finishes normally.
class DatabaseObservation {
public:
    DatabaseObservation() = default;
    DatabaseObservation(DatabaseObservation&&) noexcept = default;
    DatabaseObservation& operator=(DatabaseObservation&& other) noexcept;
    DatabaseObservation(const DatabaseObservation&) = delete;
    DatabaseObservation& operator=(const DatabaseObservation&) = delete;
    ~DatabaseObservation();

    void invalidate();
    bool isValid() const { return m_state != nullptr; }

    struct State;
    explicit DatabaseObservation(std::shared_ptr<State> state);

private:
    std::shared_ptr<State> m_state;
};

// Change observation of a database file across threads and processes.
//
// After every commit to the file, by any handle of this process or of another
// process, `onChange` is handed to `executor`. Commits that land while a
// notification is still waiting on the executor are folded into it, so an
// observer sees at least one call after its last commit, not one per commit.
// Calls come one at a time per observer and never hold a lock of this layer,
// so a callback may read the database, write it, or end its own observation.
//
// How: one monitor thread per file and process holds a read-only handle and
// compares `PRAGMA data_version`. It wakes on inotify events of the file and
// its "-wal" file (watched through their directory, since the WAL file comes
// and goes), on commits of this process at once, and otherwise every
// `fallbackPollInterval`. The thread starts with the first observation of a
// file and ends with its last.
class DatabaseObserver {
public:
    // Starts observing `configuration.file`; returns at once, never runs
    // `onChange` before returning. Fails when the file cannot be opened (the
    // errors of `Database::open`) or inotify cannot be set up.
    static std::expected<DatabaseObservation, DatabaseError> observe(const DatabaseConfiguration& configuration,
        DatabaseExecutor executor, std::function<void()> onChange);
};

} // namespace Platform
