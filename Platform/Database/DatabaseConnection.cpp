#include "Platform/Database/DatabaseConnection.hpp"

#include "Platform/Database/DatabaseChangeMonitor.hpp"

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Platform {

namespace {

DatabaseError openingError(const DatabaseError& error, const std::filesystem::path& file)
{
    return DatabaseError(error.code(), error.message() + " (" + file.string() + ")", error.sqliteCode(), file.string());
}


// Idle connections beyond this many per file are closed: more than a few
// threads rarely use one file at the same moment.
constexpr std::size_t idleConnectionsPerFile = 4;

struct Pool {
    std::mutex mutex;
    std::unordered_map<std::string, std::vector<std::unique_ptr<DatabaseConnection>>> idle;
    // The monitor key of each file name as given: canonicalising the name
    // walks the path on disk, once per file rather than once per checkout.
    std::unordered_map<std::string, std::string> keys;
};

// Never destroyed: handles may be returned while the process exits.
Pool& pool()
{
    static auto* instance = new Pool;
    return *instance;
}

} // namespace

std::optional<FileIdentity> identityOfFile(const std::filesystem::path& file)
{
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0)
        return std::nullopt;
    return FileIdentity { status.st_dev, status.st_ino };
}

DatabaseConnection::~DatabaseConnection()
{
    statements.clear();
    // Rolls back an open transaction.
    sqlite3_close_v2(connection);
}

// Creates the schema on a new file. Runs under BEGIN IMMEDIATE and reads the
// version again inside, so two processes opening a new file at once create
// the tables exactly once.
std::expected<void, DatabaseError> DatabaseConnection::createSchema()
{
    DatabaseConnection& impl = *this;
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

std::expected<std::unique_ptr<DatabaseConnection>, DatabaseError> DatabaseConnection::open(
    const DatabaseConfiguration& configuration)
{
    auto impl = std::make_unique<DatabaseConnection>();
    impl->configuration = configuration;
    impl->monitorKey = DatabaseChangeMonitor::keyFor(configuration.file);
    if (configuration.schema.version <= 0)
        return std::unexpected(DatabaseError(DatabaseError::Code::invalidQuery, "schema version must be positive"));

    // A new database starts as an empty file only its user may read: SQLite
    // gives the WAL and shared-memory files the mode of the database file.
    if (int created = ::open(configuration.file.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOFOLLOW, 0600); created >= 0)
        ::close(created);
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
    auto switchToWAL = [&] {
        return impl->run("PRAGMA journal_mode = WAL", {}, [&](const DatabaseRow& row) { journalMode = row.text(0); });
    };
    auto switched = switchToWAL();
    // Two connections switching a new file to WAL at once: SQLite answers one
    // of them "busy" at once, past its busy handler (waiting could deadlock),
    // so the switch is tried again within the busy time-out.
    const auto giveUp = std::chrono::steady_clock::now() + configuration.busyTimeout;
    while (!switched && switched.error().code() == DatabaseError::Code::busy
        && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        switched = switchToWAL();
    }
    if (!switched)
        return std::unexpected(openingError(switched.error(), configuration.file));
    if (journalMode != "wal")
        return std::unexpected(openingError(
            DatabaseError(DatabaseError::Code::cannotOpen, "WAL journal mode refused (" + journalMode + ")"),
            configuration.file));
    // A commit is on the disk when it returns: NORMAL keeps every commit
    // across a crash of the process, but a power loss undoes the commits since
    // the last checkpoint, and a record that was lost while what it described
    // stayed (a placed download, an answered upload) meets a later edit on
    // either side as an unknown item: a duplicate on the server. One sync of
    // the WAL per transaction is the price.
    if (auto full = impl->run("PRAGMA synchronous = FULL", {}); !full)
        return std::unexpected(openingError(full.error(), configuration.file));

    if (*version == 0) {
        if (auto created = impl->createSchema(); !created)
            return std::unexpected(openingError(created.error(), configuration.file));
    }
    impl->fileIdentity = identityOfFile(configuration.file);
    return impl;
}

namespace DatabaseConnectionPool {

static std::string monitorKey(const std::filesystem::path& file)
{
    {
        std::lock_guard lock(pool().mutex);
        if (auto found = pool().keys.find(file.string()); found != pool().keys.end())
            return found->second;
    }
    auto key = DatabaseChangeMonitor::keyFor(file);
    std::lock_guard lock(pool().mutex);
    return pool().keys.try_emplace(file.string(), std::move(key)).first->second;
}

std::expected<std::unique_ptr<DatabaseConnection>, DatabaseError> checkOut(const DatabaseConfiguration& configuration)
{
    auto key = monitorKey(configuration.file);
    auto identity = identityOfFile(configuration.file);
    std::unique_ptr<DatabaseConnection> reused;
    std::vector<std::unique_ptr<DatabaseConnection>> stale;
    if (identity) {
        std::lock_guard lock(pool().mutex);
        auto& idle = pool().idle[key];
        while (!idle.empty() && !reused) {
            auto candidate = std::move(idle.back());
            idle.pop_back();
            if (candidate->fileIdentity == identity
                && candidate->configuration.schema.version == configuration.schema.version)
                reused = std::move(candidate);
            else
                stale.push_back(std::move(candidate));
        }
    }
    // Stale connections close here, outside the pool's lock.
    stale.clear();
    if (!reused)
        return DatabaseConnection::open(configuration);

    reused->configuration = configuration;
    reused->monitorKey = key;
    sqlite3_busy_timeout(reused->connection, static_cast<int>(configuration.busyTimeout.count()));
    // Another process may have changed the version since this connection was opened.
    auto version = reused->integer("PRAGMA user_version");
    if (!version)
        return std::unexpected(openingError(version.error(), configuration.file));
    if (*version != configuration.schema.version)
        return std::unexpected(openingError(DatabaseError(DatabaseError::Code::schemaVersionMismatch,
                                                "the file holds schema version " + std::to_string(*version)
                                                    + ", expected " + std::to_string(configuration.schema.version)),
            configuration.file));
    return reused;
}

void checkIn(std::unique_ptr<DatabaseConnection> connection)
{
    if (!sqlite3_get_autocommit(connection->connection))
        sqlite3_exec(connection->connection, "ROLLBACK", nullptr, nullptr, nullptr);
    connection->inWriteTransaction = false;
    {
        std::lock_guard lock(pool().mutex);
        auto& idle = pool().idle[connection->monitorKey];
        if (idle.size() < idleConnectionsPerFile) {
            idle.push_back(std::move(connection));
            return;
        }
    }
    // Closed here, outside the lock, when `connection` goes.
}

void drain(const std::string& key)
{
    std::vector<std::unique_ptr<DatabaseConnection>> closing;
    {
        std::lock_guard lock(pool().mutex);
        auto found = pool().idle.find(key);
        if (found == pool().idle.end())
            return;
        closing = std::move(found->second);
        pool().idle.erase(found);
    }
}

} // namespace DatabaseConnectionPool

} // namespace Platform
