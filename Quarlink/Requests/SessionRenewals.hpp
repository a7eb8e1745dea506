#pragma once

#include "Reactive/AnyError.hpp"
#include "Reactive/Event.hpp"
#include "Reactive/Lifetime.hpp"
#include "Reactive/SignalProducer.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace Quarlink {

// How many session renewals may fail one original request: renewals whose new
// session refused it before the service accepted any request of that session.
// A session the service refuses from its start will not be accepted after
// another renewal either: each renewal is a login (and in the application a
// request for the customer data), so the request fails instead. A renewal
// whose session the service accepted for a while before it ended is no such
// failure and is not counted: a service that ends sessions after a few
// requests gets a renewal for each session that ran out.
inline constexpr std::size_t maximumSessionRenewals = 1;

// The renewals of one client's session, numbered: the session after the n-th
// completed renewal is that of epoch n (0 for the session before any).
// Every request that needs the session records the epoch its transfer started
// with, and one renewal serves every request refused with the session it
// replaced:
// - refused with an older epoch's session: sent again at once with the
//   newest, or after the renewal that runs, without a renewal of its own;
// - refused with the newest session: joins the renewal that runs, or starts one;
// - sent again after a renewal and refused with the renewed session before the
//   service accepted any request since that renewal began: that renewal
//   counts against the request, which fails once `maximumSessionRenewals` of
//   them did (a request sent for the first time may always have one renewal
//   of its own). While other requests are still on their way the verdict
//   waits for them: one of them accepted means the session was good and
//   merely ran out.
// Acceptances count from the renewal's start, not from its end, and whatever
// epoch the accepted request recorded: a renewal's new session is in place
// before the renewal ends (the application asks for the customer data with
// it first), so requests sent in between carry it under the older epoch.
// Every member may be called from any thread; no lock is held while a
// renewal is started or a verdict is handed over.
class SessionRenewals final : public std::enable_shared_from_this<SessionRenewals> {
public:
    using Epoch = std::uint64_t;
    using Ending = Reactive::Event<Reactive::Unit, Reactive::AnyError>;
    using Starter = std::function<Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>()>;

    // One renewal. Its end (completed, failed or interrupted) reaches every
    // observer once, also one that comes after the end.
    class Renewal {
    public:
        void observe(std::function<void(const Ending&)> observer);
        void end(const Ending& ending);

    private:
        std::mutex m_mutex;
        std::optional<Ending> m_ending;
        std::vector<std::function<void(const Ending&)>> m_observers;
    };

    // A transfer on its way with the session of `epoch()` (or a newer one). It
    // ends once: at `end`, or destroyed (then as not accepted).
    class Attempt {
    public:
        Attempt(std::shared_ptr<SessionRenewals> owner, Epoch epoch);
        ~Attempt();
        Attempt(const Attempt&) = delete;
        Attempt& operator=(const Attempt&) = delete;

        [[nodiscard]] Epoch epoch() const { return m_epoch; }
        [[nodiscard]] const std::shared_ptr<SessionRenewals>& owner() const { return m_owner; }
        // `accepted`: the service answered it under its session.
        void end(bool accepted);

    private:
        std::shared_ptr<SessionRenewals> m_owner;
        Epoch m_epoch;
        bool m_ended = false;
    };

    struct Verdict {
        enum class Kind {
            // Send the request again now.
            retry,
            // Send it again once `renewal` completed.
            renew,
            // It went through as many failed renewals as it may.
            exhausted,
        };
        Kind kind;
        // The renewals counted against the request from now on.
        std::size_t counted = 0;
        std::shared_ptr<Renewal> renewal;
    };

    // An attempt with the current session.
    [[nodiscard]] std::unique_ptr<Attempt> begin();

    // A request refused with the session of `epoch` (none: not known, taken as
    // the newest) that `counted` renewals counted against already; `repeated`:
    // it was sent again after an earlier refusal. `verdict` is
    // called once, at once or when the session's other requests decided it;
    // `start` makes the renewal when one has to start. A request whose
    // `lifetime` ended meanwhile gets no verdict and starts no renewal.
    void refused(std::optional<Epoch> epoch, std::size_t counted, bool repeated, Reactive::Lifetime lifetime, Starter start,
        std::function<void(const Verdict&)> verdict);

    [[nodiscard]] Epoch epoch() const;

private:
    struct Refusal {
        Epoch epoch;
        std::size_t counted;
        bool repeated;
        Reactive::Lifetime lifetime;
        Starter start;
        std::function<void(const Verdict&)> verdict;
    };
    // What to do once the lock is let go.
    struct Actions {
        std::vector<std::pair<std::function<void(const Verdict&)>, Verdict>> verdicts;
        std::shared_ptr<Renewal> renewalToStart;
        Starter start;
    };

    void ended(bool accepted);
    // The verdict on `refusal`, or none when it waits for the session's other requests.
    [[nodiscard]] std::optional<Verdict> judgeLocked(Refusal& refusal, Actions& actions);
    void settleWaitingLocked(Actions& actions);
    void run(Actions actions);
    void renewalEnded(const std::shared_ptr<Renewal>& renewal, const Ending& ending);

    mutable std::mutex m_mutex;
    Epoch m_epoch = 0;
    // Attempts the service accepted so far, and how many it had when the
    // renewal that made the current session began, and the running one.
    std::uint64_t m_acceptances = 0;
    std::uint64_t m_acceptancesBeforeSession = 0;
    std::uint64_t m_acceptancesBeforeRunning = 0;
    // Attempts of any epoch still on their way.
    std::size_t m_inFlight = 0;
    // The renewal of the current epoch's session, while it runs.
    std::shared_ptr<Renewal> m_running;
    // Refusals that wait for the answers still on their way.
    std::vector<Refusal> m_waiting;
};

} // namespace Quarlink
