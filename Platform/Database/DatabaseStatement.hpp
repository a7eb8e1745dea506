#pragma once

#include "Platform/Database/DatabaseError.hpp"
#include "Platform/Database/DatabaseValue.hpp"

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace Platform {

// The current row of a running query, read column by column (0-based, in the
// order the query selected them). Valid only inside the row callback.
class DatabaseRow {
public:
    explicit DatabaseRow(sqlite3_stmt* statement)
        : m_statement(statement)
    {
    }

    std::int64_t integer(int column) const;
    double real(int column) const;
    std::string text(int column) const;
    DatabaseBlob blob(int column) const;

    void read(int column, std::int64_t& value) const { value = integer(column); }
    void read(int column, double& value) const { value = real(column); }
    void read(int column, std::string& value) const { value = text(column); }
    void read(int column, DatabaseBlob& value) const { value = blob(column); }

private:
    sqlite3_stmt* m_statement;
};

// A prepared statement, owned; finalised on destruction. Not copyable.
class DatabaseStatement {
public:
    DatabaseStatement() = default;
    DatabaseStatement(DatabaseStatement&& other) noexcept;
    DatabaseStatement& operator=(DatabaseStatement&& other) noexcept;
    DatabaseStatement(const DatabaseStatement&) = delete;
    DatabaseStatement& operator=(const DatabaseStatement&) = delete;
    ~DatabaseStatement();

    static std::expected<DatabaseStatement, DatabaseError> prepare(sqlite3* connection, std::string_view sql);

    // Resets the statement and binds `values` to its placeholders in order.
    std::expected<void, DatabaseError> bind(std::span<const DatabaseValue> values);
    // Steps to the end; for each row, calls `onRow` (when given).
    template <class OnRow>
    std::expected<void, DatabaseError> run(OnRow&& onRow)
    {
        while (true) {
            auto stepped = step();
            if (!stepped)
                return std::unexpected(stepped.error());
            if (!*stepped)
                return {};
            onRow(DatabaseRow(m_statement));
        }
    }
    std::expected<void, DatabaseError> run()
    {
        return run([](const DatabaseRow&) {});
    }

private:
    explicit DatabaseStatement(sqlite3_stmt* statement)
        : m_statement(statement)
    {
    }
    // True while a row is available, false at the end.
    std::expected<bool, DatabaseError> step();

    sqlite3_stmt* m_statement = nullptr;
};

// The error for the SQLite result `code` on `connection`, classified into our codes.
DatabaseError databaseError(sqlite3* connection, int code, std::string_view context);

} // namespace Platform
