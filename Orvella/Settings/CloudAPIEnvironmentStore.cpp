#include "Orvella/Settings/CloudAPIEnvironmentStore.hpp"

#include <cstdlib>

namespace Orvella {

CloudAPIEnvironmentStore::CloudAPIEnvironmentStore(std::shared_ptr<SettingsManager> settingsManager)
    : CloudAPIEnvironmentStore(std::move(settingsManager), liveBaseURLFromEnvironment())
{
}

CloudAPIEnvironmentStore::CloudAPIEnvironmentStore(std::shared_ptr<SettingsManager> settingsManager,
    std::optional<Platform::URL> liveBaseURL)
    : m_settingsManager(std::move(settingsManager))
    , m_liveBaseURL(std::move(liveBaseURL))
{
}

std::shared_ptr<const Quarlink::APIEndpoint> CloudAPIEnvironmentStore::currentEndpoint() const
{
    auto environment = m_settingsManager->environment().value();
    if (environment.kind() == Quarlink::Environment::Kind::live && m_liveBaseURL)
        return std::make_shared<Quarlink::Environment>(Quarlink::Environment::custom(*m_liveBaseURL));
    return std::make_shared<Quarlink::Environment>(std::move(environment));
}

std::optional<Platform::URL> CloudAPIEnvironmentStore::liveBaseURLFromEnvironment()
{
    const char* text = std::getenv("ORVELLA_LIVE_BASE_URL");
    if (!text || !*text)
        return std::nullopt;
    return Platform::URL::create(text);
}

} // namespace Orvella
