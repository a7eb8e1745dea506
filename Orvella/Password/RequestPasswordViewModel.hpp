#pragma once

#include "Orvella/Login/LoginErrorText.hpp"
#include "Orvella/Login/LoginViewModel.hpp"
#include "Orvella/Tracking/TrackingManager.hpp"

#include "Quarlink/Identity/Credentials.hpp"
#include "Reactive/Action.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"

#include <any>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Orvella {

// The password re-entry window without its widgets: the fixed user name, the
// typed password and the log-in-again, log-out and help commands.
//
// The user name is sent exactly as stored (no suffix rule); the login is
// enabled while the password holds something and no login of this window
// runs; logout and help are always enabled. The error text is the failure's
// reason, unchanged in every brand, emptied by the next edit of the password.
// Main thread only.
class RequestPasswordViewModel {
public:
    struct Services {
        std::string clientName;
        std::string lastUserName;
        LoginOperation login;
        std::function<void()> logout;
        std::function<void()> help;
        std::shared_ptr<TrackingManager> tracking;
    };

    explicit RequestPasswordViewModel(Services services);
    RequestPasswordViewModel(const RequestPasswordViewModel&) = delete;
    RequestPasswordViewModel& operator=(const RequestPasswordViewModel&) = delete;

    [[nodiscard]] const std::string& lastUserName() const { return m_lastUserName; }
    [[nodiscard]] Reactive::MutableProperty<std::string>& password() { return m_password; }
    [[nodiscard]] const Reactive::Property<std::string>& errorText() const { return m_errorText.text(); }
    [[nodiscard]] const Reactive::Action<std::any, Reactive::Unit, Reactive::AnyError>& loginAction() const { return *m_loginAction; }
    [[nodiscard]] const Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>& logoutAction() const { return *m_logoutAction; }
    [[nodiscard]] const Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>& helpAction() const { return *m_helpAction; }
    [[nodiscard]] const std::string& clientName() const { return m_clientName; }

    // The window emptied its password field: the typed password goes too.
    void discardPassword() { m_errorText.discard(m_password); }

private:
    std::string m_lastUserName;
    std::string m_clientName;
    Reactive::MutableProperty<std::string> m_password;
    std::unique_ptr<Reactive::Action<std::any, Reactive::Unit, Reactive::AnyError>> m_loginAction;
    std::unique_ptr<Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>> m_logoutAction;
    std::unique_ptr<Reactive::Action<std::any, Reactive::Unit, Reactive::NoError>> m_helpAction;
    LoginErrorText m_errorText;
    Reactive::ScopedDisposable m_tracking;
};

// The user name the password window asks for: the stored last user name,
// else the user name of the stored credentials; none when neither is there
// (then the window cannot be built and the refresh ends without it).
[[nodiscard]] std::optional<std::string> requestPasswordUserName(
    const std::optional<std::string>& lastLoggedInUserName, const std::optional<Quarlink::Credentials>& storedCredentials);

} // namespace Orvella
