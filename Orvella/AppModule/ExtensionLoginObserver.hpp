#pragma once

#include "Orvella/Extension/ExtensionManager.hpp"
#include "Orvella/Service/APIManager.hpp"
#include "Reactive/Disposables/AnyDisposable.hpp"

#include <memory>

namespace Orvella {

// The one reaction of the process to logins and logouts for the file-manager
// extension, however often an `ExtensionManager` is resolved: every later
// value of the login state (repeats included) registers the extension on
// true, and unregisters it on false (switched off, then removed only when
// that succeeded). Runs on the thread on which the login state changes.
class ExtensionLoginObserver {
public:
    ExtensionLoginObserver(std::shared_ptr<ExtensionManager> manager, const APIManager& apiManager);
    ~ExtensionLoginObserver();
    ExtensionLoginObserver(const ExtensionLoginObserver&) = delete;
    ExtensionLoginObserver& operator=(const ExtensionLoginObserver&) = delete;

    [[nodiscard]] const std::shared_ptr<ExtensionManager>& manager() const { return m_manager; }

private:
    std::shared_ptr<ExtensionManager> m_manager;
    // Kept: a derived login state ends with its last holder.
    Reactive::Property<bool> m_isLoggedIn;
    Reactive::AnyDisposable m_observation;
};

} // namespace Orvella
