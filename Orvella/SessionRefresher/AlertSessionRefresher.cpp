#include "Orvella/SessionRefresher/AlertSessionRefresher.hpp"

#include "Platform/Foundation/Log.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Errors/RemoteError.hpp"
#include "Quarlink/Session/SessionOperations.hpp"
#include "Reactive/Disposables/CompositeDisposable.hpp"

#include <atomic>

namespace Orvella {

namespace {

Reactive::AnyError loginFailed() { return Reactive::AnyError(Quarlink::RemoteError(Quarlink::RemoteError::Case::loginFailed)); }

} // namespace

AlertSessionRefresher::AlertSessionRefresher(Resolver& resolver, std::shared_ptr<Reactive::DateScheduler> mainQueue)
    : m_resolver(resolver)
    , m_mainQueue(std::move(mainQueue))
{
}

void AlertSessionRefresher::setDelegate(std::weak_ptr<AlertSessionRefresherDelegate> delegate)
{
    std::lock_guard lock(m_mutex);
    m_delegate = std::move(delegate);
}

std::shared_ptr<AlertSessionRefresherDelegate> AlertSessionRefresher::delegate() const
{
    std::lock_guard lock(m_mutex);
    return m_delegate.lock();
}

Quarlink::SessionRefresher::RefreshAction& AlertSessionRefresher::refreshSessionAction()
{
    std::call_once(m_actionOnce, [this] {
        std::weak_ptr<AlertSessionRefresher> weakSelf = weak_from_this();
        m_refreshSessionAction = std::make_unique<RefreshAction>([weakSelf](const std::shared_ptr<Quarlink::APIClient>& client) {
            auto self = weakSelf.lock();
            if (!self)
                return Renewal::empty();
            return self->refresh(client);
        });
    });
    return *m_refreshSessionAction;
}

AlertSessionRefresher::Renewal AlertSessionRefresher::refresh(const std::shared_ptr<Quarlink::APIClient>& client)
{
    auto credentials = client->credentialStore()->credentials();
    if (!credentials)
        return Renewal::error(Reactive::AnyError(Quarlink::APIClientError::notLoggedIn()));
    auto silentLogin = [&] {
        if (auto delegate = this->delegate())
            return delegate->refreshSession(*credentials);
        return Quarlink::login(client, *credentials);
    }();
    std::weak_ptr<AlertSessionRefresher> weakSelf = weak_from_this();
    return silentLogin.ignoreValues().flatMapError([weakSelf, client](const Reactive::AnyError& error) {
        if (!Quarlink::RemoteError::matches(Quarlink::underlyingError(error), Quarlink::RemoteError::Case::loginFailed))
            return Renewal::error(error);
        auto self = weakSelf.lock();
        if (!self)
            return Renewal::error(error);
        return self->askForPassword(client);
    });
}

AlertSessionRefresher::Renewal AlertSessionRefresher::askForPassword(const std::shared_ptr<Quarlink::APIClient>& client)
{
    std::weak_ptr<AlertSessionRefresher> weakSelf = weak_from_this();
    std::weak_ptr<Quarlink::APIClient> weakClient = client;
    return Renewal([weakSelf, weakClient](Reactive::Observer<Reactive::Unit, Reactive::AnyError> observer, Reactive::Lifetime lifetime) {
        auto self = weakSelf.lock();
        auto client = weakClient.lock();
        if (!self || !client || !client->credentialStore()->credentials()) {
            observer.sendFailed(loginFailed());
            return;
        }
        auto navigator = self->m_resolver.resolve<PasswordWindowNavigator>();
        if (!navigator) {
            Platform::Log::failure("Das Passwortfenster ist nicht erreichbar: " + navigator.error().description());
            observer.sendFailed(loginFailed());
            return;
        }
        auto window = (*navigator)->heldPasswordWindow();
        if (!window) {
            auto made = (*navigator)->makePasswordWindow();
            if (!made || !*made) {
                Platform::Log::failure("Das Passwortfenster kann nicht gebaut werden: "
                    + (made ? std::string("kein Fenster") : made.error().description()));
                observer.sendFailed(loginFailed());
                return;
            }
            window = *made;
        }
        // Whichever comes first ends the renewal; what comes later is ignored.
        auto finished = std::make_shared<std::atomic<bool>>(false);
        auto finish = [self, navigator = *navigator, observer, finished](bool renewed) {
            if (finished->exchange(true))
                return;
            if (renewed) {
                observer.sendCompleted();
                self->closeHeldWindowLater(navigator);
            } else {
                observer.sendFailed(loginFailed());
            }
        };
        lifetime += window->loginCompleted().observeValues([finish](const Reactive::Unit&) { finish(true); });
        lifetime += window->logoutCompleted().observeValues([finish](const Reactive::Unit&) { finish(true); });
        lifetime += window->closed().observeValues([finish](const Reactive::Unit&) { finish(false); });
        window->showWindow();
        (*navigator)->activateApplication();
        (*navigator)->holdPasswordWindow(window);
    }).startOn(m_mainQueue);
}

void AlertSessionRefresher::closeHeldWindowLater(const std::shared_ptr<PasswordWindowNavigator>& navigator)
{
    m_mainQueue->schedule(m_mainQueue->currentDate() + closeDelay, [navigator] {
        if (auto window = navigator->heldPasswordWindow())
            window->close();
    });
}

} // namespace Orvella
