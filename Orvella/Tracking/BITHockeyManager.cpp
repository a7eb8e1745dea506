#include "Orvella/Tracking/BITHockeyManager.hpp"

#include "Platform/Foundation/Log.hpp"

namespace Orvella {

void BITHockeyManager::configureWithIdentifier(std::string identifier)
{
    m_identifier = std::move(identifier);
    Platform::Log::line("Absturzberichte: eingerichtet für " + m_identifier + " (nur Protokoll)");
}

void BITHockeyManager::startManager()
{
    m_started = true;
    Platform::Log::line(std::string("Absturzberichte: gestartet, Absturzmeldungen ") + (m_crashManagerDisabled ? "aus" : "an") + ", Nutzungsdaten "
        + (m_metricsManagerDisabled ? "aus" : "an"));
}

} // namespace Orvella
