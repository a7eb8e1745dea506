#include "Orvella/AppModule/AppModuleFactories.hpp"

#include "Orvella/AppModule/KeptBindings.hpp"
#include "Platform/FileSystem/OwnChangeRegistry.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Platform/Foundation/PathString.hpp"
#include "Quarlink/Errors/APIClientError.hpp"
#include "Quarlink/Errors/AnyPresentableError.hpp"
#include "Orvella/Popover/SyncNotices.hpp"
#include "Sync/Disk/FileSystemFileStore.hpp"
#include "Sync/Execution/ChangeExecutionError.hpp"
#include "Sync/References/ExtendedAttributeFileReferenceMapping.hpp"
#include "Sync/Status/RealmFileSyncStatusStore.hpp"
#include "Sync/Store/RealmFileStore.hpp"

#include <filesystem>

namespace Orvella::Factories {

namespace {

// The engine's cloud folder: the setting as it is now and its later changes.
class Adapter final : public Sync::CloudFolderProvider {
public:
    explicit Adapter(std::shared_ptr<SettingsManager> settingsManager) : m_settingsManager(std::move(settingsManager)) {}
    [[nodiscard]] Reactive::Property<Platform::URL> currentCloudFolder() const override { return m_settingsManager->cloudFolderURL(); }

private:
    std::shared_ptr<SettingsManager> m_settingsManager;
};

// Opens the shared database at `configuration`, making its folder first.
std::expected<Platform::Database, Platform::DatabaseError> openDatabase(const Platform::DatabaseConfiguration& configuration)
{
    std::error_code ignored;
    std::filesystem::create_directories(configuration.file.parent_path(), ignored);
    return Platform::Database::open(configuration);
}

// Opens the shared database anew at every access of a store, on the thread the
// store uses, from the configuration the container gave when the store was made.
// A store can outlive the container by the work still queued when it ends (a
// settings change read back then cleans it): it never reaches back into it.
Platform::DatabaseFactory databaseOpener(Resolver& resolver)
{
    auto configuration = resolver.resolve<Platform::DatabaseConfiguration>();
    if (!configuration) {
        return [error = Platform::DatabaseError(Platform::DatabaseError::Code::cannotOpen, configuration.error().description())]()
                   -> std::expected<Platform::Database, Platform::DatabaseError> { return std::unexpected(error); };
    }
    return [configuration = *configuration]() { return openDatabase(*configuration); };
}

// Every later write of the user name or of the cloud folder, an equal value
// too, empties `store`: the next run starts from an empty stored state.
template<class Store>
Reactive::CompositeDisposable cleanOnAccountChanges(SettingsManager& settings, const std::shared_ptr<Store>& store)
{
    std::weak_ptr<Store> weakStore = store;
    auto clean = [weakStore] {
        if (auto store = weakStore.lock())
            (void)store->clean();
    };
    Reactive::CompositeDisposable observations;
    observations += settings.lastLoggedInUserName().signal().observeValues([clean](const std::optional<std::string>&) { clean(); });
    observations += settings.cloudFolderURL().signal().observeValues([clean](const Platform::URL&) { clean(); });
    return observations;
}

} // namespace

std::pair<std::string, std::string> trashedForSafetyNotification(std::size_t count)
{
    // The engine moves more than 50 at a time, but the text must not say "1 Objekte".
    const auto missing = count == 1 ? std::string("1 Objekt fehlt") : std::to_string(count) + " Objekte fehlen";
    return { "In den Papierkorb verschoben",
        missing + " auf dem Server. Weil mehr als die Hälfte der synchronisierten Objekte fehlt, wurde nichts "
                  "gelöscht: Was fehlt, liegt jetzt im Papierkorb." };
}

std::pair<std::string, std::string> serverVersionsKeptNotification(const std::vector<Sync::KeptServerVersion>& kept)
{
    if (kept.size() == 1) {
        const auto name = Platform::lastPathComponent(kept.front().localPath);
        return { "Konflikt bei „" + name + "“",
            "Die Datei wurde hier und anderswo geändert. Beide Versionen bleiben erhalten: Die andere liegt daneben als „"
                + Platform::lastPathComponent(kept.front().path) + "“." };
    }
    return { "Konflikt bei " + std::to_string(kept.size()) + " Dateien",
        "Die Dateien wurden hier und anderswo geändert. Beide Versionen bleiben erhalten: Die anderen liegen jeweils "
        "daneben, mit „Konflikt“ und der Uhrzeit im Namen." };
}

std::shared_ptr<Sync::CloudFolderProvider> cloudFolderAdapter(std::shared_ptr<SettingsManager> settingsManager)
{
    return std::make_shared<Adapter>(std::move(settingsManager));
}

Made<Platform::Database> database(Resolver& resolver)
{
    auto configuration = resolver.resolve<Platform::DatabaseConfiguration>();
    if (!configuration)
        return failed(configuration);
    auto opened = openDatabase(**configuration);
    if (!opened)
        return std::unexpected(Reactive::AnyError(opened.error()));
    return std::make_shared<Platform::Database>(std::move(*opened));
}

Made<Sync::FileStore> fileStore(Resolver& resolver, const AppModuleEnvironment& environment)
{
    auto settings = resolver.resolve<SettingsManager>();
    if (!settings)
        return failed(settings);
    auto store = std::make_shared<Sync::RealmFileStore>(databaseOpener(resolver), environment.mainQueue);
    auto observations = cleanOnAccountChanges(**settings, store);
    return keepingBindings<Sync::FileStore>(std::move(store), std::move(observations));
}

Made<Sync::FileSyncStatusStore> fileSyncStatusStore(Resolver& resolver, const AppModuleEnvironment& environment)
{
    auto settings = resolver.resolve<SettingsManager>();
    if (!settings)
        return failed(settings);
    auto store = std::make_shared<Sync::RealmFileSyncStatusStore>(databaseOpener(resolver), environment.mainQueue);
    // Files an earlier run left in error show as up to date until a run marks them again.
    (void)store->removeAll(Sync::FileSyncStatus::error);
    auto observations = cleanOnAccountChanges(**settings, store);
    return keepingBindings<Sync::FileSyncStatusStore>(std::move(store), std::move(observations));
}

Made<Sync::FileReferenceMapping> fileReferenceMapping(Resolver& resolver)
{
    return made(resolver.construct([](std::shared_ptr<SettingsManager> settings, std::shared_ptr<Sync::FileStore> store,
                                       std::shared_ptr<Platform::OwnChangeRegistry> ownChanges) -> std::shared_ptr<Sync::FileReferenceMapping> {
        auto mapping = std::make_shared<Sync::ExtendedAttributeFileReferenceMapping>(store, Platform::ExtendedAttributes::system(), ownChanges);
        // Writes every stored file's reference back onto its item before the first run.
        if (auto files = store->loadFiles())
            mapping->addReferences(*files, settings->cloudFolderURL().value());
        return mapping;
    }));
}

Made<Sync::SyncManager> syncManager(Resolver& resolver)
{
    auto parts = resolver.construct([](std::shared_ptr<Sync::SyncAPIClient> apiClient, std::shared_ptr<Sync::FileSystemFileStore> fileSystemStore,
                                        std::shared_ptr<Sync::FileStore> store, std::shared_ptr<Sync::FileReferenceMapping> mapping,
                                        std::shared_ptr<Sync::FileSyncStatusStore> statusStore, std::shared_ptr<UserNotificationCenter> center,
                                        std::shared_ptr<SyncNotices> notices) {
        return std::make_tuple(std::make_shared<Sync::SyncManager>(apiClient, *fileSystemStore, store, mapping, statusStore), center, notices);
    });
    if (!parts)
        return std::unexpected(Reactive::AnyError(parts.error()));
    auto [manager, center, notices] = std::move(*parts);

    // Only the client's own errors of changes with a file operation are shown.
    Reactive::CompositeDisposable observations;
    observations += manager->syncEvents().observeValues([center, notices](const Sync::SyncEventPair& pair) {
        const auto& [event, change] = pair;
        if (!event.isError() || !event.error())
            return;
        // Nothing syncs until the user mends it: said where they look, with
        // the folder's path, and once as a notification.
        if (const auto* failure = event.error()->as<Sync::ChangeExecutionError>();
            failure && failure->code == Sync::ChangeExecutionError::Code::cloudFolderUnreadable) {
            auto reason = failure->description();
            if (notices->unreadableCloudFolder().value() != reason) {
                notices->setUnreadableCloudFolder(reason);
                center->deliver("Synchronisieren fehlgeschlagen", reason);
            }
            return;
        }
        const auto& operation = change.fileOperation();
        if (!operation || !operation->file())
            return;
        auto underlying = Quarlink::underlyingError(*event.error());
        const auto* clientError = underlying.as<Quarlink::APIClientError>();
        if (!clientError)
            return;
        center->deliver("Fehler: " + operation->file()->fileName(), clientError->reason());
    });
    observations += manager->trashedForSafety().observeValues([center, notices](std::size_t count) {
        const auto [title, text] = trashedForSafetyNotification(count);
        center->deliver(title, text);
        // The one notice of a mass change: also where notifications are off.
        notices->setMassChange(title + ": " + text);
    });
    observations += manager->serverVersionsKept().observeValues([center](const std::vector<Sync::KeptServerVersion>& kept) {
        const auto [title, text] = serverVersionsKeptNotification(kept);
        center->deliver(title, text);
    });
    return keepingBindings(std::move(manager), std::move(observations));
}

Made<CloudSetupHelper> cloudSetupHelper(Resolver& resolver)
{
    return made(resolver.construct([](std::shared_ptr<SettingsManager> settings, std::shared_ptr<Sync::FileStore> store,
                                       std::shared_ptr<ClientConfiguration> configuration) {
        std::shared_ptr<Reactive::MutableProperty<bool>> syncEnabled(settings, &settings->isSyncEnabled());
        return std::make_shared<CloudSetupHelper>(settings->cloudFolderURL(), std::move(syncEnabled), store, configuration->clientName());
    }));
}

} // namespace Orvella::Factories
