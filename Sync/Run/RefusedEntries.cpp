#include "Sync/Run/RefusedEntries.hpp"

#include "Sync/Execution/ChangeExecutionError.hpp"

#include <utility>

namespace Sync {

std::vector<SyncEventPair> refusedEntryEvents(Change::Kind side, const std::vector<FileRef>& twins,
    const std::vector<FileRef>& orphans, const std::vector<FileRef>& duplicates, const std::vector<FileRef>& misplaced)
{
    std::vector<SyncEventPair> events;
    auto refuse = [&](const std::vector<FileRef>& files, ChangeExecutionError::Code code) {
        for (const auto& file : files) {
            auto operation = FileOperation::create(file);
            auto change = side == Change::Kind::Local ? Change::local(operation) : Change::remote(operation);
            events.emplace_back(SyncEvent::error(Reactive::AnyError(ChangeExecutionError { code, file->path(), {} })),
                std::move(change));
        }
    };
    refuse(twins, ChangeExecutionError::Code::nameTwin);
    refuse(orphans, ChangeExecutionError::Code::missingParent);
    refuse(duplicates, ChangeExecutionError::Code::duplicateID);
    refuse(misplaced, ChangeExecutionError::Code::misplacedPath);
    return events;
}

} // namespace Sync
