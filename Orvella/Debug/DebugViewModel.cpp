#include "Orvella/Debug/DebugViewModel.hpp"

namespace Orvella {

std::string syncEventLine(const Sync::SyncEvent& event, const Sync::Change& change)
{
    switch (event.kind()) {
    case Sync::SyncEvent::Kind::Started:
        return change.description() + " started";
    case Sync::SyncEvent::Kind::Finished:
        return change.description() + " ✅";
    case Sync::SyncEvent::Kind::Error:
        break;
    }
    return change.description() + " ❗️ " + (event.error() ? event.error()->description() : std::string());
}

std::string environmentDescription(const Quarlink::Environment& environment)
{
    switch (environment.kind()) {
    case Quarlink::Environment::Kind::live:
        return "Live";
    case Quarlink::Environment::Kind::stage:
        return "Stage";
    case Quarlink::Environment::Kind::test:
        return "Test";
    case Quarlink::Environment::Kind::custom:
        break;
    }
    return "Custom";
}

std::vector<Quarlink::Environment> DebugViewModel::availableEnvironments()
{
    return { Quarlink::Environment::live() };
}

DebugViewModel::DebugViewModel(std::shared_ptr<SyncEventProvider> syncEventProvider, std::shared_ptr<EnvironmentSwitcher> environmentSwitcher)
    : DebugViewModel(std::move(syncEventProvider), environmentSwitcher->environment())
{
    m_environmentSwitcher = std::move(environmentSwitcher);
}

DebugViewModel::DebugViewModel(std::shared_ptr<SyncEventProvider> syncEventProvider, Reactive::MutableProperty<Quarlink::Environment>& environment)
    : m_selectedIndex(0)
    , m_dataSource(std::make_shared<SyncEventDataSource>())
    , m_selectedEnvironment(environment)
{
    const auto offered = availableEnvironments();
    const auto current = environmentDescription(environment.value());
    for (std::size_t index = 0; index < offered.size(); ++index) {
        if (environmentDescription(offered[index]) == current) {
            m_selectedIndex.set(static_cast<int>(index));
            break;
        }
    }
    std::weak_ptr<Reactive::Detail::PropertyState<Quarlink::Environment>> target = environment.state();
    m_environmentBinding = Reactive::ScopedDisposable(m_selectedIndex.signal().observeValues([target, offered](int index) {
        auto state = target.lock();
        if (state && index >= 0 && static_cast<std::size_t>(index) < offered.size()) {
            state->set(offered[static_cast<std::size_t>(index)]);
        }
    }));
    std::weak_ptr<SyncEventDataSource> dataSource = m_dataSource;
    m_events = Reactive::ScopedDisposable(syncEventProvider->syncEvents().observeValues([dataSource](const Sync::SyncEventPair& pair) {
        if (auto strong = dataSource.lock()) {
            strong->append(syncEventLine(pair.first, pair.second));
        }
    }));
}

} // namespace Orvella
