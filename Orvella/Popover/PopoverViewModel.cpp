#include "Orvella/Popover/PopoverViewModel.hpp"

#include "Orvella/Popover/GraphemeClusters.hpp"
#include "Orvella/Popover/QuotaUsage.hpp"
#include "Orvella/StatusItem/SyncStatusDisplay.hpp"

#include "Platform/FileSystem/PathResolver.hpp"
#include "Reactive/BindingTarget.hpp"

#include <chrono>

namespace Orvella {

namespace {

using Files = std::vector<Sync::FileRef>;
using Entries = std::vector<RecentFileModelType>;

constexpr std::size_t searchThreshold = 3;
constexpr auto throttleInterval = std::chrono::milliseconds(500);

Reactive::SignalProducer<Files, Reactive::NoError> query(const std::shared_ptr<PopoverFilesProvider>& provider,
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> running, const std::string& text)
{
    if (graphemeClusterCount(text) < searchThreshold) {
        return provider->recentFiles().ignoreError();
    }
    const auto setRunning = [running](bool value) {
        if (auto state = running.lock()) {
            state->set(value);
        }
    };
    // "disposed" covers completion, failure and cancellation by a newer
    // text; "starting" comes before a search that finishes during its start.
    return provider->files(text)
        .on({ .starting = [setRunning] { setRunning(true); }, .disposed = [setRunning] { setRunning(false); } })
        .ignoreError();
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
    , m_syncStatusText(m_services.syncStatusProvider->status().map([](const Sync::SyncStatus& status) { return statusText(status); }))
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
{
    bindList(schedulers, std::make_shared<const RowDateFormatter>(std::move(rowDates)));
}

void PopoverViewModel::bindList(const Schedulers& schedulers, std::shared_ptr<const RowDateFormatter> rowDates)
{
    auto provider = m_services.fileProvider;
    auto cloudFolder = m_services.cloudFolder;
    auto navigator = m_services.navigator;
    std::weak_ptr<Reactive::Detail::PropertyState<bool>> running = m_running.state();
    auto lists = m_searchText.producer()
                     .throttle(throttleInterval, schedulers.mainQueue)
                     .flatMap(Reactive::FlattenStrategy::latest,
                         [provider, running](const std::string& text) { return query(provider, running, text); })
                     .map([cloudFolder, navigator, rowDates](const Files& files) {
                         return entries(files, cloudFolder->currentCloudFolderURL(), navigator, *rowDates);
                     })
                     .observeOn(schedulers.ui);
    Reactive::bind(m_recentFilesDataSource->cellModels(), lists);
}

} // namespace Orvella
