#include "Orvella/Service/SyncAdapterError.hpp"

#include "Platform/Foundation/URL.hpp"

namespace Orvella {

std::string SyncAdapterError::subject() const
{
    switch (m_case) {
    case Case::refusedPath: return "Ungültiger Pfad";
    case Case::notAFolder: return "Aufruf fehlgeschlagen";
    }
    return "Aufruf fehlgeschlagen";
}

std::string SyncAdapterError::reason() const
{
    switch (m_case) {
    case Case::refusedPath:
        return "Der Pfad „" + Platform::percentEncoded(m_path, "/ ") + "“ liegt nicht im Cloud-Ordner und wird nicht synchronisiert.";
    case Case::notAFolder: return "Unerwarteter Fehler beim Verarbeiten der Anfrage.";
    }
    return "Unerwarteter Fehler beim Verarbeiten der Anfrage.";
}

std::string SyncAdapterError::description() const
{
    auto shown = Platform::percentEncoded(m_path, "/ ");
    switch (m_case) {
    case Case::refusedPath: return "SyncAdapterError.refusedPath(" + shown + ")";
    case Case::notAFolder: return "SyncAdapterError.notAFolder(" + shown + ")";
    }
    return "SyncAdapterError";
}

} // namespace Orvella
