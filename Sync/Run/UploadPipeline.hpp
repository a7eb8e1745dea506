#pragma once

#include "Sync/Changes/Change.hpp"
#include "Sync/Execution/ExchangeAhead.hpp"
#include "Sync/Execution/RemoteChangeExecutor.hpp"

#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace Sync {

// The uploads of a list of changes whose exchanges with the server run while
// the change before them is under way: up to `transfersInFlight` - 1 right
// after an upload, never past a change of another kind (moves, deletes,
// folders and downloads wait for what comes before them, and what comes after
// them waits for them). A change sent ahead is still carried out in its turn,
// only with its server's answer at hand.
//
// Threading: `sendAhead` and `startList` come from the step under way; `stop`
// may come from any thread at any time, and no exchange is started after it.
class UploadPipeline {
public:
    // Uploads whose exchanges with the server may run at once.
    static constexpr std::size_t transfersInFlight = 4;

    explicit UploadPipeline(RemoteChangeExecutor executor);

    // A new list begins: every change of the list before took its own exchange.
    void startList();
    // Sends ahead the exchanges of the uploads that follow the change at
    // `index` of `changes`; answers the one sent ahead for `index` itself
    // (nullptr when none was).
    [[nodiscard]] std::shared_ptr<ExchangeAhead> sendAhead(const std::vector<Change>& changes, std::size_t index);
    // Disposes every exchange sent ahead and sends no other.
    void stop();

private:
    [[nodiscard]] std::shared_ptr<ExchangeAhead> take(std::size_t index);
    // False when stopped: the exchange is disposed and no other is sent.
    [[nodiscard]] bool keep(std::size_t index, std::shared_ptr<ExchangeAhead> started);

    RemoteChangeExecutor m_executor;
    mutable std::mutex m_mutex;
    // Exchanges sent ahead, by the index of their change in the list under way.
    std::map<std::size_t, std::shared_ptr<ExchangeAhead>> m_sentAhead;
    bool m_stopped { false };
};

} // namespace Sync
