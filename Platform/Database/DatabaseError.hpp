#pragma once

#include <string>

namespace Platform {

// A failure of the database layer. Opening failures have their own codes so
// that the application can tell a file it must delete (not a database, other
// schema version) from one it merely cannot reach right now.
class [[nodiscard]] DatabaseError {
public:
    // Persisted in logs only, but keep the values stable: never renumber or reuse values.
    enum class Code {
        // The file exists but cannot be opened or read (permissions, I/O, a directory).
        cannotOpen = 1,
        // The file is not an SQLite database, or its content is damaged.
        notADatabase = 2,
        // The file is a database of another schema version, or of an unknown layout.
        schemaVersionMismatch = 3,
        // Another connection held the lock longer than the busy time-out.
        busy = 4,
        // A statement failed (disk full, constraint, I/O while reading or writing).
        statementFailed = 5,
        // The commit of a write transaction failed; the transaction was rolled back.
        commitFailed = 6,
        // A write was attempted outside a write transaction, or a transaction was nested.
        transactionMisuse = 7,
        // A query named a column that is not a plain identifier, or carried an unusable value.
        invalidQuery = 8,
        // Change observation could not be set up (inotify, thread).
        observationFailed = 9,
    };

    DatabaseError(Code code, std::string message, int sqliteCode = 0, std::string file = {});

    Code code() const { return m_code; }
    // The SQLite result code behind the failure, 0 when there is none.
    int sqliteCode() const { return m_sqliteCode; }
    const std::string& message() const { return m_message; }
    // The database file a failure to open is about; empty for other failures.
    const std::string& file() const { return m_file; }
    // One line for logs: "<code name>: <message>".
    std::string description() const;

    bool operator==(const DatabaseError&) const = default;

private:
    Code m_code;
    std::string m_message;
    int m_sqliteCode;
    std::string m_file;
};

const char* toString(DatabaseError::Code code);

} // namespace Platform
