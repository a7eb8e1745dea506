#include "Platform/Database/DatabaseError.hpp"

#include <utility>

namespace Platform {

DatabaseError::DatabaseError(Code code, std::string message, int sqliteCode, std::string file)
    : m_code(code)
    , m_message(std::move(message))
    , m_sqliteCode(sqliteCode)
    , m_file(std::move(file))
{
}

std::string DatabaseError::description() const
{
    return std::string(toString(m_code)) + ": " + m_message;
}

const char* toString(DatabaseError::Code code)
{
    switch (code) {
    case DatabaseError::Code::cannotOpen:
        return "cannotOpen";
    case DatabaseError::Code::notADatabase:
        return "notADatabase";
    case DatabaseError::Code::schemaVersionMismatch:
        return "schemaVersionMismatch";
    case DatabaseError::Code::busy:
        return "busy";
    case DatabaseError::Code::statementFailed:
        return "statementFailed";
    case DatabaseError::Code::commitFailed:
        return "commitFailed";
    case DatabaseError::Code::transactionMisuse:
        return "transactionMisuse";
    case DatabaseError::Code::invalidQuery:
        return "invalidQuery";
    case DatabaseError::Code::observationFailed:
        return "observationFailed";
    }
    return "unknown";
}

} // namespace Platform
