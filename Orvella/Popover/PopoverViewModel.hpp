#pragma once

#include "Orvella/Popover/CloudFolderLocation.hpp"
#include "Orvella/Popover/PopoverFilesProvider.hpp"
#include "Orvella/Popover/PopoverNavigator.hpp"
#include "Orvella/Popover/QuotaProvider.hpp"
#include "Orvella/Popover/RecentFilesDataSource.hpp"
#include "Orvella/Popover/RowDateFormatter.hpp"
#include "Orvella/Popover/SyncEnabler.hpp"
#include "Orvella/Popover/SyncNotices.hpp"
#include "Shared/ClientConfiguration.hpp"
#include "Orvella/StatusItem/SyncStatusProvider.hpp"

#include "Reactive/Disposables/CompositeDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/NoError.hpp"
#include "Reactive/Result.hpp"
#include "Reactive/Signal.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"

#include <memory>
#include <optional>
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
// recent files, longer ones search. The same text is asked for again on
// `reload()` (the popover opens), a second after a sync run's last changed
// file, and when the sync state recovers after a failed list, so the list
// never stays as an outage left it. A failed query empties the list and
// the empty state says that the list could not be loaded, never that there
// are no files. New lists reach the data source on the UI scheduler.
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
        // What the state line says beyond the sync state; none when absent.
        std::shared_ptr<SyncNotices> notices {};
        // A value whenever a sync run changed a file, on any thread; none when absent.
        std::optional<Reactive::Signal<Reactive::Unit, Reactive::NoError>> filesChanged {};
    };
    struct Schedulers {
        // Where new lists are delivered (the main thread).
        Reactive::SchedulerPtr ui;
        // Where the search text is throttled (the main queue).
        Reactive::DateSchedulerPtr mainQueue;
    };

    PopoverViewModel(Services services, Schedulers schedulers, RowDateFormatter rowDates = RowDateFormatter());
    ~PopoverViewModel();
    PopoverViewModel(const PopoverViewModel&) = delete;
    PopoverViewModel& operator=(const PopoverViewModel&) = delete;

    // The name of the state's image ("status-…").
    [[nodiscard]] const Reactive::Property<std::string>& syncStatusIcon() const { return m_syncStatusIcon; }
    // `statusText` of the state; while runs fail on an unreadable cloud folder
    // the engine's reason, with the folder's path; a mass change the user has
    // not seen yet before the state.
    [[nodiscard]] const Reactive::Property<std::string>& syncStatusText() const { return m_syncStatusText; }
    // The popover with the state line closed again: its mass change was seen.
    void acknowledgeNotices();
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
    // What the empty list says: `noFilesText`, or `listFailedText` after a failed query.
    [[nodiscard]] const Reactive::Property<std::string>& emptyStateText() const { return m_emptyStateText; }
    // Asks again for what the search text asks for (the popover opened). Main thread.
    void reload();

    static constexpr const char* noFilesText = "Keine Dateien gefunden";
    static constexpr const char* listFailedText = "Dateiliste konnte nicht geladen werden";
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
    Reactive::MutableProperty<bool> m_listFailed;
    Reactive::Property<std::string> m_emptyStateText;
    Reactive::MutableProperty<int> m_reloads;
    Reactive::CompositeDisposable m_observations;
};

// The absolute local path of `serverPath` ("/Docs/a.txt") below the cloud
// folder `cloudFolder`; none when the path is refused by the safe join
// (empty components, ".", "..", NUL, invalid UTF-8).
[[nodiscard]] std::optional<std::string> localPath(const Platform::URL& cloudFolder, std::string_view serverPath);

} // namespace Orvella
