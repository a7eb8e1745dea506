#pragma once

#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <memory>
#include <string>

namespace Quarlink {

// How many session renewals one original request may go through. A session
// the service rejects right after a renewal will not be accepted after
// another one: each renewal is a login (and in the application a request for
// the customer data), so the request fails instead.
inline constexpr std::size_t maximumSessionRenewals = 1;

namespace Detail {

// `perform` of a request sent again after `renewals` session renewals.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> performAttempt(const R& request,
    const std::shared_ptr<APIClient>& client, std::size_t renewals);

// Logs that a request gave up after the last renewal the bound allows.
void logRenewalsExhausted(const std::string& path);

// A producer made once, on first demand, by whichever thread asks first.
template<class V>
class OnceProducer {
public:
    using Maker = std::function<std::optional<Reactive::SignalProducer<V, Reactive::AnyError>>()>;
    explicit OnceProducer(Maker maker)
        : m_maker(std::move(maker))
    {
    }
    [[nodiscard]] const std::optional<Reactive::SignalProducer<V, Reactive::AnyError>>& get()
    {
        std::call_once(m_once, [this] { m_producer = m_maker(); });
        return m_producer;
    }

private:
    std::once_flag m_once;
    Maker m_maker;
    std::optional<Reactive::SignalProducer<V, Reactive::AnyError>> m_producer;
};

} // namespace Detail

// The recovery of every request that needs authentication, for the failure
// `error` of an attempt that `renewals` renewals preceded:
// - a failure other than `RemoteError::authenticationRequired` (seen beneath
//   any presentable wrapping) passes on unchanged, at once;
// - without an installed session refresher: `APIClientError::notLoggedIn`, at once;
// - after `maximumSessionRenewals` renewals: the same failure, at once;
// - otherwise, at start, the refresher's action through `startOrObserve` with
//   the client (joining the renewal that runs, or starting one); right after
//   joining or starting, the repeated request is made (so its gate is asked
//   then, before the renewal can end for this caller), and once the renewal
//   completes it is started: the whole request again (gate, transfer,
//   validation, parsing, its own recovery, its completion hook). A failed
//   renewal fails the result with the renewal's error and an interrupted one
//   interrupts it; the request is then not sent again.
// Disposing the result never cancels the renewal, which other requests may
// share. The refresher is kept alive while the result runs. Runs on the thread
// that delivers the failure; the renewal's end may come on any thread.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> recoverByRenewingSession(
    const R& request, const Reactive::AnyError& error, const std::shared_ptr<APIClient>& client, std::size_t renewals)
{
    using Value = typename R::SuccessValue;
    using Producer = Reactive::SignalProducer<Value, Reactive::AnyError>;
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
    std::weak_ptr<APIClient> weakClient = client;
    return Producer([refresher, renewal, request, weakClient, renewals](Reactive::Observer<Value, Reactive::AnyError> observer,
                        Reactive::Lifetime lifetime) {
        // Made once, by whichever comes first: the end of joining, or the renewal's completion.
        auto repeated = std::make_shared<Detail::OnceProducer<Value>>([request, weakClient, renewals]() -> std::optional<Producer> {
            auto strongClient = weakClient.lock();
            if (!strongClient)
                return std::nullopt;
            return Detail::performAttempt(request, strongClient, renewals + 1);
        });
        lifetime += renewal.startWithEvents([repeated, observer, lifetime](const Reactive::Event<Reactive::Unit, Reactive::AnyError>& event) {
            if (event.isFailed()) {
                observer.sendFailed(event.error());
            } else if (event.isInterrupted()) {
                observer.sendInterrupted();
            } else if (event.isCompleted()) {
                if (auto producer = repeated->get())
                    lifetime += producer->start(observer);
                else
                    observer.sendInterrupted();
            }
        });
        (void)repeated->get();
    });
}

} // namespace Quarlink
