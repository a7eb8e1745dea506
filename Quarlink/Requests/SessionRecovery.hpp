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

namespace Detail {

// What a request's earlier attempts leave to its next one.
struct RenewalHistory {
    // Renewals counted against the request (see `SessionRenewals`).
    std::size_t counted = 0;
    // Sent again after its session was refused.
    bool repeated = false;
};

// The session an attempt's transfer started with: the epoch of the installed
// refresher's renewals, or none when no refresher was installed.
struct AttemptSession {
    std::shared_ptr<SessionRenewals> renewals;
    SessionRenewals::Epoch epoch = 0;
};

// `perform` of a request with the history of its earlier attempts.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> performAttempt(const R& request,
    const std::shared_ptr<APIClient>& client, RenewalHistory history);

// An attempt on its way with the current session of `client`'s installed
// refresher; null without one.
[[nodiscard]] std::unique_ptr<SessionRenewals::Attempt> beginSessionAttempt(const APIClient& client);

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
// `error` of an attempt sent with `session`, after `history`:
// - a failure other than `RemoteError::authenticationRequired` (seen beneath
//   any presentable wrapping) passes on unchanged, at once;
// - without an installed session refresher: `APIClientError::notLoggedIn`, at once;
// - otherwise the refresher's renewals judge the refusal (`SessionRenewals`):
//   the request is sent again at once (a renewal came after it was sent); or,
//   once the renewal that runs (or that this refusal starts, through the
//   refresher's action's `startOrObserve` with the client) completed; or, when
//   it went through as many failed renewals as `maximumSessionRenewals`
//   allows, fails with `error`. The verdict may wait for the answers to the
//   session's other requests still on their way.
// When it waits for a renewal, the repeated request is made right after
// joining or starting it (so its gate is asked then, before the renewal can end
// for this caller), and once the renewal completes it is started: the whole
// request again (gate, transfer, validation, parsing, its own recovery, its
// completion hook). A failed renewal fails the result with the renewal's
// error and an interrupted one interrupts it; the request is then not sent
// again. Disposing the result never cancels the renewal, which other requests
// may share. The refresher is kept alive while the result runs. Runs on the
// thread that delivers the failure; the verdict and the renewal's end may come
// on any thread.
template<class R>
[[nodiscard]] Reactive::SignalProducer<typename R::SuccessValue, Reactive::AnyError> recoverByRenewingSession(
    const R& request, const Reactive::AnyError& error, const std::shared_ptr<APIClient>& client, Detail::RenewalHistory history,
    const Detail::AttemptSession& session)
{
    using Value = typename R::SuccessValue;
    using Producer = Reactive::SignalProducer<Value, Reactive::AnyError>;
    using Verdict = SessionRenewals::Verdict;
    if (!RemoteError::matches(underlyingError(error), RemoteError::Case::authenticationRequired))
        return Producer::error(error);
    auto refresher = sessionRefresher(*client);
    if (!refresher)
        return Producer::error(Reactive::AnyError(APIClientError::notLoggedIn()));
    auto renewals = refresher->renewals();
    // An attempt sent under another refresher tells nothing about this one's sessions.
    std::optional<SessionRenewals::Epoch> epoch;
    if (session.renewals == renewals)
        epoch = session.epoch;
    std::weak_ptr<APIClient> weakClient = client;
    return Producer([refresher, renewals, epoch, request, error, weakClient, history](
                        Reactive::Observer<Value, Reactive::AnyError> observer, Reactive::Lifetime lifetime) {
        // The refresher lives while the result runs.
        (void)lifetime.observeEnded([refresher] {});
        std::weak_ptr<SessionRefresher> weakRefresher = refresher;
        auto start = [weakRefresher, weakClient]() -> Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> {
            auto strongRefresher = weakRefresher.lock();
            auto strongClient = weakClient.lock();
            if (!strongRefresher || !strongClient)
                return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::error(
                    Reactive::AnyError(APIClientError::notLoggedIn()));
            return strongRefresher->refreshSessionAction().startOrObserve(strongClient);
        };
        renewals->refused(epoch, history.counted, history.repeated, lifetime, std::move(start),
            [request, error, weakClient, observer, lifetime](const Verdict& verdict) {
                const Detail::RenewalHistory next { .counted = verdict.counted, .repeated = true };
                switch (verdict.kind) {
                case Verdict::Kind::exhausted:
                    Detail::logRenewalsExhausted(std::string(request.path()));
                    observer.sendFailed(error);
                    return;
                case Verdict::Kind::retry:
                    if (auto strongClient = weakClient.lock())
                        lifetime += Detail::performAttempt(request, strongClient, next).start(observer);
                    else
                        observer.sendInterrupted();
                    return;
                case Verdict::Kind::renew:
                    break;
                }
                // Made once, by whichever comes first: the end of joining, or the renewal's completion.
                auto repeated = std::make_shared<Detail::OnceProducer<Value>>([request, weakClient, next]() -> std::optional<Producer> {
                    auto strongClient = weakClient.lock();
                    if (!strongClient)
                        return std::nullopt;
                    return Detail::performAttempt(request, strongClient, next);
                });
                verdict.renewal->observe([repeated, observer, lifetime](const SessionRenewals::Ending& ending) {
                    if (ending.isFailed()) {
                        observer.sendFailed(ending.error());
                    } else if (ending.isInterrupted()) {
                        observer.sendInterrupted();
                    } else if (ending.isCompleted()) {
                        if (auto producer = repeated->get())
                            lifetime += producer->start(observer);
                        else
                            observer.sendInterrupted();
                    }
                });
                (void)repeated->get();
            });
    });
}

} // namespace Quarlink
