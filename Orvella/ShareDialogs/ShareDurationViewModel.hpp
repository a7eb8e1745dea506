#pragma once

#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/ShareDialogs/ShareDurationNavigator.hpp"
#include "Orvella/ShareDialogs/ShareLifetimeDays.hpp"
#include "Orvella/Sharing/PublicShareService.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Store/FileStore.hpp"

#include <memory>

namespace Orvella {

// The public link dialog without its widgets: the chosen lifetime of the
// link for one item, and the creation of that link. A value: the creation
// works on its own copy and outlives the dialog.
struct ShareDurationViewModel {
    Sync::ShareLifetime lifetime { Sync::ShareLifetime::Medium };
    Sync::FileRef file;
    std::shared_ptr<PublicShareService> shareService;
    std::shared_ptr<Sync::FileStore> fileStore;
    std::shared_ptr<ShareDurationNavigator> navigator;
    std::shared_ptr<UserNotificationCenter> userNotificationCenter;
    // Where the failure notification is delivered (the service answers on its own thread).
    Reactive::SchedulerPtr uiScheduler;

    [[nodiscard]] int durationInDays() const { return days(lifetime); }
    void setDurationInDays(int value) { lifetime = shareLifetime(value); }

    // Starts the creation with the current lifetime and returns at once. A new
    // link is stored with the item's record (only its public link and its
    // flag change), then handed to the navigator; a failure is announced with its reason,
    // and leaves the record and the clipboard as they were.
    void createShare() const;
};

} // namespace Orvella
