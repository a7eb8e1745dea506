#include "Orvella/Popover/PopoverViewModel.hpp"

#include "Orvella/Popover/GraphemeClusters.hpp"
#include "Orvella/Popover/QuotaUsage.hpp"
#include "Orvella/StatusItem/SyncStatusDisplay.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Platform/Foundation/Log.hpp"
#include "Reactive/BindingTarget.hpp"

#include <chrono>

namespace Orvella {

namespace {

using Files = std::vector<Sync::FileRef>;
using Entries = std::vector<RecentFileModelType>;

// A query's answer: the files, or that it failed.
struct Listing {
    Files files;
    bool failed = false;
};

constexpr std::size_t searchThreshold = 3;
constexpr auto throttleInterval = std::chrono::milliseconds(500);
constexpr auto filesChangedQuiet = std::chrono::seconds(1);

Reactive::SignalProducer<Listing, Reactive::NoError> listed(const PopoverFilesProvider::Files& files)
{
    return files.map([](const Files& found) { return Listing { found, false }; }).flatMapError([](const Reactive::AnyError& error) {
        Platform::Log::failure("Die Dateiliste kann nicht geladen werden: " + error.description());
        return Reactive::SignalProducer<Listing, Reactive::NoError>::value(Listing { {}, true });
    });
}

Reactive::SignalProducer<Listing, Reactive::NoError> query(const std::shared_ptr<PopoverFilesProvider>& provider,
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> running, const std::string& text)
{
    if (graphemeClusterCount(text) < searchThreshold) {
        return listed(provider->recentFiles());
    }
    const auto setRunning = [running](bool value) {
        if (auto state = running.lock()) {
            state->set(value);
        }
    };
    // "disposed" covers completion, failure and cancellation by a newer
    // text; "starting" comes before a search that finishes during its start.
    return listed(provider->files(text).on(
        { .starting = [setRunning] { setRunning(true); }, .disposed = [setRunning] { setRunning(false); } }));
}

Entries entries(const Files& files, const Platform::URL& cloudFolder, const std::shared_ptr<PopoverNavigator>& navigator,
    const RowDateFormatter& rowDates)
{
    Entries result;
    result.reserve(files.size());
    for (const auto& file : files) {
        auto path = localPath(cloudFolder, file->path());
        std::function<void()> select = [] {};
        // A row without a safe local path reveals nothing.
        if (path) {
            std::weak_ptr<PopoverNavigator> weakNavigator = navigator;
            select = [weakNavigator, file] {
                if (auto strong = weakNavigator.lock()) {
                    strong->revealInFinder(*file);
                }
            };
        }
        result.push_back(RecentFileModelType::file({ .fileName = file->fileName(),
            .filePath = std::move(path),
            .dateString = rowDates.string(file->lastModifiedDate()),
            .select = std::move(select) }));
    }
    return result;
}

using Notice = std::optional<std::string>;

Reactive::Property<std::string> stateLine(const Reactive::Property<Sync::SyncStatus>& status, const std::shared_ptr<SyncNotices>& notices)
{
    if (!notices) {
        return status.map([](const Sync::SyncStatus& current) { return statusText(current); });
    }
    return Reactive::combineLatest(status, notices->unreadableCloudFolder(), notices->massChange())
        .map([](const std::tuple<Sync::SyncStatus, Notice, Notice>& inputs) {
            const auto& [current, unreadable, massChange] = inputs;
            if (unreadable && current.kind() == Sync::SyncStatus::Kind::failed) {
                return *unreadable;
            }
            if (massChange) {
                return *massChange;
            }
            return statusText(current);
        });
}

} // namespace

std::optional<std::string> localPath(const Platform::URL& cloudFolder, std::string_view serverPath)
{
    auto components = Platform::PathResolver::components(serverPath);
    if (!components) {
        return std::nullopt;
    }
    std::string path = cloudFolder.standardized().path();
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    for (const auto& component : *components) {
        if (path.empty() || path.back() != '/') {
            path += '/';
        }
        path += component;
    }
    return path;
}

PopoverViewModel::PopoverViewModel(Services services, Schedulers schedulers, RowDateFormatter rowDates)
    : m_services(std::move(services))
    , m_recentFilesDataSource(std::make_shared<RecentFilesDataSource>())
    , m_searchText(std::string())
    , m_appName(m_services.configuration->clientName())
    , m_syncStatusIcon(m_services.syncStatusProvider->status().map([](const Sync::SyncStatus& status) { return popoverIcon(status); }))
    , m_syncStatusText(stateLine(m_services.syncStatusProvider->status(), m_services.notices))
    , m_syncActionText(m_services.syncStatusProvider->status().map([](const Sync::SyncStatus& status) { return actionText(status); }))
    , m_syncActionAvailable(
          m_services.syncStatusProvider->status().map([](const Sync::SyncStatus& status) { return isActionAvailable(status); }))
    , m_usageInfoText(m_services.quotaProvider->quota().map([](const Quarlink::Quota& quota) { return usageText(quota); }))
    , m_numberOfItems(Reactive::Property<Entries>(m_recentFilesDataSource->cellModels()).map([](const Entries& list) {
        return static_cast<int>(list.size());
    }))
    , m_running(false)
    , m_searchIsRunning(m_running)
    , m_emptyStateIsHidden(m_numberOfItems.map([](int count) { return count > 0; }))
    , m_listFailed(false)
    , m_emptyStateText(Reactive::Property<bool>(m_listFailed).map([](bool failed) { return std::string(failed ? listFailedText : noFilesText); }))
    , m_reloads(0)
{
    bindList(schedulers, std::make_shared<const RowDateFormatter>(std::move(rowDates)));
    std::weak_ptr<Reactive::Detail::PropertyState<int>> reloads = m_reloads.state();
    auto reloadOnMainQueue = [reloads, mainQueue = schedulers.mainQueue] {
        mainQueue->schedule([reloads] {
            if (auto state = reloads.lock()) {
                state->set(state->value() + 1);
            }
        });
    };
    // Once a run's changes have settled (a run changes many files in a row).
    if (m_services.filesChanged) {
        m_observations += m_services.filesChanged->debounce(filesChangedQuiet, schedulers.mainQueue)
                              .observeValues([reloadOnMainQueue](const Reactive::Unit&) { reloadOnMainQueue(); });
    }
    if (auto notices = m_services.notices) {
        m_observations += m_services.syncStatusProvider->status().producer().startWithValues([notices](const Sync::SyncStatus& status) {
            if (status.kind() == Sync::SyncStatus::Kind::allInSync) {
                notices->clearUnreadableCloudFolder();
            }
        });
    }
    // A list an outage left failed comes back with the service.
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> failed = m_listFailed.state();
    m_observations += m_services.syncStatusProvider->status().signal().observeValues([failed, reloadOnMainQueue](const Sync::SyncStatus& status) {
        auto state = failed.lock();
        if (state && state->value() && status.kind() != Sync::SyncStatus::Kind::notReachable
            && status.kind() != Sync::SyncStatus::Kind::failed) {
            reloadOnMainQueue();
        }
    });
}

PopoverViewModel::~PopoverViewModel() { m_observations.dispose(); }

void PopoverViewModel::acknowledgeNotices()
{
    if (m_services.notices) {
        m_services.notices->acknowledgeMassChange();
    }
}

void PopoverViewModel::reload() { m_reloads.set(m_reloads.value() + 1); }

void PopoverViewModel::bindList(const Schedulers& schedulers, std::shared_ptr<const RowDateFormatter> rowDates)
{
    auto provider = m_services.fileProvider;
    auto cloudFolder = m_services.cloudFolder;
    auto navigator = m_services.navigator;
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> running = m_running.state();
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> failed = m_listFailed.state();
    auto lists = m_searchText.producer()
                     .combineLatestWith(m_reloads.producer())
                     .map([](const std::pair<std::string, int>& textAndReload) { return textAndReload.first; })
                     .throttle(throttleInterval, schedulers.mainQueue)
                     .flatMap(Reactive::FlattenStrategy::latest,
                         [provider, running](const std::string& text) { return query(provider, running, text); })
                     .observeOn(schedulers.ui)
                     .map([cloudFolder, navigator, rowDates, failed](const Listing& listing) {
                         if (auto state = failed.lock()) {
                             if (state->value() && !listing.failed) {
                                 Platform::Log::success("Die Dateiliste ist wieder geladen: " + std::to_string(listing.files.size()) + " Dateien");
                             }
                             state->set(listing.failed);
                         }
                         return entries(listing.files, cloudFolder->currentCloudFolderURL(), navigator, *rowDates);
                     });
    Reactive::bind(m_recentFilesDataSource->cellModels(), lists);
}

} // namespace Orvella
