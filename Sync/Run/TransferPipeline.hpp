#pragma once

#include "Reactive/Schedulers/QueueScheduler.hpp"
#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/ExchangeAhead.hpp"
#include "Sync/Execution/LocalChangeExecutor.hpp"
#include "Sync/Execution/RemoteChangeExecutor.hpp"

#include <array>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace Sync {

// The transfers of a list of changes whose exchanges with the server run
// while the change before them is under way: up to `transfersInFlight` - 1
// right after an upload (`downloadsInFlight` - 1 after a download), all in the direction of the one under way (uploads
// after an upload, downloads after a download), never past a change of
// another kind (moves, deletes and folders wait for what comes before them,
// and what comes after them waits for them). A download sent ahead is placed
// durably as it arrives, each of those in flight on a queue of its own, so
// that their syncs overlap; a change sent ahead is still recorded, marked
// and reported in its turn, only with its exchange done.
//
// Threading: `sendAhead` and `startList` come from the step under way; `stop`
// may come from any thread at any time, and no exchange is started after it.
class TransferPipeline {
public:
    // Uploads whose exchanges with the server may run at once.
    static constexpr std::size_t transfersInFlight = 4;
    // Downloads: more, for each one waits for syncs of its own besides its
    // exchange (its file, then its folder), and the syncs of several overlap.
    static constexpr std::size_t downloadsInFlight = 8;

    TransferPipeline(RemoteChangeExecutor remoteExecutor, LocalChangeExecutor localExecutor);

    // A new list begins: every change of the list before took its own exchange.
    void startList();
    // Sends ahead the exchanges of the transfers that follow the change at
    // `index` of `changes`; answers the one sent ahead for `index` itself
    // (nullptr when none was).
    [[nodiscard]] std::shared_ptr<ExchangeAhead> sendAhead(const std::vector<Change>& changes, std::size_t index);
    // Disposes every exchange sent ahead and sends no other.
    void stop();

private:
    [[nodiscard]] std::shared_ptr<ExchangeAhead> start(const Change& change, std::size_t index);
    [[nodiscard]] std::shared_ptr<ExchangeAhead> take(std::size_t index);
    // False when stopped: the exchange is disposed and no other is sent.
    [[nodiscard]] bool keep(std::size_t index, std::shared_ptr<ExchangeAhead> started);

    RemoteChangeExecutor m_remoteExecutor;
    LocalChangeExecutor m_localExecutor;
    mutable std::mutex m_mutex;
    // Exchanges sent ahead, by the index of their change in the list under way.
    std::map<std::size_t, std::shared_ptr<ExchangeAhead>> m_sentAhead;
    // Where downloads sent ahead are placed, by index modulo their number;
    // made when the first is sent.
    std::array<Reactive::SchedulerPtr, downloadsInFlight> m_placements;
    bool m_stopped { false };
};

} // namespace Sync
