#pragma once

#include "Platform/Database/DatabaseError.hpp"

#include <expected>
#include <string>

namespace Sync {

// The stored state (records and statuses) could not be read or written: the
// database file cannot be opened, is no database, is read-only or the disk
// is full. A run that meets one stops at once and reports it once: going on
// would sync without being able to remember what it did.
class StoreError {
public:
    StoreError(std::string databaseFile, Platform::DatabaseError cause);

    // The database file as the configuration names it (empty when unknown).
    [[nodiscard]] const std::string& databaseFile() const { return m_databaseFile; }
    [[nodiscard]] const Platform::DatabaseError& cause() const { return m_cause; }
    // Whether the file could not be opened at all (rather than written).
    [[nodiscard]] bool isOpeningFailure() const;

    // One line for the log.
    [[nodiscard]] std::string description() const;
    // The text the application shows the user, naming the database file.
    [[nodiscard]] std::string localizedDescription() const;

private:
    std::string m_databaseFile;
    Platform::DatabaseError m_cause;
};

template<class T = void>
using StoreResult = std::expected<T, StoreError>;

} // namespace Sync
