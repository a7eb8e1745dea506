#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <string_view>

namespace Quarlink {

// Renews a rejected session (in the application: asks the user for the
// password again). Requests that need authentication wait for it and are then
// sent again. An implementation shares one renewal among the requests that
// ask while it runs.
class SessionRefresher {
public:
    virtual ~SessionRefresher() = default;
    // Completes when the session is renewed; fails when it cannot be.
    [[nodiscard]] virtual Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> refreshSession(APIClient& client) = 0;
};

// The key of the refresher in the client's user infos.
inline constexpr std::string_view sessionRefresherKey = "refresher";

// The installed refresher; null when none is installed or the entry holds something else.
[[nodiscard]] std::shared_ptr<SessionRefresher> sessionRefresher(const APIClient& client);
// Installs `refresher`; null removes the entry.
void setSessionRefresher(APIClient& client, std::shared_ptr<SessionRefresher> refresher);

} // namespace Quarlink
