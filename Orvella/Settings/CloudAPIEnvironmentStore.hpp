#pragma once

#include "Orvella/Settings/SettingsManager.hpp"
#include "Quarlink/Environment/APIEndpointStore.hpp"

#include <memory>
#include <optional>

namespace Orvella {

// Tells the API client which service environment is in force: the settings'
// `environment`, read at every call and never cached. Live's base URL is the
// build setting, or `ORVELLA_LIVE_BASE_URL` when that is set when the store
// is made (tests, a local run).
class CloudAPIEnvironmentStore final : public Quarlink::APIEnvironmentStore {
public:
    explicit CloudAPIEnvironmentStore(std::shared_ptr<SettingsManager> settingsManager);
    // The same with an explicit base URL for live (nothing: the build setting).
    CloudAPIEnvironmentStore(std::shared_ptr<SettingsManager> settingsManager, std::optional<Platform::URL> liveBaseURL);

    [[nodiscard]] std::shared_ptr<const Quarlink::APIEndpoint> currentEndpoint() const override;

    // `ORVELLA_LIVE_BASE_URL` when set to an absolute URL.
    [[nodiscard]] static std::optional<Platform::URL> liveBaseURLFromEnvironment();

private:
    std::shared_ptr<SettingsManager> m_settingsManager;
    std::optional<Platform::URL> m_liveBaseURL;
};

} // namespace Orvella
