#pragma once

#include "Platform/Database/DatabaseConfiguration.hpp"
#include "Platform/Database/DatabaseError.hpp"
#include "Platform/Database/DatabaseStatement.hpp"

#include <sqlite3.h>

#include <expected>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Platform {

// Device and inode of a file: tells the file a path names now from the one it named before.
using FileIdentity = std::pair<dev_t, ino_t>;
std::optional<FileIdentity> identityOfFile(const std::filesystem::path& file);

// One SQLite connection with its prepared statements; what a Database handle
// owns (internal to the database layer). Used by one thread at a time.
struct DatabaseConnection {
    DatabaseConfiguration configuration;
    std::string monitorKey;
    sqlite3* connection = nullptr;
    bool inWriteTransaction = false;
    // Statements are prepared once per handle and reused: a store writes many
    // rows with the same few statements.
    std::unordered_map<std::string, DatabaseStatement> statements;
    // The file the connection has open; a pooled connection is reused only
    // while the path still names that file.
    std::optional<FileIdentity> fileIdentity;

    ~DatabaseConnection();

    // Opens `configuration.file` anew: checks it, sets WAL mode, creates the schema on a new file.
    static std::expected<std::unique_ptr<DatabaseConnection>, DatabaseError> open(
        const DatabaseConfiguration& configuration);

    std::expected<DatabaseStatement*, DatabaseError> statement(const std::string& sql)
    {
        auto found = statements.find(sql);
        if (found != statements.end())
            return &found->second;
        auto prepared = DatabaseStatement::prepare(connection, sql);
        if (!prepared)
            return std::unexpected(prepared.error());
        return &statements.emplace(sql, std::move(*prepared)).first->second;
    }

    std::expected<void, DatabaseError> run(const std::string& sql, const std::vector<DatabaseValue>& bindings,
        const std::function<void(const DatabaseRow&)>& onRow = {})
    {
        auto prepared = statement(sql);
        if (!prepared)
            return std::unexpected(prepared.error());
        if (auto bound = (*prepared)->bind(bindings); !bound)
            return bound;
        auto result = onRow ? (*prepared)->run(onRow) : (*prepared)->run();
        // SQLite rolls a transaction back by itself after some failures (disk full, I/O).
        if (!result && inWriteTransaction && sqlite3_get_autocommit(connection))
            inWriteTransaction = false;
        return result;
    }

    std::expected<std::int64_t, DatabaseError> integer(const std::string& sql)
    {
        std::int64_t value = 0;
        auto result = run(sql, {}, [&](const DatabaseRow& row) { value = row.integer(0); });
        if (!result)
            return std::unexpected(result.error());
        return value;
    }

    std::expected<void, DatabaseError> createSchema();

    std::expected<void, DatabaseError> requireWriteTransaction(std::string_view operation) const
    {
        if (!inWriteTransaction)
            return std::unexpected(DatabaseError(DatabaseError::Code::transactionMisuse,
                std::string(operation) + " outside a write transaction"));
        return {};
    }
};

// Idle connections kept per file (internal). Opening a connection costs
// pragmas and statement preparation, and closing the last connection of a file
// checkpoints and deletes its WAL with fsyncs; the stores open a handle per
// operation, so handles hand their connection back here instead, and the next
// handle of the same file, on any thread, takes it over.
namespace DatabaseConnectionPool {

// An idle connection of the same file (still the same file on disk, same
// schema version, version checked again), or a new one.
std::expected<std::unique_ptr<DatabaseConnection>, DatabaseError> checkOut(const DatabaseConfiguration& configuration);
// Takes back a connection whose handle ended; rolls back an open transaction first.
void checkIn(std::unique_ptr<DatabaseConnection> connection);
// Closes every idle connection of the file with `key` (before its files are deleted).
void drain(const std::string& key);

} // namespace DatabaseConnectionPool

} // namespace Platform
