#pragma once

#include "Orvella/Debug/SyncEventDataSource.hpp"
#include "Orvella/Debug/SyncEventProvider.hpp"
#include "Orvella/Settings/EnvironmentSwitcher.hpp"

#include "Quarlink/Environment/Environment.hpp"
#include "Reactive/Disposables/ScopedDisposable.hpp"
#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"

#include <memory>
#include <string>
#include <vector>

namespace Orvella {

// The debug pane without its widgets: the environment choice among those the
// application offers, and the log of the sync events since it was made.
// Choosing an environment only writes the switcher's setting. Sync events may
// come on any thread. Build and choose on the main thread.
class DebugViewModel {
public:
    // `environment` is the environment switcher's own property; it outlives the view model.
    DebugViewModel(std::shared_ptr<SyncEventProvider> syncEventProvider, Reactive::MutableProperty<Quarlink::Environment>& environment);
    // Over the switcher's property; the switcher is kept as long as the view model.
    DebugViewModel(std::shared_ptr<SyncEventProvider> syncEventProvider, std::shared_ptr<EnvironmentSwitcher> environmentSwitcher);
    DebugViewModel(const DebugViewModel&) = delete;
    DebugViewModel& operator=(const DebugViewModel&) = delete;

    [[nodiscard]] Reactive::MutableProperty<int>& selectedAPIEnvironmentIndex() { return m_selectedIndex; }
    [[nodiscard]] const std::shared_ptr<SyncEventDataSource>& syncEventDataSource() const { return m_dataSource; }
    [[nodiscard]] const Reactive::Property<Quarlink::Environment>& selectedEnvironment() const { return m_selectedEnvironment; }

    // The environments offered, in order: only "Live".
    [[nodiscard]] static std::vector<Quarlink::Environment> availableEnvironments();

private:
    std::shared_ptr<EnvironmentSwitcher> m_environmentSwitcher;
    Reactive::MutableProperty<int> m_selectedIndex;
    std::shared_ptr<SyncEventDataSource> m_dataSource;
    Reactive::Property<Quarlink::Environment> m_selectedEnvironment;
    Reactive::ScopedDisposable m_environmentBinding;
    Reactive::ScopedDisposable m_events;
};

// "Live", "Stage", "Test" or "Custom".
[[nodiscard]] std::string environmentDescription(const Quarlink::Environment& environment);

} // namespace Orvella
