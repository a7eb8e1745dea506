#include "Quarlink/Requests/SessionRenewals.hpp"

#include <utility>

namespace Quarlink {

void SessionRenewals::Renewal::observe(std::function<void(const Ending&)> observer)
{
    std::optional<Ending> ending;
    {
        std::lock_guard lock(m_mutex);
        if (!m_ending) {
            m_observers.push_back(std::move(observer));
            return;
        }
        ending = m_ending;
    }
    observer(*ending);
}

void SessionRenewals::Renewal::end(const Ending& ending)
{
    std::vector<std::function<void(const Ending&)>> observers;
    {
        std::lock_guard lock(m_mutex);
        if (m_ending)
            return;
        m_ending = ending;
        observers.swap(m_observers);
    }
    for (auto& observer : observers)
        observer(ending);
}

SessionRenewals::Attempt::Attempt(std::shared_ptr<SessionRenewals> owner, Epoch epoch)
    : m_owner(std::move(owner))
    , m_epoch(epoch)
{
}

SessionRenewals::Attempt::~Attempt() { end(false); }

void SessionRenewals::Attempt::end(bool accepted)
{
    if (std::exchange(m_ended, true))
        return;
    m_owner->ended(accepted);
}

std::unique_ptr<SessionRenewals::Attempt> SessionRenewals::begin()
{
    Epoch epoch = 0;
    {
        std::lock_guard lock(m_mutex);
        epoch = m_epoch;
        ++m_inFlight;
    }
    return std::make_unique<Attempt>(shared_from_this(), epoch);
}

SessionRenewals::Epoch SessionRenewals::epoch() const
{
    std::lock_guard lock(m_mutex);
    return m_epoch;
}

void SessionRenewals::ended(bool accepted)
{
    Actions actions;
    {
        std::lock_guard lock(m_mutex);
        --m_inFlight;
        if (accepted)
            ++m_acceptances;
        settleWaitingLocked(actions);
    }
    run(std::move(actions));
}

void SessionRenewals::refused(std::optional<Epoch> epoch, std::size_t counted, bool repeated, Reactive::Lifetime lifetime, Starter start,
    std::function<void(const Verdict&)> verdict)
{
    Actions actions;
    {
        std::lock_guard lock(m_mutex);
        Refusal refusal { .epoch = epoch.value_or(m_epoch), .counted = counted, .repeated = repeated, .lifetime = std::move(lifetime),
            .start = std::move(start), .verdict = std::move(verdict) };
        if (auto judged = judgeLocked(refusal, actions))
            actions.verdicts.emplace_back(std::move(refusal.verdict), std::move(*judged));
        else
            m_waiting.push_back(std::move(refusal));
    }
    run(std::move(actions));
}

std::optional<SessionRenewals::Verdict> SessionRenewals::judgeLocked(Refusal& refusal, Actions& actions)
{
    auto renewing = [&](std::size_t counted) {
        if (!m_running) {
            m_running = std::make_shared<Renewal>();
            m_acceptancesBeforeRunning = m_acceptances;
            actions.renewalToStart = m_running;
            actions.start = refusal.start;
        }
        return Verdict { .kind = Verdict::Kind::renew, .counted = counted, .renewal = m_running };
    };
    // A renewal came after the request was sent: it tries the newest session.
    if (refusal.epoch < m_epoch) {
        if (m_running)
            return renewing(refusal.counted);
        return Verdict { .kind = Verdict::Kind::retry, .counted = refusal.counted };
    }
    // A request sent for the first time has a renewal of its own; the first
    // session was no renewal's; a renewed one the service accepted for a while
    // simply ran out.
    const bool failedRenewal = refusal.repeated && m_epoch > 0 && m_acceptances == m_acceptancesBeforeSession;
    if (!failedRenewal)
        return renewing(refusal.counted);
    // Answers still to come may show that the session was accepted after all.
    if (m_inFlight > 0)
        return std::nullopt;
    const auto counted = refusal.counted + 1;
    if (counted >= maximumSessionRenewals)
        return Verdict { .kind = Verdict::Kind::exhausted, .counted = counted };
    return renewing(counted);
}

void SessionRenewals::settleWaitingLocked(Actions& actions)
{
    if (m_waiting.empty())
        return;
    auto waiting = std::exchange(m_waiting, {});
    for (auto& refusal : waiting) {
        if (refusal.lifetime.hasEnded())
            continue;
        if (auto judged = judgeLocked(refusal, actions))
            actions.verdicts.emplace_back(std::move(refusal.verdict), std::move(*judged));
        else
            m_waiting.push_back(std::move(refusal));
    }
}

void SessionRenewals::run(Actions actions)
{
    // The renewal starts before any request hears of it; one that joins it
    // still makes its repetition before it starts that, as the renewal keeps its end.
    if (auto renewal = actions.renewalToStart) {
        std::weak_ptr<SessionRenewals> weakSelf = weak_from_this();
        using Producer = Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>;
        auto producer = actions.start ? actions.start()
                                      : Producer([](Reactive::Observer<Reactive::Unit, Reactive::AnyError> observer, Reactive::Lifetime) {
                                            observer.sendInterrupted();
                                        });
        // The handle is dropped: the renewal outlives every request that waits for it.
        (void)producer.startWithEvents([weakSelf, renewal](const Ending& event) {
            if (!event.isTerminating())
                return;
            if (auto self = weakSelf.lock())
                self->renewalEnded(renewal, event);
            else
                renewal->end(event);
        });
    }
    for (auto& [verdict, judged] : actions.verdicts)
        verdict(judged);
}

void SessionRenewals::renewalEnded(const std::shared_ptr<Renewal>& renewal, const Ending& ending)
{
    Actions actions;
    {
        std::lock_guard lock(m_mutex);
        if (m_running == renewal) {
            m_running.reset();
            if (ending.isCompleted()) {
                ++m_epoch;
                m_acceptancesBeforeSession = m_acceptancesBeforeRunning;
                // What waited for answers to the old session now tries the new one.
                settleWaitingLocked(actions);
            }
        }
    }
    renewal->end(ending);
    run(std::move(actions));
}

} // namespace Quarlink
