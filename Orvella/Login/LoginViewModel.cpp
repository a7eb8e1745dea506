#include "Orvella/Login/LoginViewModel.hpp"

#include "Reactive/BindingTarget.hpp"

#include <tuple>

namespace Orvella {

LoginOperation loginOperation(const std::shared_ptr<APIManager>& manager)
{
    std::weak_ptr<APIManager> weakManager = manager;
    return [weakManager](const Quarlink::Credentials& credentials) {
        auto strong = weakManager.lock();
        if (!strong) {
            return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::empty();
        }
        return strong->login(credentials).map([](const Quarlink::CustomerInfo&) { return Reactive::Unit {}; });
    };
}

Reactive::Property<std::optional<std::string>> customerEmail(const APIManager& manager)
{
    return manager.customerInfo().map([](const std::optional<Quarlink::CustomerInfo>& info) -> std::optional<std::string> {
        if (!info) {
            return std::nullopt;
        }
        return info->email;
    });
}

std::string loginUserName(const std::string& typed, const std::string& suffix)
{
    if (typed.find('@') != std::string::npos) {
        return typed;
    }
    return typed + suffix;
}

std::string loginErrorReason(const Reactive::AnyError& error, Quarlink::WorldID world)
{
    std::string reason = loginFailureReason(error);
    if (world != Quarlink::WorldID::ravik) {
        return reason;
    }
    static constexpr std::string_view from = "E-Mail-Adresse";
    static constexpr std::string_view to = "Benutzername";
    for (auto position = reason.find(from); position != std::string::npos; position = reason.find(from, position + to.size())) {
        reason.replace(position, from.size(), to);
    }
    return reason;
}

LoginViewModel::LoginViewModel(Services services)
    : m_username(std::string())
    , m_password(std::string())
    , m_credentials(Quarlink::Credentials {})
    , m_appName(services.configuration->clientName())
    , m_windowState(services.isLoggedIn.map([](bool loggedIn) { return loggedIn ? LoginWindowState::welcome : LoginWindowState::login; }))
{
    if (services.lastUserName) {
        m_username.set(*services.lastUserName);
    }
    const auto typed = Reactive::combineLatest(Reactive::Property<std::string>(m_username), Reactive::Property<std::string>(m_password));
    const std::string suffix = services.configuration->loginUserNameSuffix();
    std::weak_ptr<Reactive::Detail::PropertyState<Quarlink::Credentials>> credentials = m_credentials.state();
    m_credentialsBinding = Reactive::ScopedDisposable(typed.producer().startWithValues([credentials, suffix](const std::tuple<std::string, std::string>& fields) {
        if (auto state = credentials.lock()) {
            state->set(Quarlink::Credentials { .username = loginUserName(std::get<0>(fields), suffix), .password = std::get<1>(fields) });
        }
    }));
    auto isValid = typed.map([](const std::tuple<std::string, std::string>& fields) {
        return !std::get<0>(fields).empty() && !std::get<1>(fields).empty();
    });
    auto login = std::move(services.login);
    m_loginAction = std::make_unique<Reactive::Action<std::any, Reactive::Unit, Reactive::AnyError>>(
        isValid, [login, credentials](const std::any&) {
            auto state = credentials.lock();
            return login(state ? state->value() : Quarlink::Credentials {});
        });
    auto tracking = services.tracking;
    m_tracking = Reactive::ScopedDisposable(m_loginAction->completed().observeValues([tracking](Reactive::Unit) {
        if (tracking) {
            tracking->trackLogin();
        }
    }));
    const auto world = services.configuration->worldID();
    m_errorText.showReasons(m_loginAction->errors(), [world](const Reactive::AnyError& error) { return loginErrorReason(error, world); });
    m_errorText.clearOnEdits(m_username);
    m_errorText.clearOnEdits(m_password);
}

} // namespace Orvella
