#include "Sync/Store/StoreError.hpp"

#include <utility>

namespace Sync {

StoreError::StoreError(std::string databaseFile, Platform::DatabaseError cause)
    : m_databaseFile(databaseFile.empty() ? cause.file() : std::move(databaseFile))
    , m_cause(std::move(cause))
{
}

bool StoreError::isOpeningFailure() const
{
    using Code = Platform::DatabaseError::Code;
    switch (m_cause.code()) {
    case Code::cannotOpen:
    case Code::notADatabase:
    case Code::schemaVersionMismatch:
        return true;
    default:
        return false;
    }
}

std::string StoreError::description() const
{
    return "Stored state " + (m_databaseFile.empty() ? std::string("(unknown file)") : m_databaseFile) + ": "
        + m_cause.description();
}

std::string StoreError::localizedDescription() const
{
    const auto file = m_databaseFile.empty() ? std::string("der Datenbank") : "„" + m_databaseFile + "“";
    if (isOpeningFailure())
        return "Der Sync-Zustand in " + file + " kann nicht geöffnet werden. Die Synchronisierung wurde angehalten.";
    return "Der Sync-Zustand kann nicht in " + file
        + " gespeichert werden (Datenträger voll oder schreibgeschützt?). Die Synchronisierung wurde angehalten.";
}

} // namespace Sync
