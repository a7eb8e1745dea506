#pragma once

#include "Reactive/Action.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"

#include <memory>

namespace Quarlink {

class APIClient;

// Renews the session of a client whose requests the service rejected as
// unauthenticated. Implemented by the application (which asks the user for the
// password again and logs in) and installed on the client with
// `setSessionRefresher`.
class SessionRefresher {
public:
    using RefreshAction = Reactive::Action<std::shared_ptr<APIClient>, Reactive::Unit, Reactive::AnyError>;

    virtual ~SessionRefresher() = default;

    // The action that renews the session of the client given as its input: an
    // execution completes (its values are ignored) once the session is renewed
    // and fails when it cannot be. One long-lived action for the refresher's
    // whole life, so that every rejected request meets the same executing
    // state and joins the one renewal that runs. Called from any thread.
    [[nodiscard]] virtual RefreshAction& refreshSessionAction() = 0;
};

} // namespace Quarlink
