#pragma once

#include "Platform/Foundation/URL.hpp"
#include "Quarlink/Identity/Credentials.hpp"
#include "Quarlink/Session/WorldID.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/SignalProducer.hpp"

#include <memory>
#include <optional>

namespace Quarlink {

class APIClient;

// Logs in with `credentials` in `world`, or in the client's stored world when
// none is given. Lazy: each start sends one `LoginRequest` through the whole
// pipeline; on success one empty value, then completion. Failures reach the
// caller unchanged (a refused password is `RemoteError::loginFailed`, a locked
// account `accountTemporaryLocked` or `accountPermanentlyLocked`); a login is
// never retried and never renews a session. Nothing is stored: neither the
// credentials nor the world nor anything of the answer; the session lives in
// the client's cookies.
[[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> login(const std::shared_ptr<APIClient>& client,
    const Credentials& credentials, std::optional<WorldID> world = std::nullopt);

// A link that logs the current user in on the service's web pages. Lazy: each
// start sends one `CreateLoginHashRequest`; a rejected session is renewed and
// the request sent again. An answer without a usable link fails with the
// decoder's error.
[[nodiscard]] Reactive::SignalProducer<Platform::URL, Reactive::AnyError> loginHashURL(const std::shared_ptr<APIClient>& client);

} // namespace Quarlink
