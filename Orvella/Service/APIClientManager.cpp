#include "Orvella/Service/APIClientManager.hpp"

#include "Orvella/Service/RemoteSyncFile.hpp"
#include "Orvella/Sharing/APIClientPrivateShareService.hpp"
#include "Orvella/Sharing/APIClientPublicShareService.hpp"
#include "Quarlink/Account/AccountOperations.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Quarlink/Files/RemoteFileOperations.hpp"
#include "Quarlink/Requests/ClientAnnouncements.hpp"
#include "Quarlink/Session/SessionOperations.hpp"
#include "Quarlink/TalvernAPIClient/ResponseDecoding/Unpacked.hpp"

namespace Orvella {

using Reactive::AnyError;
using Reactive::SignalProducer;

std::shared_ptr<APIClientManager> APIClientManager::create(Collaborators collaborators)
{
    auto manager = std::make_shared<APIClientManager>(Platform::PassKey<APIClientManager> {}, std::move(collaborators));
    manager->m_publicShareService = std::make_shared<APIClientPublicShareService>(manager->apiClient());
    manager->m_privateShareService = std::make_shared<APIClientPrivateShareService>(manager->apiClient());
    // Made now, so that a login from any window is the one login action.
    manager->loginAction();
    return manager;
}

APIClientManager::APIClientManager(Platform::PassKey<APIClientManager>, Collaborators collaborators)
    : m_collaborators(std::move(collaborators))
    , m_receivedQuota(Reactive::Property<Quarlink::Quota>::make(Quarlink::Quota {}, Quarlink::receivedQuota(*m_collaborators.apiClient)))
{
}

APIClientManager::~APIClientManager() = default;

Reactive::Property<bool> APIClientManager::isLoggedIn() const
{
    return m_collaborators.credentialHolder->credentials().property().map(
        [](const std::optional<Quarlink::Credentials>& credentials) { return credentials.has_value(); });
}

Reactive::Property<Quarlink::ReachabilityStatus> APIClientManager::reachability() const
{
    return Reactive::Property<Quarlink::ReachabilityStatus>::make(
        Quarlink::ReachabilityStatus::notReachable, m_collaborators.apiClient->reachabilityStatus());
}

Reactive::Property<std::optional<Quarlink::CustomerInfo>> APIClientManager::customerInfo() const
{
    return m_customerInfo.property();
}

SignalProducer<Platform::URL, AnyError> APIClientManager::loginHashURL() const
{
    return Quarlink::loginHashURL(m_collaborators.apiClient);
}

SignalProducer<Quarlink::CustomerInfo, AnyError> APIClientManager::login(const Quarlink::Credentials& credentials)
{
    return loginAction().startOrObserve({ .credentials = credentials });
}

void APIClientManager::logout()
{
    logoutAction().apply(Reactive::Unit()).start();
}

SignalProducer<Reactive::Unit, AnyError> APIClientManager::refreshSession(const Quarlink::Credentials& credentials)
{
    // Every request that waited for the renewal fails with its error, and the
    // status item's notification shows its reason: it says that the login
    // failed, and why. The error beneath stays what the service answered.
    return loginAction()
        .startOrObserve({ .credentials = credentials, .renewal = true })
        .ignoreValues()
        .filter([](const Reactive::Unit&) { return false; })
        .mapError([](const AnyError& error) {
            Quarlink::AnyPresentableError failed(error);
            failed.setSubject("Anmeldung fehlgeschlagen");
            failed.setReason("Die erneute Anmeldung ist fehlgeschlagen. " + Quarlink::reason(error));
            return AnyError(std::move(failed));
        });
}

APIClientManager::LoginAction& APIClientManager::loginAction()
{
    std::call_once(m_loginActionOnce, [this] {
        std::weak_ptr<APIClientManager> weakSelf = weak_from_this();
        m_loginAction = std::make_unique<LoginAction>([weakSelf](const LoginRequest& request) {
            auto self = weakSelf.lock();
            if (!self)
                return SignalProducer<Quarlink::CustomerInfo, AnyError>::empty();
            return self->performLogin(request);
        });
    });
    return *m_loginAction;
}

APIClientManager::LogoutAction& APIClientManager::logoutAction()
{
    std::call_once(m_logoutActionOnce, [this] {
        std::weak_ptr<APIClientManager> weakSelf = weak_from_this();
        m_logoutAction = std::make_unique<LogoutAction>([weakSelf, client = m_collaborators.apiClient](const Reactive::Unit&) {
            if (auto self = weakSelf.lock())
                self->performLogout();
            client->cancelRequestsAndResetSession();
            return SignalProducer<Reactive::Unit, Reactive::NoError>::empty();
        });
    });
    return *m_logoutAction;
}

SignalProducer<Quarlink::CustomerInfo, AnyError> APIClientManager::performLogin(const LoginRequest& request)
{
    auto sanitized = request.credentials;
    m_collaborators.sanitizer->sanitize(sanitized.username);
    std::uint64_t generation = 0;
    {
        std::lock_guard lock(m_sessionMutex);
        generation = m_sessionGeneration;
    }
    std::weak_ptr<APIClientManager> weakSelf = weak_from_this();
    const auto& client = m_collaborators.apiClient;
    return Quarlink::login(client, sanitized, std::nullopt)
        .then(Quarlink::customerInfoOfNewSession(client))
        .attemptMap([weakSelf, request, sanitized, generation](Quarlink::CustomerInfo&& info) -> Reactive::Result<Quarlink::CustomerInfo, AnyError> {
            auto self = weakSelf.lock();
            if (!self)
                return std::unexpected(AnyError(Quarlink::APIClientError::notLoggedIn()));
            // A logout that started after this login began has the last word:
            // nothing of this login is stored.
            std::lock_guard lock(self->m_sessionMutex);
            if (self->m_sessionGeneration != generation)
                return std::unexpected(AnyError(Quarlink::APIClientError::notLoggedIn()));
            // A renewal began when it read the stored credentials, which may be
            // before a logout that came ahead of this login: it renews only the
            // session still stored.
            if (request.renewal && self->m_collaborators.credentialHolder->credentials().value() != request.credentials)
                return std::unexpected(AnyError(Quarlink::APIClientError::notLoggedIn()));
            self->m_collaborators.credentialHolder->credentials().set(sanitized);
            self->m_customerInfo.set(info);
            return std::move(info);
        });
}

void APIClientManager::performLogout()
{
    std::lock_guard lock(m_sessionMutex);
    ++m_sessionGeneration;
    m_customerInfo.set(std::nullopt);
    m_collaborators.credentialHolder->credentials().set(std::nullopt);
}

PopoverFilesProvider::Files APIClientManager::files(const std::string& text)
{
    return Quarlink::unpacked(Quarlink::filesMatching(m_collaborators.apiClient, text)).map(
        [](std::vector<Quarlink::File>&& found) { return RemoteSyncFile::make(std::move(found)); });
}

PopoverFilesProvider::Files APIClientManager::recentFiles()
{
    return Quarlink::unpacked(Quarlink::recentFiles(m_collaborators.apiClient)).map(
        [](std::vector<Quarlink::File>&& recent) { return RemoteSyncFile::make(recent); });
}

} // namespace Orvella
