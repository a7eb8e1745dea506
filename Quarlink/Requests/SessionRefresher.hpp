#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Requests/SessionRenewals.hpp"
#include "Reactive/Action.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <string_view>

namespace Quarlink {

// Renews a rejected session (in the application: asks the user for the
// password again and logs in). Requests that need authentication wait for the
// renewal and are then sent again.
class SessionRefresher {
public:
    using RefreshAction = Reactive::Action<std::shared_ptr<APIClient>, Reactive::Unit, Reactive::AnyError>;

    virtual ~SessionRefresher() = default;
    // The action that renews the session of the client given as its input: an
    // execution completes (its values are ignored) once the session is renewed
    // and fails when it cannot be. One long-lived action for the refresher's
    // whole life, so that every rejected request meets the same executing
    // state and joins the renewal that runs (`startOrObserve`). Read once per
    // recovery, from any thread.
    [[nodiscard]] virtual RefreshAction& refreshSessionAction() = 0;

    // The numbered renewals of the session of the client this refresher is
    // installed on, shared by every request that needs that session.
    [[nodiscard]] const std::shared_ptr<SessionRenewals>& renewals() const { return m_renewals; }

private:
    const std::shared_ptr<SessionRenewals> m_renewals = std::make_shared<SessionRenewals>();
};

// The key of the refresher in the client's user infos.
inline constexpr std::string_view sessionRefresherKey = "refresher";

// The installed refresher; null when none is installed or the entry holds something else.
[[nodiscard]] std::shared_ptr<SessionRefresher> sessionRefresher(const APIClient& client);
// Installs `refresher`; null removes the entry.
void setSessionRefresher(APIClient& client, std::shared_ptr<SessionRefresher> refresher);

} // namespace Quarlink
