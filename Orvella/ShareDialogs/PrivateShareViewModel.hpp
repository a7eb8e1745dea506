#pragma once

#include "Orvella/Notifications/UserNotificationCenter.hpp"
#include "Orvella/Sharing/PrivateShareService.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"
#include "Reactive/Schedulers/Scheduler.hpp"
#include "Sync/Store/FileStore.hpp"

#include <memory>
#include <string>
#include <vector>

namespace Orvella {

// The private share dialog without its widgets: the recipients and the
// message of an invitation to one folder, whether it may be sent, whether
// closing must ask first, and the sending. Main thread only.
class PrivateShareViewModel {
public:
    struct Services {
        std::shared_ptr<UserNotificationCenter> notificationCenter;
        std::shared_ptr<PrivateShareService> shareService;
        std::shared_ptr<Sync::FileStore> fileStore;
        // Where the result notifications are delivered.
        Reactive::SchedulerPtr uiScheduler;
    };

    PrivateShareViewModel(Sync::FileRef file, Services services);
    PrivateShareViewModel(const PrivateShareViewModel&) = delete;
    PrivateShareViewModel& operator=(const PrivateShareViewModel&) = delete;

    [[nodiscard]] const Sync::FileRef& file() const { return m_file; }
    [[nodiscard]] Reactive::MutableProperty<std::vector<std::string>>& emailStrings() { return m_emailStrings; }
    [[nodiscard]] Reactive::MutableProperty<std::string>& message() { return m_message; }
    [[nodiscard]] const Reactive::Property<bool>& isValid() const { return m_isValid; }
    [[nodiscard]] Reactive::Property<bool> needsAbortConfirmation() const { return m_needsAbortConfirmation.property(); }
    // "Freigabe für Ordner "<name>"".
    [[nodiscard]] std::string title() const;

    // Sends the invitation and returns at once; closing afterwards asks nothing.
    // The folder's record gets the service's private shares in place of its
    // own and, with any, its private-share flag (its public link stays);
    // success and failure are announced.
    void createShare();

private:
    Sync::FileRef m_file;
    Services m_services;
    Reactive::MutableProperty<std::vector<std::string>> m_emailStrings;
    Reactive::MutableProperty<std::string> m_message;
    Reactive::Property<bool> m_isValid;
    Reactive::MutableProperty<bool> m_needsAbortConfirmation;
    Reactive::ScopedDisposable m_confirmationBinding;
};

} // namespace Orvella
