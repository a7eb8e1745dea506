#pragma once

#include "Reactive/MutableProperty.hpp"
#include "Reactive/Property.hpp"

#include <optional>
#include <string>

namespace Orvella {

// What the popover's state line must say beyond the sync state, because a
// desktop notification may never have been shown (notifications switched off,
// no notification server):
// - why the cloud folder cannot be read (the engine's own German text, with
//   the folder's path), while runs fail; gone once a run succeeds (the
//   popover, which follows the sync state, says so);
// - that a large deletion went to the Trash, until the user has seen the
//   popover with it.
// Fed from the sync engine's thread; read anywhere.
class SyncNotices {
public:
    SyncNotices() = default;
    SyncNotices(const SyncNotices&) = delete;
    SyncNotices& operator=(const SyncNotices&) = delete;

    // The reason the last run found the cloud folder unreadable.
    [[nodiscard]] Reactive::Property<std::optional<std::string>> unreadableCloudFolder() const { return m_unreadableCloudFolder; }
    void setUnreadableCloudFolder(std::string reason) { m_unreadableCloudFolder.set(std::move(reason)); }
    // A run succeeded (the state is all in sync again).
    void clearUnreadableCloudFolder()
    {
        if (m_unreadableCloudFolder.value())
            m_unreadableCloudFolder.set(std::nullopt);
    }

    // The last mass change the user has not seen yet.
    [[nodiscard]] Reactive::Property<std::optional<std::string>> massChange() const { return m_massChange; }
    void setMassChange(std::string text) { m_massChange.set(std::move(text)); }
    // The user saw the popover with it.
    void acknowledgeMassChange()
    {
        if (m_massChange.value())
            m_massChange.set(std::nullopt);
    }

private:
    Reactive::MutableProperty<std::optional<std::string>> m_unreadableCloudFolder { std::nullopt };
    Reactive::MutableProperty<std::optional<std::string>> m_massChange { std::nullopt };
};

} // namespace Orvella
