#pragma once

// Platform/Database: a small object database over SQLite 3 in WAL mode, with
// primary keys, write transactions, typed queries and change observation that
// crosses processes.

#include "Platform/Database/DatabaseConfiguration.hpp"
#include "Platform/Database/DatabaseError.hpp"
#include "Platform/Database/DatabaseObject.hpp"
#include "Platform/Database/DatabaseObserver.hpp"
#include "Platform/Database/DatabaseQuery.hpp"
#include "Platform/Database/DatabaseStatement.hpp"

#include <cstdint>
#include <expected>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace Platform {

class Database;
class DatabaseConnection;

// Opens a new handle on the calling thread; what the stores call at the start of every operation.
using DatabaseFactory = std::function<std::expected<Database, DatabaseError>()>;

// One open connection to a database file.
//
// Threading: a handle belongs to the thread that uses it; it may be moved to
// another thread between operations but never used by two threads at once.
// Open one handle per thread, or per operation: a handle that ends hands its
// connection (with its prepared statements) to the next handle of the same
// file, so opening is cheap and the file's WAL is not checkpointed and
// deleted at every close. SQLite serialises writers across handles, threads
// and processes.
//
// Writes happen only inside a write transaction (`beginWrite` … `commitWrite`);
// a write outside one fails with `transactionMisuse`. Destroying a handle with
// an open write transaction rolls it back. Reads outside a transaction each see
// the latest commit.
class Database {
public:
    // Opens `configuration.file`, creating it with the schema when it does not
    // exist or is empty. Sets WAL journal mode and the busy time-out.
    // Fails with `cannotOpen` (unreadable file, missing directory),
    // `notADatabase` (the file holds something else) or `schemaVersionMismatch`
    // (another `user_version`, or a non-empty file without one). Never deletes
    // or changes a file it cannot use.
    static std::expected<Database, DatabaseError> open(const DatabaseConfiguration& configuration);
    // Deletes the database file together with its "-wal" and "-shm" files:
    // the way to discard a file that cannot be opened. A WAL file left behind
    // would be replayed into the next file of the same name. Call it only
    // while no handle of this process has the file open; missing files are no error.
    static std::expected<void, DatabaseError> removeFiles(const DatabaseConfiguration& configuration);
    // A factory that opens `configuration` at each call.
    static DatabaseFactory factory(DatabaseConfiguration configuration);

    Database(Database&&) noexcept;
    Database& operator=(Database&&) noexcept;
    ~Database();

    const DatabaseConfiguration& configuration() const;

    // Starts a write transaction (`BEGIN IMMEDIATE`): waits up to the busy
    // time-out for other writers, then holds off every other writer until
    // commit or cancel. Nesting fails with `transactionMisuse`.
    std::expected<void, DatabaseError> beginWrite();
    // Commits. On failure the transaction is rolled back and `commitFailed`
    // (or `busy`) returned: nothing of it was stored. On success every observer
    // of the file, in this process and others, is told.
    std::expected<void, DatabaseError> commitWrite();
    // Rolls back the open write transaction; does nothing without one.
    void cancelWrite();
    bool isInWriteTransaction() const;

    // Runs `body` (returning `std::expected<void, DatabaseError>`) in a write
    // transaction: commits when it succeeds, rolls back and returns its error when not.
    template <class Body>
    std::expected<void, DatabaseError> write(Body&& body)
    {
        if (auto begun = beginWrite(); !begun)
            return begun;
        std::expected<void, DatabaseError> result = body();
        if (!result) {
            cancelWrite();
            return result;
        }
        return commitWrite();
    }

    // The object of type T with primary key `key`, or nullopt.
    template <DatabaseObject T>
    std::expected<std::optional<T>, DatabaseError> object(const DatabaseValue& key)
    {
        auto found = objects<T>(DatabaseQuery::equal(std::string(DatabaseObjectAccess::primaryKeyName<T>()), key), 1);
        if (!found)
            return std::unexpected(found.error());
        if (found->empty())
            return std::optional<T>();
        return std::optional<T>(std::move(found->front()));
    }

    // The objects of type T that `query` matches, in the table's order
    // (primary-key order), at most `limit` of them when `limit` is positive.
    template <DatabaseObject T>
    std::expected<std::vector<T>, DatabaseError> objects(const DatabaseQuery& query = DatabaseQuery::all(),
        std::int64_t limit = 0)
    {
        std::vector<T> result;
        auto selected = selectRows(T::objectTypeName, DatabaseObjectAccess::columnNames<T>(), query, limit,
            [&](const DatabaseRow& row) { result.push_back(DatabaseObjectAccess::read<T>(row)); });
        if (!selected)
            return std::unexpected(selected.error());
        return result;
    }

