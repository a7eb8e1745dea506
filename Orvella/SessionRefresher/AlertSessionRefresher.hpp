#pragma once

// Orvella/SessionRefresher: renewing a session the service rejected: a silent
// login with the stored credentials, else the password window, once for all
// requests that wait.

#include "Orvella/Resolver/Resolver.hpp"
#include "Orvella/Service/AlertSessionRefresherDelegate.hpp"
#include "Orvella/SessionRefresher/PasswordWindowNavigator.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <chrono>
#include <memory>
#include <mutex>

namespace Orvella {

// The application's session refresher. A renewal first logs in again with
// the client's stored credentials (through the delegate when one is set,
// else directly). Only when the service refuses them does it show the
// password window (`PasswordWindowNavigator`, resolved from the container)
// and wait for the user:
// - no stored credentials: fails with `APIClientError::notLoggedIn`;
// - the silent login fails otherwise than `RemoteError::loginFailed`: fails with that error;
// - credentials gone by the time the window would show, or no window can be
//   had: fails with `loginFailed` (logged with "❗️");
// - a login or a logout in the window completes the renewal at once and
//   closes the window 0.25 s later;
// - the window closed without either fails with `loginFailed`, so waiting
//   requests end instead of waiting for the rest of the process.
// Simultaneous rejections join the one running renewal (the action's
// `startOrObserve`), so the window comes once however many requests failed.
//
// Threading: the action may be started from any thread; the window work runs
// on `mainQueue`. The container must outlive the refresher (it holds it).
class AlertSessionRefresher final : public Quarlink::SessionRefresher,
                                    public std::enable_shared_from_this<AlertSessionRefresher> {
public:
    static constexpr std::chrono::milliseconds closeDelay { 250 };

    AlertSessionRefresher(Resolver& resolver, std::shared_ptr<Reactive::DateScheduler> mainQueue);

    // Held weakly.
    void setDelegate(std::weak_ptr<AlertSessionRefresherDelegate> delegate);
    [[nodiscard]] std::shared_ptr<AlertSessionRefresherDelegate> delegate() const;

    // Made on first use and kept; its execution holds the refresher weakly.
    [[nodiscard]] RefreshAction& refreshSessionAction() override;

private:
    using Renewal = Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>;

    [[nodiscard]] Renewal refresh(const std::shared_ptr<Quarlink::APIClient>& client);
    [[nodiscard]] Renewal askForPassword(const std::shared_ptr<Quarlink::APIClient>& client);
    void closeHeldWindowLater(const std::shared_ptr<PasswordWindowNavigator>& navigator);

    mutable std::mutex m_mutex;
    std::weak_ptr<AlertSessionRefresherDelegate> m_delegate;
    Resolver& m_resolver;
    std::shared_ptr<Reactive::DateScheduler> m_mainQueue;
    std::once_flag m_actionOnce;
    std::unique_ptr<RefreshAction> m_refreshSessionAction;
};

} // namespace Orvella
