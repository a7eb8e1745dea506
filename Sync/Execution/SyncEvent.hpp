#pragma once

// Sync/Run: one sync run of the cloud folder, from comparing disk, stored
// state and server listing to reporting the outcome of every change.

#include "Reactive/AnyError.hpp"
#include "Sync/Changes/Change.hpp"

#include <optional>
#include <string>
#include <utility>

namespace Sync {

// What happened to one change of a run: work began (`started`), the change
// was carried out (`finished`), or it failed (`error`, with the failure).
// A plain value without equality; read it through the accessors.
class SyncEvent {
public:
    // Never renumber: the order is the order of the cases.
    enum class Kind { Error, Started, Finished };

    [[nodiscard]] static SyncEvent error(Reactive::AnyError error) { return SyncEvent(Kind::Error, std::move(error)); }
    [[nodiscard]] static SyncEvent started() { return SyncEvent(Kind::Started, std::nullopt); }
    [[nodiscard]] static SyncEvent finished() { return SyncEvent(Kind::Finished, std::nullopt); }

    [[nodiscard]] Kind kind() const { return m_kind; }
    // The failure of an `error` event; nothing for the other two.
    [[nodiscard]] const std::optional<Reactive::AnyError>& error() const { return m_error; }
    [[nodiscard]] bool isError() const { return m_kind == Kind::Error; }
    [[nodiscard]] bool isFinished() const { return m_kind == Kind::Finished; }

    // "started", "finished" or "error: " and the failure's description.
    [[nodiscard]] std::string description() const;

private:
    SyncEvent(Kind kind, std::optional<Reactive::AnyError> error)
        : m_kind(kind)
        , m_error(std::move(error))
    {
    }

    Kind m_kind;
    std::optional<Reactive::AnyError> m_error;
};

// An event with the change it is about, as every run reports it.
using SyncEventPair = std::pair<SyncEvent, Change>;

} // namespace Sync
