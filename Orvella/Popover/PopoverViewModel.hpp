#pragma once

#include "Orvella/Popover/CloudFolderLocation.hpp"
#include "Orvella/Popover/PopoverFilesProvider.hpp"
#include "Orvella/Popover/PopoverNavigator.hpp"
#include "Orvella/Popover/QuotaProvider.hpp"
#include "Orvella/Popover/RecentFilesDataSource.hpp"
#include "Orvella/Popover/RowDateFormatter.hpp"
#include "Orvella/Popover/SyncEnabler.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <memory>
#include <string>

namespace Orvella {

// Everything the popover shows apart from its layout: the sync state's icon
// and text, the pause or start command, the usage line, the search text with
// its running flag, and the list of recent or found files.
//
// The list follows `searchText` (its current value first, so the recent
// files are asked for at construction): at most one text per 0.5 s on the
// main queue, the query of an older text cancelled when a newer one comes;
// texts of fewer than three characters as the user sees them ask for the
// recent files, longer ones search. A failed query leaves the list as it
// was. New lists reach the data source on the UI scheduler.
//
// Threading: the state and usage properties change on the threads their
// sources change on; the list, `numberOfItems` and `emptyStateIsHidden` on
// the UI scheduler; `searchIsRunning` where a search starts and ends. Write
// `searchText` and `syncEnabled` from the main thread.
class PopoverViewModel {
public:
    struct Services {
        std::shared_ptr<const ClientConfiguration> configuration;
        std::shared_ptr<SyncEnabler> syncEnabler;
        std::shared_ptr<QuotaProvider> quotaProvider;
        std::shared_ptr<PopoverFilesProvider> fileProvider;
        std::shared_ptr<PopoverNavigator> navigator;
        std::shared_ptr<SyncStatusProvider> syncStatusProvider;
        std::shared_ptr<CloudFolderLocation> cloudFolder;
    };
    struct Schedulers {
        // Where new lists are delivered (the main thread).
        Reactive::SchedulerPtr ui;
        // Where the search text is throttled (the main queue).
        Reactive::DateSchedulerPtr mainQueue;
    };

    PopoverViewModel(Services services, Schedulers schedulers, RowDateFormatter rowDates = RowDateFormatter());
    PopoverViewModel(const PopoverViewModel&) = delete;
    PopoverViewModel& operator=(const PopoverViewModel&) = delete;

    // The name of the state's image ("status-…").
    [[nodiscard]] const Reactive::Property<std::string>& syncStatusIcon() const { return m_syncStatusIcon; }
    [[nodiscard]] const Reactive::Property<std::string>& syncStatusText() const { return m_syncStatusText; }
    [[nodiscard]] const Reactive::Property<std::string>& syncActionText() const { return m_syncActionText; }
    [[nodiscard]] const Reactive::Property<bool>& syncActionAvailable() const { return m_syncActionAvailable; }
    // The sync enabler's own switch; inverting it pauses or resumes synchronisation.
    [[nodiscard]] Reactive::MutableProperty<bool>& syncEnabled() const { return m_services.syncEnabler->isSyncEnabled(); }
    [[nodiscard]] const Reactive::Property<std::string>& usageInfoText() const { return m_usageInfoText; }
    [[nodiscard]] const std::shared_ptr<RecentFilesDataSource>& recentFilesDataSource() const { return m_recentFilesDataSource; }
    // Sends a value on every replacement of the list, also when the count is unchanged.
    [[nodiscard]] const Reactive::Property<int>& numberOfItems() const { return m_numberOfItems; }
    [[nodiscard]] Reactive::MutableProperty<std::string>& searchText() { return m_searchText; }
    // True exactly while a search (three characters or more) runs.
    [[nodiscard]] const Reactive::Property<bool>& searchIsRunning() const { return m_searchIsRunning; }
    // True when the list has at least one entry.
    [[nodiscard]] const Reactive::Property<bool>& emptyStateIsHidden() const { return m_emptyStateIsHidden; }
    // The brand's client name, for the popover's texts that name the application.
    [[nodiscard]] const std::string& appName() const { return m_appName; }

private:
    void bindList(const Schedulers& schedulers, std::shared_ptr<const RowDateFormatter> rowDates);

    Services m_services;
    std::shared_ptr<RecentFilesDataSource> m_recentFilesDataSource;
    Reactive::MutableProperty<std::string> m_searchText;
    std::string m_appName;
    Reactive::Property<std::string> m_syncStatusIcon;
    Reactive::Property<std::string> m_syncStatusText;
    Reactive::Property<std::string> m_syncActionText;
    Reactive::Property<bool> m_syncActionAvailable;
    Reactive::Property<std::string> m_usageInfoText;
    Reactive::Property<int> m_numberOfItems;
    Reactive::MutableProperty<bool> m_running;
    Reactive::Property<bool> m_searchIsRunning;
    Reactive::Property<bool> m_emptyStateIsHidden;
};

// The absolute local path of `serverPath` ("/Docs/a.txt") below the cloud
// folder `cloudFolder`; none when the path is refused by the safe join
// (empty components, ".", "..", NUL, invalid UTF-8).
[[nodiscard]] std::optional<std::string> localPath(const Platform::URL& cloudFolder, std::string_view serverPath);

} // namespace Orvella
