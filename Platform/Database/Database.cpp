#include "Platform/Database/Database.hpp"

#include "Platform/Database/DatabaseChangeMonitor.hpp"

#include <sqlite3.h>

#include <filesystem>
#include <string>
#include <unordered_map>
#include <utility>

namespace Platform {

struct Database::Impl {
    DatabaseConfiguration configuration;
    std::string monitorKey;
    sqlite3* connection = nullptr;
    bool inWriteTransaction = false;
    // Statements are prepared once per handle and reused: a store writes many
    // rows with the same few statements.
    std::unordered_map<std::string, DatabaseStatement> statements;

    ~Impl()
    {
        statements.clear();
        // Rolls back an open transaction.
        sqlite3_close_v2(connection);
    }

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

Database::Database(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

Database::Database(Database&&) noexcept = default;
Database& Database::operator=(Database&&) noexcept = default;
Database::~Database() = default;

namespace {

DatabaseError openingError(const DatabaseError& error, const std::filesystem::path& file)
{
    return DatabaseError(error.code(), error.message() + " (" + file.string() + ")", error.sqliteCode());
}

} // namespace

// Creates the schema on a new file. Runs under BEGIN IMMEDIATE and reads the
// version again inside, so two processes opening a new file at once create
// the tables exactly once.
std::expected<void, DatabaseError> Database::Impl::createSchema()
{
    Impl& impl = *this;
    const auto& schema = impl.configuration.schema;
    if (auto begun = impl.run("BEGIN IMMEDIATE", {}); !begun)
        return begun;
    auto rollback = [&](DatabaseError error) -> std::expected<void, DatabaseError> {
        sqlite3_exec(impl.connection, "ROLLBACK", nullptr, nullptr, nullptr);
        return std::unexpected(std::move(error));
    };
    auto version = impl.integer("PRAGMA user_version");
    auto tables = impl.integer("SELECT count(*) FROM sqlite_schema");
    if (!version)
        return rollback(version.error());
    if (!tables)
        return rollback(tables.error());
    if (*version == schema.version)
        return impl.run("COMMIT", {});
    if (*version != 0 || *tables != 0)
        return rollback(DatabaseError(DatabaseError::Code::schemaVersionMismatch,
            "the file holds schema version " + std::to_string(*version) + ", expected "
                + std::to_string(schema.version)));
    for (const auto& script : schema.scripts) {
        char* message = nullptr;
        int code = sqlite3_exec(impl.connection, script.c_str(), nullptr, nullptr, &message);
        if (code != SQLITE_OK) {
            std::string text = message ? message : sqlite3_errstr(code);
            sqlite3_free(message);
            return rollback(DatabaseError(DatabaseError::Code::statementFailed, "schema script: " + text, code));
        }
    }
    // PRAGMA takes no bound parameters; the version is our own integer.
    std::string setVersion = "PRAGMA user_version = " + std::to_string(schema.version);
    if (int code = sqlite3_exec(impl.connection, setVersion.c_str(), nullptr, nullptr, nullptr); code != SQLITE_OK)
        return rollback(databaseError(impl.connection, code, "set schema version"));
    return impl.run("COMMIT", {});
}

std::expected<Database, DatabaseError> Database::open(const DatabaseConfiguration& configuration)
{
    auto impl = std::make_unique<Impl>();
    impl->configuration = configuration;
    impl->monitorKey = DatabaseChangeMonitor::keyFor(configuration.file);
    if (configuration.schema.version <= 0)
        return std::unexpected(DatabaseError(DatabaseError::Code::invalidQuery, "schema version must be positive"));

    int code = sqlite3_open_v2(configuration.file.c_str(), &impl->connection,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (code != SQLITE_OK)
        return std::unexpected(openingError(databaseError(impl->connection, code, "open"), configuration.file));
    sqlite3_extended_result_codes(impl->connection, 1);
    sqlite3_busy_timeout(impl->connection, static_cast<int>(configuration.busyTimeout.count()));

    // The first read of the header tells a database from any other file,
    // before anything could be written to it.
    auto version = impl->integer("PRAGMA user_version");
    if (!version)
        return std::unexpected(openingError(version.error(), configuration.file));
    if (*version != 0 && *version != configuration.schema.version)
        return std::unexpected(openingError(DatabaseError(DatabaseError::Code::schemaVersionMismatch,
                                                "the file holds schema version " + std::to_string(*version)
                                                    + ", expected " + std::to_string(configuration.schema.version)),
            configuration.file));

    std::string journalMode;
    auto switched = impl->run("PRAGMA journal_mode = WAL", {},
        [&](const DatabaseRow& row) { journalMode = row.text(0); });
    if (!switched)
        return std::unexpected(openingError(switched.error(), configuration.file));
    if (journalMode != "wal")
        return std::unexpected(openingError(
            DatabaseError(DatabaseError::Code::cannotOpen, "WAL journal mode refused (" + journalMode + ")"),
            configuration.file));
    // In WAL mode NORMAL never corrupts the file and keeps every commit across
    // a crash of the process; only a power loss may undo the latest commits.
    if (auto normal = impl->run("PRAGMA synchronous = NORMAL", {}); !normal)
        return std::unexpected(openingError(normal.error(), configuration.file));

    if (*version == 0) {
        if (auto created = impl->createSchema(); !created)
            return std::unexpected(openingError(created.error(), configuration.file));
    }
    return Database(std::move(impl));
}

std::expected<void, DatabaseError> Database::removeFiles(const DatabaseConfiguration& configuration)
{
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
