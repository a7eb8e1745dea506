#include "Platform/Database/DatabaseStatement.hpp"

#include <sqlite3.h>

#include <utility>

namespace Platform {

DatabaseError databaseError(sqlite3* connection, int code, std::string_view context)
{
    std::string message(context);
    message += ": ";
    message += connection ? sqlite3_errmsg(connection) : sqlite3_errstr(code);
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return DatabaseError(DatabaseError::Code::busy, std::move(message), code);
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return DatabaseError(DatabaseError::Code::notADatabase, std::move(message), code);
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return DatabaseError(DatabaseError::Code::cannotOpen, std::move(message), code);
    default:
        return DatabaseError(DatabaseError::Code::statementFailed, std::move(message), code);
    }
}

std::int64_t DatabaseRow::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

double DatabaseRow::real(int column) const
{
    return sqlite3_column_double(m_statement, column);
}

std::string DatabaseRow::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    int length = sqlite3_column_bytes(m_statement, column);
    return bytes ? std::string(bytes, static_cast<std::size_t>(length)) : std::string();
}

DatabaseBlob DatabaseRow::blob(int column) const
{
    const auto* bytes = static_cast<const std::uint8_t*>(sqlite3_column_blob(m_statement, column));
    int length = sqlite3_column_bytes(m_statement, column);
    return bytes ? DatabaseBlob(bytes, bytes + length) : DatabaseBlob();
}

DatabaseStatement::DatabaseStatement(DatabaseStatement&& other) noexcept
    : m_statement(std::exchange(other.m_statement, nullptr))
{
}

DatabaseStatement& DatabaseStatement::operator=(DatabaseStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(m_statement);
        m_statement = std::exchange(other.m_statement, nullptr);
    }
    return *this;
}

DatabaseStatement::~DatabaseStatement()
{
    sqlite3_finalize(m_statement);
}

std::expected<DatabaseStatement, DatabaseError> DatabaseStatement::prepare(sqlite3* connection, std::string_view sql)
{
    sqlite3_stmt* statement = nullptr;
    int code = sqlite3_prepare_v3(connection, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
        &statement, nullptr);
    if (code != SQLITE_OK) {
        sqlite3_finalize(statement);
        return std::unexpected(databaseError(connection, code, "prepare"));
    }
    return DatabaseStatement(statement);
}

std::expected<void, DatabaseError> DatabaseStatement::bind(std::span<const DatabaseValue> values)
{
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    for (std::size_t index = 0; index < values.size(); ++index) {
        int position = static_cast<int>(index + 1);
        int code = std::visit(
            [&](const auto& value) -> int {
                using Value = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<Value, std::int64_t>)
                    return sqlite3_bind_int64(m_statement, position, value);
                else if constexpr (std::is_same_v<Value, double>)
                    return sqlite3_bind_double(m_statement, position, value);
                else if constexpr (std::is_same_v<Value, std::string>)
                    return sqlite3_bind_text64(m_statement, position, value.data(), value.size(), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
                else
                    return sqlite3_bind_blob64(m_statement, position, value.empty() ? "" : (const void*)value.data(),
                        value.size(), SQLITE_TRANSIENT);
            },
            values[index]);
        if (code != SQLITE_OK)
            return std::unexpected(databaseError(sqlite3_db_handle(m_statement), code, "bind"));
    }
    return {};
}

std::expected<bool, DatabaseError> DatabaseStatement::step()
{
    int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW)
        return true;
    if (code == SQLITE_DONE) {
        sqlite3_reset(m_statement);
        return false;
    }
    auto error = databaseError(sqlite3_db_handle(m_statement), code, "step");
    sqlite3_reset(m_statement);
    return std::unexpected(std::move(error));
}

} // namespace Platform
