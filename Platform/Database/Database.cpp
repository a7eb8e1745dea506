#include "Platform/Database/Database.hpp"

#include "Platform/Database/DatabaseChangeMonitor.hpp"
#include "Platform/Database/DatabaseConnection.hpp"

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <utility>

namespace Platform {

namespace {

std::expected<void, DatabaseError> checkTable(std::string_view table, const DatabaseQuery& query)
{
    if (!isDatabaseIdentifier(table) || !query.isValid())
        return std::unexpected(DatabaseError(DatabaseError::Code::invalidQuery,
            "unusable table, column or value in a query on " + std::string(table)));
    return {};
}

std::string quoted(std::string_view name)
{
    return '"' + std::string(name) + '"';
}

} // namespace

Database::Database(std::unique_ptr<DatabaseConnection> connection)
    : m_impl(std::move(connection))
{
}

Database::Database(Database&&) noexcept = default;

Database& Database::operator=(Database&& other) noexcept
{
    if (this != &other) {
        if (m_impl)
            DatabaseConnectionPool::checkIn(std::move(m_impl));
        m_impl = std::move(other.m_impl);
    }
    return *this;
}

Database::~Database()
{
    if (m_impl)
        DatabaseConnectionPool::checkIn(std::move(m_impl));
}


std::expected<Database, DatabaseError> Database::open(const DatabaseConfiguration& configuration)
{
    auto connection = DatabaseConnectionPool::checkOut(configuration);
    if (!connection)
        return std::unexpected(connection.error());
    return Database(std::move(*connection));
}

std::expected<void, DatabaseError> Database::removeFiles(const DatabaseConfiguration& configuration)
{
    DatabaseConnectionPool::drain(DatabaseChangeMonitor::keyFor(configuration.file));
    // The WAL first: with the main file gone first, a crash in between would
    // leave a WAL for whatever file is created next under that name.
    for (const char* suffix : {"-wal", "-shm", ""}) {
        std::error_code error;
        std::filesystem::remove(configuration.file.string() + suffix, error);
        if (error)
            return std::unexpected(DatabaseError(DatabaseError::Code::cannotOpen,
                "cannot delete " + configuration.file.string() + suffix + ": " + error.message()));
    }
    return {};
}

DatabaseFactory Database::factory(DatabaseConfiguration configuration)
{
    return [configuration = std::move(configuration)] { return Database::open(configuration); };
}

const DatabaseConfiguration& Database::configuration() const
{
    return m_impl->configuration;
}

bool Database::isInWriteTransaction() const
{
    return m_impl->inWriteTransaction;
}

std::expected<void, DatabaseError> Database::beginWrite()
{
    if (m_impl->inWriteTransaction)
        return std::unexpected(
            DatabaseError(DatabaseError::Code::transactionMisuse, "beginWrite inside a write transaction"));
    if (auto begun = m_impl->run("BEGIN IMMEDIATE", {}); !begun)
        return begun;
    m_impl->inWriteTransaction = true;
    return {};
}

std::expected<void, DatabaseError> Database::commitWrite()
{
    if (!m_impl->inWriteTransaction)
        return std::unexpected(
            DatabaseError(DatabaseError::Code::transactionMisuse, "commitWrite without a write transaction"));
    auto committed = m_impl->run("COMMIT", {});
    if (!committed) {
        // A failed COMMIT may leave the transaction open; never leave it
        // half-done for the next caller of this handle.
        if (!sqlite3_get_autocommit(m_impl->connection))
            sqlite3_exec(m_impl->connection, "ROLLBACK", nullptr, nullptr, nullptr);
        m_impl->inWriteTransaction = false;
        auto code = committed.error().code() == DatabaseError::Code::busy ? DatabaseError::Code::busy
                                                                          : DatabaseError::Code::commitFailed;
        return std::unexpected(DatabaseError(code, committed.error().message(), committed.error().sqliteCode()));
    }
    m_impl->inWriteTransaction = false;
    DatabaseChangeMonitor::commitHappened(m_impl->monitorKey);
    return {};
}

void Database::cancelWrite()
{
    if (!m_impl->inWriteTransaction)
        return;
    if (!sqlite3_get_autocommit(m_impl->connection))
        sqlite3_exec(m_impl->connection, "ROLLBACK", nullptr, nullptr, nullptr);
    m_impl->inWriteTransaction = false;
}

std::expected<void, DatabaseError> Database::selectRows(std::string_view table,
    const std::vector<std::string_view>& columns, const DatabaseQuery& query, std::int64_t limit,
    const std::function<void(const DatabaseRow&)>& onRow)
{
    if (auto checked = checkTable(table, query); !checked)
        return checked;
    auto compiled = query.compile();
    std::string sql = "SELECT ";
    for (std::size_t index = 0; index < columns.size(); ++index)
        sql += (index ? ", " : "") + quoted(columns[index]);
    sql += " FROM " + quoted(table) + " WHERE " + compiled.whereClause;
    if (limit > 0) {
        sql += " LIMIT ?";
        compiled.bindings.emplace_back(limit);
    }
    return m_impl->run(sql, compiled.bindings, onRow);
}

void Database::releaseCachedPages() { sqlite3_db_release_memory(m_impl->connection); }

std::expected<std::int64_t, DatabaseError> Database::countRows(std::string_view table, const DatabaseQuery& query)
{
    if (auto checked = checkTable(table, query); !checked)
        return std::unexpected(checked.error());
    auto compiled = query.compile();
    std::int64_t count = 0;
    auto result = m_impl->run("SELECT count(*) FROM " + quoted(table) + " WHERE " + compiled.whereClause,
        compiled.bindings, [&](const DatabaseRow& row) { count = row.integer(0); });
    if (!result)
        return std::unexpected(result.error());
    return count;
}

std::expected<bool, DatabaseError> Database::existsRow(std::string_view table, const DatabaseQuery& query)
{
    if (auto checked = checkTable(table, query); !checked)
        return std::unexpected(checked.error());
    auto compiled = query.compile();
    bool found = false;
    auto result = m_impl->run("SELECT 1 FROM " + quoted(table) + " WHERE " + compiled.whereClause + " LIMIT 1",
        compiled.bindings, [&](const DatabaseRow&) { found = true; });
    if (!result)
        return std::unexpected(result.error());
    return found;
}

std::expected<void, DatabaseError> Database::upsertRow(std::string_view table,
    const std::vector<std::string_view>& columns, const std::vector<DatabaseValue>& values)
{
    if (auto checked = m_impl->requireWriteTransaction("add"); !checked)
        return checked;
    if (auto checked = checkTable(table, DatabaseQuery::all()); !checked)
        return checked;
    std::string names;
    std::string placeholders;
    std::string updates;
    for (std::size_t index = 0; index < columns.size(); ++index) {
        if (!isDatabaseIdentifier(columns[index]))
            return std::unexpected(DatabaseError(DatabaseError::Code::invalidQuery, "unusable column name"));
        names += (index ? ", " : "") + quoted(columns[index]);
        placeholders += index ? ", ?" : "?";
        if (index > 0)
            updates += (index > 1 ? ", " : "") + quoted(columns[index]) + " = excluded." + quoted(columns[index]);
    }
    std::string sql = "INSERT INTO " + quoted(table) + " (" + names + ") VALUES (" + placeholders + ")";
    sql += " ON CONFLICT(" + quoted(columns.front()) + ") DO ";
    sql += updates.empty() ? "NOTHING" : "UPDATE SET " + updates;
    return m_impl->run(sql, values);
}

std::expected<std::int64_t, DatabaseError> Database::deleteRows(std::string_view table, const DatabaseQuery& query)
{
    if (auto checked = m_impl->requireWriteTransaction("remove"); !checked)
        return std::unexpected(checked.error());
    if (auto checked = checkTable(table, query); !checked)
        return std::unexpected(checked.error());
    auto compiled = query.compile();
    auto result = m_impl->run("DELETE FROM " + quoted(table) + " WHERE " + compiled.whereClause, compiled.bindings);
    if (!result)
        return std::unexpected(result.error());
    return sqlite3_changes64(m_impl->connection);
}

std::expected<std::int64_t, DatabaseError> Database::updateRows(std::string_view table, std::string_view column,
    const DatabaseValue& value, const DatabaseQuery& query)
{
    if (auto checked = m_impl->requireWriteTransaction("update"); !checked)
        return std::unexpected(checked.error());
    if (auto checked = checkTable(table, query); !checked || !isDatabaseIdentifier(column))
        return std::unexpected(
            DatabaseError(DatabaseError::Code::invalidQuery, "unusable column in an update of " + std::string(table)));
    auto compiled = query.compile();
    std::vector<DatabaseValue> bindings {value};
    bindings.insert(bindings.end(), compiled.bindings.begin(), compiled.bindings.end());
    auto result = m_impl->run(
        "UPDATE " + quoted(table) + " SET " + quoted(column) + " = ? WHERE " + compiled.whereClause, bindings);
    if (!result)
        return std::unexpected(result.error());
    return sqlite3_changes64(m_impl->connection);
}

std::expected<std::int64_t, DatabaseError> Database::dataVersion()
{
    return m_impl->integer("PRAGMA data_version");
}

std::expected<std::string, DatabaseError> Database::integrityCheck()
{
    std::string report;
    char* message = nullptr;
    auto collect = [](void* context, int columns, char** values, char**) -> int {
        auto& text = *static_cast<std::string*>(context);
        if (!text.empty())
            text += '\n';
        text += columns > 0 && values[0] ? values[0] : "";
        return 0;
    };
    int code = sqlite3_exec(m_impl->connection, "PRAGMA integrity_check", collect, &report, &message);
    if (code == SQLITE_OK)
        return report;
    std::string text = message ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    return std::unexpected(databaseError(nullptr, code, "integrity_check: " + text));
}

std::expected<void, DatabaseError> Database::execute(std::string_view sql)
{
    char* message = nullptr;
    int code = sqlite3_exec(m_impl->connection, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (code == SQLITE_OK)
        return {};
    std::string text = message ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    return std::unexpected(databaseError(nullptr, code, "execute: " + text));
}

std::expected<DatabaseObservation, DatabaseError> Database::observe(DatabaseExecutor executor,
    std::function<void()> onChange) const
{
    return DatabaseObserver::observe(m_impl->configuration, std::move(executor), std::move(onChange));
}

} // namespace Platform
