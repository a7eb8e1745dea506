#include "RoadClient.hpp"

#include "NoCredentialStore.hpp"

#include "Orvella/Credentials/CredentialHolder.hpp"
#include "Orvella/Service/APIClientManager.hpp"
#include "Orvella/Service/EmailDomainPartCredentialSanitizer.hpp"
#include "Orvella/Service/SyncAPIClientAdapter.hpp"
#include "Platform/FileSystem/ExtendedAttributes.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Quarlink/Client/URLSessionAPIClient.hpp"
#include "Quarlink/Environment/Environment.hpp"
#include "Quarlink/Requests/RequestFilter.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/References/ExtendedAttributeFileReferenceMapping.hpp"
#include "Sync/Run/SyncManager.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/CloudDatabaseSchema.hpp"
#include "Sync/Store/RealmFileStore.hpp"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Bench {

const char* const roadUser = "bench@example.org";
const char* const roadPassword = "Geheim-123";

namespace {

using namespace std::chrono_literals;

class MemoryCredentialHolder final : public Orvella::CredentialHolder {
public:
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>>& credentials() override { return m_credentials; }

private:
    Reactive::MutableProperty<std::optional<Quarlink::Credentials>> m_credentials { std::nullopt };
};

// The folder as the application's settings would name it; deletes remove items.
class FolderConfiguration final : public Sync::FileSystemFileStoreConfiguration {
public:
    explicit FolderConfiguration(Platform::URL folderURL)
        : m_folderURL(std::move(folderURL))
    {
    }
    Reactive::Property<bool> movesToTrash() const override { return m_movesToTrash; }
    Reactive::Property<Platform::URL> folderURL() const override { return m_folderURL; }

private:
    Reactive::MutableProperty<bool> m_movesToTrash { false };
    Reactive::MutableProperty<Platform::URL> m_folderURL;
};

}

// Lets every request run and counts them.
struct RoadClient::Counter final : public Quarlink::RequestFilter {
    Reactive::SignalProducer<bool, Reactive::AnyError> shouldPerform(const Quarlink::AnyRequest&, Quarlink::APIClient&) override
    {
        ++count;
        return Reactive::SignalProducer<bool, Reactive::AnyError>::value(true);
    }
    std::atomic<std::size_t> count { 0 };
};

RoadClient::RoadClient(const std::filesystem::path& folder, const std::string& baseURL,
    std::shared_ptr<const Platform::DiskSync> diskSync)
    : m_filter(std::make_shared<Counter>())
{
    Platform::URLSessionConfiguration configuration;
    configuration.temporaryDirectory = folder / "downloads";
    auto url = Platform::URL::create(baseURL);
    if (!url)
        return;
    auto endpoint = std::make_shared<Quarlink::Environment>(Quarlink::Environment::custom(*url));
    auto client = Quarlink::URLSessionAPIClient::create(configuration, std::make_shared<Bench::NoCredentialStore>(),
        std::make_shared<Quarlink::InMemoryEnvironmentStore>(endpoint));
    if (!client)
        return;
    Quarlink::setRequestFilter(**client, m_filter);
    m_ownChanges = Platform::OwnChangeRegistry::create();
    m_manager = Orvella::APIClientManager::create({ .apiClient = *client,
        .sanitizer = std::make_shared<Orvella::EmailDomainPartCredentialSanitizer>("example.org"),
        .settingsManager = nullptr,
        .credentialHolder = std::make_shared<MemoryCredentialHolder>() });
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    auto login = m_manager->login(Quarlink::Credentials { roadUser, roadPassword }).startWithEvents([&](const auto& event) {
        if (!event.isTerminating())
            return;
        std::lock_guard lock(mutex);
        ended = true;
        changed.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        changed.wait_for(lock, 10s, [&] { return ended; });
    }

    m_stores = Reactive::QueueScheduler::make("ServiceSyncBenchmarks.stores");
    auto folderURL = Platform::URL::fileURL((folder / "Cloud").string(), Platform::URL::IsDirectory::Yes);
    m_configuration = std::make_shared<FolderConfiguration>(folderURL);
    auto factory = Platform::Database::factory(Sync::cloudDatabaseConfiguration((folder / "Cloud.db").string()));
    auto fileStore = std::make_shared<Sync::RealmFileStore>(factory, m_stores);
    auto statusStore = std::make_shared<Sync::RealmFileSyncStatusStore>(factory, m_stores);
    auto references = std::make_shared<Sync::ExtendedAttributeFileReferenceMapping>(fileStore,
        Platform::ExtendedAttributes::system(), m_ownChanges);
    auto diskStore = std::make_shared<Sync::FileSystemFileStore>(m_configuration, m_ownChanges, nullptr, std::move(diskSync));
    auto adapter = std::make_shared<Orvella::SyncAPIClientAdapter>(Orvella::SyncAPIClientAdapter::Collaborators {
        .apiClient = m_manager->apiClient(), .apiManager = m_manager });
    m_engine = std::make_shared<Sync::SyncManager>(adapter, *diskStore, fileStore, references, statusStore);
}

RoadClient::~RoadClient()
{
    m_engine.reset();
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (m_manager && m_manager.use_count() > 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    m_manager.reset();
}

bool RoadClient::ready() const
{
    return m_engine && m_manager->isLoggedIn().value();
}

std::size_t RoadClient::requests() const
{
    return m_filter->count;
}

bool RoadClient::sync()
{
    std::mutex mutex;
    std::condition_variable changed;
    bool ended = false;
    bool failed = false;
    auto run = m_engine->performSync().startWithEvents([&](const Reactive::Event<Sync::SyncEventPair, Reactive::NoError>& event) {
        std::lock_guard lock(mutex);
        if (event.isValue())
            failed = failed || event.value().first.isError();
        else
            ended = true;
        changed.notify_all();
    });
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, 30min, [&] { return ended; }) && !failed;
}

}
