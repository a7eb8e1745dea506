#pragma once

#include "Orvella/Login/LoginErrorText.hpp"
#include "Orvella/Login/LoginWindowState.hpp"
#include "Orvella/Service/APIManager.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"

#include "Quarlink/Identity/Credentials.hpp"
#include "Reactive/Action.hpp"
#include "Reactive/AnyError.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/Result.hpp"

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Orvella {

// One login with the given credentials: the API manager's `login(with:)`,
// its customer info dropped (the windows do not use it).
using LoginOperation = std::function<Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>(const Quarlink::Credentials&)>;

// The login window without its widgets: the typed user name and password,
// the credentials a login sends, the error text and the view to show.
//
// A user name without "@" is sent with the brand's suffix; the login is
// enabled while both fields hold something (blanks count) and no login of
// this window runs. The error text is the failure's reason ("E-Mail-Adresse"
// reads "Benutzername" in the ravik brand), emptied by every edit. A password
// field the window empties is emptied here too (`discardPassword`), so no
// password the user no longer sees is ever sent. Main thread only.
class LoginViewModel {
public:
    struct Services {
        std::shared_ptr<const ClientConfiguration> configuration;
        // The API manager's `isLoggedIn`.
        Reactive::Property<bool> isLoggedIn;
        // The settings' `lastLoggedInUserName` when the window is built.
        std::optional<std::string> lastUserName;
        LoginOperation login;
        std::shared_ptr<TrackingManager> tracking;
    };

    explicit LoginViewModel(Services services);
    LoginViewModel(const LoginViewModel&) = delete;
    LoginViewModel& operator=(const LoginViewModel&) = delete;

    [[nodiscard]] Reactive::MutableProperty<std::string>& username() { return m_username; }
    [[nodiscard]] Reactive::MutableProperty<std::string>& password() { return m_password; }
    [[nodiscard]] const Reactive::Property<std::string>& errorText() const { return m_errorText.text(); }
    [[nodiscard]] const Reactive::Property<LoginWindowState>& windowState() const { return m_windowState; }
    // Its input (the pressed control) is ignored.
    [[nodiscard]] const Reactive::Action<std::any, Reactive::Unit, Reactive::AnyError>& loginAction() const { return *m_loginAction; }
    [[nodiscard]] const Reactive::MutableProperty<Quarlink::Credentials>& credentials() const { return m_credentials; }
    [[nodiscard]] const std::string& appName() const { return m_appName; }

    // The window emptied its password field: the typed password goes too,
    // the error text stays.
    void discardPassword() { m_errorText.discard(m_password); }

private:
    Reactive::MutableProperty<std::string> m_username;
    Reactive::MutableProperty<std::string> m_password;
    Reactive::MutableProperty<Quarlink::Credentials> m_credentials;
    std::string m_appName;
    Reactive::Property<LoginWindowState> m_windowState;
    std::unique_ptr<Reactive::Action<std::any, Reactive::Unit, Reactive::AnyError>> m_loginAction;
    LoginErrorText m_errorText;
    Reactive::ScopedDisposable m_credentialsBinding;
    Reactive::ScopedDisposable m_tracking;
};

// The API manager's `login(with:)` as the windows run it; the manager is
// held weakly (a login asked for after it went fails at once).
[[nodiscard]] LoginOperation loginOperation(const std::shared_ptr<APIManager>& manager);

// The e-mail address of the API manager's customer data, following it.
[[nodiscard]] Reactive::Property<std::optional<std::string>> customerEmail(const APIManager& manager);

// The user name a login sends: `typed` itself when it holds "@" anywhere,
// else `typed` followed by `suffix`.
[[nodiscard]] std::string loginUserName(const std::string& typed, const std::string& suffix);

// The failure's reason as the login window shows it for `world`.
[[nodiscard]] std::string loginErrorReason(const Reactive::AnyError& error, Quarlink::WorldID world);

} // namespace Orvella
