#pragma once

// Test support for the API client manager: the local service with a user, a
// client pointed at it, credentials kept in memory, and a client decorator
// whose cancellation can be held back to expose races.

#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"
#include "Orvella/Service/SyncAPIClientAdapter.hpp"
#include "Quarlink/Requests/SessionRefresher.hpp"
#include "Quarlink/Tests/EndpointFixture.hpp"

#include <atomic>
#include <nlohmann/json.hpp>

namespace Orvella::Testing {

class MemoryCredentialHolder final : public CredentialHolder {
public:
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>>& credentials() override { return m_credentials; }

private:
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>> m_credentials { std::nullopt };
};

// Forwards every call to the real client; `cancelRequestsAndResetSession`
// only counts while `holdsCancellation` is set.
class DecoratedClient final : public Quarlink::APIClient {
public:
    explicit DecoratedClient(std::shared_ptr<Quarlink::APIClient> inner) : m_inner(std::move(inner)) {}

    std::atomic<bool> holdsCancellation { false };
    std::atomic<int> resets { 0 };

    std::shared_ptr<Quarlink::CredentialStore> credentialStore() const override { return m_inner->credentialStore(); }
    std::shared_ptr<const Quarlink::APIEndpoint> endpoint() const override { return m_inner->endpoint(); }
    Reactive::SignalProducer<Quarlink::DataResponse, Reactive::AnyError> dataProducer(Platform::URLRequest request,
        Quarlink::QueuePriority priority) override
    {
        return m_inner->dataProducer(std::move(request), priority);
    }
    Reactive::SignalProducer<Quarlink::DataResponse, Reactive::AnyError> uploadProducer(Platform::URLRequest request,
        Platform::URL file, Quarlink::QueuePriority priority) override
    {
        return m_inner->uploadProducer(std::move(request), std::move(file), priority);
    }
    Reactive::SignalProducer<Quarlink::DownloadResponse, Reactive::AnyError> downloadProducer(Platform::URLRequest request,
        Quarlink::QueuePriority priority) override
    {
        return m_inner->downloadProducer(std::move(request), priority);
    }
    Reactive::SignalProducer<Quarlink::ProgressEvent<Quarlink::DownloadResponse>, Reactive::AnyError> downloadProgressProducer(
        Platform::URLRequest request, Quarlink::QueuePriority priority, std::optional<std::int64_t> expectedSize) override
    {
        return m_inner->downloadProgressProducer(std::move(request), priority, expectedSize);
    }
    Reactive::SignalProducer<std::vector<std::shared_ptr<Platform::URLSessionTask>>, Reactive::NoError> uploadTasks() const override
    {
        return m_inner->uploadTasks();
    }
    std::map<std::string, std::any> userInfos() const override { return m_inner->userInfos(); }
    std::any userInfo(const std::string& key) const override { return m_inner->userInfo(key); }
    void setUserInfo(const std::string& key, std::any value) override { m_inner->setUserInfo(key, std::move(value)); }
    Reactive::SignalProducer<Quarlink::ReachabilityStatus, Reactive::NoError> reachabilityStatus() const override
    {
        return m_inner->reachabilityStatus();
    }
    Reactive::SignalProducer<Quarlink::APIClientStatus, Reactive::NoError> status() const override { return m_inner->status(); }
    void cancelRequestsAndResetSession() override
    {
        ++resets;
        if (!holdsCancellation)
            m_inner->cancelRequestsAndResetSession();
    }

private:
    std::shared_ptr<Quarlink::APIClient> m_inner;
};

// The application's session refresher without its window: logs in again with
// the stored credentials through the manager's delegate.
class DelegateRefresher final : public Quarlink::SessionRefresher {
public:
    DelegateRefresher(std::weak_ptr<APIClientManager> manager, std::shared_ptr<CredentialHolder> holder)
        : m_manager(std::move(manager))
        , m_holder(std::move(holder))
    {
    }

    RefreshAction& refreshSessionAction() override { return m_action; }
    std::atomic<int> executions { 0 };

private:
    std::weak_ptr<APIClientManager> m_manager;
    std::shared_ptr<CredentialHolder> m_holder;
    RefreshAction m_action { [this](const std::shared_ptr<Quarlink::APIClient>&) {
        ++executions;
        auto manager = m_manager.lock();
        auto credentials = m_holder->credentials().value();
        if (!manager || !credentials)
            return Reactive::SignalProducer<Reactive::Unit, Reactive::AnyError>::error(
                Reactive::AnyError(Quarlink::APIClientError::notLoggedIn()));
        return manager->refreshSession(*credentials);
    } };
};

class ServiceFixture : public Quarlink::Testing::EndpointFixture {
protected:
    void SetUp() override
    {
        EndpointFixture::SetUp();
        m_decorated = std::make_shared<DecoratedClient>(client());
        m_manager = makeManager(m_decorated);
    }

    void TearDown() override
    {
        m_manager.reset();
        m_decorated.reset();
        EndpointFixture::TearDown();
    }

    std::shared_ptr<APIClientManager> makeManager(std::shared_ptr<Quarlink::APIClient> apiClient)
    {
        return APIClientManager::create({
            .apiClient = std::move(apiClient),
            .sanitizer = std::make_shared<EmailDomainPartCredentialSanitizer>("example.org"),
            .settingsManager = nullptr,
            .credentialHolder = m_holder,
        });
    }

    // The engine's API client over `manager` and its client.
    static std::shared_ptr<SyncAPIClientAdapter> makeAdapter(const std::shared_ptr<APIClientManager>& manager)
    {
        return std::make_shared<SyncAPIClientAdapter>(
            SyncAPIClientAdapter::Collaborators { .apiClient = manager->apiClient(), .apiManager = manager });
    }

    // The customer data of the test user, with the account's real root folder.
    std::string customerJSON()
    {
        return nlohmann::json { { "cid", 4711 }, { "first_name", "Anna" }, { "last_name", "Berg" },
            { "email", m_credentials.username }, { "root_file_id", m_server->rootIdentifier(m_credentials.username) },
            { "features", { { "advertising", false }, { "has_ocr", false }, { "has_reminders", false } } },
            { "main_product_short_name", "Free" }, { "limits", { { "mail_total_size", 1 } } } }
            .dump();
    }

    // Serves the customer request from now on (the local service has no route of its own for it).
    void serveCustomer(std::size_t times = SIZE_MAX)
    {
        m_server->script("GET", "/v2.0/customer", { .status = 200, .body = customerJSON() }, times);
    }

    std::shared_ptr<MemoryCredentialHolder> m_holder = std::make_shared<MemoryCredentialHolder>();
    std::shared_ptr<DecoratedClient> m_decorated;
    std::shared_ptr<APIClientManager> m_manager;
};

} // namespace Orvella::Testing
