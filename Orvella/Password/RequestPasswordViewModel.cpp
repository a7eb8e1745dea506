#include "Orvella/Password/RequestPasswordViewModel.hpp"

namespace Orvella {

namespace {

Reactive::SignalProducer<Reactive::Unit, Reactive::NoError> callOnce(std::function<void()> operation)
{
    return Reactive::SignalProducer<Reactive::Unit, Reactive::NoError>(
        [operation](Reactive::Observer<Reactive::Unit, Reactive::NoError> observer, Reactive::Lifetime) {
            if (operation) {
                operation();
            }
            observer.send(Reactive::Unit {});
            observer.sendCompleted();
        });
}

} // namespace

std::optional<std::string> requestPasswordUserName(
    const std::optional<std::string>& lastLoggedInUserName, const std::optional<Quarlink::Credentials>& storedCredentials)
{
    if (lastLoggedInUserName && !lastLoggedInUserName->empty()) {
        return lastLoggedInUserName;
    }
    if (storedCredentials && !storedCredentials->username.empty()) {
        return storedCredentials->username;
    }
    return std::nullopt;
}

RequestPasswordViewModel::RequestPasswordViewModel(Services services)
    : m_lastUserName(std::move(services.lastUserName))
    , m_clientName(std::move(services.clientName))
    , m_password(std::string())
{
    std::weak_ptr<Reactive::Detail::PropertyState<std::string>> password = m_password.state();
    auto login = std::move(services.login);
    m_loginAction = std::make_unique<Reactive::Action<std::any, Reactive::Unit, Reactive::AnyError>>(
        Reactive::Property<std::string>(m_password).map([](const std::string& typed) { return !typed.empty(); }),
        [login, password, user = m_lastUserName](const std::any&) {
            auto state = password.lock();
            return login(Quarlink::Credentials { .username = user, .password = state ? state->value() : std::string() });
        });
    m_logoutAction = std::make_unique<Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>>(
        [logout = std::move(services.logout)](const std::any&) { return callOnce(logout); });
    m_helpAction = std::make_unique<Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>>(
        [help = std::move(services.help)](const std::any&) { return callOnce(help); });
    auto tracking = services.tracking;
    m_tracking = Reactive::ScopedDisposable(m_loginAction->completed().observeValues([tracking](Reactive::Unit) {
        if (tracking) {
            tracking->trackLogin();
        }
    }));
    m_errorText.showReasons(m_loginAction->errors(), loginFailureReason);
    m_errorText.clearOnEdits(m_password);
}

} // namespace Orvella