    // Calls `onObject` for each object `query` matches, without holding all of them.
    template <DatabaseObject T, class OnObject>
    std::expected<void, DatabaseError> forEachObject(const DatabaseQuery& query, OnObject&& onObject)
    {
        return selectRows(T::objectTypeName, DatabaseObjectAccess::columnNames<T>(), query, 0,
            [&](const DatabaseRow& row) { onObject(DatabaseObjectAccess::read<T>(row)); });
    }

    // Gives back the connection's cached pages that no statement holds: after
    // a read of a whole table, which fills the cache with pages the next
    // small query does not need.
    void releaseCachedPages();

    // The number of objects of type T that `query` matches.
    template <DatabaseObject T>
    std::expected<std::int64_t, DatabaseError> count(const DatabaseQuery& query = DatabaseQuery::all())
    {
        return countRows(T::objectTypeName, query);
    }

    // True when `query` matches at least one object of type T (stops at the first).
    template <DatabaseObject T>
    std::expected<bool, DatabaseError> exists(const DatabaseQuery& query)
    {
        return existsRow(T::objectTypeName, query);
    }

    // Inserts `object`, or replaces every property of the object with the same primary key.
    template <DatabaseObject T>
    std::expected<void, DatabaseError> add(const T& object)
    {
        return upsertRow(T::objectTypeName, DatabaseObjectAccess::columnNames<T>(),
            DatabaseObjectAccess::values(object));
    }

    // Deletes the object with primary key `key`; true when there was one.
    template <DatabaseObject T>
    std::expected<bool, DatabaseError> remove(const DatabaseValue& key)
    {
        auto removed = deleteRows(T::objectTypeName,
            DatabaseQuery::equal(std::string(DatabaseObjectAccess::primaryKeyName<T>()), key));
        if (!removed)
            return std::unexpected(removed.error());
        return *removed > 0;
    }

    // Deletes every object of type T that `query` matches; the number deleted.
    template <DatabaseObject T>
    std::expected<std::int64_t, DatabaseError> removeAll(const DatabaseQuery& query = DatabaseQuery::all())
    {
        return deleteRows(T::objectTypeName, query);
    }

    // Sets `column` to `value` on every object of type T that `query` matches; the number changed.
    template <DatabaseObject T>
    std::expected<std::int64_t, DatabaseError> update(std::string_view column, const DatabaseValue& value,
        const DatabaseQuery& query)
    {
        return updateRows(T::objectTypeName, column, value, query);
    }

    // Tells `onChange`, through `executor`, after every commit to this file
    // from now on; see `DatabaseObserver::observe`.
    std::expected<DatabaseObservation, DatabaseError> observe(DatabaseExecutor executor,
        std::function<void()> onChange) const;

    // `PRAGMA data_version`: changes whenever another handle or process committed.
    std::expected<std::int64_t, DatabaseError> dataVersion();

    // `PRAGMA integrity_check`: "ok" for a sound file, else the problems found, one per line.
    std::expected<std::string, DatabaseError> integrityCheck();

    // Runs SQL text without results (several statements allowed). For
    // maintenance and tests; writes still need a write transaction by contract.
    std::expected<void, DatabaseError> execute(std::string_view sql);

private:
    explicit Database(std::unique_ptr<DatabaseConnection> connection);

    std::expected<void, DatabaseError> selectRows(std::string_view table, const std::vector<std::string_view>& columns,
        const DatabaseQuery& query, std::int64_t limit, const std::function<void(const DatabaseRow&)>& onRow);
    std::expected<std::int64_t, DatabaseError> countRows(std::string_view table, const DatabaseQuery& query);
    std::expected<bool, DatabaseError> existsRow(std::string_view table, const DatabaseQuery& query);
    std::expected<void, DatabaseError> upsertRow(std::string_view table, const std::vector<std::string_view>& columns,
        const std::vector<DatabaseValue>& values);
    std::expected<std::int64_t, DatabaseError> deleteRows(std::string_view table, const DatabaseQuery& query);
    std::expected<std::int64_t, DatabaseError> updateRows(std::string_view table, std::string_view column,
        const DatabaseValue& value, const DatabaseQuery& query);

    std::unique_ptr<DatabaseConnection> m_impl;
};

} // namespace Platform
