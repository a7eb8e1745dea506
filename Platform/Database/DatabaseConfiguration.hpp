#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace Platform {

// The tables of a database file and the version they make.
struct DatabaseSchema {
    // Written to and checked against `PRAGMA user_version`; must be positive.
    std::int64_t version = 1;
    // SQL scripts run in this order, in one transaction, on a new file only.
    std::vector<std::string> scripts;
};

// Everything needed to open a database file; shared by every access to it, in
// every thread and process, so all of them agree on schema and timing.
struct DatabaseConfiguration {
    // The database file; its directory must exist. The WAL ("-wal") and
    // shared-memory ("-shm") files live beside it.
    std::filesystem::path file;
    // The tables and version every handle expects.
    DatabaseSchema schema;
    // How long a handle waits for another connection's lock before failing with `busy`.
    std::chrono::milliseconds busyTimeout{5000};
    // How often an observer checks for commits when no file event woke it;
    // the safety net for missed inotify events (another mount, overflow).
    std::chrono::milliseconds fallbackPollInterval{2000};
};

} // namespace Platform
