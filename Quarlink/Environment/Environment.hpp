#pragma once

#include "Quarlink/Environment/APIEndpoint.hpp"

#include <optional>

namespace Quarlink {

// The service environment the application talks to: one of the three fixed
// environments, or a base URL of the user's choosing. An immutable value. It
// has no equality or text form of its own: the application keeps its own
// names for the cases in its settings.
class Environment final : public APIEndpoint {
public:
    enum class Kind {
        custom,
        test,
        stage,
        live,
    };

    // The given base URL, used exactly as it is (no "/v2.0" is added).
    [[nodiscard]] static Environment custom(Platform::URL baseURL);
    [[nodiscard]] static Environment test();
    [[nodiscard]] static Environment stage();
    [[nodiscard]] static Environment live();

    [[nodiscard]] Kind kind() const { return m_kind; }

    // For the fixed environments the base URL is a build setting
    // (QUARLINK_TEST_BASE_URL, QUARLINK_STAGE_BASE_URL, QUARLINK_LIVE_BASE_URL),
    // by default the bundled local service on loopback.
    [[nodiscard]] Platform::URL baseURL() const override;

private:
    Environment(Kind kind, std::optional<Platform::URL> customBaseURL)
        : m_kind(kind)
        , m_customBaseURL(std::move(customBaseURL))
    {
    }

    Kind m_kind;
    std::optional<Platform::URL> m_customBaseURL;
};

} // namespace Quarlink
