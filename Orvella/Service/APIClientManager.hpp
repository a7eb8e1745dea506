#pragma once

#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Popover/PopoverFilesProvider.hpp"
#include "Orvella/Popover/QuotaProvider.hpp"
#include "Orvella/Service/APIManager.hpp"
#include "Orvella/Service/AlertSessionRefresherDelegate.hpp"
#include "Orvella/Service/CredentialSanitizer.hpp"
#include "Orvella/Settings/SettingsManager.hpp"
#include "Platform/Foundation/PassKey.hpp"
#include "Quarlink/Client/APIClient.hpp"
#include "Quarlink/Envelope/Quota.hpp"
#include "Reactive/Action.hpp"
#include "Reactive/MutableProperty.hpp"

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

namespace Orvella {

class PrivateShareService;
class PublicShareService;

// The application's one facade over the API client: login and logout, the
// login state, the customer data, reachability and the quota; the popover's
// search and recent files; and, through
// `publicShareService()` and `privateShareService()`, the two share services.
//
// Threading: no scheduler of its own. Values arrive on the thread on which the
// API client delivers them; the state lives in properties safe from any
// thread. A logout has the last word: a login still running when it starts
// never stores anything, and neither does a session renewal that read the
// stored credentials before it.
class APIClientManager final : public APIManager,
                               public AlertSessionRefresherDelegate,
                               public PopoverFilesProvider,
                               public QuotaProvider,
                               public std::enable_shared_from_this<APIClientManager> {
public:
    struct Collaborators {
        // The only way to the service; never null.
        std::shared_ptr<Quarlink::APIClient> apiClient;
        // Completes the user name before login; never null.
        std::shared_ptr<CredentialSanitizer> sanitizer;
        // Held for the manager's life; read by nothing here.
        std::shared_ptr<SettingsManager> settingsManager;
        // The stored login; never null.
        std::shared_ptr<CredentialHolder> credentialHolder;
    };

    [[nodiscard]] static std::shared_ptr<APIClientManager> create(Collaborators collaborators);
    ~APIClientManager() override;

    // APIManager.
    [[nodiscard]] Reactive::Property<bool> isLoggedIn() const override;
    [[nodiscard]] Reactive::Property<Quarlink::ReachabilityStatus> reachability() const override;
    [[nodiscard]] Reactive::Property<std::optional<Quarlink::CustomerInfo>> customerInfo() const override;
    [[nodiscard]] Reactive::SignalProducer<Platform::URL, Reactive::AnyError> loginHashURL() const override;
    [[nodiscard]] Reactive::SignalProducer<Quarlink::CustomerInfo, Reactive::AnyError> login(
        const Quarlink::Credentials& credentials) override;
    void logout() override;

    // AlertSessionRefresherDelegate: the login, values dropped; it stores only
    // while `credentials` are still the stored ones, so a renewal never undoes
    // a logout (or another user's login) that came after it read them.
    [[nodiscard]] Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError> refreshSession(
        const Quarlink::Credentials& credentials) override;

    // QuotaProvider: 0 of 1,000,000,000 bytes until the service reports one.
    [[nodiscard]] Reactive::Property<Quarlink::Quota> quota() const override { return m_receivedQuota; }
    [[nodiscard]] Reactive::Property<Quarlink::Quota> receivedQuota() const { return m_receivedQuota; }

    // PopoverFilesProvider: search in the whole account (at most 50) and recent files.
    [[nodiscard]] Files files(const std::string& text) override;
    [[nodiscard]] Files recentFiles() override;

    // The share services, served with this manager's client.
    [[nodiscard]] std::shared_ptr<PublicShareService> publicShareService() const { return m_publicShareService; }
    [[nodiscard]] std::shared_ptr<PrivateShareService> privateShareService() const { return m_privateShareService; }

    [[nodiscard]] const std::shared_ptr<Quarlink::APIClient>& apiClient() const { return m_collaborators.apiClient; }
    [[nodiscard]] const std::shared_ptr<SettingsManager>& settingsManager() const { return m_collaborators.settingsManager; }

    APIClientManager(Platform::PassKey<APIClientManager>, Collaborators collaborators);

private:
    struct LoginRequest {
        Quarlink::Credentials credentials;
        // Renews the stored session rather than starting one.
        bool renewal = false;
    };
    using LoginAction = Reactive::Action<LoginRequest, Quarlink::CustomerInfo, Reactive::AnyError>;
    using LogoutAction = Reactive::Action<Reactive::Unit, Reactive::Unit, Reactive::NoError>;

    LoginAction& loginAction();
    LogoutAction& logoutAction();
    [[nodiscard]] Reactive::SignalProducer<Quarlink::CustomerInfo, Reactive::AnyError> performLogin(
        const LoginRequest& request);
    void performLogout();

    Collaborators m_collaborators;
    Reactive::MutableProperty<std::optional<Quarlink::CustomerInfo>> m_customerInfo { std::nullopt };
    Reactive::Property<Quarlink::Quota> m_receivedQuota;

    // Guards the login state against a login finishing while logout runs.
    mutable std::recursive_mutex m_sessionMutex;
    std::uint64_t m_sessionGeneration = 0;

    std::once_flag m_loginActionOnce;
    std::unique_ptr<LoginAction> m_loginAction;
    std::once_flag m_logoutActionOnce;
    std::unique_ptr<LogoutAction> m_logoutAction;
    Reactive::AnyDisposable m_customerInfoBinding;

    std::shared_ptr<PublicShareService> m_publicShareService;
    std::shared_ptr<PrivateShareService> m_privateShareService;
};

} // namespace Orvella
