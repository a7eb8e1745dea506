#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstddef>
#include <memory>
#include <string>

namespace Quarlink {

// How many session renewals one original request may go through. A service
// that keeps rejecting renewed sessions would otherwise be asked for ever.
inline constexpr std::size_t maximumSessionRenewals = 3;

namespace Detail {

// `perform` of a request sent again after `renewals` session renewals.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> performAttempt(const R& request,
    const std::shared_ptr<APIClient>& client, std::size_t renewals);

// Logs that a request gave up after the last renewal the bound allows.
void logRenewalsExhausted(const std::string& path);

} // namespace Detail

// The recovery of every request that needs authentication, for the failure
// `error` of an attempt that `renewals` renewals preceded:
// - a failure other than `RemoteError::authenticationRequired` (seen beneath
//   any presentable wrapping) passes on unchanged, at once;
// - without an installed session refresher: `APIClientError::notLoggedIn`, at once;
// - after `maximumSessionRenewals` renewals: the same failure, at once;
// - otherwise the refresher's action through `startOrObserve` with the client
//   (joining the renewal that runs, or starting one), then, once it completes,
//   the whole request again (gate, transfer, validation, parsing, its own
//   recovery, its completion hook). A failed renewal fails the result with the
//   renewal's error and an interrupted one interrupts it; the request is then
//   not sent again. The repeated request's producer is made here, so its gate
//   is asked now; nothing is sent before the renewal completes.
// Disposing the result never cancels the renewal, which other requests may
// share. The refresher is kept alive while the result runs. Runs on the thread
// that delivers the failure; takes no lock.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> recoverByRenewingSession(
    const R& request, const Reactive::AnyError& error, const std::shared_ptr<APIClient>& client, std::size_t renewals)
{
    using Producer = Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError>;
    if (!RemoteError::matches(underlyingError(error), RemoteError::Case::authenticationRequired))
        return Producer::error(error);
    auto refresher = sessionRefresher(*client);
    if (!refresher)
        return Producer::error(Reactive::AnyError(APIClientError::notLoggedIn()));
    if (renewals >= maximumSessionRenewals) {
        Detail::logRenewalsExhausted(std::string(request.path()));
        return Producer::error(error);
    }
    auto renewal = refresher->refreshSessionAction().startOrObserve(client);
    auto renewedAndSentAgain = renewal.then(Detail::performAttempt(request, client, renewals + 1));
    return Producer([refresher, renewedAndSentAgain](Reactive::Observer<typename R::SuccessValue, Reactive::AnyError> observer,
                        Reactive::Lifetime lifetime) { lifetime += renewedAndSentAgain.start(observer); });
}

} // namespace Quarlink
